// Play mode: raw terminal input, the simulated host paced by the real clock, and the
// frame's texts drawn with ANSI colours.

#include "sim/play.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "clock/clock.h"
#include "input/keys.h"
#include "settings/settings.h"
#include "sim/host.h"
#include "virtual_tick.h"

namespace {

constexpr char ESC = '\x1b';
constexpr size_t LONGEST_SEQUENCE = 32;  // a longer unfinished sequence is noise and dropped
constexpr uint32_t FRAME_MS = 16;        // about 60 frames a second
constexpr uint32_t START_TICK = 10000;   // the tick count when the game "starts"
constexpr int32_t STATUS_ROWS = 2;       // game time and rate; the keys to type
constexpr Rgb STATUS_COLOUR = {200, 200, 200};
constexpr double CELL_NUDGE = 1e-3;      // of a cell

uint32_t vk(const char* name) { return keyCodeFromName(name); }

uint32_t functionKey(int number) { return vk(("VK_F" + std::to_string(number)).c_str()); }

// The key of a plain byte; 0 for a byte that is no key.
uint32_t plainKey(unsigned char c) {
  if (c >= '0' && c <= '9') return vk("VK_NUMPAD0") + (c - '0');
  if (c >= 'a' && c <= 'z') return 'A' + (c - 'a');
  if (c >= 'A' && c <= 'Z') return c;
  switch (c) {
    case '\r': case '\n': return vk("VK_RETURN");
    case '\t': return vk("VK_TAB");
    case 0x7F: case 0x08: return vk("VK_BACK");
    case ' ': return vk("VK_SPACE");
    case '*': return vk("VK_MULTIPLY");
    case '+': return vk("VK_ADD");
    case '-': return vk("VK_SUBTRACT");
    case '.': return vk("VK_DECIMAL");
    case '/': return vk("VK_DIVIDE");
    default: return 0;
  }
}

// Final letters shared by "ESC [" and "ESC O" sequences: arrows, Home, End, F1..F4.
uint32_t letterKey(char final) {
  switch (final) {
    case 'A': return vk("VK_UP");
    case 'B': return vk("VK_DOWN");
    case 'C': return vk("VK_RIGHT");
    case 'D': return vk("VK_LEFT");
    case 'H': return vk("VK_HOME");
    case 'F': return vk("VK_END");
    case 'P': case 'Q': case 'R': case 'S': return functionKey(1 + (final - 'P'));
    default: return 0;
  }
}

// "ESC O x": the keypad in application mode, and the letters above.
uint32_t ss3Key(char c) {
  if (c >= 'p' && c <= 'y') return vk("VK_NUMPAD0") + (c - 'p');
  switch (c) {
    case 'M': return vk("VK_RETURN");
    case 'j': return vk("VK_MULTIPLY");
    case 'k': return vk("VK_ADD");
    case 'm': return vk("VK_SUBTRACT");
    case 'n': return vk("VK_DECIMAL");
    case 'o': return vk("VK_DIVIDE");
    default: return letterKey(c);
  }
}

// "ESC [ n ~": editing keys and F1..F12 as xterm and the Linux console number them.
uint32_t tildeKey(int number) {
  switch (number) {
    case 1: case 7: return vk("VK_HOME");
    case 2: return vk("VK_INSERT");
    case 3: return vk("VK_DELETE");
    case 4: case 8: return vk("VK_END");
    case 5: return vk("VK_PRIOR");
    case 6: return vk("VK_NEXT");
    default: break;
  }
  if (number >= 11 && number <= 15) return functionKey(number - 10);
  if (number >= 17 && number <= 21) return functionKey(number - 11);
  if (number == 23 || number == 24) return functionKey(number - 12);
  return 0;
}

void push(std::vector<uint32_t>& keys, uint32_t key) {
  if (key != 0) keys.push_back(key);
}

}  // namespace

// ---- Keys ----

