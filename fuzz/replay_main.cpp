// Runs a fuzz target over saved inputs without libFuzzer: every file named on the
// command line, and every file inside each folder named, in name order. A failed
// check aborts with its message, so this is how a corpus becomes a plain test.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

namespace {

bool readInput(const fs::path& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), {});
  return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
  // Absolute, since a target may change the current folder.
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    if (fs::is_directory(argv[i], error)) {
      for (const fs::directory_entry& entry : fs::directory_iterator(argv[i]))
        if (entry.is_regular_file()) inputs.push_back(fs::absolute(entry.path()));
    } else if (fs::is_regular_file(argv[i], error)) {
      inputs.push_back(fs::absolute(argv[i]));
    } else {
      std::fprintf(stderr, "%s: no such file or folder\n", argv[i]);
      return 2;
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "usage: %s <input file or folder>...: nothing to replay\n", argv[0]);
    return 2;
  }
  std::sort(inputs.begin(), inputs.end());
  std::vector<uint8_t> bytes;
  for (const fs::path& input : inputs) {
    if (!readInput(input, bytes)) {
      std::fprintf(stderr, "%s: cannot be read\n", input.c_str());
      return 2;
    }
    std::fprintf(stderr, "replaying %s (%zu bytes)\n", input.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("%zu inputs replayed, no check failed\n", inputs.size());
  return 0;
}
