// The frames that are measured, the plug-in's and the floor's, and how a run of them
// starts and ends.
//
// A run calls the real scriptMain (or the floor's loop) on the calling thread. Every
// scriptWait is one frame: the measuring program's scriptWait calls passFrame(), which
// moves the virtual tick on by the frame's gap and says where the run stands; at the end
// the program throws FramesDone, which runPlugin() and runFloor() catch.
//
// The floor of a frame is the very same sequence of native calls with the same slots
// (pointers aside), issued by straight-line code from values recorded beforehand: what
// any plug-in drawing that frame must at least spend.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "recorder.h"

namespace bench {

enum class Frame {
  Idle,   // the normal rate: the plug-in only looks for the open key
  Paced,  // rate 66 at 33 ms frames: every frame freezes the clock and adds 33 game seconds
  Menu,   // the open menu at 1280x720, every line drawn, keys polled every frame
};

constexpr Frame ALL_FRAMES[] = {Frame::Idle, Frame::Paced, Frame::Menu};

const char* frameName(Frame frame);  // "idle", "paced", "menu"
std::string frameTitle(Frame frame);  // what the frame is, in words, as README.md's figures name it

struct FramesDone {};  // ends a run; thrown by scriptWait, caught by runPlugin and runFloor

enum class Boundary {
  WarmingUp,  // the frame just ended is one of the run's first, not measured
  Start,      // measuring starts now
  Steady,     // a measured frame ended
  End,        // the last of a counted run's measured frames ended
};

// Called first by every scriptWait.
Boundary passFrame();

// Gets the plug-in ready to run `frame` from scriptMain: every global at its start value,
// the settings file the frame needs in a private working folder, the tick, and for the
// menu the release of the open key. `countedFrames` measured frames end the run with
// Boundary::End; 0 leaves the end to the caller.
void preparePlugin(Frame frame, uint64_t countedFrames);
void runPlugin();  // scriptMain until FramesDone

// Records one steady frame of the plug-in and takes the floor's values from it; then
// gets the floor ready to run like preparePlugin does for the plug-in.
void prepareFloor(Frame frame, uint64_t countedFrames);
void runFloor(Frame frame);  // the floor's frames until FramesDone

// Runs `frames` measured frames of both, recording. Empty when they issued the same
// calls, else the first difference, in words. `sum` receives the plug-in's checksum.
std::string compareWithFloor(Frame frame, uint32_t frames, uint64_t& sum);

// Removes the private working folder, if one was made.
void leaveWorkFolder();

// The floor's side, in floor.cpp: values from one recorded steady frame, and the loop.
void loadFloor(Frame frame, const std::vector<RecordedCall>& steadyFrame);
[[noreturn]] void floorLoop(Frame frame);

}  // namespace bench
