// Preparing, running and comparing the measured frames.

#include "frame_cases.h"

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "menu/menu.h"
#include "plugin/plugin.h"
#include "settings/settings.h"
#include "sim/scratch_folder.h"
#include "virtual_tick.h"

namespace bench {
namespace {

constexpr uint32_t START_TICK = 1000000;
constexpr uint32_t WARMUP_FRAMES = 32;  // the menu's opening step lasts 7 frames of 16 ms
HMODULE const PLUGIN_MODULE = reinterpret_cast<HMODULE>(0x180000000ull);

struct Run {
  uint32_t tick;
  uint32_t gapMs;        // virtual time from one frame to the next
  uint32_t warmupLeft;   // frames until measuring starts
  uint64_t countedLeft;  // measured frames until Boundary::End, when counted
  bool counted;
  bool recordSteady;     // record the measured frames
};

Run run = {};
std::unique_ptr<ScratchFolder> workFolder;  // so no settings file of the caller's is read or written

uint32_t frameGapMs(Frame frame) { return frame == Frame::Paced ? 33 : 16; }

void enterWorkFolder() {
  if (workFolder == nullptr) workFolder = std::make_unique<ScratchFolder>();
}

void writeSettings(Frame frame) {
  std::remove(SETTINGS_FILE_NAME);
  if (frame != Frame::Paced) return;  // defaults: the normal rate and the default keys
  if (!writeFile(SETTINGS_FILE_NAME, "[SETTINGS]\r\nREMEMBER_RATE=1\r\nUPDATERATE=66\r\n"))
    throw std::runtime_error("bench: cannot write " + workFolder->path() + "/" + SETTINGS_FILE_NAME);
}

// The OPEN key as scriptMain will read it from the frame's settings file.
uint32_t openKey() {
  loadSettings();
  const uint32_t key = settings.openKey;
  resetPluginState();
  return key;
}

void startRun(Frame frame, uint64_t countedFrames) {
  run = Run{START_TICK, frameGapMs(frame), WARMUP_FRAMES, countedFrames, countedFrames != 0, false};
  setVirtualTickCount(run.tick);
}

bool sameCall(const RecordedCall& a, const RecordedCall& b) {
  return a.hash == b.hash && a.slots == b.slots && a.text == b.text;
}

}  // namespace

const char* frameName(Frame frame) {
  switch (frame) {
    case Frame::Idle:
      return "idle";
    case Frame::Paced:
      return "paced";
    case Frame::Menu:
      return "menu";
  }
  return "?";
}

std::string frameTitle(Frame frame) {
  switch (frame) {
    case Frame::Idle:
      return "idle, rate 2000";
    case Frame::Paced:
      return "paced, rate 66, 33 ms frames";
    case Frame::Menu:
      return "open menu, " + std::to_string(MENU_LINE_COUNT) + " lines, 1280x720";
  }
  return "?";
}

Boundary passFrame() {
  run.tick += run.gapMs;
  setVirtualTickCount(run.tick);
  if (run.warmupLeft > 0) {
    if (--run.warmupLeft > 0) return Boundary::WarmingUp;
    if (run.recordSteady) startRecording();
    return Boundary::Start;
  }
  if (recording()) recordFrameEnd();
  if (run.counted && --run.countedLeft == 0) return Boundary::End;
  return Boundary::Steady;
}

void preparePlugin(Frame frame, uint64_t countedFrames) {
  enterWorkFolder();
  writeSettings(frame);
  resetPluginState();
  const uint32_t open = frame == Frame::Menu ? openKey() : 0;
  startRun(frame, countedFrames);
  DllMain(PLUGIN_MODULE, DLL_PROCESS_ATTACH, nullptr);
  if (frame == Frame::Menu) {
    KeyboardHandler handler = registeredKeyboardHandler();
    if (handler == nullptr) throw std::runtime_error("bench: the plug-in registered no keyboard handler");
    handler(open, 1, 0, FALSE, FALSE, TRUE, TRUE);  // released: scriptMain opens the menu
  }
}

void runPlugin() {
  try {
    scriptMain();
  } catch (const FramesDone&) {
  }
}

void prepareFloor(Frame frame, uint64_t countedFrames) {
  preparePlugin(frame, 1);
  run.recordSteady = true;
  runPlugin();
  loadFloor(frame, stopRecording());
  startRun(frame, countedFrames);
}

void runFloor(Frame frame) {
  try {
    floorLoop(frame);
  } catch (const FramesDone&) {
  }
}

std::string compareWithFloor(Frame frame, uint32_t frames, uint64_t& sum) {
  prepareFloor(frame, frames);
  run.recordSteady = true;
  runFloor(frame);
  const std::vector<RecordedCall> floor = stopRecording();
  preparePlugin(frame, frames);
  run.recordSteady = true;
  runPlugin();
  const std::vector<RecordedCall> plugin = stopRecording();
  sum = checksum(plugin);

  const std::string what = std::string(frameName(frame)) + " frame, measured call ";
  for (size_t i = 0; i < plugin.size() || i < floor.size(); ++i) {
    if (i < plugin.size() && i < floor.size() && sameCall(plugin[i], floor[i])) continue;
    return what + std::to_string(i + 1) + ": the plug-in issued " +
           (i < plugin.size() ? describe(plugin[i]) : "nothing more") + ", the floor " +
           (i < floor.size() ? describe(floor[i]) : "nothing more");
  }
  return "";
}

void leaveWorkFolder() { workFolder.reset(); }

}  // namespace bench
