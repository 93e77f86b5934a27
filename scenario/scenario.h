// Scenarios: what a player does and what must follow, as a small line-based
// language, read and run the same way by every host that can run the plug-in
// (the native simulated host, and the real DLL under Wine).
//
// A host is reached only through ScenarioHost; all parsing, checking and tracing
// lives here, so two hosts that pass the same scenario were judged by the same code.
//
// The language, one command per line ('#' starts a comment line; words are separated
// by blanks; text goes in double quotes with \" \\ and \xHH escapes):
//
//   settings / ... / end        the lines in between become .\horavane.ini, at once
//   resolution <w> <h>          the screen size the game reports, in pixels
//   clock <h>:<m>:<s>           sets the game clock
//   tick <ms>                   sets the virtual tick count (GetTickCount)
//   frame-length <ms>           the length of the frames later steps run (default 16)
//   start                       loads the plug-in and runs its first frame
//   restart                     unloads it, a new game (12:00:00, running; the
//                               resolution kept), loads it again, runs its first frame
//   restart-script              the runtime starts the script function anew, as when the
//                               game reloads its scripts: the running script is abandoned
//                               where it waits, and the function runs from the top in the
//                               next frame, which this runs; the plug-in stays loaded, and
//                               the game, the keys and the settings file stay as they are
//   settings-file read-only|folder|writable|deleted   what a write of the settings file
//                               meets: the file read-only; a folder in its place (the
//                               file removed); the file writable again (a folder
//                               removed); no file at all (a file or folder removed)
//   press|release|tap <key>     key-down, key-up, or both, by name (VK_F5, A, 5, ...)
//   select "<caption>"          moves the highlight of the open menu like a player, a
//                               key at a time (UP or DOWN as the settings file bound
//                               them at start, each tapped, then 220 ms of frames), until
//                               the line with this caption is highlighted; the caption's
//                               first words will do when they name one line ("Time x 30")
//   frames <n> [<ms>]           runs n frames
//   wait <ms> [<frame ms>]      runs frames until at least ms of virtual time passed
//   elapse <ms>                 virtual time passes without a frame
//   snapshot <path>             writes the last frame as a frame file (scenario/frame_file.h);
//                               a relative path starts at the runner's starting folder
//   expect text "<t>" [white|highlight] [at <x> <y>]   drawn in the last frame; a text
//                               "*<t>" stands for any text that ends with <t>
//   expect no-text ["<t>"]      nothing (or not this text) drawn in the last frame
//   expect text-count <n>       the last frame drew exactly n texts
//   expect on-screen            every text of the last frame has its row of 20 px
//                               wholly on the screen the game reports
//   expect call <name> [<arg>...]       a matching native call in the window
//   expect calls <n> <name> [<arg>...]  exactly n matching calls in the window
//   expect no-call [<name> [<arg>...]]  no (matching) native call in the window
//   expect setting <section> <key> <value>   the settings file holds key=value, read as
//                               the profile functions read it (findSetting below)
//   expect no-setting <section> <key>        the key is missing, or has no value
//   expect no-settings-file
//   expect clock <h>:<m>:<s> | system   the game clock (system: within 2 minutes of
//                                       the computer's local time)
//   expect paused | running     the game's own clock advance
//
// Call patterns use SimGame::describe's words; '*' matches any one argument and a
// bare name matches every call of that name. The window of a call expectation is
// every call made by the steps since the previous expectation, so consecutive
// expectations judge the same steps, and "no call over n frames" is `frames n`
// followed by `expect no-call`.
//
// Once the plug-in sets the clock to the computer's time, the clock is not the same
// in two runs: traces then show ClockSet's arguments and the "Current time:" texts
// as "<system time>", until `clock` or `restart` makes the clock known again.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "sim/game.h"

// The host side of a scenario: a stand-in for the script-hook runtime with the
// plug-in in it, driven one frame at a time in virtual time. Failures throw
// std::runtime_error with a message that says what went wrong.
class ScenarioHost {
 public:
  virtual ~ScenarioHost() = default;

