// The simulated game: executes the natives the plug-in calls and records them.

#include "sim/game.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "host/native_catalogue.h"

namespace {

constexpr int32_t SECONDS_PER_DAY = 24 * 60 * 60;
constexpr uint32_t GAME_MINUTE_MS = 2000;  // the game's own pace

int32_t slotInt(uint64_t slot) { return static_cast<int32_t>(static_cast<uint32_t>(slot)); }

float slotFloat(uint64_t slot) {
  const uint32_t bits = static_cast<uint32_t>(slot);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::string formatFloat(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

}  // namespace

std::string quoteText(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

SimGame::SimGame() { reset(); }

void SimGame::reset() {
  secondOfDay_ = 12 * 3600;
  ownAdvanceMs_ = 0;
  paused_ = false;
  secondsAdded_ = 0;
  width_ = 1280;
  height_ = 720;
  frame_ = 0;
  callOpen_ = false;
  pending_ = NativeCall{};
  result_ = 0;
  nullResults_ = false;
  item_ = DrawnText{};
  itemBegun_ = false;
  recording_ = true;
  callCount_ = 0;
  calls_.clear();
  texts_.clear();
  errors_.clear();
}

void SimGame::elapse(uint32_t ms) {
  if (paused_) return;
  ownAdvanceMs_ += ms;
  if (ownAdvanceMs_ >= GAME_MINUTE_MS) {
    const uint32_t minutes = ownAdvanceMs_ / GAME_MINUTE_MS;
    ownAdvanceMs_ %= GAME_MINUTE_MS;
    secondOfDay_ = static_cast<int32_t>((secondOfDay_ + int64_t{60} * minutes) % SECONDS_PER_DAY);
  }
}

void SimGame::addSeconds(int64_t seconds) {
  int64_t second = (secondOfDay_ + seconds % SECONDS_PER_DAY) % SECONDS_PER_DAY;
  if (second < 0) second += SECONDS_PER_DAY;
  secondOfDay_ = static_cast<int32_t>(second);
}

void SimGame::setClock(int32_t hours, int32_t minutes, int32_t seconds) {
  secondOfDay_ = 0;
  addSeconds(int64_t{hours} * 3600 + int64_t{minutes} * 60 + seconds);
}

void SimGame::setResolution(int32_t width, int32_t height) {
  width_ = width;
  height_ = height;
}

void SimGame::error(const std::string& what) {
  char where[48];
  std::snprintf(where, sizeof where, "frame %" PRIu64 ": ", frame_);
  errors_.push_back(where + what);
}

void SimGame::nativeInit(uint64_t hash) {
  if (callOpen_) error("nativeInit before the previous call was made: " + describe(pending_));
  callOpen_ = true;
  pending_.frame = frame_;
  pending_.hash = hash;
  pending_.slots.clear();
  pending_.text.clear();
}

void SimGame::nativePush(uint64_t slot) {
  if (!callOpen_) {
    error("nativePush64 without nativeInit");
    return;
  }
  pending_.slots.push_back(slot);
}

uint64_t* SimGame::nativeCall() {
  result_ = 0;
  if (!callOpen_) {
    error("nativeCall without nativeInit");
    return &result_;
  }
  callOpen_ = false;
  ++callCount_;
  const NativeInfo* info = findNative(pending_.hash);
  if (info == nullptr) {
    char text[64];
    std::snprintf(text, sizeof text, "unknown native hash 0x%016" PRIX64, pending_.hash);
    error(text);
  } else if (const size_t expected = std::strlen(info->arguments); pending_.slots.size() != expected) {
    error(std::string(info->name) + " called with " + std::to_string(pending_.slots.size()) +
          " arguments, expects " + std::to_string(expected));
  } else {
    for (size_t i = 0; i < pending_.slots.size(); ++i)
      if (info->arguments[i] == 's' && pending_.slots[i] != 0)
        pending_.text = reinterpret_cast<const char*>(static_cast<uintptr_t>(pending_.slots[i]));
    execute(pending_, *info);
  }
  if (recording_) calls_.push_back(pending_);
  return nullResults_ ? nullptr : &result_;
}

void SimGame::execute(const NativeCall& call, const NativeInfo& info) {
  const std::vector<uint64_t>& a = call.slots;
  for (size_t i = 0; i < a.size(); ++i) {
    const char kind = info.arguments[i];
    const bool highHalfSet = (a[i] >> 32) != 0;
    if ((kind == 'i' || kind == 'f') && highHalfSet)
      error(describe(call) + ": argument " + std::to_string(i + 1) + " has its high half set");
    if ((kind == 'p' || kind == 's') && a[i] == 0)
      error(describe(call) + ": argument " + std::to_string(i + 1) + " is a null pointer");
  }
  switch (call.hash) {
    case HASH_CLOCK_ADD: {
      const int64_t seconds = int64_t{slotInt(a[0])} * 3600 + int64_t{slotInt(a[1])} * 60 + slotInt(a[2]);
      secondsAdded_ += seconds;
      addSeconds(seconds);
      break;
    }
    case HASH_CLOCK_SET:
      setClock(slotInt(a[0]), slotInt(a[1]), slotInt(a[2]));
      break;
    case HASH_CLOCK_PAUSE:
      paused_ = slotInt(a[0]) != 0;
      break;
    case HASH_CLOCK_HOURS:
      result_ = static_cast<uint32_t>(hours());
      break;
    case HASH_CLOCK_MINUTES:
      result_ = static_cast<uint32_t>(minutes());
      break;
    case HASH_CLOCK_SECONDS:
      result_ = static_cast<uint32_t>(seconds());
      break;
    case HASH_SCREEN_RESOLUTION:
      if (a[0] != 0) *reinterpret_cast<int32_t*>(static_cast<uintptr_t>(a[0])) = width_;
      if (a[1] != 0) *reinterpret_cast<int32_t*>(static_cast<uintptr_t>(a[1])) = height_;
      break;
    case HASH_TEXT_FONT:
      item_.font = slotInt(a[0]);
      break;
    case HASH_TEXT_SCALE:
      item_.scale = slotFloat(a[1]);
      break;
    case HASH_TEXT_RGBA:
      item_.red = slotInt(a[0]);
      item_.green = slotInt(a[1]);
      item_.blue = slotInt(a[2]);
      item_.alpha = slotInt(a[3]);
      break;
    case HASH_TEXT_BEGIN:
      if (call.text != "STRING") error(describe(call) + ": text item kind is not \"STRING\"");
      itemBegun_ = true;
      break;
    case HASH_TEXT_ADD_STRING:
      if (!itemBegun_) error(describe(call) + ": text added before TextBegin");
      item_.text = call.text;
      break;
    case HASH_TEXT_DRAW:
      if (!itemBegun_) error(describe(call) + ": TextDraw without TextBegin");
      item_.frame = frame_;
      item_.x = slotFloat(a[0]);
      item_.y = slotFloat(a[1]);
      if (recording_) texts_.push_back(item_);
      // A text item and its style last for one draw; the next line starts afresh.
      item_ = DrawnText{};
      itemBegun_ = false;
      break;
    default:  // TextFlag, TextEffectA, TextEffectB: style the simulated screen ignores
      break;
  }
}

void SimGame::clearRecords() {
  calls_.clear();
  texts_.clear();
}

std::string SimGame::describe(const NativeCall& call) {
  const NativeInfo* info = findNative(call.hash);
  std::string out;
  if (info == nullptr) {
    char text[40];
    std::snprintf(text, sizeof text, "0x%016" PRIX64, call.hash);
    out = text;
  } else {
    out = info->name;
  }
  for (size_t i = 0; i < call.slots.size(); ++i) {
    const char kind = info != nullptr && i < std::strlen(info->arguments) ? info->arguments[i] : 'x';
    out += ' ';
    if (kind == 'i') {
      out += std::to_string(slotInt(call.slots[i]));
    } else if (kind == 'f') {
      out += formatFloat(slotFloat(call.slots[i]));
    } else if (kind == 's') {
      out += quoteText(call.text);
    } else if (kind == 'p') {
      out += call.slots[i] != 0 ? "&int" : "null";
    } else {
      char text[24];
      std::snprintf(text, sizeof text, "0x%" PRIX64, call.slots[i]);
      out += text;
    }
  }
  return out;
}

std::string SimGame::describe(const DrawnText& text) {
  return quoteText(text.text) + " at " + formatFloat(text.x) + "," + formatFloat(text.y) + " scale " +
         formatFloat(text.scale) + " font " + std::to_string(text.font) + " rgba " +
         std::to_string(text.red) + "," + std::to_string(text.green) + "," +
         std::to_string(text.blue) + "," + std::to_string(text.alpha);
}
