// How the text of a settings file reads (profile_text.h).

#include "profile_text.h"

#include <cstring>

namespace profile_text {

namespace {

bool isBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0x1a;
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

Span cutAtNul(std::string_view text, Span s) {
  const void* nul = std::memchr(text.data() + s.begin, '\0', s.end - s.begin);
  if (nul) s.end = static_cast<size_t>(static_cast<const char*>(nul) - text.data());
  return s;
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  }
  return true;
}

// The line starting at `pos`; false at the end of the file.
bool lineAt(const Profile& p, size_t pos, Line& line) {
  const std::string_view t = p.text;
  if (pos >= t.size()) return false;
  line.start = pos;
  size_t end;
  if (p.lastNewline != npos && pos <= p.lastNewline) {
    end = t.find('\n', pos);
    line.next = end + 1;
    line.rawEnd = (end > pos && t[end - 1] == '\r') ? end - 1 : end;
  } else {
    end = t.find('\r', pos);
    if (end == npos) end = t.size();
    line.next = end < t.size() ? end + 1 : end;
    line.rawEnd = end;
  }
  line.trimmed = trim(t, Span{pos, end});
  return true;
}

Entry parseLine(std::string_view t, const Line& line) {
  Entry e{kBlank, {0, 0}, false, {0, 0}};
  const Span s = line.trimmed;
  if (s.begin == s.end) return e;
  if (t[s.begin] == '[') {
    const size_t close = t.substr(0, s.end).rfind(']');
    if (close != npos && close > s.begin) {
      e.kind = kSection;
      e.name = cutAtNul(t, trim(t, Span{s.begin + 1, close}));
      return e;
    }
  }
  e.kind = kKey;
  const size_t eq = view(t, s).find('=');
  if (eq == npos) {
    e.name = cutAtNul(t, s);
    return e;
  }
  e.name = cutAtNul(t, trim(t, Span{s.begin, s.begin + eq}));
  e.hasValue = true;
  e.value = cutAtNul(t, trim(t, Span{s.begin + eq + 1, s.end}));
  return e;
}

}  // namespace

Span trim(std::string_view text, Span s) {
  while (s.begin < s.end && isBlank(static_cast<unsigned char>(text[s.begin]))) ++s.begin;
  while (s.end > s.begin && isBlank(static_cast<unsigned char>(text[s.end - 1]))) --s.end;
  return s;
}

std::string_view view(std::string_view text, Span s) { return text.substr(s.begin, s.end - s.begin); }

Profile makeProfile(std::string_view text) {
  Profile p{text, 0, text.rfind('\n')};
  if (text.substr(0, 3) == "\xEF\xBB\xBF") p.body = 3;
  return p;
}

Match findEntry(const Profile& p, std::string_view section, const std::string_view* key,
                bool everySection) {
  Match m{};
  bool inSection = section.empty();
  m.sectionFound = inSection;
  m.sectionStart = m.insertAt = p.body;
  Line line;
  for (size_t pos = p.body; lineAt(p, pos, line); pos = line.next) {
    const Entry e = parseLine(p.text, line);
    if (e.kind == kSection) {
      if (inSection && !everySection) {
        m.sectionEnd = line.start;
        return m;
      }
      inSection = sameName(view(p.text, e.name), section);
      if (inSection && !m.sectionFound) {
        m.sectionFound = true;
        m.sectionStart = line.start;
        m.insertAt = line.next;
      }
      continue;
    }
    if (!inSection || e.kind == kBlank) continue;
    m.insertAt = line.next;
    if (key && e.kind == kKey && sameName(view(p.text, e.name), *key)) {
      m.keyFound = true;
      m.keyLine = line;
      m.keyEntry = e;
      return m;
    }
  }
  m.sectionEnd = p.text.size();
  return m;
}

bool findValue(std::string_view text, std::string_view section, std::string_view key,
               std::string_view& value) {
  const Match m = findEntry(makeProfile(text), section, &key);
  if (!m.keyFound || !m.keyEntry.hasValue) return false;
  value = view(text, m.keyEntry.value);
  return true;
}

std::string_view unquoted(std::string_view value) {
  const bool quoted = value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
                      value.back() == value[0];
  return quoted ? value.substr(1, value.size() - 2) : value;
}

}  // namespace profile_text
