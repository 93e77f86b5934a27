// Play mode's picture: a frame's texts placed on the terminal's character cells, and
// colours matched to the terminal's palette.

#include <cmath>
#include <cstdlib>
#include <vector>

#include "tools/play.h"

namespace {

constexpr double CELL_NUDGE = 1e-3;  // of a cell

}  // namespace

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
