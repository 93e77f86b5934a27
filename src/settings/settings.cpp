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

}  // namespace

// `key` is written first; a key whose last write failed is tried again only after a
// write the file takes, so that with none failed each write stays one key.
void saveSetting(SavedKey key) {
  uint8_t failed = settings.failedWrites | key;
  for (uint8_t next = key; (failed & next) != 0 && write(static_cast<SavedKey>(next)); next ^= ALL_SAVED_KEYS)
    failed &= ~next;
  settings.failedWrites = failed;
  // A rate the file lacks matters only while remembering: the next start reads none.
  settings.unsaved = (failed & (settings.rememberRate == 1 ? ALL_SAVED_KEYS : REMEMBER_RATE_KEY)) != 0;
}

void loadSettings() {
  settings.openKey = readBinding("OPEN", DEFAULT_OPEN_KEY);
  settings.enterKey = readBinding("ENTER", DEFAULT_ENTER_KEY);
  settings.backKey = readBinding("BACK", DEFAULT_BACK_KEY);
  settings.upKey = readBinding("UP", DEFAULT_UP_KEY);
  settings.downKey = readBinding("DOWN", DEFAULT_DOWN_KEY);
  settings.rememberRate = static_cast<int32_t>(readInt("REMEMBER_RATE", 0));
  if (settings.rememberRate == 1) {
    const uint32_t remembered = readInt("UPDATERATE", NORMAL_RATE);
    // At the normal rate the game keeps its own clock: nothing is frozen or released.
    if (remembered != NORMAL_RATE) makeRateCurrent(remembered);
  }
  settings.ownRate = readInt("OWNRATE", NORMAL_RATE);
  settings.failedWrites = 0;  // memory now holds what the file holds
  settings.unsaved = false;
}

int32_t nextRememberRate(int32_t old) {
  const int32_t next = static_cast<int32_t>(static_cast<uint32_t>(old) + 1u);
  return next % 2;  // C++ division truncates, so the remainder keeps the sign of `next`
}

void resetSettings() { settings = Settings{}; }
