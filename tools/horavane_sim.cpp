// horavane-sim: the plug-in in the simulated host, from the command line.
//
//   horavane-sim demo    a short scripted session: what the player sees, what the clock does
//   horavane-sim play [--resolution <w>x<h>]   the game live in this terminal, in real time
//   horavane-sim render <frame-file> <out.png> a frame as the player sees it, as a picture
//   horavane-sim key-names                     every key name a settings file may bind
//   horavane-sim key-names --markdown          the same as README.md's paragraph
//   horavane-sim key-names --silent            the names accepted that never act
//   horavane-sim speeds                        the pace each rate line of the menu really
//                                              gives, as the players' readme's table
//   horavane-sim pace-table                    the same against what each caption
//                                              promises, as README.md's Markdown section
//   horavane-sim speed-range                   the least and the most that the faster lines, and
//                                              the slower ones, really give: one sentence for
//                                              the introductions of both READMEs
//   horavane-sim settings [<ini>]              what the plug-in reads at start from the given
//                                              settings file, else from ./horavane.ini as the
//                                              game does; the first line names the file read

#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tools/demo.h"
#include "tools/play.h"
#include "tools/release_facts.h"
#include "tools/render.h"
#include "tools/speed_table.h"

namespace {

// The exit status of a command that reports failure through `error`.
int finish(bool ok, const std::string& error) {
  if (ok) return 0;
  std::fprintf(stderr, "horavane-sim: %s\n", error.c_str());
  return 1;
}

int run(const std::vector<std::string>& args) {
  const std::string command = args.empty() ? "" : args[0];
  std::string error;
  if (args.size() == 1 && command == "demo") return runDemo();
  if (command == "play") return playCommand(std::vector<std::string>(args.begin() + 1, args.end()));
  if (args.size() == 3 && command == "render") return renderCommand(args[1], args[2]);
  if (args.size() == 1 && command == "key-names") {
    writeKeyNames(std::cout);
    return 0;
  }
  if (args.size() == 2 && command == "key-names" && args[1] == "--markdown") {
    writeKeyNamesMarkdown(std::cout);
    return 0;
  }
  if (args.size() == 2 && command == "key-names" && args[1] == "--silent") {
    writeSilentKeyNames(std::cout);
    return 0;
  }
  if (args.size() == 1 && command == "speeds") return tableCommand("speeds", writeSpeedTable, std::cout, std::cerr);
  if (args.size() == 1 && command == "pace-table")
    return tableCommand("pace-table", writePaceTableMarkdown, std::cout, std::cerr);
  if (args.size() == 1 && command == "speed-range")
    return tableCommand("speed-range", writeSpeedRange, std::cout, std::cerr);
  if (args.size() <= 2 && command == "settings")
    return finish(writeLoadedSettings(args.size() == 2 ? args[1] : "", std::cout, error), error);
  std::fprintf(stderr,
               "usage: horavane-sim demo | play [--resolution <w>x<h>] | render <frame-file> <out.png> |\n"
               "                    key-names [--markdown | --silent] | speeds | pace-table | speed-range |\n"
               "                    settings [<ini>]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& failure) {  // a scratch folder that could not be made
    std::fprintf(stderr, "horavane-sim: %s\n", failure.what());
    return 1;
  }
}
