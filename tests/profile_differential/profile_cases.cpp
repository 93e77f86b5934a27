// Settings-file cases run through the profile functions, one canonical line per
// result. Built twice from this one source: for Windows against kernel32 (run
// under Wine) and for Linux against platform/posix/profile.cpp; run.sh compares
// the two outputs line by line.
//
// Each case writes its own file (".\cN.ini", so no cached copy of an earlier
// case can answer), then reads strings into a 32-byte buffer, reads integers,
// and writes, printing the written file and the value read back.
//
// Written files are printed normalised: blank lines and "[]" headers dropped,
// every line trimmed, blanks around '=' and inside "[...]" removed, text after
// a header's ']' dropped, any line end the same. Wine rebuilds a written file
// from what it parsed, which loses exactly those details; Windows and
// platform/posix keep every line they do not change byte for byte.
//
// Differences found between Wine and platform/posix, and what was done:
// - Wine writes a read-only file when run as root; Windows refuses and so does
//   platform/posix. Not compared here (the unit tests cover it).
// - Deleting a key removes the first key of that name in ANY section of that
//   name under Wine, while reads and value writes look at the first section
//   only. platform/posix deleted only from the first section; changed to match.
// - Wine creates a new section or key from a padded name with the padding half
//   kept ("  B " gives "[B ]"), and deletes a section or key only when the name
//   is given without padding. platform/posix trims names on every call; cases
//   here write with unpadded names only.
// - Wine leaves out a "[]" header when it rewrites a file, so the keys under it
//   join the section before. platform/posix keeps the line, as Windows keeps
//   every line it does not change; the comparison drops such headers, and a
//   case whose file holds one reads nothing back after its write.
// - Wine drops a key line with an empty name ("=x") that follows another one.
//   No case writes to a file holding two of them.
// - Wine writes line breaks inside a value into the file; platform/posix
//   refuses such a write, so a value cannot inject lines. Not generated.
// - Everything else generated here agrees: the quote stripping that cuts one
//   more character when only the closing quote does not fit, the fallback's
//   trailing spaces and quotes, ^Z as a blank, lines ending at '\r' after the
//   last '\n', and integers read from at most 29 characters were all first
//   seen under Wine and are copied by platform/posix.

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include "compat.h"
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

typedef std::optional<std::string> Text;  // empty stands for a null pointer

struct Op {
  char kind;  // 'S' read text, 'I' read integer, 'W' write
  Text section;
  Text key;
  Text text;     // fallback for 'S', value for 'W'
  int fallback;  // for 'I'
};

struct Case {
  bool fileExists;
  std::string file;
  std::vector<Op> ops;
  bool readBack;  // read the key again after a write
};

const char* pointer(const Text& t) { return t ? t->c_str() : nullptr; }

Text text(const char* s) { return s ? Text(s) : std::nullopt; }

std::string escaped(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7f && c != '\\' && c != '"') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return "\"" + out + "\"";
}

std::string shown(const char* s) { return s ? escaped(s) : "null"; }

std::string trimmed(const std::string& s) {
  const size_t begin = s.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  return s.substr(begin, s.find_last_not_of(" \t") - begin + 1);
}

std::string normalisedLine(const std::string& raw) {
  const std::string line = trimmed(raw);
  const size_t close = line.rfind(']');
  if (!line.empty() && line[0] == '[' && close != std::string::npos) {
    const std::string name = trimmed(line.substr(1, close - 1));
    return name.empty() ? "" : "[" + name + "]";
  }
  const size_t eq = line.find('=');
  if (eq == std::string::npos) return line;
  return trimmed(line.substr(0, eq)) + "=" + trimmed(line.substr(eq + 1));
}

std::string normalisedFile(const std::string& text) {
  std::string out, line;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != '\r' && text[i] != '\n') {
      line += text[i];
      continue;
    }
    const std::string n = normalisedLine(line);
    if (!n.empty()) out += n + "\n";
    line.clear();
  }
  return out;
}

bool readFile(const std::string& name, std::string& text) {
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) return false;
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
  std::fclose(f);
  return true;
}

