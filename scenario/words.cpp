// Splitting a scenario line into words.

#include "scenario/words.h"

#include <cctype>

std::vector<std::string> splitWords(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    if (std::isspace(static_cast<unsigned char>(line[i]))) {
      ++i;
      continue;
    }
    const size_t start = i;
    if (line[i] == '"') {
      for (++i; i < line.size() && line[i] != '"'; ++i)
        if (line[i] == '\\') ++i;
      if (i >= line.size()) throw ParseError{"text opened with \" is never closed"};
      ++i;
    } else {
      while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    }
    words.push_back(line.substr(start, i - start));
  }
  return words;
}
