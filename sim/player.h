// The simulated player's hands on a SimHost: the keys the plug-in read from its
// settings file, pressed the way a player uses the menu, and what the last frame showed.
//
// Every step taps its key and then runs frames until the menu is ready for the next
// key, so a run of steps never loses a release to a step's delay, whatever the frames'
// lengths. The keys are those of `settings` at the time of the step: load the plug-in
// and run its first frame before the first step.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "sim/host.h"

class Player {
 public:
  // Frames of 16 ms, a 60 Hz game, unless setFrameLengths says otherwise.
  explicit Player(SimHost& host);

  // Each frame the player runs lasts as long as `nextFrameMs()` says.
  void setFrameLengths(std::function<uint32_t()> nextFrameMs);

  // Taps OPEN and runs frames until the open menu looks at the keys for the first time.
  void openMenu();
  // Taps `key` and runs frames until the menu has acted on it and is ready for the next key.
  void press(uint32_t key);
  // Runs frames until a step of the menu that began in the last frame is over, whatever it was.
  void waitForMenu();
  void up() { press(settings.upKey); }
  void down() { press(settings.downKey); }
  void choose() { press(settings.enterKey); }
  void closeMenu() { press(settings.backKey); }
  // Presses UP or DOWN until `line` is selected; false as soon as a press does not move
  // the selection by exactly one line towards it.
  bool moveTo(int32_t line);
  // Opens the menu, moves to `line`, chooses it and closes the menu; false when the menu
  // did not open, did not reach the line or did not close.
  bool chooseLine(int32_t line);

  // The texts the last frame drew, in order; none when it drew nothing or recording was off.
  std::vector<DrawnText> lastFrame() const;
  std::vector<std::string> lastFrameLines() const;  // their text only
  bool menuShown() const;  // the last frame drew the menu
  // The menu line highlighted in the last frame, found by its caption from menuItems();
  // -1 when none is drawn highlighted.
  int32_t highlightedLine() const;
  std::string highlightedCaption() const;  // its caption, without any suffix; "" for none


 private:
  void runFor(uint32_t ms);

  SimHost& host_;
  std::function<uint32_t()> nextFrameMs_;
};

// The settings the plug-in reads when there is no settings file: its default keys and
// options, as loadSettings gives them. Leaves every global of the plug-in at its start
// value, so call it before loading the plug-in, not while it runs.
Settings defaultSettings();
