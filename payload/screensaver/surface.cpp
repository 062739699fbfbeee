#include "surface.h"
#include <string.h>

bool PixelSurface::create(int w, int h) {
    dc = NULL;
    bitmap = NULL;
    previous = NULL;
    pixels = NULL;
    width = 0;
    height = 0;
    if (w <= 0 || h <= 0) return false;
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;  // top-down: row 0 is the top row
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = NULL;
    HBITMAP created = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    if (!created || !bits) {
        if (created) DeleteObject(created);
        return false;
    }
    HDC memory = CreateCompatibleDC(NULL);
    if (!memory) {
        DeleteObject(created);
        return false;
    }
    dc = memory;
    bitmap = created;
    previous = SelectObject(memory, created);
    pixels = static_cast<DWORD*>(bits);
    width = w;
    height = h;
    return true;
}

void PixelSurface::destroy() {
    if (dc) {
        SelectObject(dc, previous);
        DeleteDC(dc);
    }
    if (bitmap) DeleteObject(bitmap);
    dc = NULL;
    bitmap = NULL;
    previous = NULL;
    pixels = NULL;
    width = 0;
    height = 0;
}

void PixelSurface::fill(DWORD colour) {
    GdiFlush();
    size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    for (size_t i = 0; i < count; ++i) pixels[i] = colour;
}

void* allocateZeroed(size_t bytes) {
    if (bytes == 0) return NULL;
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}

void freeMemory(void* block) {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

namespace {
// A quarter turn of sine in 64 steps, scaled to 1024.
const short kQuarterSine[65] = {
    0, 25, 50, 75, 100, 125, 150, 175, 200, 224, 249, 273, 297, 321, 345, 369, 392,
    415, 438, 460, 483, 505, 526, 548, 569, 590, 610, 630, 650, 669, 688, 706, 724,
    742, 759, 775, 792, 807, 822, 837, 851, 865, 878, 891, 903, 915, 926, 936, 946,
    955, 964, 972, 980, 987, 993, 999, 1004, 1009, 1013, 1016, 1019, 1021, 1023, 1024, 1024};
}  // namespace

int sine1024(DWORD phase) {
    DWORD step = (phase >> 8) & 255;  // 256 steps a turn
    DWORD quarter = step >> 6;
    DWORD index = step & 63;
    switch (quarter) {
    case 0: return kQuarterSine[index];
    case 1: return kQuarterSine[64 - index];
    case 2: return -kQuarterSine[index];
    default: return -kQuarterSine[64 - index];
    }
}