size_t KeyDecoder::decodeOne(std::vector<uint32_t>& keys) {
  const std::string& p = pending_;
  if (p[0] == '\x03') {
    quit_ = true;
    return 1;
  }
  if (p[0] != ESC) {
    push(keys, plainKey(static_cast<unsigned char>(p[0])));
    return 1;
  }
  if (p.size() < 2) return 0;
  if (p[1] == ESC) {
    quit_ = true;
    return 2;
  }
  if (p[1] == 'O') {
    if (p.size() < 3) return 0;
    push(keys, ss3Key(p[2]));
    return 3;
  }
  if (p[1] != '[') {  // Alt with a key: the Esc, then the key
    push(keys, vk("VK_ESCAPE"));
    return 1;
  }
  if (p.size() >= 3 && p[2] == '[') {  // the Linux console's F1..F5: ESC [ [ A..E
    if (p.size() < 4) return 0;
    if (p[3] >= 'A' && p[3] <= 'E') push(keys, functionKey(1 + (p[3] - 'A')));
    return 4;
  }
  size_t end = 2;
  while (end < p.size() && p[end] >= 0x20 && p[end] <= 0x3F) ++end;  // parameters
  if (end == p.size()) return p.size() > LONGEST_SEQUENCE ? p.size() : 0;
  const char final = p[end];
  if (final == '~')
    push(keys, tildeKey(std::atoi(p.c_str() + 2)));
  else
    push(keys, letterKey(final));  // modifiers ("1;5A") are ignored: the key is the same
  return end + 1;
}

void KeyDecoder::feed(const std::string& bytes, uint32_t nowMs, std::vector<uint32_t>& keys) {
  if (pending_.empty()) pendingSinceMs_ = nowMs;
  pending_ += bytes;
  while (!pending_.empty() && !quit_) {
    const size_t used = decodeOne(keys);
    if (used == 0) break;
    pending_.erase(0, used);
    pendingSinceMs_ = nowMs;
  }
}

void KeyDecoder::flush(uint32_t nowMs, std::vector<uint32_t>& keys) {
  if (pending_.empty() || nowMs - pendingSinceMs_ < ESCAPE_WAIT_MS) return;
  if (pending_ == std::string(1, ESC)) push(keys, vk("VK_ESCAPE"));
  pending_.clear();  // an unfinished sequence that never completed: dropped
}

// ---- The terminal picture ----

std::string TextScreen::rowText(int32_t row) const {
  std::string out;
  for (int32_t column = 0; column < columns; ++column) out += at(column, row).ch;
  return out;
}

TextScreen placeTexts(const Frame& frame, int32_t columns, int32_t rows) {
  TextScreen screen;
  screen.columns = columns > 0 ? columns : 0;
  screen.rows = rows > 0 ? rows : 0;
  screen.cells.resize(static_cast<size_t>(screen.columns) * screen.rows);
  if (frame.width <= 0 || frame.height <= 0) return screen;
  std::vector<bool> taken(screen.rows, false);
  for (const DrawnText& text : frame.texts) {
    if (!std::isfinite(text.x) || !std::isfinite(text.y) || text.alpha <= 0) continue;
    // The nudge keeps a text placed exactly on a cell's edge, as a pixel position sent
    // as a float fraction is, from landing on the cell before it.
    const double rowAt = std::floor(static_cast<double>(text.y) * screen.rows + CELL_NUDGE);
    if (rowAt < 0 || rowAt >= screen.rows) continue;
    int32_t row = static_cast<int32_t>(rowAt);
    while (row < screen.rows && taken[row]) ++row;
    if (row >= screen.rows) continue;
    taken[row] = true;
    const double firstColumn = std::floor(static_cast<double>(text.x) * screen.columns + CELL_NUDGE);
    for (size_t i = 0; i < text.text.size(); ++i) {
      const double column = firstColumn + static_cast<double>(i);
      if (column < 0) continue;
      if (column >= screen.columns) break;
      Cell& cell = screen.cells[static_cast<size_t>(row) * screen.columns + static_cast<size_t>(column)];
      const unsigned char c = static_cast<unsigned char>(text.text[i]);
      cell.ch = c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
      cell.colour = Rgb{static_cast<uint8_t>(text.red), static_cast<uint8_t>(text.green),
                        static_cast<uint8_t>(text.blue)};
      cell.text = true;
      cell.bold = text.font == TITLE_FONT;
    }
  }
  return screen;
}

