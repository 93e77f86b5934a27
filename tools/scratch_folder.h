// A fresh empty working folder for the plug-in, so that no settings file of the
// caller's is read or written.
#pragma once

#include <filesystem>

// Makes a temporary folder and enters it; on leaving scope, returns to the previous
// working folder and removes the temporary one with all it holds. Throws
// std::runtime_error when the folder cannot be made or entered.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

 private:
  std::filesystem::path previous_, path_;
};
