// The settings-file ("profile") functions off Windows, parsing the file the way
// the Windows profile functions do.
//
// A file reads as profile_text.h says. A read hands a value back without one
// pair of matching quotes; the fallback gets the same treatment after losing its
// trailing spaces (all but the first character), except when the file exists but
// cannot be read, where it is copied as given. The copy is cut to the buffer; a
// quoted value that fits only without its closing quote loses one more character
// (seen under Wine, and copied so reads agree).
//
// Writing changes only the line it must: a key's value is replaced in place
// (the key's own spelling, the blanks around '=' and the line end stay), a new
// key goes after the last non-blank line of its section, a new section goes at
// the end of the file. New lines use the line end of the file's first line
// (CRLF for a new file). Every other byte stays as it was. Windows rewrites
// nothing else either; Wine rebuilds the whole file from what it parsed.
//
// Deliberate departures, for safety: a write whose section, key or value holds
// a line break, or whose result would not read back as written (a key holding
// '=' or starting with '['), is refused and leaves the file alone; null
// section or key pointers on a read give the fallback instead of Windows'
// list of names; a path without a folder names the current folder, not the
// Windows folder.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include "compat.h"
#include "profile_text.h"
#include "profile_writes.h"

namespace {

using namespace profile_text;

std::string_view trimmedArgument(const char* s) {
  std::string_view v(s);
  return view(v, trim(v, Span{0, v.size()}));
}

// ---- Reading ----

enum LoadResult { kLoaded, kMissing, kUnreadable };

LoadResult loadFile(const std::string& path, std::string& text) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? kMissing : kUnreadable;
  struct stat st;
  LoadResult result = kUnreadable;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    text.clear();
    text.reserve(static_cast<size_t>(st.st_size));
    char chunk[65536];
    for (;;) {
      const ssize_t n = read(fd, chunk, sizeof chunk);
      if (n > 0) {
        text.append(chunk, static_cast<size_t>(n));
      } else if (n == 0) {
        result = kLoaded;
        break;
      } else if (errno != EINTR) {
        break;
      }
    }
  }
  close(fd);
  return result;
}

