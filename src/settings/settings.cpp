// Reading and writing the settings file through the platform's profile functions.

#include "settings/settings.h"

#include "clock/clock.h"
#include "compat.h"
#include "input/keys.h"
#include "text/decimal_text.h"

Settings settings;

namespace {

constexpr uint32_t KEY_NAME_BUFFER = 32;  // room for 31 characters and the terminator

uint32_t readBinding(const char* key, const char* fallback) {
  char name[KEY_NAME_BUFFER] = {};
  GetPrivateProfileStringA("CONTROLS", key, fallback, name, KEY_NAME_BUFFER, SETTINGS_FILE);
  name[KEY_NAME_BUFFER - 1] = '\0';  // whatever the profile function did
  return keyCodeFromName(name);
}

uint32_t readInt(const char* key, int32_t fallback) {
  return GetPrivateProfileIntA("SETTINGS", key, fallback, SETTINGS_FILE);
}

// One key's value as it is in memory now; whether the file took it. Windows refuses the
// write when the file is read-only or its folder cannot be written (a game under
// Program Files); the value in memory has changed all the same.
bool write(SavedKey key) {
  const bool remember = key == REMEMBER_RATE_KEY;
  const DecimalText text = remember ? decimalText(settings.rememberRate) : decimalText(settings.savedRate);
  return WritePrivateProfileStringA("SETTINGS", remember ? "REMEMBER_RATE" : "UPDATERATE", text.chars,
                                    SETTINGS_FILE) != FALSE;
}

// REMEMBER_RATE first, then UPDATERATE, so that a new file reads in the order of the
// example.
constexpr SavedKey WRITE_ORDER[] = {REMEMBER_RATE_KEY, UPDATERATE_KEY};

}  // namespace

// The first write the file refuses ends the round: while the file refuses, a save costs
// one attempt, and what was not written stays pending. A file that refused a write may
// have lost the remember option too (a folder put in its place takes the whole file),
// so the option is written again with the next write the file takes; that alone is no
// refusal of what the menu shows.
void saveSettings(uint8_t keys) {
  uint8_t pending = settings.pendingWrites | keys;
  // A rate remembered in a file that no longer says so would be forgotten at the next
  // start: the option goes in first. A line the player wrote that reads as 1 stays.
  if (settings.rememberRate == 1 && (pending & REMEMBER_RATE_KEY) == 0 && readInt("REMEMBER_RATE", 0) != 1)
    pending |= REMEMBER_RATE_KEY;
  for (const SavedKey key : WRITE_ORDER) {
    if ((pending & key) == 0) continue;
    if (!write(key)) {
      settings.refusedWrites |= key;
      pending |= REMEMBER_RATE_KEY;
      break;
    }
    settings.refusedWrites &= ~key;
    pending &= ~key;
  }
  settings.pendingWrites = pending;
  // A rate the file refused matters only while remembering: the next start reads none.
  const uint8_t shown = settings.rememberRate == 1 ? ALL_SAVED_KEYS : REMEMBER_RATE_KEY;
  settings.unsaved = (settings.refusedWrites & shown) != 0;
}

void loadSettings() {
  settings.openKey = readBinding("OPEN", DEFAULT_OPEN_KEY);
  settings.enterKey = readBinding("ENTER", DEFAULT_ENTER_KEY);
  settings.backKey = readBinding("BACK", DEFAULT_BACK_KEY);
  settings.upKey = readBinding("UP", DEFAULT_UP_KEY);
  settings.downKey = readBinding("DOWN", DEFAULT_DOWN_KEY);
  settings.rememberRate = static_cast<int32_t>(readInt("REMEMBER_RATE", 0));
  // Memory becomes what the file holds, the remembered rate included: on a reload of the
  // scripts a remembered normal rate releases a clock that the last run paced or stopped.
  // Without remembering, a reload keeps the rate in use.
  if (settings.rememberRate == 1) settings.savedRate = readInt("UPDATERATE", NORMAL_RATE);
  resumeRate(settings.rememberRate == 1 ? settings.savedRate : currentRate);
  settings.ownRate = readInt("OWNRATE", NORMAL_RATE);
  // Memory now holds what the file holds: nothing is pending, nothing refused.
  settings.pendingWrites = 0;
  settings.refusedWrites = 0;
  settings.unsaved = false;
}

int32_t nextRememberRate(int32_t old) {
  const int32_t next = static_cast<int32_t>(static_cast<uint32_t>(old) + 1u);
  return next % 2;  // C++ division truncates, so the remainder keeps the sign of `next`
}

#ifdef HORAVANE_RESETTABLE
void resetSettings() { settings = Settings{}; }
#endif
