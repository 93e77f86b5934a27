// Fuzz target: the settings-file functions of platform/posix on arbitrary file bytes,
// section, key and value names.
//
// Input: one mode byte, then section, key and value (each a length byte and that
// many bytes), a read-buffer size byte, and the rest is the file.
//   mode bits 0-1: 0 read only, 1 write the value, 2 remove the key, 3 remove the section
//   mode bit 2: there is no file;  bit 3: the file is read-only
//
// Whatever the input: nothing crashes, reads are terminated and within the buffer, a
// refused write leaves the file byte for byte as it was and leaves no stray file.
//
// A write is valid, and must then succeed, read back exactly and change no other line,
// when the names and value are what a settings file can hold as written: no line break
// anywhere, no blank (' ', tab, VT, FF, CR, LF, ^Z) at either end, no ']' in the
// section, no '=' in the key and no '[' at its start, and a value not wrapped in one
// pair of matching quotes (reading takes those off).

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "compat.h"
#include "fuzz_support.h"

namespace {

bool isBlank(char c) { return std::strchr(" \t\v\f\r\n\x1a", c) != nullptr && c != '\0'; }

bool hasBlankEnds(const std::string& s) { return !s.empty() && (isBlank(s.front()) || isBlank(s.back())); }

bool hasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

bool isQuoted(const std::string& s) {
  return s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front();
}

bool validWrite(const std::string& section, const std::string& key, const std::string& value) {
  for (const std::string* s : {&section, &key, &value})
    if (hasLineBreak(*s) || hasBlankEnds(*s)) return false;
  return section.find(']') == std::string::npos && key.find('=') == std::string::npos &&
         (key.empty() || key.front() != '[') && !isQuoted(value);
}

// The lines as the profile functions see them, without their line ends: lines end at
// '\n' (a '\r' before it belongs to the line end), and after the last '\n' at '\r'.
std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  const size_t lastNewline = text.rfind('\n');
  for (size_t at = 0; at < text.size();) {
    const bool newlineEnds = lastNewline != std::string::npos && at <= lastNewline;
    size_t end = text.find(newlineEnds ? '\n' : '\r', at);
    if (end == std::string::npos) end = text.size();
    size_t contentEnd = end;
    if (newlineEnds && contentEnd > at && text[contentEnd - 1] == '\r') --contentEnd;
    lines.push_back(text.substr(at, contentEnd - at));
    at = end + 1;
  }
  return lines;
}

