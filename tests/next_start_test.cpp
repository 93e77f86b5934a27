// What the menu says about the next game start. While the remember line carries no
// " (not saved)", ON means the next start runs the rate marked " (NOW ACTIVE)" now, and
// OFF means it runs the normal pace. Random orders of what a player does and meets
// (rates chosen while remembering and not, remembering switched, the settings file made
// read-only, replaced by a folder, made writable again or edited by hand, the scripts
// reloaded) hold the menu to that at every restart: what it showed just before the
// restart against what the new game shows.
//
// A hand edit, or a folder that takes the file's contents away, is news the running
// plug-in cannot have: the menu answers for it only from its next reading of the file,
// so a restart that is that reading is not held to what the menu showed before it.

#include <sys/stat.h>

#include <filesystem>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/menu_contract.h"
#include "support/plugin_fixture.h"

namespace fs = std::filesystem;

namespace {

// The remember line's states and the mark of the rate in use, as the player reads them.
const std::string ON = "ON";
const std::string OFF = "OFF";
const std::string NOT_SAVED = " (not saved)";
const std::string NOW_ACTIVE = " (NOW ACTIVE)";

const int32_t NORMAL_LINE = contractLine("Reset to Normal (2s = 1m)");

std::vector<int32_t> linesOf(ContractGroup group) {
  std::vector<int32_t> lines;
  for (int32_t line = 0; line < CONTRACT_LINE_COUNT; ++line)
    if (MENU_CONTRACT[line].group == group) lines.push_back(line);
  return lines;
}
const int32_t REMEMBER = linesOf(ContractGroup::Remember).at(0);
const std::vector<int32_t> RATE_LINES = linesOf(ContractGroup::Rate);

// Values players leave in the file by hand, each key possibly absent (null). Remembering
// on stands three times and the normal rate twice, since the promise is mostly about them.
constexpr const char* REMEMBER_VALUES[] = {nullptr, "0", "1", "1", "1", "2", "3", "-1", "-2", "1abc", ""};
constexpr const char* UPDATERATE_VALUES[] = {nullptr, "2000", "2000", "0",  "66",  "1000",
                                             "8000",  "500",  "4294967295", "-1", "fast"};
constexpr const char* OWNRATE_VALUES[] = {nullptr, "2000", "66", "0", "500", "-1"};

// The menu's promise about the next start, as one open menu shows it.
struct Claim {
  std::string remember;      // what follows the remember line's caption: "ON", "OFF (not saved)"...
  std::set<int32_t> active;  // the rate lines marked as in use
  std::string unreadable;    // what kept the menu from being read; empty when it was read
};

// "Time x 30 (1s = 15m)" as "Time x 30": enough to tell the lines apart in a long report.
std::string shortCaption(int32_t line) {
  const std::string caption = MENU_CONTRACT[line].caption;
  return caption.substr(0, caption.find(" ("));
}

std::string describe(const Claim& claim) {
  if (!claim.unreadable.empty()) return claim.unreadable;
  std::string text = claim.remember + " [";
  for (int32_t line : claim.active) text += (text.back() == '[' ? "" : ", ") + shortCaption(line);
  return text + "]";
}

enum class Step { Start, Remember, Rate, ReadOnly, Folder, Writable, Edit, Reload, Restart };

// One thing that happened in a session, and what the menu showed after it when the
// player looked.
struct Event {
  Step step;
  int32_t line = 0;   // Rate: the line carried out
  std::string keys;   // Start, Edit: the keys of the file written, "" for none; "no file"
  std::string shown;  // the claim the menu showed after it, when read
};

std::string describe(const Event& event) {
  std::string text;
  switch (event.step) {
    case Step::Start: text = "start {" + event.keys + "}"; break;
    case Step::Remember: text = "remember"; break;
    case Step::Rate: text = shortCaption(event.line); break;
    case Step::ReadOnly: text = "read-only"; break;
    case Step::Folder: text = "folder"; break;
    case Step::Writable: text = "writable"; break;
    case Step::Edit: text = "edit {" + event.keys + "}"; break;
    case Step::Reload: text = "reload"; break;
    case Step::Restart: text = "restart"; break;
  }
  return event.shown.empty() ? text : text + ": " + event.shown;
}

std::string describe(const std::vector<Event>& events) {
  std::string text;
  for (size_t i = 0; i < events.size(); ++i) text += "\n  #" + std::to_string(i) + " " + describe(events[i]);
  return text;
}

template <size_t N>
const char* pick(std::mt19937& random, const char* const (&values)[N]) {
  return values[random() % N];
}

// A settings file as a player writes it by hand: its [SETTINGS] section's text, and the
// keys in it for the report.
struct HandWritten {
  std::string text, keys;
};

HandWritten handWritten(std::mt19937& random) {
  HandWritten file{"[SETTINGS]\n", ""};
  const std::pair<const char*, const char*> keys[] = {{"REMEMBER_RATE", pick(random, REMEMBER_VALUES)},
                                                      {"UPDATERATE", pick(random, UPDATERATE_VALUES)},
                                                      {"OWNRATE", pick(random, OWNRATE_VALUES)}};
  for (const auto& [key, value] : keys) {
    if (value == nullptr) continue;
    file.text += std::string(key) + "=" + value + "\n";
    file.keys += (file.keys.empty() ? "" : " ") + std::string(key) + "=" + value;
  }
  return file;
}

bool isWritable(const char* path) {
  return (fs::status(path).permissions() & fs::perms::owner_write) != fs::perms::none;
}

}  // namespace

