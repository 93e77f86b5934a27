// The settings-file writes off Windows, as tests see and steer them: what each write was
// answered, and one chosen write refused, as Windows refuses a file that another program
// holds open for a moment.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ProfileWrite {
  std::string key;    // "" for a write that removes a section
  std::string value;  // as asked for; "" for a removal
  bool taken;         // the function's answer
};

// Writes are recorded from now on (on) or not at all (off, as at start); either way the
// record so far is cleared.
void recordProfileWrites(bool on);
// The writes recorded since recording was switched on, oldest first.
std::vector<ProfileWrite> profileWrites();

// The `nth` write from now (1: the next one) is refused and leaves the file as it was;
// 0 refuses none. Counts every write, recorded or not.
void refuseProfileWrite(uint32_t nth);
