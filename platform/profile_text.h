// How the text of a settings file ("profile") reads, the way the Windows profile
// functions read it: the one parser of the POSIX stand-ins (posix/profile.cpp), which
// read and write through it, and of the scenario runner, which reads the file the
// plug-in wrote, natively or under Wine. Portable: no call of any system.
//
// How a file is read (checked against the Windows functions as run under Wine):
// - A UTF-8 byte-order mark at the very start is skipped.
// - Lines end at '\n' ("\r\n" is a '\n' line with a trailing blank). Where no
//   '\n' follows any more, lines end at '\r', so old CR-only files read too.
// - Blanks are ' ', '\t', '\v', '\f', '\r' and ^Z (0x1a, the DOS end-of-file
//   mark). Each line is trimmed of them; blank lines mean nothing.
// - A trimmed line starting with '[' and containing ']' is a section header; the
//   name lies between the '[' and the LAST ']' on the line, trimmed, so
//   "[Name] trailing" is section "Name". A '[' line without ']' is a key line.
// - Lines before the first header form a section named "" that always exists,
//   so section "" names them (a later "[]" header can never be reached).
// - Any other line is a key: the name is the text before the first '=', the
//   value the text after it, both trimmed. A line without '=' is a key that has
//   no value: reading it gives the fallback, writing it gives it one. A ';'
//   line is no different: a comment is a key nobody asks for.
// - Names compare without regard to ASCII letter case. Only the first section of
//   a name counts, and only the first key of a name within it; keys in a later
//   section of the same name are never read. Deleting a key is the exception:
//   it removes the first key of the name in any section of the name.
// - Names and values end at a NUL byte inside the file.
// - A value is handed back without one pair of matching quotes (" or ') around it.
// Non-ASCII bytes are kept as they are and are not case-folded.
#pragma once

#include <cstddef>
#include <string_view>

namespace profile_text {

constexpr size_t npos = std::string_view::npos;

// Byte positions [begin, end) in the file's text.
struct Span {
  size_t begin;
  size_t end;
};

struct Profile {
  std::string_view text;
  size_t body;         // first byte after a byte-order mark
  size_t lastNewline;  // position of the last '\n', or npos
};

struct Line {
  size_t start;   // first byte
  size_t rawEnd;  // end of the bytes before the line end ("\r\n", "\n" or "\r")
  size_t next;    // first byte of the following line
  Span trimmed;   // the line without surrounding blanks
};

enum EntryKind { kBlank, kSection, kKey };

struct Entry {
  EntryKind kind;
  Span name;  // cut at a NUL
  bool hasValue;
  Span value;  // begins at the first non-blank after '='; cut at a NUL
};

struct Match {
  bool sectionFound;
  size_t sectionStart;  // header line, or the body for section ""
  size_t sectionEnd;    // next header line, or the end of the file
  size_t insertAt;      // just after the section's last non-blank line
  bool keyFound;
  Line keyLine;
  Entry keyEntry;
};

// `s` without the blanks at either end.
Span trim(std::string_view text, Span s);
std::string_view view(std::string_view text, Span s);

Profile makeProfile(std::string_view text);

// Finds the first section named `section` and, when `key` is given, the first key of
// that name in it, or with `everySection` in any section of that name. Stops at the
// key, since nothing after it matters.
Match findEntry(const Profile& p, std::string_view section, const std::string_view* key,
                bool everySection = false);

// The value `text` gives `key` in `section`, quotes and all; false when the key is
// missing or has no '=', where a read gives the fallback.
bool findValue(std::string_view text, std::string_view section, std::string_view key,
               std::string_view& value);

// `value` without one pair of matching quotes (" or ') around it, as a read hands it
// back; `value` itself when it has none.
std::string_view unquoted(std::string_view value);

}  // namespace profile_text