void writeFile(const std::string& name, const std::string& text) {
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

std::string readText(const char* section, const char* key, const char* fallback,
                     const std::string& path) {
  char out[32];
  std::memset(out, '#', sizeof out);
  const DWORD n = GetPrivateProfileStringA(section, key, fallback, out, sizeof out, path.c_str());
  return std::to_string(n) + " " + escaped(std::string(out, n < sizeof out ? n : 0)) +
         (n < sizeof out && out[n] == '\0' ? "" : " unterminated");
}

std::string runOp(const Op& op, const std::string& name, const std::string& path, bool readBack) {
  const char* section = pointer(op.section);
  const char* key = pointer(op.key);
  const char* text = pointer(op.text);
  const std::string where = "[" + shown(section) + "][" + shown(key) + "]";
  if (op.kind == 'S') {
    return "read " + where + " fallback " + shown(text) + " -> " + readText(section, key, text, path);
  }
  if (op.kind == 'I') {
    const UINT n = GetPrivateProfileIntA(section, key, op.fallback, path.c_str());
    return "int " + where + " fallback " + std::to_string(op.fallback) + " -> " + std::to_string(n);
  }
  const BOOL ok = WritePrivateProfileStringA(section, key, text, path.c_str());
  std::string written;
  const std::string file = readFile(name, written) ? escaped(normalisedFile(written)) : "missing";
  // A null key asks Windows for the list of keys, which platform/ does not give.
  const std::string back = key && readBack ? " reads " + readText(section, key, "<none>", path) : "";
  return "write " + where + " = " + shown(text) + " -> " + (ok ? "ok" : "failed") + " file " + file + back;
}

void runCase(int number, const Case& c) {
  const std::string name = "c" + std::to_string(number) + ".ini";
  const std::string path = ".\\" + name;
  std::remove(name.c_str());
  if (c.fileExists) writeFile(name, c.file);
  std::printf("case %d input %s\n", number, c.fileExists ? escaped(c.file).c_str() : "missing");
  for (const Op& op : c.ops) std::printf("case %d %s\n", number, runOp(op, name, path, c.readBack).c_str());
  std::remove(name.c_str());
}

// ---- Hand-written cases ----

Op S(const char* s, const char* k, const char* fallback = "fb") { return {'S', text(s), text(k), text(fallback), 0}; }
Op I(const char* s, const char* k, int fallback = -7) { return {'I', text(s), text(k), std::nullopt, fallback}; }
Op W(const char* s, const char* k, const char* value) { return {'W', text(s), text(k), text(value), 0}; }

Case fixed(const char* file, std::vector<Op> ops) { return {file != nullptr, file ? file : "", ops, true}; }

std::vector<Case> fixedCases() {
  return {
      fixed("[Settings]\r\nSpeed=5\r\n", {S("settings", "SPEED"), S("SETTINGS", "speed"), S("Setting", "Speed")}),
      fixed("  [ Settings ]  \n \t Speed \t=\t 5 x \t\n\tMenu Key=F4\n",
            {S(" settings\t", " speed "), S("Settings", "menu key"), S("Settings", "MenuKey")}),
      fixed("[Q]\na=\"x y\"\nb='z'\nc=\"open\nd=\"\"\ne='mixed\"\nf=\"\ng= \" pad \" \nh=\"\"in\"\"\n",
            {S("Q", "a"), S("Q", "b"), S("Q", "c"), S("Q", "d"), S("Q", "e"), S("Q", "f"), S("Q", "g"), S("Q", "h")}),
      fixed("[L]\nq30=\"012345678901234567890123456789\"\nq31=\"0123456789012345678901234567890\"\n"
            "q32=\"01234567890123456789012345678901\"\nlong=0123456789012345678901234567890123456789\n"
            "q29='01234567890123456789012345678'\n",
            {S("L", "q30"), S("L", "q31"), S("L", "q32"), S("L", "long"), S("L", "q29")}),
      fixed("; comment\n[C]\n;k=1\nk=2\n# hash=3\nnoequals\n[x=5\n",
            {S("C", "k"), S("C", ";k"), S("C", "# hash"), S("C", "noequals"), S("C", "[x"), S("", "; comment")}),
      fixed("[E]\nempty=\nblank=   \nquotes=\"\"\n",
            {S("E", "empty"), S("E", "blank"), S("E", "quotes"), I("E", "empty", 9), I("E", "quotes", 9)}),
      fixed(nullptr, {S("A", "k", "missing file"), S("A", "k", "\"quoted\""), I("A", "k", 3)}),
      fixed("[A]\nk=1\n", {S("B", "k"), S("A", "j"), S("A", "j", "spaces   "), S("A", "j", "   "),
                           S("A", "j", "'q '  "), S("A", "j", nullptr), S("A", "j", ""),
                           S("A", "j", "long fallback 0123456789012345678901234567890")}),
      fixed("top=0\n[D]\nk=1\nK=2\n[d]\nk=3\nonly=4\n[]\nk=5\n",
            {S("D", "k"), S("D", "only"), S("", "top"), S("", "k"), S("  ", "top")}),
      fixed("[A]\r\nk=crlf\r\n", {S("A", "k")}),
      fixed("[A]\nk=no final newline", {S("A", "k"), W("A", "j", "2")}),
      fixed("[A]\rk=cr only\rj=2\r", {S("A", "k"), S("A", "j"), W("A", "n", "3")}),
      fixed("\xEF\xBB\xBF[A]\nk=bom\n", {S("A", "k"), W("A", "k", "2")}),
      fixed("[A] trailing\nk=1\n[B]x\nj=2\n", {S("A", "k"), S("B", "j"), S("B]x", "j")}),
      fixed("[A]\nk=\x1av\x1a\x0b\n", {S("A", "k")}),
      fixed("[N]\na= 42\nb=-42\nc=+7\nd=0x1F\ne=0X1F\nf=0o17\ng=0b101\nh=010\ni=4294967297\n"
            "j=-0x10\nk=abc\nl=12abc\nm=\"33\"\nn=- 5\no=0x\np=00000000000000000000000000000099\n"
            "q=99999999999999999999999999\nr=-2147483648\ns=4294967295\nt=+-3\nu=0b2\nv=0xfffffffff\n"
            "w=\"1234567890123456789012345678\"\nx=\" 5\"\ny=-0\nz=0o9\n",
            {I("N", "a"), I("N", "b"), I("N", "c"), I("N", "d"), I("N", "e"), I("N", "f"), I("N", "g"),
             I("N", "h"), I("N", "i"), I("N", "j"), I("N", "k"), I("N", "l"), I("N", "m"), I("N", "n"),
             I("N", "o"), I("N", "p"), I("N", "q"), I("N", "r"), I("N", "s"), I("N", "t"), I("N", "u"),
             I("N", "v"), I("N", "w"), I("N", "x"), I("N", "y"), I("N", "z"), I("N", "none", -5)}),
      // Writes.
      fixed(nullptr, {W("Settings", "Speed", "3"), W("Settings", "Rate", "4"), W("Other", "k", "v")}),
      fixed(nullptr, {W("A", "k", nullptr), W("A", nullptr, nullptr)}),
      fixed("; head\n\n[A]\n  Key = old  \nnoeq\n\n\n[B]\nx=1", {W("a", "KEY", "new")}),
      fixed("; head\n\n[A]\n  Key = old  \nnoeq\n\n\n[B]\nx=1", {W("A", "noeq", "set")}),
      fixed("; head\n\n[A]\n  Key = old  \nnoeq\n\n\n[B]\nx=1", {W("A", "added", "z")}),
      fixed("; head\n\n[A]\n  Key = old  \nnoeq\n\n\n[B]\nx=1", {W("C", "c", "3")}),
      fixed("[A]\r\nk=1\r\n[A]\r\nk=2\r\nj=5\r\n[B]\r\nk=3\r\n", {W("A", "j", "6")}),
      fixed("[A]\r\nk=1\r\n[A]\r\nk=2\r\nj=5\r\n[B]\r\nk=3\r\n", {W("A", "k", nullptr)}),
      fixed("[A]\r\nk=1\r\n[A]\r\nk=2\r\nj=5\r\n[B]\r\nk=3\r\n", {W("a", nullptr, nullptr)}),
      fixed("[A]\r\nk=1\r\n[A]\r\nk=2\r\nj=5\r\n[B]\r\nk=3\r\n", {W("zz", "k", nullptr)}),
      fixed("top=1\n[A]\nk=1\n", {W("", "top", "2"), W("", "new", "3")}),
      fixed("top=1\n[A]\nk=1\n", {W("", nullptr, nullptr)}),
      fixed("[A]\nk=1\n", {W("", "new", "3")}),
      fixed("[A]\n[B]\nx=1\n[A]\ny=1\n", {W("A", "z", "1")}),
      fixed("[A]\nk=1\n", {W("A", "k", "1"), W("A", "k", ""), W("A", "k", "\"q\""), W("A", "k", "  lead")}),
      fixed("[A]\nk=1\nk=2\n", {W("A", "k", "3")}),
      fixed("", {W("B", "k", "2")}),
  };
}

// ---- Generated cases ----

uint32_t nextRandom(uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

size_t below(uint32_t& r, size_t n) { return nextRandom(r) % n; }

const char* oneOf(uint32_t& r, const std::vector<const char*>& choices) { return choices[below(r, choices.size())]; }

std::string repeated(uint32_t& r, const char* alphabet, size_t most) {
  const std::string a(alphabet);
  std::string out;
  for (size_t n = below(r, most + 1); n > 0; --n) out += a[below(r, a.size())];
  return out;
}

std::string randomNumber(uint32_t& r) {
  std::string n = oneOf(r, {"", "", "-", "+", " ", "- "});
  const char* prefix = oneOf(r, {"", "", "", "0x", "0o", "0b", "0X", "00"});
  n += prefix;
  n += repeated(r, prefix[1] == 'x' ? "0123456789abcdefABCDEF" : "0123456789", 14);
  if (below(r, 5) == 0) n += oneOf(r, {"z", " 7", ".5", "x1"});
  return n;
}

std::string randomValue(uint32_t& r) {
  switch (below(r, 6)) {
    case 0: return "";
    case 1:
    case 2: return randomNumber(r);
    case 3: {
      const std::string q = oneOf(r, {"\"", "'"});
      std::string v = q + repeated(r, "ab c", 34);
      return v + (below(r, 4) ? q : std::string(oneOf(r, {"\"", "'", "x"})));
    }
    default: return repeated(r, "abcdefghij klm,.;=", 45);
  }
}

std::string blanks(uint32_t& r) { return oneOf(r, {"", "", "", " ", "\t", "  \t "}); }

// Blanks, the text, blanks: drawn in that order (operands of + are not).
std::string padded(uint32_t& r, const std::string& text) {
  std::string s = blanks(r);
  s += text;
  return s + blanks(r);
}

std::string spelledAs(uint32_t& r, std::string name) {
  for (char& c : name) {
    if (below(r, 3) == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    else if (below(r, 3) == 0 && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

const std::vector<const char*> kSections = {"A", "Settings", "CONTROLS", "x y", ""};
const std::vector<const char*> kKeys = {"k", "Speed", "menu key", "K2", ";c"};

typedef std::vector<std::pair<std::string, std::string>> Names;  // section, key

std::string randomLine(uint32_t& r, const std::string& section, Names& used) {
  const size_t kind = below(r, 8);
  if (kind == 0) return "";
  if (kind == 1) {
    const std::string start = padded(r, "; ");
    return start + repeated(r, "abc =", 12);
  }
  const std::string key = oneOf(r, kKeys);
  used.push_back({section, key});
  const std::string line = padded(r, spelledAs(r, key));
  return kind == 2 ? line : line + "=" + padded(r, randomValue(r));
}

std::string randomFile(uint32_t& r, Names& used, bool& emptyHeader) {
  const std::string eol = below(r, 2) ? "\r\n" : "\n";
  std::string file;
  const size_t sections = below(r, 5);
  for (size_t s = 0; s <= sections; ++s) {
    std::string name;
    if (s > 0 || below(r, 3)) {
      name = oneOf(r, kSections);
      if (name.empty() && below(r, 2)) continue;
      emptyHeader = emptyHeader || name.empty();
      const std::string inside = padded(r, spelledAs(r, name));
      file += padded(r, "[" + inside + "]") + eol;
    }
    for (size_t n = below(r, 6); n > 0; --n) file += randomLine(r, name, used) + eol;
  }
  if (!file.empty() && below(r, 5) == 0) file.resize(file.size() - eol.size());
  return file;
}

// Mostly a section and key the file holds, so most reads find something.
std::pair<std::string, std::string> someNames(uint32_t& r, const Names& used) {
  if (!used.empty() && below(r, 4) != 0) return used[below(r, used.size())];
  const std::string section = oneOf(r, kSections);
  return {section, oneOf(r, kKeys)};
}

Case randomCase(uint32_t& r) {
  Names used;
  bool emptyHeader = false;
  Case c{below(r, 12) != 0, randomFile(r, used, emptyHeader), {}, true};
  c.readBack = !emptyHeader;  // see the "[]" difference at the top
  for (int i = 0; i < 4; ++i) {
    const auto names = someNames(r, used);
    const std::string section = padded(r, spelledAs(r, names.first));
    c.ops.push_back({'S', section, padded(r, spelledAs(r, names.second)),
                     oneOf(r, {"", "fb", "\"quoted\"", "pad  ", "fallback longer than the 32-byte buffer"}), 0});
  }
  for (int i = 0; i < 2; ++i) {
    const auto names = someNames(r, used);
    const std::string section = spelledAs(r, names.first);
    c.ops.push_back({'I', section, spelledAs(r, names.second), std::nullopt,
                     static_cast<int>(nextRandom(r) % 2001) - 1000});
  }
  // One write in eight deletes a section, one in eight a key.
  const size_t write = below(r, 8);
  const auto names = someNames(r, used);
  Op w{'W', spelledAs(r, names.first), std::nullopt, std::nullopt, 0};
  if (write > 0) w.key = spelledAs(r, names.second);
  if (write > 1) w.text = randomValue(r);
  c.ops.push_back(w);
  return c;
}

}  // namespace

// Arguments, for exploring beyond the fixed run: a seed and a number of cases.
int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  uint32_t random = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) | 1u : 20240611u;
  const long generated = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 400;
  int number = 0;
  for (const Case& c : fixedCases()) runCase(++number, c);
  for (long i = 0; i < generated; ++i) runCase(++number, randomCase(random));
  return 0;
}
