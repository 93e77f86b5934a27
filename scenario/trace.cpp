// Traces: two runs of the same scenarios compared line by line.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "scenario/scenario.h"

namespace fs = std::filesystem;

std::string compareTraces(std::istream& a, const std::string& nameA, std::istream& b,
                          const std::string& nameB) {
  std::string lineA, lineB;
  for (int number = 1;; ++number) {
    const bool moreA = static_cast<bool>(std::getline(a, lineA));
    const bool moreB = static_cast<bool>(std::getline(b, lineB));
    if (!moreA && !moreB) return "";
    if (moreA && moreB && lineA == lineB) continue;
    const std::string at = ":" + std::to_string(number) + ": ";
    return nameA + at + (moreA ? lineA : "(end of trace)") + "\n" + nameB + at + (moreB ? lineB : "(end of trace)");
  }
}

namespace {

std::vector<std::string> traceNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder))
    if (entry.path().extension() == ".trace") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

int compareTraceFolders(const std::string& a, const std::string& b) {
  const std::vector<std::string> namesA = traceNames(a), namesB = traceNames(b);
  if (namesA.empty()) {
    std::cerr << a << ": no traces to compare\n";
    return 1;
  }
  if (namesA != namesB) {
    std::cerr << "the trace folders hold different scenarios: " << a << " has " << namesA.size() << ", " << b
              << " has " << namesB.size() << '\n';
    return 1;
  }
  int status = 0;
  for (const std::string& name : namesA) {
    const std::string pathA = (fs::path(a) / name).string(), pathB = (fs::path(b) / name).string();
    std::ifstream inA(pathA, std::ios::binary), inB(pathB, std::ios::binary);
    const std::string difference = compareTraces(inA, pathA, inB, pathB);
    if (!difference.empty()) {
      std::cerr << "traces differ:\n" << difference << '\n';
      status = 1;
    }
  }
  if (status == 0) std::cout << "traces equal: " << namesA.size() << " scenarios in " << a << " and " << b << '\n';
  return status;
}
