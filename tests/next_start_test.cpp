// What the menu says about the next game start. While the remember line carries no
// " (not saved)", ON means the next start runs the rate marked " (NOW ACTIVE)" now, and
// OFF means it runs the normal pace. Random orders of what a player does and meets
// (rates chosen while remembering and not, remembering switched, the settings file made
// read-only, replaced by a folder, made writable again, deleted, busy for one write,
// edited by hand whole or one key at a time, the scripts reloaded, alone or in quick
// succession while the clock runs) hold the menu to that at every restart: what it
// showed just before the restart against what the new game shows.
//
// Between restarts they hold it to more. After every remember press or rate pick the
// file reads as the line shows, unless the line says " (not saved)"; the remark shows
// exactly when the file refused the last write of what the line shows (the write record
// of the profile functions says what the file answered); and over stretches of play,
// reloads or not, the game clock runs at the rate marked in use.
//
// A hand edit, or a folder that takes the file's contents away, is news the running
// plug-in cannot have. An edit of REMEMBER_RATE or UPDATERATE, or their loss, is answered
// by the plug-in's next write that the file takes (that write puts in what the line
// shows) or by its next reading of the file, so until then neither the file nor a
// restart is held to the menu. An edit of OWNRATE changes the "Own rate" line only at the
// next reading: the checks compare rates, with the own rate as each reading found it, so
// that edit blinds none of them.

#include <sys/stat.h>

#include <filesystem>
#include <iostream>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "compat.h"
#include "profile_writes.h"
#include "support/menu_contract.h"
#include "support/plugin_fixture.h"
#include "virtual_tick.h"

namespace fs = std::filesystem;

