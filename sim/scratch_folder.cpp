// A scratch working folder, and whole files read and written byte for byte.

#include "sim/scratch_folder.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(const std::string& base) {
  std::error_code error;
  previous_ = fs::current_path(error).string();
  if (error) throw std::runtime_error("no current folder to come back to: " + error.message());
  std::string pattern = ((base.empty() ? fs::temp_directory_path(error) : fs::path(base)) /
                         "horavane-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make the folder " + pattern);
  path_ = fs::absolute(pattern).string();
  fs::current_path(path_, error);
  if (error) {
    fs::remove(path_, error);
    throw std::runtime_error("cannot enter the folder " + path_);
  }
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
  fs::remove_all(path_, ignored);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  return out.good();
}
