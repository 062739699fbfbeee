// Painting of the installer's full-screen background window.
#pragma once
#include <windows.h>
#include <time.h>

struct BackgroundLayout {
    int logoX, logoY, logoSize;
    int bottomLineY;
};
BackgroundLayout backgroundLayout(int clientHeight);

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