namespace {

// The remember line's states and the mark of the rate in use, as the player reads them.
const std::string ON = "ON";
const std::string OFF = "OFF";
const std::string NOT_SAVED = " (not saved)";
const std::string NOW_ACTIVE = " (NOW ACTIVE)";

const int32_t NORMAL_LINE = contractLine("Reset to Normal (2s = 1m)");
const int32_t OWN_LINE = contractLine("Own rate");
// Real ms per game minute at the normal pace, which is also the game's own.
const uint32_t NORMAL_RATE = static_cast<uint32_t>(MENU_CONTRACT[NORMAL_LINE].rate);

constexpr uint32_t FRAME_MS = 250;
constexpr int64_t SECONDS_PER_DAY = 24 * 60 * 60;

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

// The two keys the plug-in writes, in the order of the write record's answers kept below.
constexpr const char* SAVED_KEYS[] = {"REMEMBER_RATE", "UPDATERATE"};
constexpr int REMEMBER_KEY = 0;
constexpr int RATE_KEY = 1;

// The menu's promise about the next start, as one open menu shows it.
struct Claim {
  std::string remember;      // what follows the remember line's caption: "ON", "OFF (not saved)"...
  std::set<int32_t> active;  // the rate lines marked as in use
  std::string unreadable;    // what kept the menu from being read; empty when it was read
};

bool showsOn(const Claim& claim) { return claim.remember == ON || claim.remember == ON + NOT_SAVED; }
bool remarked(const Claim& claim) { return claim.remember == ON + NOT_SAVED || claim.remember == OFF + NOT_SAVED; }

// A rate line's rate, the own rate's line running at `ownRate`.
uint32_t rateOf(int32_t line, uint32_t ownRate) {
  return line == OWN_LINE ? ownRate : static_cast<uint32_t>(MENU_CONTRACT[line].rate);
}

// The rate lines that run at `rate`: the lines a menu must mark while it is in use.
std::set<int32_t> linesAt(uint32_t rate, uint32_t ownRate) {
  std::set<int32_t> lines;
  for (int32_t line : RATE_LINES)
    if (rateOf(line, ownRate) == rate) lines.insert(line);
  return lines;
}

// The rate a claim marks in use; none when it marks no line (a hand-written rate no line
// runs at).
std::optional<uint32_t> rateMarked(const Claim& claim, uint32_t ownRate) {
  if (claim.active.empty()) return std::nullopt;
  return rateOf(*claim.active.begin(), ownRate);
}

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

enum class Step {
  Start,
  Remember,
  Rate,
  Busy,
  ReadOnly,
  Folder,
  Writable,
  Delete,
  Edit,
  EditKey,
  Reload,
  Restart,
  Stretch
};

// One thing that happened in a session, and what the menu showed after it when the
// player looked.
struct Event {
  Step step;
  int32_t line = 0;      // Rate, Busy: the line carried out
  std::string keys;      // Start, Edit, EditKey: the keys written, "" for none; "no file"; Stretch: its course
  std::string shown;     // the claim the menu showed after it, when read
  uint32_t refused = 0;  // Busy: the write refused, 1 for the next
  std::string writes;    // the plug-in's writes, as the file answered them
};

std::string describe(const Event& event) {
  std::string text;
  switch (event.step) {
    case Step::Start: text = "start {" + event.keys + "}"; break;
    case Step::Remember: text = "remember"; break;
    case Step::Rate: text = shortCaption(event.line); break;
    case Step::Busy:
      text = "busy for write " + std::to_string(event.refused) + ", " +
             (event.line == REMEMBER ? std::string("remember") : shortCaption(event.line));
      break;
    case Step::ReadOnly: text = "read-only"; break;
    case Step::Folder: text = "folder"; break;
    case Step::Writable: text = "writable"; break;
    case Step::Delete: text = "deleted"; break;
    case Step::Edit: text = "edit {" + event.keys + "}"; break;
    case Step::EditKey: text = "edit " + event.keys; break;
    case Step::Reload: text = "reload"; break;
    case Step::Restart: text = "restart"; break;
    case Step::Stretch: text = "stretch " + event.keys; break;
  }
  if (!event.writes.empty()) text += " {" + event.writes + "}";
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

// A key of [SETTINGS] as the next start reads it: through the platform's profile
// functions, as Windows reads it, and not through the plug-in.
uint32_t fileReads(const char* key, int32_t fallback) {
  return GetPrivateProfileIntA("SETTINGS", key, fallback, SETTINGS_FILE_NAME);
}

// The time of day on the game's clock, in seconds.
int64_t secondOfDay(const SimGame& game) {
  return int64_t{game.hours()} * 3600 + int64_t{game.minutes()} * 60 + game.seconds();
}

// The file's last answer to a write of one key since the plug-in's last reading.
enum class Answer { None, Taken, Refused };

// What the test knows of the file against the plug-in's memory.
struct FileWatch {
  Answer answers[2] = {Answer::None, Answer::None};  // by SAVED_KEYS
  bool keysUnread = false;  // REMEMBER_RATE or UPDATERATE changed behind the plug-in's back, unanswered
  uint32_t ownRate = 0;     // OWNRATE as the plug-in's last reading found it: the own rate line's rate
};

std::string describe(Answer answer) {
  return answer == Answer::None ? "not written" : answer == Answer::Taken ? "taken" : "refused";
}

}  // namespace

class NextStart : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    // Frames of a quarter second: each menu step the player takes is one frame, so that
    // hundreds of sessions take seconds. What the menu promises owes nothing to the frame rate.
    player.setFrameLengths([] { return FRAME_MS; });
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

  // The plug-in is about to read the file: memory will hold what the file holds, so
  // every answer and hand edit so far is settled, and the own rate line runs at the
  // file's OWNRATE.
  void pluginReadsTheFile() {
    watch = FileWatch{};
    watch.ownRate = fileReads("OWNRATE", MENU_CONTRACT[OWN_LINE].rate);
  }

  // A new game started, as a new process: the plug-in loaded afresh over a new game.
  void restartGame() {
    if (host.loaded()) host.unload();
    host.game().reset();
    pluginReadsTheFile();
    start();
  }