std::string lowered(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string trimmed(const std::string& s) {
  size_t begin = 0, end = s.size();
  while (begin < end && isBlank(s[begin])) ++begin;
  while (end > begin && isBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

// The name of a key line as the profile functions read it: before '=', trimmed, cut at NUL.
std::string keyOf(const std::string& line) {
  const std::string name = trimmed(line.substr(0, line.find('=')));
  return lowered(name.substr(0, name.find('\0')));
}

std::string withoutMark(const std::string& text) {
  return text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? text.substr(3) : text;
}

// Every line of `before` is still in `after`, in order, but for one line of `key`;
// what is new is that key's line with `value`, the section's header, or blank lines.
void checkOnlyTheKeyLineChanged(const std::string& before, const std::string& after,
                                const std::string& section, const std::string& key,
                                const std::string& value) {
  FUZZ_CHECK(before.compare(0, 3, "\xEF\xBB\xBF") != 0 || after.compare(0, 3, "\xEF\xBB\xBF") == 0,
             "the byte-order mark was lost");
  const std::vector<std::string> old = splitLines(withoutMark(before));
  const std::vector<std::string> now = splitLines(withoutMark(after));
  size_t head = 0;
  while (head < old.size() && head < now.size() && old[head] == now[head]) ++head;
  size_t tail = 0;
  while (tail + head < old.size() && tail + head < now.size() &&
         old[old.size() - 1 - tail] == now[now.size() - 1 - tail])
    ++tail;
  const size_t oldChanged = old.size() - head - tail;
  FUZZ_CHECK(oldChanged <= 1, "%zu old lines changed, from line piece %zu", oldChanged, head);
  if (oldChanged == 1)
    FUZZ_CHECK(keyOf(old[head]) == lowered(key), "changed line \"%s\" is not key \"%s\"",
               old[head].c_str(), key.c_str());
  for (size_t i = head; i < now.size() - tail; ++i) {
    const std::string& line = now[i];
    const bool keyLine = line.find('=') != std::string::npos && keyOf(line) == lowered(key) &&
                         trimmed(line.substr(line.find('=') + 1)) == value;
    FUZZ_CHECK(trimmed(line).empty() || trimmed(line) == "[" + section + "]" || keyLine,
               "unexpected new line \"%s\" for [%s] %s=%s", line.c_str(), section.c_str(),
               key.c_str(), value.c_str());
  }
}

void checkNoStrayFile(const std::string& folder, bool fileExpected) {
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    ++files;
    FUZZ_CHECK(entry.path().filename() == "p.ini", "stray file %s", entry.path().c_str());
  }
  FUZZ_CHECK(files == (fileExpected ? 1u : 0u), "%zu files in the folder", files);
}

void checkRead(const std::string& section, const std::string& key, uint32_t size, const char* path) {
  std::vector<char> out(size + 1, '#');
  const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "fall back  ", out.data(), size, path);
  if (size == 0) {
    FUZZ_CHECK(n == 0 && out[0] == '#', "a zero-size buffer was written to");
    return;
  }
  FUZZ_CHECK(n < size, "%u characters returned for a buffer of %u", n, size);
  FUZZ_CHECK(std::strlen(out.data()) == n, "returned %u, but the text has %zu characters", n,
             std::strlen(out.data()));
  FUZZ_CHECK(out[size] == '#', "written past the buffer of %u", size);
  GetPrivateProfileIntA(section.c_str(), key.c_str(), -7, path);
  GetPrivateProfileStringA(nullptr, key.c_str(), "x", out.data(), size, path);
  GetPrivateProfileStringA(section.c_str(), nullptr, "x", out.data(), size, path);
}

void checkWrite(int operation, const std::string& section, const std::string& key,
                const std::string& value, bool readOnly, const std::string& before, bool existed,
                const std::string& path) {
  const char* keyArgument = operation == 3 ? nullptr : key.c_str();
  const char* valueArgument = operation == 1 ? value.c_str() : nullptr;
  const BOOL written = WritePrivateProfileStringA(section.c_str(), keyArgument, valueArgument, path.c_str());
  const bool exists = std::filesystem::exists(path);
  const std::string after = exists ? readFile(path) : "";
  checkNoStrayFile(scratchFolder(), exists);
  if (!written || readOnly) {
    FUZZ_CHECK(!written, "a read-only file was written");
    FUZZ_CHECK(exists == existed && after == before, "a refused write changed the file");
    return;
  }
  const bool lineBreak = hasLineBreak(section) || (keyArgument && hasLineBreak(key)) ||
                         (valueArgument && hasLineBreak(value));
  FUZZ_CHECK(!lineBreak, "a name or value with a line break was written");
  if (operation != 1) return;
  if (!validWrite(section, key, value)) return;
  checkOnlyTheKeyLineChanged(before, after, section, key, value);
  std::vector<char> out(value.size() + 1);
  const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "?", out.data(),
                                           static_cast<DWORD>(out.size()), path.c_str());
  FUZZ_CHECK(std::string(out.data(), n) == value, "[%s] %s reads \"%s\" after writing \"%s\"",
             section.c_str(), key.c_str(), out.data(), value.c_str());
}

// Up to the first NUL, as a C function receives it.
std::string asText(const std::string& bytes) { return bytes.c_str(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteReader input(data, size);
  const uint8_t mode = input.byte();
  const int operation = mode & 3;
  const bool noFile = (mode & 4) != 0;
  const bool readOnly = !noFile && (mode & 8) != 0;
  const std::string section = asText(input.shortString());
  const std::string key = asText(input.shortString());
  const std::string value = asText(input.shortString());
  const uint32_t bufferSize = input.byte();
  const std::string file = input.rest();

  const std::string path = scratchFolder() + "/p.ini";
  std::filesystem::remove(path);
  if (!noFile) {
    FUZZ_CHECK(writeFile(path, file), "cannot write %s", path.c_str());
    if (readOnly) chmod(path.c_str(), 0444);
  }
  checkRead(section, key, bufferSize, path.c_str());
  if (operation != 0) checkWrite(operation, section, key, value, readOnly, noFile ? "" : file, !noFile, path);
  return 0;
}