class NextStart : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    // Frames of a quarter second: each menu step the player takes is one frame, so that
    // hundreds of sessions take seconds. What the menu promises owes nothing to the frame rate.
    player.setFrameLengths([] { return 250u; });
  }

  // The promise the last frame drew; every line must be there, the whole menu fits.
  Claim claimShown() const {
    Claim claim;
    const std::vector<std::string> lines = player.lastFrameLines();
    if (lines.size() != 2u + CONTRACT_LINE_COUNT) {
      claim.unreadable = "the menu drew " + std::to_string(lines.size()) + " texts";
      return claim;
    }
    const std::string& remember = lines[2 + REMEMBER];
    const std::string caption = MENU_CONTRACT[REMEMBER].caption;
    if (remember.rfind(caption, 0) == 0) claim.remember = remember.substr(caption.size());
    if (claim.remember != ON && claim.remember != OFF && claim.remember != ON + NOT_SAVED &&
        claim.remember != OFF + NOT_SAVED)
      claim.unreadable = "remember line \"" + remember + "\"";
    for (int32_t line : RATE_LINES) {
      const std::string& text = lines[2 + line];
      if (text == MENU_CONTRACT[line].caption + NOW_ACTIVE)
        claim.active.insert(line);
      else if (text != MENU_CONTRACT[line].caption)
        claim.unreadable = "rate line \"" + text + "\"";
    }
    return claim;
  }

  // The menu opened, read and closed again.
  Claim readClaim() {
    player.openMenu();
    const Claim claim = claimShown();
    player.closeMenu();
    return claim;
  }

  // Carries out `line` and reads the menu as the action left it, before closing it.
  Claim carryOut(int32_t line) {
    player.openMenu();
    Claim claim;
    if (!player.menuShown() || !player.moveTo(line)) {
      claim.unreadable = "the menu did not reach line " + std::to_string(line);
    } else {
      player.choose();
      claim = claimShown();
    }
    player.closeMenu();
    return claim;
  }

  // What the game saw that was not well-formed, as " error" each; a new game forgets it.
  std::string gameFaults() const {
    std::string faults;
    for (const std::string& error : host.game().errors()) faults += " " + error;
    return faults;
  }

  // A new game started, as a new process: the plug-in loaded afresh over a new game.
  void restartGame() {
    if (host.loaded()) host.unload();
    host.game().reset();
    start();
  }

  void makeReadOnly() { ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0444), 0); }
  void putFolderInPlace() {
    fs::remove_all(SETTINGS_FILE_NAME);
    ASSERT_TRUE(fs::create_directory(SETTINGS_FILE_NAME));
  }
  void makeWritable() {
    if (fs::is_directory(SETTINGS_FILE_NAME))
      fs::remove_all(SETTINGS_FILE_NAME);
    else
      ASSERT_EQ(chmod(SETTINGS_FILE_NAME, 0644), 0);
  }
  // The player opens the file, or makes one where a folder stood, and saves `text`; a
  // read-only file stays read-only.
  void editByHand(const std::string& text) {
    if (fs::is_directory(SETTINGS_FILE_NAME)) fs::remove_all(SETTINGS_FILE_NAME);
    const bool readOnly = fs::exists(SETTINGS_FILE_NAME) && !isWritable(SETTINGS_FILE_NAME);
    if (readOnly) makeWritable();
    writeSettings(text);
    if (readOnly) makeReadOnly();
  }

  // The next step of a session: mostly a reading of the file right after a hand edit,
  // often a restart right after a reload; otherwise anything the file's state allows.
  Step nextStep(std::mt19937& random, Step previous) {
    if (previous == Step::Edit) {
      const uint32_t roll = random() % 10;
      if (roll < 7) return Step::Reload;
      if (roll < 9) return Step::Restart;
    }
    if (previous == Step::Reload && random() % 3 == 0) return Step::Restart;
    const bool folder = fs::is_directory(SETTINGS_FILE_NAME);
    const bool file = fs::is_regular_file(SETTINGS_FILE_NAME);
    const bool writable = file && isWritable(SETTINGS_FILE_NAME);
    const std::pair<Step, uint32_t> weights[] = {{Step::Remember, 5},
                                                 {Step::Rate, 6},
                                                 {Step::ReadOnly, writable ? 2u : 0u},
                                                 {Step::Folder, folder ? 0u : 1u},
                                                 {Step::Writable, folder || (file && !writable) ? 2u : 0u},
                                                 {Step::Edit, 2},
                                                 {Step::Reload, 3},
                                                 {Step::Restart, 3}};
    uint32_t total = 0;
    for (const auto& [step, weight] : weights) total += weight;
    uint32_t roll = random() % total;
    for (const auto& [step, weight] : weights) {
      if (roll < weight) return step;
      roll -= weight;
    }
    return Step::Restart;
  }

  // Whether the new game does what `before`, read just before the restart, promised.
  static std::string brokenPromise(const Claim& before, const Claim& after, bool pausedAfter) {
    if (!after.unreadable.empty()) return "after the restart, " + after.unreadable;
    const std::string shown = "; the next start shows " + describe(after) + " with the game's clock " +
                              (pausedAfter ? "frozen" : "running");
    if (before.remember == ON) {
      // At the normal pace the game keeps its own clock; at any other the plug-in freezes it.
      const bool normal = before.active.count(NORMAL_LINE) != 0;
      if (after.active != before.active || pausedAfter == normal)
        return "ON promised the rate marked, with the game's clock " + std::string(normal ? "running" : "frozen") +
               shown;
    } else if (before.remember == OFF) {
      if (after.active.count(NORMAL_LINE) == 0 || pausedAfter) return "OFF promised the normal pace" + shown;
    }
    return "";
  }

  // One session from `seed`: its events, and the first broken promise, or "".
  std::string runSession(uint32_t seed, std::vector<Event>& events) {
    std::mt19937 random(seed);
    if (host.loaded()) host.unload();
    fs::remove_all(SETTINGS_FILE_NAME);
    Event first{Step::Start, 0, "no file", ""};
    if (random() % 5 != 0) {
      const HandWritten file = handWritten(random);
      writeSettings(file.text);
      first.keys = file.keys;
    }
    restartGame();
    first.shown = describe(readClaim());
    events.push_back(first);

    size_t lastShown = 0;  // the last event that changed, or may have changed, what the menu shows
    bool unread = false;   // the file changed behind the plug-in's back since its last reading
    const uint32_t count = 30 + random() % 31;
    while (events.size() <= count && !HasFatalFailure()) {
      host.game().clearRecords();  // a session's frames would add up to much
      Event event{nextStep(random, events.back().step), 0, "", ""};
      switch (event.step) {
        case Step::Start: break;
        case Step::Remember: event.shown = describe(carryOut(REMEMBER)); break;
        case Step::Rate:
          event.line = RATE_LINES[random() % RATE_LINES.size()];
          event.shown = describe(carryOut(event.line));
          break;
        case Step::ReadOnly: makeReadOnly(); break;
        case Step::Folder:
          putFolderInPlace();
          unread = true;
          break;
        case Step::Writable: makeWritable(); break;
        case Step::Edit: {
          const HandWritten file = handWritten(random);
          editByHand(file.text);
          event.keys = file.keys;
          unread = true;
          break;
        }
        case Step::Reload:
          host.restartScript();
          host.runFrame();
          event.shown = describe(readClaim());
          unread = false;
          ++reloads;
          break;
        case Step::Restart: {
          const Claim before = readClaim();
          const std::string faults = gameFaults();
          if (!faults.empty()) return "the simulated game saw faults:" + faults;
          restartGame();
          const bool pausedAfter = host.game().paused();
          const Claim after = readClaim();
          event.shown = describe(after);
          ++restarts;
          if (!before.unreadable.empty()) {
            events.push_back(event);
            return "before the restart, " + before.unreadable;
          }
          if (!unread && (before.remember == ON || before.remember == OFF)) {
            ++(before.remember == ON ? restartsCheckedOn : restartsCheckedOff);
            reloadsChecked += events[lastShown].step == Step::Reload;
            const std::string broken = brokenPromise(before, after, pausedAfter);
            if (!broken.empty()) {
              events.push_back(event);
              return "at #" + std::to_string(events.size() - 1) + ", the menu showed " + describe(before) +
                     " since #" + std::to_string(lastShown) + " (" + describe(events[lastShown]) + "): " + broken;
            }
          }
          unread = false;
          break;
        }
      }
      if (!event.shown.empty()) lastShown = events.size();
      events.push_back(event);
    }
    const std::string faults = gameFaults();
    if (!faults.empty()) return "the simulated game saw faults:" + faults;
    ++sessions;
    eventCount += events.size();
    return "";
  }

  uint32_t sessions = 0, eventCount = 0, reloads = 0, reloadsChecked = 0;
  uint32_t restarts = 0, restartsCheckedOn = 0, restartsCheckedOff = 0;
};