  // A fresh host for the next scenario: no plug-in loaded, a new game, frame 0.
  virtual void begin() = 0;
  // Loads the plug-in as a game process does; its library entry registers callbacks.
  virtual void load() = 0;
  virtual void unload() = 0;
  virtual bool loaded() const = 0;
  // The runtime starts the loaded plug-in's script function anew, as when the game
  // reloads its scripts: the running script is abandoned where it waits, never to
  // resume, and the next frame calls the function from the top on a fresh context.
  virtual void restartScript() = 0;

  // One frame: the script runs until it yields, then frameMs of virtual time pass.
  virtual void runFrame(uint32_t frameMs) = 0;
  virtual uint64_t frameNumber() const = 0;
  virtual void elapse(uint32_t ms) = 0;
  virtual void setTick(uint32_t tick) = 0;

  // Keyboard messages to the registered handler, was-down-before kept per key.
  virtual void keyDown(uint32_t key) = 0;
  virtual void keyUp(uint32_t key) = 0;

  // The simulated game, read-only; changes go through the host, which owns it.
  virtual const SimGame& game() const = 0;
  virtual void newGame() = 0;  // SimGame::reset
  virtual void setClock(int32_t hours, int32_t minutes, int32_t seconds) = 0;
  virtual void setResolution(int32_t width, int32_t height) = 0;
  virtual void clearRecords() = 0;
};

enum class CommandKind {
  Settings, SettingsFile, Resolution, Clock, Tick, FrameLength, Start, Restart, RestartScript, Press, Release, Tap,
  Select, Frames, Wait, Elapse, Snapshot,
  ExpectText, ExpectNoText, ExpectTextCount, ExpectOnScreen, ExpectCall, ExpectCalls, ExpectNoCall,
  ExpectSetting, ExpectNoSetting, ExpectNoSettingsFile, ExpectClock, ExpectSystemClock,
  ExpectPaused, ExpectRunning,
};

enum class TextColourCheck { Any, White, Highlight };

struct Command {
  CommandKind kind;
  int line;            // in the scenario file
  std::string source;  // the line as written, for traces and messages
  std::vector<int64_t> numbers;     // sizes, times, counts, positions, clock fields
  std::string text;                 // settings content, drawn text, path, section
  std::string key;                  // settings key
  std::vector<std::string> pattern; // call pattern: name and arguments
  bool hasText = false;             // expect no-text with a text
  bool textIsEnding = false;        // expect text "*...": any text that ends so
  bool hasPosition = false;         // expect text ... at x y
  TextColourCheck colour = TextColourCheck::Any;
};

struct Scenario {
  std::string path;
  std::string name;  // the file name without folder and extension
  std::vector<Command> commands;
};

// Reads a scenario; every malformed line adds "<source>:<line>: <what is wrong>" to
// `errors`. True when there were none.
bool readScenario(std::istream& in, const std::string& source, Scenario& scenario,
                  std::vector<std::string>& errors);

// Runs a scenario in `host`, in the current folder, writing a trace line per step, per
// native call and per drawn text to `trace` when given; snapshot paths are taken from
// `startFolder`. Returns "" when every expectation held, else
// "<source>:<line>: expected ..., got ...".
std::string runScenario(const Scenario& scenario, ScenarioHost& host, std::ostream* trace,
                        const std::string& startFolder);

// Compares two traces line by line; "" when equal, else the first difference:
// "<nameA>:<line>: <text>" / "<nameB>:<line>: <text>".
std::string compareTraces(std::istream& a, const std::string& nameA, std::istream& b,
                          const std::string& nameB);

// Compares the traces of two folders, scenario by scenario; prints what differs and
// returns the process exit code (0 when every trace is equal).
int compareTraceFolders(const std::string& a, const std::string& b);

// The value of `key` in `section` of a settings file's text, read as the profile
// functions read it (platform/profile_text.h); false when the key is missing or has no
// value, where they give the fallback.
bool findSetting(const std::string& text, const std::string& section, const std::string& key,
                 std::string& value);

// The command line both runner programs share:
//   <program> [--trace <folder>] [--keep] <scenario>...   runs each scenario in a fresh
//                                                          temporary folder
//   <program> compare <folder A> <folder B>                compares two trace folders
// Returns the process exit code.
int scenarioMain(ScenarioHost& host, const std::vector<std::string>& arguments);
