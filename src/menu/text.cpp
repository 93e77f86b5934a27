// Text drawing: one line of text for one frame, placed in pixels.

#include "host/natives.h"
#include "menu/menu.h"

int32_t drawText(const char* text, int32_t x, int32_t y, float scale, int32_t font,
                 const TextColour& colour) {
  // The resolution is asked on every call, so a change of screen size shows at once.
  int32_t width = 0;
  int32_t height = 0;
  ScreenResolution(&width, &height);
  if (width <= 0 || height <= 0) return height;  // no screen to place the text on
  const float fx = static_cast<float>(x) / static_cast<float>(width);
  const float fy = static_cast<float>(y) / static_cast<float>(height);
  TextFont(font);
  TextScale(0.0f, scale);
  TextRgba(static_cast<int32_t>(colour.red), static_cast<int32_t>(colour.green),
           static_cast<int32_t>(colour.blue), static_cast<int32_t>(colour.alpha));
  TextFlag(0);
  TextEffectA(5, 5, 5, 5, 5);
  TextEffectB(0, 0, 0, 0, 0);
  TextBegin("STRING");
  TextAddString(text);
  TextDraw(fx, fy);
  return height;
}