int32_t nearestXtermColour(Rgb colour) {
  static const int LEVELS[6] = {0, 95, 135, 175, 215, 255};
  auto nearestLevel = [](int value) {
    int best = 0;
    for (int i = 1; i < 6; ++i)
      if (std::abs(LEVELS[i] - value) < std::abs(LEVELS[best] - value)) best = i;
    return best;
  };
  auto distance = [&](int r, int g, int b) {
    return (r - colour.red) * (r - colour.red) + (g - colour.green) * (g - colour.green) +
           (b - colour.blue) * (b - colour.blue);
  };
  const int r = nearestLevel(colour.red), g = nearestLevel(colour.green), b = nearestLevel(colour.blue);
  const int32_t cube = 16 + 36 * r + 6 * g + b;
  const int cubeDistance = distance(LEVELS[r], LEVELS[g], LEVELS[b]);
  const int mean = (colour.red + colour.green + colour.blue) / 3;
  int grey = (mean - 8 + 5) / 10;  // the ramp is 8, 18, ..., 238
  grey = grey < 0 ? 0 : grey > 23 ? 23 : grey;
  const int greyValue = 8 + 10 * grey;
  return distance(greyValue, greyValue, greyValue) < cubeDistance ? 232 + grey : cube;
}

std::string terminalKeyLabel(uint32_t code) {
  if (code == 0) return "no key";
  const uint32_t numpad0 = vk("VK_NUMPAD0");
  if (code >= numpad0 && code <= numpad0 + 9) return std::string(1, static_cast<char>('0' + (code - numpad0)));
  if (code >= 'A' && code <= 'Z') return std::string(1, static_cast<char>(code));
  const uint32_t f1 = functionKey(1);
  if (code >= f1 && code < f1 + 12) return "F" + std::to_string(code - f1 + 1);
  static const struct {
    const char* name;
    const char* label;
  } TYPED[] = {
      {"VK_RETURN", "Enter"}, {"VK_TAB", "Tab"},       {"VK_BACK", "Backspace"}, {"VK_SPACE", "Space"},
      {"VK_ESCAPE", "Esc"},   {"VK_UP", "Up"},         {"VK_DOWN", "Down"},      {"VK_LEFT", "Left"},
      {"VK_RIGHT", "Right"},  {"VK_HOME", "Home"},     {"VK_END", "End"},        {"VK_INSERT", "Insert"},
      {"VK_DELETE", "Delete"}, {"VK_PRIOR", "PageUp"}, {"VK_NEXT", "PageDown"},  {"VK_MULTIPLY", "*"},
      {"VK_ADD", "+"},        {"VK_SUBTRACT", "-"},    {"VK_DECIMAL", "."},      {"VK_DIVIDE", "/"},
  };
  for (const auto& key : TYPED)
    if (vk(key.name) == code) return key.label;
  for (uint32_t i = 0; i < KEY_NAME_COUNT; ++i)
    if (KEY_NAMES[i].code == code) return std::string(KEY_NAMES[i].name) + " (not typeable here)";
  return "key " + std::to_string(code);
}

