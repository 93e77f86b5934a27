// Play mode's terminal: raw input, the simulated host paced by the real clock, and the
// frame's texts drawn with ANSI colours.

#include "tools/play.h"

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

constexpr uint32_t FRAME_MS = 16;        // about 60 frames a second
constexpr uint32_t START_TICK = 10000;   // the tick count when the game "starts"
constexpr int32_t STATUS_ROWS = 2;       // game time and rate; the keys to type
constexpr Rgb STATUS_COLOUR = {200, 200, 200};

}  // namespace

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
