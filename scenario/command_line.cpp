// The command line both scenario runner programs share: run files, or compare traces.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "scenario/scenario.h"

namespace fs = std::filesystem;

namespace {


struct Options {
  std::string traceFolder;
  bool keep = false;
  std::vector<std::string> files;
};

std::string uniqueFolder() {
  static std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[48];
    std::snprintf(name, sizeof name, "horavane-scenario-%016llx",
                  static_cast<unsigned long long>(random()));
    const fs::path folder = fs::temp_directory_path() / name;
    if (fs::create_directory(folder)) return folder.string();
  }
  throw std::runtime_error("could not make a temporary folder in " + fs::temp_directory_path().string());
}

// Windows refuses to delete a read-only file, which a scenario may leave (settings-file
// read-only), so every entry is made writable first.
void removeFolder(const std::string& folder) {
  std::error_code ignored;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder, ignored))
    fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
  fs::remove_all(folder);
}

bool readAll(const Options& options, const std::string& startFolder, std::vector<Scenario>& scenarios) {
  std::vector<std::string> errors;
  std::map<std::string, std::string> names;
  for (const std::string& file : options.files) {
    const std::string path = (fs::path(startFolder) / file).lexically_normal().string();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      errors.push_back(file + ": cannot open the scenario file");
      continue;
    }
    Scenario scenario;
    readScenario(in, file, scenario, errors);
    if (!names.emplace(scenario.name, file).second)
      errors.push_back(file + ": same name as " + names[scenario.name] + " (traces would collide)");
    scenarios.push_back(std::move(scenario));
  }
  for (const std::string& error : errors) std::cerr << error << '\n';
  return errors.empty();
}

bool runOne(const Scenario& scenario, ScenarioHost& host, const Options& options, const std::string& startFolder) {
  std::ofstream trace;
  if (!options.traceFolder.empty()) {
    const fs::path path = fs::path(startFolder) / options.traceFolder / (scenario.name + ".trace");
    trace.open(path, std::ios::binary | std::ios::trunc);
    if (!trace) throw std::runtime_error("cannot write the trace " + path.string());
  }
  const std::string folder = uniqueFolder();
  fs::current_path(folder);
  const std::string failure = runScenario(scenario, host, trace.is_open() ? &trace : nullptr, startFolder);
  fs::current_path(startFolder);
  if (failure.empty() || !options.keep) removeFolder(folder);
  if (failure.empty()) {
    std::cout << "pass " << scenario.path << " (" << host.frameNumber() << " frames)\n";
    return true;
  }
  std::cerr << failure << '\n';
  std::cout << "FAIL " << scenario.path << (options.keep ? " (folder kept: " + folder + ")" : "") << '\n';
  return false;
}

int runFiles(ScenarioHost& host, const Options& options) {
  const std::string startFolder = fs::current_path().string();
  std::vector<Scenario> scenarios;
  if (!readAll(options, startFolder, scenarios)) return 1;
  if (!options.traceFolder.empty()) fs::create_directories(fs::path(startFolder) / options.traceFolder);
  size_t failed = 0;
  for (const Scenario& scenario : scenarios)
    if (!runOne(scenario, host, options, startFolder)) ++failed;
  std::cout << scenarios.size() << " scenarios, " << failed << " failed\n";
  return failed == 0 ? 0 : 1;
}

const char* const USAGE =
    "usage: <program> [--trace <folder>] [--keep] <scenario.scn>...\n"
    "       <program> compare <trace folder> <trace folder>\n";

}  // namespace

int scenarioMain(ScenarioHost& host, const std::vector<std::string>& arguments) {
  try {
    if (!arguments.empty() && arguments[0] == "compare") {
      if (arguments.size() != 3) {
        std::cerr << USAGE;
        return 2;
      }
      return compareTraceFolders(arguments[1], arguments[2]);
    }
    Options options;
    for (size_t i = 0; i < arguments.size(); ++i) {
      if (arguments[i] == "--trace" && i + 1 < arguments.size()) {
        options.traceFolder = arguments[++i];
      } else if (arguments[i] == "--keep") {
        options.keep = true;
      } else if (!arguments[i].empty() && arguments[i][0] == '-') {
        std::cerr << "unknown option " << arguments[i] << '\n' << USAGE;
        return 2;
      } else {
        options.files.push_back(arguments[i]);
      }
    }
    if (options.files.empty()) {
      std::cerr << USAGE;
      return 2;
    }
    return runFiles(host, options);
  } catch (const std::exception& error) {
    std::cerr << "error: " << error.what() << '\n';
    return 1;
  }
}