std::string windowsPath(const char* file) {
  std::string path(file);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

DWORD copyPlain(std::string_view text, char* out, DWORD size) {
  const size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return static_cast<DWORD>(n);
}

// Without one pair of matching quotes. The closing quote is cut off last, so
// when the buffer holds exactly what is inside the quotes, one more character
// of the value goes too, as under Wine.
DWORD copyValue(std::string_view value, char* out, DWORD size) {
  const std::string_view inside = unquoted(value);
  DWORD n = copyPlain(inside, out, size);
  if (inside.size() != value.size() && size == inside.size() + 1 && n > 0) out[--n] = '\0';
  return n;
}

// Trailing spaces (only ' ') go, but never the first character.
std::string_view trimFallback(const char* fallback) {
  std::string_view f = fallback ? fallback : "";
  while (f.size() > 1 && f.back() == ' ') f.remove_suffix(1);
  return f;
}

DWORD readString(const char* section, const char* key, const char* fallback, char* out,
                 DWORD size, const char* file) {
  const std::string_view fb = trimFallback(fallback);
  if (!section || !key || !file) return copyValue(fb, out, size);
  std::string text;
  const LoadResult loaded = loadFile(windowsPath(file), text);
  if (loaded == kUnreadable) return copyPlain(fb, out, size);
  std::string_view value;
  const bool found = findValue(text, trimmedArgument(section), trimmedArgument(key), value);
  return copyValue(found ? value : fb, out, size);
}

// Windows reads the value into a 30-character buffer and converts it as
// RtlUnicodeStringToInteger with base 0 does: skip characters up to ' ', an
// optional sign, then "0x", "0o" or "0b" (lower case only) for base 16, 8 or 2,
// else base 10 ("010" is ten). Digits stop at the first character that is not
// one; the total wraps modulo 2^32 and a '-' negates it the same way.
UINT parseInteger(const char* s) {
  const auto* c = reinterpret_cast<const unsigned char*>(s);
  while (*c != '\0' && *c <= ' ') ++c;
  const bool negative = *c == '-';
  if (*c == '+' || *c == '-') ++c;
  uint32_t base = 10;
  if (c[0] == '0' && (c[1] == 'x' || c[1] == 'o' || c[1] == 'b')) {
    base = c[1] == 'x' ? 16 : c[1] == 'o' ? 8 : 2;
    c += 2;
  }
  uint32_t total = 0;
  for (;; ++c) {
    uint32_t digit = 99;
    if (*c >= '0' && *c <= '9') digit = *c - '0';
    if (*c >= 'a' && *c <= 'z') digit = *c - 'a' + 10u;
    if (*c >= 'A' && *c <= 'Z') digit = *c - 'A' + 10u;
    if (digit >= base) break;
    total = total * base + digit;
  }
  return negative ? 0u - total : total;
}

// ---- Writing ----

struct Target {
  std::string path;  // the real file, so a symbolic link keeps pointing at it
  bool exists;
  struct stat st;
};

// Windows refuses to write a read-only file; a file without any write bit is
// read-only here even for root, whom access() would let through.
bool resolveTarget(const std::string& path, Target& t) {
  t.path = path;
  t.exists = stat(path.c_str(), &t.st) == 0;
  if (!t.exists) return errno == ENOENT;
  if (!S_ISREG(t.st.st_mode) || (t.st.st_mode & 0222) == 0) return false;
  if (access(path.c_str(), W_OK) != 0) return false;
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return false;
  t.path = real;
  std::free(real);
  return true;
}

// The line end for new lines at `at`: the file's own, except inside a CR-only
// tail, where a '\n' would join the lines before it into one.
std::string lineBreakAt(const Profile& p, size_t at) {
  const std::string_view t = p.text;
  const size_t tail = p.lastNewline == npos ? p.body : p.lastNewline + 1;
  if (at > tail && t.substr(tail, at - tail).find('\r') != npos) return "\r";
  const size_t firstNewline = t.find('\n', p.body);
  if (firstNewline == npos) return t.find('\r', p.body) != npos ? "\r" : "\r\n";
  return firstNewline > p.body && t[firstNewline - 1] == '\r' ? "\r\n" : "\n";
}

// Inserts whole lines at a line start, ending the line before if it has no end.
std::string insertLines(const Profile& p, size_t at, const std::string& lines) {
  const std::string eol = lineBreakAt(p, at);
  std::string inserted = lines;
  for (size_t i = inserted.find('\n'); i != npos; i = inserted.find('\n', i + eol.size())) {
    inserted.replace(i, 1, eol);
  }
  const char before = at > p.body ? p.text[at - 1] : '\n';
  if (before != '\n' && before != '\r') inserted.insert(0, eol);
  std::string out(p.text.substr(0, at));
  out += inserted;
  out += p.text.substr(at);
  return out;
}

std::string withValue(const Profile& p, const Match& m, std::string_view section,
                      std::string_view key, std::string_view value) {
  const std::string_view t = p.text;
  const std::string assignment = std::string(key) + "=" + std::string(value) + "\n";
  if (!m.sectionFound) {
    return insertLines(p, t.size(), "[" + std::string(section) + "]\n" + assignment);
  }
  if (!m.keyFound) return insertLines(p, m.insertAt, assignment);
  const Line& line = m.keyLine;
  const size_t from = m.keyEntry.hasValue ? m.keyEntry.value.begin : line.trimmed.end;
  std::string out(t.substr(0, from));
  if (!m.keyEntry.hasValue) out += '=';
  out += value;
  out += t.substr(line.rawEnd);
  return out;
}

// True when `text` reads back `value` for the key, so a section, key or value
// that would parse differently (a key holding '=', say) is never written.
bool readsBack(const std::string& text, std::string_view section, std::string_view key,
               std::string_view value) {
  const Profile p = makeProfile(text);
  const Match m = findEntry(p, section, &key);
  return m.keyFound && m.keyEntry.hasValue &&
         view(text, m.keyEntry.value) == view(value, trim(value, Span{0, value.size()}));
}

bool writeAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

int createTemporary(const Target& t, std::string& name) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = t.path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, t.exists ? 0600 : 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

void syncFolder(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = open(folder.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
  if (fd < 0) return;
  (void)fsync(fd);
  close(fd);
}

// Writes a complete new file beside the old one and renames it over it, so the
// old file stays whole until the new one is.
bool replaceFile(const Target& t, const std::string& data) {
  std::string temporary;
  const int fd = createTemporary(t, temporary);
  if (fd < 0) return false;
  bool ok = true;
  if (t.exists) {
    if (fchown(fd, t.st.st_uid, t.st.st_gid) != 0) {
      // Only root may give a file away; anyone else keeps it as their own.
    }
    ok = fchmod(fd, t.st.st_mode & 07777) == 0;
  }
  ok = ok && writeAll(fd, data) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temporary.c_str(), t.path.c_str()) == 0;
  if (!ok) {
    unlink(temporary.c_str());
    return false;
  }
  syncFolder(t.path);
  return true;
}

bool hasLineBreak(const char* s) { return s && std::strpbrk(s, "\r\n") != nullptr; }

// The new file text, or false when the change must not be made.
bool changedText(const std::string& text, const char* section, const char* key,
                 const char* value, std::string& out) {
  if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value)) return false;
  const Profile p = makeProfile(text);
  const std::string_view s = trimmedArgument(section);
  if (!key) {
    const Match m = findEntry(p, s, nullptr);
    out = text;
    if (m.sectionFound) out.erase(m.sectionStart, m.sectionEnd - m.sectionStart);
    return true;
  }
  const std::string_view k = trimmedArgument(key);
  if (!value) {
    const Match m = findEntry(p, s, &k, true);
    out = text;
    if (m.keyFound) out.erase(m.keyLine.start, m.keyLine.next - m.keyLine.start);
    return true;
  }
  const Match m = findEntry(p, s, &k);
  out = withValue(p, m, s, k, value);
  return readsBack(out, s, k, value);
}