TEST_F(NextStart, MenuShowsWhatTheNextGameStartWillDo) {
  constexpr uint32_t FIRST_SEED = 20240601;
  constexpr uint32_t SESSIONS = 200;
  for (uint32_t seed = FIRST_SEED; seed < FIRST_SEED + SESSIONS; ++seed) {
    std::vector<Event> events;
    const std::string broken = runSession(seed, events);
    ASSERT_FALSE(HasFatalFailure()) << "seed " << seed << describe(events);
    ASSERT_EQ(broken, "") << "seed " << seed << ", events:" << describe(events);
  }
  const uint32_t restartsChecked = restartsCheckedOn + restartsCheckedOff;
  std::cout << "[ figures  ] " << sessions << " orders of " << eventCount << " events in all; " << restartsChecked
            << " of " << restarts << " restarts checked (" << restartsCheckedOn << " after ON, "
            << restartsCheckedOff << " after OFF); " << reloadsChecked << " of " << reloads
            << " reloads checked, their menu held to by a restart\n";
  RecordProperty("sessions", static_cast<int>(sessions));
  RecordProperty("events", static_cast<int>(eventCount));
  RecordProperty("restarts_checked", static_cast<int>(restartsChecked));
  RecordProperty("reloads_checked", static_cast<int>(reloadsChecked));
}
