// Small text helpers the scenario reader and runner share.
#pragma once

#include <string>
#include <vector>

// A malformed scenario line: what is wrong with it.
struct ParseError {
  std::string what;
};

// `text` without its leading and trailing blanks, tabs and carriage returns.
inline std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Words separated by blanks; a word that starts with '"' runs to its closing quote
// and keeps its quotes. Throws ParseError for a quote never closed.
std::vector<std::string> splitWords(const std::string& line);
