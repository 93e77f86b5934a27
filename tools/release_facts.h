// Facts the release package documents, taken from the plug-in itself (its key-name
// table, its menu and its pacing, run in the simulated host) so that the players' files
// cannot drift from what the plug-in does.
#pragma once

#include <ostream>
#include <string>

// Every key name a settings file may bind, one per line, in the table's order.
void writeKeyNames(std::ostream& out);

// Each rate line of the menu with the pace it really gives: the plug-in runs in the
// simulated host with no settings file, each line is chosen from the menu and the game
// clock is watched for a minute of virtual time. A plain-text table, one row per line.
// False, with `error`, when the menu does not behave as the measurement needs.
bool writeSpeedTable(std::ostream& out, std::string& error);

// What the plug-in reads at start from the settings file `iniPath` (from no file when
// the path is empty): the five bindings by name and code, REMEMBER_RATE, the current
// rate, OWNRATE and whether the game clock was frozen. One "KEY=value" per line.
// False, with `error`, when the file cannot be read.
bool writeLoadedSettings(const std::string& iniPath, std::ostream& out, std::string& error);
