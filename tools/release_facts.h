// Facts the players' files and the README document, taken from the plug-in itself (its
// key-name table and its settings, run in the simulated host) so that the documents
// cannot drift from what the plug-in does. The speed table is in tools/speed_table.h.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

// The first name of `code` in the key-name table, the one a player would write; "?"
// for a code the table lacks.
std::string keyName(uint32_t code);

// Every key name a settings file may bind, one per line, in the table's order.
void writeKeyNames(std::ostream& out);

// The key names the table accepts that never act, one per line, in the table's order:
// the runtime forwards keyboard messages, which carry VK_SHIFT, VK_CONTROL and VK_MENU
// for the left and right Shift, Ctrl and Alt keys alike, and the mouse buttons send none.
void writeSilentKeyNames(std::ostream& out);

// README.md's paragraph on key names: every name in the table's order, runs such as
// VK_F1..VK_F16 shortened to their ends, NO_KEY last, then the names that never act;
// wrapped at 92 columns.
void writeKeyNamesMarkdown(std::ostream& out);

// What the plug-in reads at start from the settings file `iniPath`, or, when the path is
// empty, from the current folder's horavane.ini as the game would (from no file when
// there is none): first "settings file: " and the file read, or that there is none and
// the defaults apply; then the five bindings by name and code, REMEMBER_RATE, the
// current rate, OWNRATE and whether the game clock was frozen, one "KEY=value" per
// line. False, with `error` naming the file, when the file cannot be read.
bool writeLoadedSettings(const std::string& iniPath, std::ostream& out, std::string& error);
