// What the fuzz targets share: a reader that turns the fuzzer's bytes into values,
// a check that stops the run with a precise message, and a scratch folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "sim/scratch_folder.h"

// A failed property: prints where and what, then aborts, so libFuzzer saves the input
// and a replay run fails.
#define FUZZ_CHECK(condition, ...)                                                      \
  do {                                                                                  \
    if (!(condition)) {                                                                 \
      std::fprintf(stderr, "%s:%d: check failed: %s\n  ", __FILE__, __LINE__, #condition); \
      std::fprintf(stderr, __VA_ARGS__);                                                \
      std::fprintf(stderr, "\n");                                                       \
      std::abort();                                                                     \
    }                                                                                   \
  } while (0)

// Takes values from the front of the input; once it runs dry every value is 0 or empty.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool empty() const { return at_ >= size_; }
  uint8_t byte() { return empty() ? 0 : data_[at_++]; }
  uint32_t u32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | byte();
    return value;
  }
  // A string whose length is the next byte, cut to what is left.
  std::string shortString() { return bytes(byte()); }
  std::string bytes(size_t count) {
    const size_t left = empty() ? 0 : size_ - at_;
    if (count > left) count = left;
    std::string out(reinterpret_cast<const char*>(data_ + at_), count);
    at_ += count;
    return out;
  }
  std::string rest() { return bytes(size_); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// A private folder for the files a target writes, entered at the first call:
// inside $HORAVANE_FUZZ_SCRATCH when set (run-fuzzers.sh sets it and removes it,
// since libFuzzer may end the process without running exit handlers), else on a
// memory file system where there is one (the profile functions sync every write);
// removed when the process exits normally.
inline std::string scratchBase() {
  const char* chosen = std::getenv("HORAVANE_FUZZ_SCRATCH");
  if (chosen != nullptr && *chosen != '\0') return chosen;
  return std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "";
}

inline const std::string& scratchFolder() {
  static const ScratchFolder folder(scratchBase());
  return folder.path();
}
