// Drawing surfaces and the small pixel helpers that the scene composes with.
#pragma once
#include <windows.h>

// A 32-bit top-down DIB section selected into a memory DC of its own: GDI draws
// into it (text, pictures), the scene reads and writes its pixels directly, and
// BitBlt copies it to the screen whatever the screen's colour depth.
// Pixels are 0x00RRGGBB.
struct PixelSurface {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous;
    DWORD* pixels;
    int width;
    int height;

    bool create(int w, int h);
    void destroy();
    void fill(DWORD colour);
};

// Memory from the process heap, so that no C++ allocation (and no exception
// machinery) is linked in. Both accept and return NULL.
void* allocateZeroed(size_t bytes);
void freeMemory(void* block);

inline int clampInt(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

inline DWORD packRgb(int r, int g, int b) {
    return (static_cast<DWORD>(r) << 16) | (static_cast<DWORD>(g) << 8) | static_cast<DWORD>(b);
}

// Adds r, g, b (each 0..255 or more) to a pixel, each channel saturating at 255.
inline DWORD addRgb(DWORD pixel, int r, int g, int b) {
    r += static_cast<int>((pixel >> 16) & 255);
    g += static_cast<int>((pixel >> 8) & 255);
    b += static_cast<int>(pixel & 255);
    return packRgb(r > 255 ? 255 : r, g > 255 ? 255 : g, b > 255 ? 255 : b);
}

// Sine of a phase given in 1/65536 of a turn, scaled to -1024..1024.
int sine1024(DWORD phase);

// A small random generator of our own: the scene wants cheap numbers, not the C
// run-time's shared state.
struct Random {
    DWORD state;
    DWORD next() {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    }
    // A number in lo..hi (inclusive).
    int range(int lo, int hi) {
        if (hi <= lo) return lo;
        return lo + static_cast<int>(next() % static_cast<DWORD>(hi - lo + 1));
    }
};
