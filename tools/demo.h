// `horavane-sim demo`: opens the menu, picks a rate, closes it, and prints what the
// player saw and what the game clock did. Returns the process exit status.
#pragma once

int runDemo();