namespace {

// ---- Drawing to the terminal ----

struct Style {
  Rgb background;
  Rgb foreground;
  bool bold;
  bool operator!=(const Style& o) const {
    return std::memcmp(&background, &o.background, sizeof(Rgb)) != 0 ||
           std::memcmp(&foreground, &o.foreground, sizeof(Rgb)) != 0 || bold != o.bold;
  }
};

std::string colourCode(bool trueColour, bool foreground, Rgb c) {
  char text[32];
  if (trueColour)
    std::snprintf(text, sizeof text, "%d;2;%d;%d;%d", foreground ? 38 : 48, c.red, c.green, c.blue);
  else
    std::snprintf(text, sizeof text, "%d;5;%d", foreground ? 38 : 48, nearestXtermColour(c));
  return text;
}

std::string sgr(bool trueColour, const Style& style) {
  return "\x1b[0;" + colourCode(trueColour, false, style.background) + ";" +
         colourCode(trueColour, true, style.foreground) + (style.bold ? ";1m" : "m");
}

std::string encodeRow(const TextScreen& screen, int32_t row, bool trueColour) {
  std::string out;
  Style current{};
  bool first = true;
  for (int32_t column = 0; column < screen.columns; ++column) {
    const Cell& cell = screen.at(column, row);
    const Style style{SCREEN_BACKGROUND, cell.text ? cell.colour : SCREEN_BACKGROUND, cell.bold};
    if (first || style != current) out += sgr(trueColour, style);
    first = false;
    current = style;
    out += cell.ch;
  }
  return out + "\x1b[0m";
}

std::string statusRow(const std::string& text, int32_t columns, bool trueColour) {
  std::string line = text.substr(0, static_cast<size_t>(columns));
  line.resize(static_cast<size_t>(columns), ' ');
  return sgr(trueColour, Style{Rgb{40, 44, 56}, STATUS_COLOUR, false}) + line + "\x1b[0m";
}

std::string gameStatus(const SimGame& game) {
  const bool paced = game.paused() && currentRate != 0 && currentRate != NORMAL_RATE;
  char text[160];
  std::snprintf(text, sizeof text, " Game time %02d:%02d:%02d   rate %u ms per game minute   game's clock %s%s",
                game.hours(), game.minutes(), game.seconds(), currentRate, game.paused() ? "frozen" : "running",
                paced ? ", moved by the plug-in" : "");
  return text;
}

std::string keyHelp() {
  return " Keys: " + terminalKeyLabel(settings.openKey) + " menu   " + terminalKeyLabel(settings.upKey) + " up   " +
         terminalKeyLabel(settings.downKey) + " down   " + terminalKeyLabel(settings.enterKey) + " choose   " +
         terminalKeyLabel(settings.backKey) + " back   (digits are the keypad's)   Ctrl-C or Esc Esc quits";
}

bool writeAll(const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(STDOUT_FILENO, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// ---- The terminal's modes ----

const char* const ENTER_SCREEN = "\x1b[?1049h\x1b[?25l\x1b[2J";
const char* const LEAVE_SCREEN = "\x1b[0m\x1b[2J\x1b[?25h\x1b[?1049l";

struct termios savedTermios;
volatile sig_atomic_t terminalChanged = 0;
volatile sig_atomic_t stopSignal = 0;

void restoreTerminal() {
  if (!terminalChanged) return;
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTermios);
  const ssize_t ignored = write(STDOUT_FILENO, LEAVE_SCREEN, std::strlen(LEAVE_SCREEN));
  (void)ignored;
  terminalChanged = 0;
}

void onStopSignal(int signal) { stopSignal = signal; }

// A crash still gives the terminal back before the default action ends the process.
void onFatalSignal(int signal) {
  restoreTerminal();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

class RawTerminal {
 public:
  bool enter(std::string& error) {
    if (tcgetattr(STDIN_FILENO, &savedTermios) != 0) {
      error = std::string("cannot read the terminal's mode: ") + std::strerror(errno);
      return false;
    }
    struct termios raw = savedTermios;
    raw.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN | ISIG);  // Ctrl-C arrives as a byte
    raw.c_cflag |= CS8;
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) std::signal(signal, onStopSignal);
    for (int signal : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL}) std::signal(signal, onFatalSignal);
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) != 0) {
      error = std::string("cannot put the terminal in raw mode: ") + std::strerror(errno);
      return false;
    }
    terminalChanged = 1;
    writeAll(ENTER_SCREEN);
    return true;
  }
  ~RawTerminal() { restoreTerminal(); }
};

void terminalSize(int32_t& columns, int32_t& rows) {
  struct winsize size {};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
    columns = size.ws_col;
    rows = size.ws_row;
  } else {
    columns = 80;
    rows = 24;
  }
}

// Redraws the rows that changed since the last call; all of them after a resize.
class TerminalPainter {
 public:
  explicit TerminalPainter(bool trueColour) : trueColour_(trueColour) {}

