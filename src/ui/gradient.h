// The background gradient as arithmetic: bands in fixed point with two decimals.
#pragma once
#include <windows.h>

struct GradientBand {
    RECT rect;
    COLORREF colour;
};
enum { kMaxGradientBands = 129 };  // 128 bands and the remainder strip

// Plans the fills of the gradient over rect (top colour at the top); returns their count.
int planGradient(COLORREF top, COLORREF bottom, const RECT& rect, GradientBand* fills);
void drawGradient(HDC dc, COLORREF top, COLORREF bottom, const RECT& rect);
