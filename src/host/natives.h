// The game's natives, one typed call each. Each issues exactly one native call
// through the runtime; results are the low 32 bits of the result slot, signed.
#pragma once

#include <cstdint>

void ClockAdd(int32_t hours, int32_t minutes, int32_t seconds);  // signed amounts
void ClockSet(int32_t hours, int32_t minutes, int32_t seconds);
void ClockPause(int32_t flag);  // 1 stops the game's own clock advance, 0 resumes it
int32_t ClockHours();
int32_t ClockMinutes();
int32_t ClockSeconds();
void ScreenResolution(int32_t* width, int32_t* height);  // in pixels

void TextFont(int32_t font);
void TextScale(float unused, float scale);
void TextRgba(int32_t red, int32_t green, int32_t blue, int32_t alpha);  // 0..255 each
void TextFlag(int32_t flag);
void TextEffectA(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e);
void TextEffectB(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e);
void TextBegin(const char* kind);
void TextAddString(const char* text);
void TextDraw(float x, float y);  // screen fractions, 0..1 of width and height