  void paint(const SimHost& host) {
    int32_t columns = 0, rows = 0;
    terminalSize(columns, rows);
    if (columns != columns_ || rows != rows_) {
      columns_ = columns;
      rows_ = rows;
      shown_.assign(static_cast<size_t>(rows), std::string());
    }
    const int32_t screenRows = rows > STATUS_ROWS ? rows - STATUS_ROWS : 0;
    const TextScreen screen = placeTexts(captureFrame(host.game(), host.frameNumber()), columns, screenRows);
    std::string out;
    for (int32_t row = 0; row < rows; ++row) {
      std::string line;
      if (row < screenRows)
        line = encodeRow(screen, row, trueColour_);
      else
        line = statusRow(row == screenRows ? gameStatus(host.game()) : keyHelp(), columns, trueColour_);
      if (line == shown_[row]) continue;
      shown_[row] = line;
      out += "\x1b[" + std::to_string(row + 1) + ";1H" + line;
    }
    if (!out.empty()) writeAll(out);
  }

 private:
  bool trueColour_;
  int32_t columns_ = 0, rows_ = 0;
  std::vector<std::string> shown_;
};

bool wantsTrueColour() {
  const char* colourTerm = std::getenv("COLORTERM");
  return colourTerm != nullptr && (std::strcmp(colourTerm, "truecolor") == 0 || std::strcmp(colourTerm, "24bit") == 0);
}

// Waits up to `timeoutMs` for typed bytes; returns what arrived, "" on time-out.
std::string readTyped(int timeoutMs) {
  struct pollfd input = {STDIN_FILENO, POLLIN, 0};
  if (poll(&input, 1, timeoutMs) <= 0) return "";
  char buffer[256];
  const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
}

}  // namespace

int runPlay(const PlayOptions& options) {
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
    std::fprintf(stderr, "horavane-sim play: needs a terminal on standard input and output\n");
    return 2;
  }
  std::string error;
  RawTerminal terminal;
  if (!terminal.enter(error)) {
    std::fprintf(stderr, "horavane-sim play: %s\n", error.c_str());
    return 1;
  }
  setVirtualTickCount(START_TICK);
  SimHost host;
  host.game().setResolution(options.width, options.height);
  host.load();
  TerminalPainter painter(wantsTrueColour());
  KeyDecoder decoder;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  auto realMs = [&] {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
  };
  uint64_t passedMs = 0;
  std::vector<uint32_t> keys;
  while (!decoder.quitRequested() && stopSignal == 0) {
    const uint64_t sinceFrame = realMs() - passedMs;
    const std::string typed = readTyped(sinceFrame >= FRAME_MS ? 0 : static_cast<int>(FRAME_MS - sinceFrame));
    const uint64_t now = realMs();
    keys.clear();
    if (!typed.empty()) decoder.feed(typed, static_cast<uint32_t>(now), keys);
    decoder.flush(static_cast<uint32_t>(now), keys);
    if (decoder.quitRequested()) break;
    // Real time since the last frame passes for the tick count and the game; the keys
    // typed meanwhile are pressed and released now.
    host.elapse(static_cast<uint32_t>(now - passedMs));
    passedMs = now;
    for (uint32_t key : keys) host.tap(key);
    host.game().clearRecords();
    host.runFrame(0);
    painter.paint(host);
  }
  host.unload();
  restoreTerminal();
  char clock[16];
  std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", host.game().hours(), host.game().minutes(),
                host.game().seconds());
  std::printf("horavane-sim play: ended after %.1f s of play; game time %s, rate %u ms per game minute\n",
              static_cast<double>(passedMs) / 1000.0, clock, currentRate);
  for (const std::string& fault : host.game().errors()) std::fprintf(stderr, "error: %s\n", fault.c_str());
  return host.game().errors().empty() ? 0 : 1;
}

int playCommand(const std::vector<std::string>& arguments) {
  PlayOptions options;
  for (size_t i = 0; i < arguments.size(); ++i) {
    int width = 0, height = 0;
    char extra = 0;
    if (arguments[i] == "--resolution" && i + 1 < arguments.size() &&
        std::sscanf(arguments[i + 1].c_str(), "%dx%d%c", &width, &height, &extra) == 2 && width > 0 &&
        height > 0 && width <= MAX_SCREEN_SIDE && height <= MAX_SCREEN_SIDE) {
      options.width = width;
      options.height = height;
      ++i;
      continue;
    }
    std::fprintf(stderr, "horavane-sim play: expected --resolution <width>x<height> (1..%d each), found \"%s\"\n",
                 MAX_SCREEN_SIDE, arguments[i].c_str());
    return 2;
  }
  return runPlay(options);
}
