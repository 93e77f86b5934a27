// The clock's real pace at every rate line of the menu, measured once and written two
// ways: as Markdown for README.md and as a plain table for the players' README.txt; and
// the range of the faster and slower lines, for the introductions of both.
//
// The captions and rates are the plug-in's own menu lines, with the own rate a missing
// settings file gives. The pace is the plug-in's own pacing, run in the simulated game:
// each line's rate is made current as the menu makes it, a long stretch of real time
// passes, and the steps the game received and the time the plug-in consumed for them
// give the real milliseconds per game step, exactly.
#pragma once

#include <ostream>
#include <string>

// README.md's section: per line the caption, the rate, what the caption promises, the
// real ms per game step, the real factor and the difference, then how to read them.
// What a caption promises is read from its words ("Time x 30", "Time / 2", "Normal",
// "Stop") and from its example ("(1s = 15m)"). False, with `error`, when the two
// disagree or the pacing does not behave as the measurement needs.
bool writePaceTableMarkdown(std::ostream& out, std::string& error);

// README.txt's table: per line the caption, the rate, how far the game clock moves in
// one real second, how long a game minute takes and the speed against the normal pace.
// False, with `error`, as writePaceTableMarkdown.
bool writeSpeedTable(std::ostream& out, std::string& error);

// One line for both READMEs' introductions: how many times as fast as the game's own
// pace the least and the most of the menu's faster lines really run the clock, and how
// many times as slow its slower lines (Stop Time and the own rate left out), the numbers
// as writeSpeedTable shows them. False, with `error`, as writePaceTableMarkdown.
bool writeSpeedRange(std::ostream& out, std::string& error);

// Runs one of the writers above as the command `name`: the table to `out`, or, when
// the writer fails, "horavane-sim: <name>: <error>" to `errors`. The exit status.
int tableCommand(const char* name, bool (*write)(std::ostream&, std::string&), std::ostream& out,
                 std::ostream& errors);
