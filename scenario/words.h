// Small text helpers the scenario reader and runner share.
#pragma once

#include <cctype>
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

// Equal names, letter case aside (settings sections and keys are matched this way).
inline bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// Words separated by blanks; a word that starts with '"' runs to its closing quote
// and keeps its quotes. Throws ParseError for a quote never closed.
std::vector<std::string> splitWords(const std::string& line);
