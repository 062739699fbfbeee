// Painting of the installer's full-screen background window.
#pragma once
#include <windows.h>
#include <time.h>

// The picture's places and sizes in pixels, for a client height and the dots per
// inch it is drawn for; at 96 the classic picture.
struct BackgroundLayout {
    int logoX, logoY, logoSize;
    int bottomLineY;
    int titleX;
    int titleDepth, lineDepth;  // emboss depths
    // Stretch the logo with averaging: its size is no whole multiple of its pixels.
    bool smoothLogo;
};
BackgroundLayout backgroundLayout(int clientHeight, int dpi);
// The dots per inch the background is drawn for, from the screen's and the
// version that GetVersion gives.
int backgroundDpi(int screenDpi, DWORD version);

// Colour sets of the embossed text; any other style draws as EmbossPurple.
enum EmbossStyle {
    EmbossRed = 0,
    EmbossBlue = 1,
    EmbossGold = 2,
    EmbossPurple = 3,
    EmbossGrey = 4,
};
// Text colour of one pass of the embossed text, by style and offset sign.
COLORREF embossColour(int style, int offset);
// The offsets of the passes in drawing order; returns their count (2 n + 1).
int embossOffsets(int depth, int* offsets, int capacity);
void drawEmbossedText(HDC dc, int x, int y, const char* text, int style, UINT align, int depth);
// Appends the date of t as M/D/YY (text holds capacity characters).
void appendDate(time_t t, char* text, size_t capacity);
// Whether the logo may be loaded on this system.
bool logoAllowed(LONG osKind, DWORD shellMajor, DWORD shellMinor);
