#include "tools/scratch_folder.h"

#include <stdlib.h>

#include <stdexcept>
#include <string>

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() : previous_(fs::current_path()) {
  std::string pattern = (fs::temp_directory_path() / "horavane-tools-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a folder like " + pattern);
  path_ = pattern;
  std::error_code error;
  fs::current_path(path_, error);
  if (error) {
    fs::remove_all(path_, error);
    throw std::runtime_error("cannot enter " + pattern);
  }
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
  fs::remove_all(path_, ignored);
}