  // The runtime starts the scripts anew; the plug-in reads the file in the next frame.
  void reloadScripts() {
    pluginReadsTheFile();
    host.restartScript();
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
  // The player opens the file in an editor, or makes one where a folder stood, and
  // saves it with `edit`; a read-only file is made writable for it and stays read-only.
  template <typename Edit>
  void editByHand(Edit edit) {
    if (fs::is_directory(SETTINGS_FILE_NAME)) fs::remove_all(SETTINGS_FILE_NAME);
    const bool readOnly = fs::exists(SETTINGS_FILE_NAME) && !isWritable(SETTINGS_FILE_NAME);
    if (readOnly) makeWritable();
    edit();
    if (readOnly) makeReadOnly();
  }
  // The whole file saved as `text`.
  void editByHand(const std::string& text) {
    editByHand([&] { writeSettings(text); });
  }
  // One key of [SETTINGS] set to `value` or removed (null), the rest of the file kept as
  // an editor keeps it. The test's own write is no answer of the file to the plug-in, so
  // it leaves the write record.
  void editKeyByHand(const char* key, const char* value) {
    editByHand([&] {
      ASSERT_TRUE(WritePrivateProfileStringA("SETTINGS", key, value, SETTINGS_FILE_NAME)) << key;
      recordProfileWrites(true);
    });
  }

  // The next step of a session: mostly a reading of the file right after a whole-file
  // edit, and often a write right after a key edited or the file deleted, so that the
  // plug-in's answer to them is put to the test; often a restart right after a reload or
  // a write, and a stretch of play right after a rate pick, as most rates are paced;
  // otherwise anything the file's state allows.
  Step nextStep(std::mt19937& random, Step previous) {
    if (previous == Step::Edit) {
      const uint32_t roll = random() % 10;
      if (roll < 7) return Step::Reload;
      if (roll < 9) return Step::Restart;
    }
    if (previous == Step::EditKey || previous == Step::Delete) {
      const uint32_t roll = random() % 10;
      if (roll < 4) return Step::Rate;
      if (roll < 6) return Step::Remember;
      if (roll < 7) return Step::Busy;
    }
    if (previous == Step::Rate) {
      const uint32_t roll = random() % 10;
      if (roll < 2) return Step::Restart;
      if (roll < 4) return Step::Stretch;
    }
    if ((previous == Step::Remember || previous == Step::Busy) && random() % 5 == 0) return Step::Restart;
    if (previous == Step::Reload && random() % 3 == 0) return Step::Restart;
    const bool folder = fs::is_directory(SETTINGS_FILE_NAME);
    const bool file = fs::is_regular_file(SETTINGS_FILE_NAME);
    const bool writable = file && isWritable(SETTINGS_FILE_NAME);
    const std::pair<Step, uint32_t> weights[] = {{Step::Remember, 5},
                                                 {Step::Rate, 6},
                                                 {Step::Busy, 3},
                                                 {Step::ReadOnly, writable ? 2u : 0u},
                                                 {Step::Folder, folder ? 0u : 1u},
                                                 {Step::Writable, folder || (file && !writable) ? 2u : 0u},
                                                 {Step::Delete, file ? 1u : 0u},
                                                 {Step::Edit, 2},
                                                 {Step::EditKey, 3},
                                                 {Step::Reload, 3},
                                                 {Step::Restart, 3},
                                                 {Step::Stretch, 2}};
    uint32_t total = 0;
    for (const auto& [step, weight] : weights) total += weight;
    uint32_t roll = random() % total;
    for (const auto& [step, weight] : weights) {
      if (roll < weight) return step;
      roll -= weight;
    }
    return Step::Restart;
  }

  // Takes in the plug-in's writes since the last look, as the file answered them: only
  // its two keys, none after a refusal in the same round, as a refusal ends the round.
  // A write the file takes answers every hand edit of those keys before it.
  std::string noteWrites(Event& event) {
    const std::vector<ProfileWrite> writes = profileWrites();
    recordProfileWrites(true);  // the next look starts after these
    bool refusedBefore = false;
    for (const ProfileWrite& write : writes) {
      event.writes += (event.writes.empty() ? "" : ", ") + describe(write);
      const int key = write.key == SAVED_KEYS[REMEMBER_KEY] ? REMEMBER_KEY
                      : write.key == SAVED_KEYS[RATE_KEY]   ? RATE_KEY
                                                            : -1;
      if (key < 0) return "the plug-in wrote \"" + write.key + "\"";
      if (refusedBefore) return "the plug-in wrote " + write.key + " after a refusal in the same round";
      watch.answers[key] = write.taken ? Answer::Taken : Answer::Refused;
      if (write.taken) watch.keysUnread = false;
      refusedBefore = !write.taken;
      refusals += !write.taken;
    }
    return "";
  }

  // Whether `claim` is one the menu may show: read whole, its marks all the lines of one
  // rate, and " (not saved)" exactly when the file refused the last write of what the
  // line shows (REMEMBER_RATE, and while ON also UPDATERATE).
  std::string wrongClaim(const Claim& claim) {
    if (!claim.unreadable.empty()) return claim.unreadable;
    const std::optional<uint32_t> rate = rateMarked(claim, watch.ownRate);
    if (rate && claim.active != linesAt(*rate, watch.ownRate))
      return describe(claim) + " marks lines of different rates (own rate " + std::to_string(watch.ownRate) + ")";
    const bool refused = watch.answers[REMEMBER_KEY] == Answer::Refused ||
                         (showsOn(claim) && watch.answers[RATE_KEY] == Answer::Refused);
    ++remarksChecked;
    remarksShown += remarked(claim);
    if (remarked(claim) == refused) return "";
    return "the remember line shows " + claim.remember +
           " while the last writes since the last reading were: " + SAVED_KEYS[REMEMBER_KEY] + " " +
           describe(watch.answers[REMEMBER_KEY]) + ", " + SAVED_KEYS[RATE_KEY] + " " +
           describe(watch.answers[RATE_KEY]);
  }

  // After a remember press or a rate pick: the file reads as the line shows, ON as
  // REMEMBER_RATE 1 and UPDATERATE the rate marked, OFF as REMEMBER_RATE anything but 1.
  // Not asked while the line owns up to a refusal, or while a hand edit of those keys
  // is unanswered.
  std::string fileDisagrees(const Claim& claim, bool wrote) {
    if (remarked(claim) || watch.keysUnread) return "";
    ++filesChecked;
    writesChecked += wrote;
    const uint32_t remember = fileReads(SAVED_KEYS[REMEMBER_KEY], 0);
    const uint32_t rate = fileReads(SAVED_KEYS[RATE_KEY], static_cast<int32_t>(NORMAL_RATE));
    const bool agrees = showsOn(claim) ? remember == 1 && linesAt(rate, watch.ownRate) == claim.active : remember != 1;
    if (agrees) return "";
    return "the menu shows " + describe(claim) + " but the file reads REMEMBER_RATE as " + std::to_string(remember) +
           " and UPDATERATE as " + std::to_string(rate);
  }

  // A remember press or a rate pick, the file busy for the `refused`th write from now
  // when that is not 0; the writes it made, the menu after it and the file, checked.
  std::string act(int32_t line, uint32_t refused, Event& event) {
    refuseProfileWrite(refused);
    const Claim claim = carryOut(line);
    refuseProfileWrite(0);  // a refusal the action did not use does not wait for a later write
    event.shown = describe(claim);
    ++actions;
    std::string wrong = noteWrites(event);
    if (wrong.empty()) wrong = wrongClaim(claim);
    if (wrong.empty()) wrong = fileDisagrees(claim, !event.writes.empty());
    return wrong;
  }

  // One key of the file edited by hand: set to a value players leave there, or removed.
  void editOneKey(std::mt19937& random, Event& event) {
    constexpr int OWN_KEY = 2;
    const int which = static_cast<int>(random() % 3);
    const char* key = which == OWN_KEY ? "OWNRATE" : SAVED_KEYS[which];
    const char* value = which == REMEMBER_KEY ? pick(random, REMEMBER_VALUES)
                        : which == RATE_KEY   ? pick(random, UPDATERATE_VALUES)
                                              : pick(random, OWNRATE_VALUES);
    editKeyByHand(key, value);
    event.keys = value == nullptr ? "no " + std::string(key) : std::string(key) + "=" + value;
    watch.keysUnread |= which != OWN_KEY;  // OWNRATE waits for the next reading, whatever the plug-in writes
  }

  // What a stretch of `span` ms of play did to the game clock against what `rate` gives:
  // at the normal pace the game's own whole minutes, nothing added; stopped, nothing;
  // paced, the game's own clock still and a step added per period, a game second per
  // rate / 60 ms, or below 60 ms per minute a game minute per `rate` ms. Within one step,
  // the one in progress when the stretch began.
  static std::string wrongAdvance(uint32_t rate, uint32_t span, int64_t added, int64_t own) {
    const std::string seen = "at " + std::to_string(rate) + " ms per game minute, " + std::to_string(span) +
                             " ms of play added " + std::to_string(added) + " game seconds and the game's own clock " +
                             std::to_string(own);
    if (rate == NORMAL_RATE) {
      const int64_t minutes = own / 60;
      const bool right =
          added == 0 && own % 60 == 0 && minutes >= span / NORMAL_RATE && minutes <= span / NORMAL_RATE + 1;
      return right ? "" : seen + "; expected " + std::to_string(span / NORMAL_RATE) + " game minutes of its own";
    }
    if (rate == 0) return added == 0 && own == 0 ? "" : seen + "; expected a stopped clock";
    const int64_t stepSeconds = rate >= 60 ? 1 : 60;
    const int64_t period = rate >= 60 ? rate / 60 : rate;
    const int64_t expected = span / period;
    const int64_t steps = added / stepSeconds;
    const bool right = own == 0 && added % stepSeconds == 0 && steps >= expected && steps <= expected + 1;
    return right ? ""
                 : seen + "; expected " + std::to_string(expected) + " steps of " + std::to_string(stepSeconds) +
                       " game seconds and nothing of its own";
  }

  // Some seconds of play in frames of 250 ms, the scripts reloaded every 1 to 6 frames or
  // not at all: the game clock runs at the rate marked in use throughout, reloads or
  // not, frozen at any rate but the normal pace. When the file may name another rate
  // than memory, one reload first makes them agree, so the reloads inside keep the rate.
  std::string runStretch(std::mt19937& random, Event& event) {
    Claim claim = readClaim();
    std::string wrong = wrongClaim(claim);
    if (!wrong.empty()) return wrong;
    if (remarked(claim) || watch.keysUnread) {
      reloadScripts();
      host.runFrame(FRAME_MS);
      claim = readClaim();
      if (!(wrong = wrongClaim(claim)).empty()) return "after the reload before the stretch, " + wrong;
      event.keys = "after a reload, ";
    }
    event.shown = describe(claim);
    const std::optional<uint32_t> marked = rateMarked(claim, watch.ownRate);
    if (!marked) {
      ++stretchesSkipped;
      event.keys += "skipped, no rate marked";
      return "";
    }
    const uint32_t rate = *marked;
    host.runFrame(FRAME_MS);  // a frame of play, so the stretch begins where one ended
    SimGame& game = host.game();
    const uint32_t from = virtualTickCount();
    const int64_t addedBefore = game.secondsAdded();
    const int64_t dayBefore = secondOfDay(game);
    const uint32_t frames = 8 + random() % 17;
    const bool reloading = random() % 2 == 0;
    uint32_t untilReload = 1 + random() % 6;
    uint32_t reloadsInside = 0;
    for (uint32_t frame = 0; frame < frames; ++frame) {
      if (reloading && --untilReload == 0) {
        reloadScripts();
        ++reloadsInside;
        untilReload = 1 + random() % 6;
      }
      host.runFrame(FRAME_MS);
      if (game.paused() == (rate == NORMAL_RATE))
        return "after frame " + std::to_string(frame) + " of the stretch the game's clock was " +
               (game.paused() ? "frozen" : "running") + " at " + std::to_string(rate) + " ms per game minute";
    }
    const uint32_t span = virtualTickCount() - from;
    const int64_t added = game.secondsAdded() - addedBefore;
    const int64_t own = ((secondOfDay(game) - dayBefore - added) % SECONDS_PER_DAY + SECONDS_PER_DAY) % SECONDS_PER_DAY;
    event.keys +=
        std::to_string(span) + " ms at " + std::to_string(rate) + ", " + std::to_string(reloadsInside) + " reloads";
    ++stretchesChecked;
    stretchesReloaded += reloadsInside != 0;
    reloadsInStretches += reloadsInside;
    return wrongAdvance(rate, span, added, own);
  }

  // Whether the new game does what `before`, read just before the restart, promised. The
  // rate is compared, each claim's own rate line at the OWNRATE its reading found.
  static std::string brokenPromise(const Claim& before, const Claim& after, bool pausedAfter, uint32_t ownBefore,
                                   uint32_t ownAfter) {
    const std::string shown = "; the next start shows " + describe(after) + " with the game's clock " +
                              (pausedAfter ? "frozen" : "running");
    if (showsOn(before)) {
      // At the normal pace the game keeps its own clock; at any other the plug-in freezes it.
      const std::optional<uint32_t> rate = rateMarked(before, ownBefore);
      const bool normal = rate == NORMAL_RATE;
      bool sameRate = after.active == (rate ? linesAt(*rate, ownAfter) : std::set<int32_t>{});
      // A rate no line ran at may be the own rate after OWNRATE changed.
      if (!rate && ownAfter != ownBefore && after.active == std::set<int32_t>{OWN_LINE}) sameRate = true;
      if (!sameRate || pausedAfter == normal)
        return "ON promised the rate marked, with the game's clock " + std::string(normal ? "running" : "frozen") +
               shown;
    } else if (after.active.count(NORMAL_LINE) == 0 || pausedAfter) {
      return "OFF promised the normal pace" + shown;
    }
    return "";
  }

  // A restart, held to what the menu showed before it unless the line owned up to a
  // refusal or a hand edit of the remembered keys went unanswered.
  std::string restartChecked(Event& event, size_t lastShown, const std::vector<Event>& events) {
    const Claim before = readClaim();
    std::string wrong = wrongClaim(before);
    if (!wrong.empty()) return "before the restart, " + wrong;
    const std::string faults = gameFaults();
    if (!faults.empty()) return "the simulated game saw faults:" + faults;
    const bool excused = remarked(before) || watch.keysUnread;
    const uint32_t ownBefore = watch.ownRate;
    restartGame();
    const bool pausedAfter = host.game().paused();
    const Claim after = readClaim();
    event.shown = describe(after);
    ++restarts;
    if (!(wrong = wrongClaim(after)).empty()) return "after the restart, " + wrong;
    if (excused) return "";
    ++(showsOn(before) ? restartsCheckedOn : restartsCheckedOff);
    reloadsChecked += events[lastShown].step == Step::Reload;
    const std::string broken = brokenPromise(before, after, pausedAfter, ownBefore, watch.ownRate);
    if (broken.empty()) return "";
    return "the menu showed " + describe(before) + " since #" + std::to_string(lastShown) + " (" +
           describe(events[lastShown]) + "): " + broken;
  }

  // One event of a session carried out; the first thing it found wrong, or "".
  std::string carryOutEvent(std::mt19937& random, Event& event, size_t lastShown, const std::vector<Event>& events) {
    switch (event.step) {
      case Step::Start: break;
      case Step::Remember: return act(REMEMBER, 0, event);
      case Step::Rate:
        event.line = RATE_LINES[random() % RATE_LINES.size()];
        return act(event.line, 0, event);
      case Step::Busy:
        event.refused = 1 + random() % 2;
        event.line = random() % 3 == 0 ? REMEMBER : RATE_LINES[random() % RATE_LINES.size()];
        return act(event.line, event.refused, event);
      case Step::ReadOnly: makeReadOnly(); break;
      case Step::Folder:
        putFolderInPlace();
        watch.keysUnread = true;
        break;
      case Step::Writable: makeWritable(); break;
      case Step::Delete:
        fs::remove(SETTINGS_FILE_NAME);
        watch.keysUnread = true;
        break;
      case Step::Edit: {
        const HandWritten file = handWritten(random);
        editByHand(file.text);
        event.keys = file.keys;
        watch.keysUnread = true;
        break;
      }
      case Step::EditKey: editOneKey(random, event); break;
      case Step::Reload: {
        reloadScripts();
        host.runFrame();
        const Claim claim = readClaim();
        event.shown = describe(claim);
        ++reloads;
        return wrongClaim(claim);
      }
      case Step::Restart: return restartChecked(event, lastShown, events);
      case Step::Stretch: return runStretch(random, event);
    }
    return noteWrites(event);
  }

  // One session from `seed`: its events, and the first thing found wrong, or "".
  std::string runSession(uint32_t seed, std::vector<Event>& events) {
    std::mt19937 random(seed);
    if (host.loaded()) host.unload();
    fs::remove_all(SETTINGS_FILE_NAME);
    recordProfileWrites(true);
    Event first{Step::Start, 0, "no file", "", 0, ""};
    if (random() % 5 != 0) {
      const HandWritten file = handWritten(random);
      writeSettings(file.text);
      first.keys = file.keys;
    }
    restartGame();
    const Claim claim = readClaim();
    first.shown = describe(claim);
    events.push_back(first);
    if (const std::string wrong = wrongClaim(claim); !wrong.empty()) return "at #0, " + wrong;

    size_t lastShown = 0;  // the last event that changed, or may have changed, what the menu shows
    const uint32_t count = 30 + random() % 31;
    while (events.size() <= count && !HasFatalFailure()) {
      host.game().clearRecords();  // a session's frames would add up to much
      Event event{nextStep(random, events.back().step), 0, "", "", 0, ""};
      const std::string wrong = carryOutEvent(random, event, lastShown, events);
      if (!event.shown.empty()) lastShown = events.size();
      events.push_back(event);
      if (!wrong.empty()) return "at #" + std::to_string(events.size() - 1) + ", " + wrong;
    }
    const std::string faults = gameFaults();
    if (!faults.empty()) return "the simulated game saw faults:" + faults;
    ++sessions;
    eventCount += events.size();
    return "";
  }

  FileWatch watch;
  uint32_t sessions = 0, eventCount = 0, reloads = 0, reloadsChecked = 0;
  uint32_t restarts = 0, restartsCheckedOn = 0, restartsCheckedOff = 0;
  uint32_t actions = 0, filesChecked = 0, writesChecked = 0, refusals = 0;
  uint32_t remarksChecked = 0, remarksShown = 0;
  uint32_t stretchesChecked = 0, stretchesReloaded = 0, reloadsInStretches = 0, stretchesSkipped = 0;
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
            << " reloads checked, their menu held to by a restart\n"
            << "[ figures  ] the file checked after " << filesChecked << " of " << actions
            << " remember presses and rate picks, " << writesChecked << " of them with writes; " << refusals
            << " writes refused; " << remarksChecked << " remarks checked (" << remarksShown << " shown); "
            << stretchesChecked << " stretches of play checked, " << stretchesReloaded << " with " << reloadsInStretches
            << " reloads inside, " << stretchesSkipped << " skipped with no rate marked\n";
  RecordProperty("sessions", static_cast<int>(sessions));
  RecordProperty("events", static_cast<int>(eventCount));
  RecordProperty("restarts_checked", static_cast<int>(restartsChecked));
  RecordProperty("reloads_checked", static_cast<int>(reloadsChecked));
  RecordProperty("writes_checked", static_cast<int>(writesChecked));
  RecordProperty("remarks_checked", static_cast<int>(remarksChecked));
  RecordProperty("stretches_checked", static_cast<int>(stretchesChecked));
  RecordProperty("stretches_with_reloads", static_cast<int>(stretchesReloaded));
}
