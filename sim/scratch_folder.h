// A scratch working folder, and whole files read and written byte for byte.
//
// The plug-in reads and writes .\horavane.ini in the current folder; whatever runs it
// (a test, a fuzz target, a benchmark, a tool) does so inside a ScratchFolder, so no
// settings file of the caller's is ever read or changed.
#pragma once

#include <string>

class ScratchFolder {
 public:
  // Makes a fresh empty folder inside `base` (the system's temporary folder when empty)
  // and enters it; throws std::runtime_error, naming the folder, when it cannot.
  explicit ScratchFolder(const std::string& base = "");
  // Goes back to the folder that was current before and removes this one, contents and all.
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }  // absolute

 private:
  std::string previous_;
  std::string path_;
};

// The file's bytes; empty when it cannot be read.
std::string readFile(const std::string& path);

// Makes the file hold exactly `bytes`; false when it cannot be written.
bool writeFile(const std::string& path, const std::string& bytes);
