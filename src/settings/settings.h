// Settings: the bindings and options read from .\horavane.ini once at start, and the
// two values the plug-in writes back.
#pragma once

#include <cstdint>

constexpr const char* SETTINGS_FILE = ".\\horavane.ini";
// The same file as the simulated host, tests and tools open it, from the current folder.
constexpr const char* SETTINGS_FILE_NAME = SETTINGS_FILE + 2;

// The keys bound when the settings file names none, by their names in [CONTROLS].
constexpr const char* DEFAULT_OPEN_KEY = "VK_F5";
constexpr const char* DEFAULT_ENTER_KEY = "VK_NUMPAD5";
constexpr const char* DEFAULT_BACK_KEY = "VK_NUMPAD0";
constexpr const char* DEFAULT_UP_KEY = "VK_NUMPAD8";
constexpr const char* DEFAULT_DOWN_KEY = "VK_NUMPAD2";

struct Settings {
  uint32_t openKey;   // opens the menu; inside it, closes it like backKey
  uint32_t enterKey;  // carries out the selected line
  uint32_t backKey;   // closes the menu
  uint32_t upKey;     // moves the selection up
  uint32_t downKey;   // moves the selection down
  int32_t rememberRate;  // the chosen rate is remembered only when this is exactly 1
  uint32_t ownRate;      // rate of the "Own rate" line, ms per game minute
  // What UPDATERATE should hold: the rate read from it, or the one in use when remembering
  // was switched on, or the rate chosen last while remembering.
  uint32_t savedRate;
  uint8_t pendingWrites;  // SavedKey bits: what goes into the file with its next write
  uint8_t refusedWrites;  // SavedKey bits: the keys whose last write the file refused
  // The file refused the last write of the remember option or, while remembering, of the
  // rate: the next game start may not do what the menu shows.
  bool unsaved;
};

// The keys the plug-in writes, as bits of Settings::pendingWrites and refusedWrites.
enum SavedKey : uint8_t { REMEMBER_RATE_KEY = 1, UPDATERATE_KEY = 2, ALL_SAVED_KEYS = 3 };

extern Settings settings;

// Reads the whole file; sets `settings` and, when remembering, makes the remembered rate
// current. What is in memory is then what the file holds, and nothing is pending.
void loadSettings();

// Writes the values of `keys` (SavedKey bits) as they are in memory: REMEMBER_RATE from
// settings.rememberRate, UPDATERATE from settings.savedRate, each in section SETTINGS,
// the rest of the file as it is. What is pending goes in with them, so that a file made
// writable again catches up at the next write; while remembering, so does the option
// when the file no longer reads it as 1 (deleted or edited while the game runs).
// Sets settings.unsaved, so the menu can say that the file refused what it shows.
void saveSettings(uint8_t keys);

// The remember option's next value: (old + 1) rem 2, the sum wrapping in 32 bits.
int32_t nextRememberRate(int32_t old);

// All fields back to zero, as before loading (HORAVANE_RESETTABLE only).
void resetSettings();