bool writeProfile(const char* section, const char* key, const char* value, const char* file) {
  Target target;
  if (!resolveTarget(windowsPath(file), target)) return false;
  std::string text;
  if (target.exists && loadFile(target.path, text) != kLoaded) return false;
  std::string updated;
  if (!changedText(text, section, key, value, updated)) return false;
  if (updated == text) return true;
  return replaceFile(target, updated);
}

// ---- What tests see and steer ----

std::mutex writesMutex;  // a test reads the record while the script's thread may write
bool recording = false;
std::vector<ProfileWrite> recorded;
uint32_t refuseIn = 0;  // writes until the one to refuse; 0 for none

// Whether this write is the one a test chose to refuse; counts it.
bool refusedOnPurpose() {
  std::lock_guard<std::mutex> lock(writesMutex);
  if (refuseIn == 0) return false;
  return --refuseIn == 0;
}

void record(const char* key, const char* value, bool taken) {
  std::lock_guard<std::mutex> lock(writesMutex);
  if (recording) recorded.push_back({key ? key : "", value ? value : "", taken});
}

}  // namespace

void recordProfileWrites(bool on) {
  std::lock_guard<std::mutex> lock(writesMutex);
  recording = on;
  recorded.clear();
}

std::vector<ProfileWrite> profileWrites() {
  std::lock_guard<std::mutex> lock(writesMutex);
  return recorded;
}

void refuseProfileWrite(uint32_t nth) {
  std::lock_guard<std::mutex> lock(writesMutex);
  refuseIn = nth;
}

extern "C" DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR out,
                                          DWORD size, LPCSTR file) {
  if (!out || size == 0) return 0;
  try {
    return readString(section, key, fallback, out, size, file);
  } catch (...) {  // out of memory for a huge file: behave as if nothing was found
    out[0] = '\0';
    return 0;
  }
}

extern "C" UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT fallback, LPCSTR file) {
  if (!section || !key) return static_cast<UINT>(fallback);
  char value[30];
  if (GetPrivateProfileStringA(section, key, "", value, sizeof value, file) == 0) {
    return static_cast<UINT>(fallback);
  }
  return parseInteger(value);
}

extern "C" BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
  if (!section || !file) return FALSE;
  bool taken = false;
  if (!refusedOnPurpose()) {
    try {
      taken = writeProfile(section, key, value, file);
    } catch (...) {  // out of memory for a huge file: the write fails, the file stays
    }
  }
  record(key, value, taken);
  return taken ? TRUE : FALSE;
}
