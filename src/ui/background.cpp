#include "ui/background.h"
#include "common/dynlib.h"
#include "common/messages.h"
#include "common/text.h"
#include "resources/resource.h"
#include "shell/setupapp.h"
#include "ui/gradient.h"
#include <string.h>

namespace {
// The logo resource is drawn 64 by 64 pixels (tools/art).
const int kLogoPixels = 64;
// The largest scale drawn, 500 %.
const int kMaxDpi = 480;

// A length of the 96-dpi picture at dpi, to the nearest pixel.
int scaled(int length, int dpi) { return (length * dpi + 48) / 96; }
}  // namespace

BackgroundLayout backgroundLayout(int h, int dpi) {
    // The 96-dpi layout table: logo x, y and size, the bottom line's distance
    // from the bottom. The thresholds compare the height in 96-dpi pixels,
    // without rounding: h * 96 / dpi below 550, below 620.
    static const unsigned char classic[3][4] = {{12, 7, 48, 8}, {13, 11, 52, 20}, {15, 15, 64, 20}};
    const unsigned char* row = classic[h * 96 < 550 * dpi ? 0 : (h * 96 < 620 * dpi ? 1 : 2)];
    int size = scaled(row[2], dpi);
    return {scaled(row[0], dpi), scaled(row[1], dpi), size, h - scaled(row[3], dpi),
            scaled(15, dpi), scaled(2, dpi), scaled(1, dpi),
            dpi != 96 && size % kLogoPixels != 0};
}

int backgroundDpi(int screenDpi, DWORD version) {
    // Windows 95 to 2000, all below version 5.1 (the low byte holds the major
    // version, the next the minor), keep the classic picture at any setting.
    if (MAKEWORD(HIBYTE(version), LOBYTE(version)) < 0x0501 || screenDpi <= 96) return 96;
    return screenDpi < kMaxDpi ? screenDpi : kMaxDpi;
}

COLORREF embossColour(int style, int offset) {
    int sign = offset < 0 ? 0 : (offset > 0 ? 1 : 2);
    switch (style) {
    case EmbossRed: {
        static const COLORREF c[3] = {PALETTERGB(206, 70, 95), PALETTERGB(88, 20, 33),
                                      PALETTERGB(141, 43, 62)};
        return c[sign];
    }
    case EmbossBlue: {
        static const COLORREF c[3] = {PALETTERGB(0, 200, 255), PALETTERGB(0, 0, 120),
                                      PALETTERGB(0, 80, 245)};
        return c[sign];
    }
    case EmbossGold: {
        static const COLORREF c[3] = {PALETTERGB(255, 255, 180), PALETTERGB(136, 103, 35),
                                      PALETTERGB(207, 175, 80)};
        return c[sign];
    }
    case EmbossGrey: {
        static const COLORREF c[3] = {RGB(255, 255, 255), PALETTERGB(128, 128, 128),
                                      PALETTERGB(192, 192, 192)};
        return c[sign];
    }
    default: {  // EmbossPurple and any other value
        static const COLORREF c[3] = {PALETTERGB(198, 181, 222), PALETTERGB(110, 0, 140),
                                      PALETTERGB(160, 96, 255)};
        return c[sign];
    }
    }
}

int embossOffsets(int depth, int* offsets, int capacity) {
    int count = 0;
    if (depth > 0) {
        for (int k = -depth; k <= -1 && count < capacity; ++k) offsets[count++] = k;
        for (int k = depth; k >= 1 && count < capacity; --k) offsets[count++] = k;
    }
    if (count < capacity) offsets[count++] = 0;
    return count;
}

void drawEmbossedText(HDC dc, int x, int y, const char* text, int style, UINT align, int depth) {
    SetTextAlign(dc, align);
    SetBkMode(dc, TRANSPARENT);
    COLORREF previous = GetTextColor(dc);
    int offsets[2 * (2 * kMaxDpi / 96) + 1];  // room for the title's depth of 2 at kMaxDpi
    int count = embossOffsets(depth, offsets, sizeof offsets / sizeof offsets[0]);
    int length = lstrlenA(text);
    for (int i = 0; i < count; ++i) {
        SetTextColor(dc, embossColour(style, offsets[i]));
        TextOutA(dc, x + offsets[i], y + offsets[i], text, length);
    }
    SetTextColor(dc, previous);
}

void appendDate(time_t t, char* text, size_t capacity) {
    if (t < 0) return;
    const CrtLibrary* crt = crtLibrary();
    struct tm* local = crt ? crt->localtime(&t) : NULL;
    if (!local) return;
    int year = local->tm_year;
    if (year >= 100) year -= 100;
    char date[100];
    memset(date, 0, sizeof date);
    formatText(date, sizeof date, "%d/%d/%02d", local->tm_mon + 1, local->tm_mday, year);
    appendToText(text, capacity, date);
}

bool logoAllowed(LONG osKind, DWORD shellMajor, DWORD shellMinor) {
    bool oldShell = shellMajor < 4 || (shellMajor == 4 && shellMinor < 70);
    return !(osKind <= OsWindows95Later && oldShell);
}

namespace {
HFONT createBackgroundFont(LONG height, LONG weight, BYTE italic, LONG escapement, const char* face) {
    LOGFONTA font;
    memset(&font, 0, sizeof font);
    font.lfHeight = height;
    font.lfWeight = weight;
    font.lfItalic = italic;
    font.lfEscapement = escapement;
    font.lfOrientation = escapement;
    copyText(font.lfFaceName, sizeof font.lfFaceName, face);
    return CreateFontIndirectA(&font);
}


void drawBackdrop(HDC dc, const RECT& client, int depth) {
    if (depth > 8)
        drawGradient(dc, RGB(0, 0, 10), RGB(180, 180, 255), client);
    else
        drawGradient(dc, RGB(0, 0, 0), RGB(0, 0, 255), client);
}

// Renders the logo upright, smooth on a screen of more than 256 colours when the
// layout asks so; true when its palette was selected into the context (the
// previous one is then in previousPalette).
bool drawLogo(HDC dc, IPicture* picture, const BackgroundLayout& layout, bool smooth,
              HPALETTE* previousPalette) {
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    OLE_HANDLE palette = 0;
    picture->get_Width(&width);
    picture->get_Height(&height);
    picture->get_hPal(&palette);
    if (palette) {
        *previousPalette = SelectPalette(dc, reinterpret_cast<HPALETTE>(
                                                 static_cast<UINT_PTR>(palette)), FALSE);
        RealizePalette(dc);
    }
    // A whole multiple of the logo's pixels is drawn by repeating them, sharp; any
    // other size above 96 dpi is averaged (the NT family's HALFTONE, which the
    // picture's stretch follows) rather than losing or doubling odd rows.
    int previousMode = 0;
    if (layout.smoothLogo && smooth) {
        previousMode = SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, NULL);
    }
    // The bounds' right and bottom are the size itself, not the logo's far corner.
    RECT bounds = {layout.logoX, layout.logoY, layout.logoSize, layout.logoSize};
    picture->Render(dc, layout.logoX, layout.logoY, layout.logoSize, layout.logoSize, 0, height,
                    width, -height, &bounds);
    if (previousMode) SetStretchBltMode(dc, previousMode);
    return palette != 0;
}

void drawTitle(HDC dc, int h, const BackgroundLayout& layout) {
    HFONT titleFont = createBackgroundFont(h / 11, 0, 1, 900, "Arial Black");
    HGDIOBJ previousFont = SelectObject(dc, titleFont);
    drawEmbossedText(dc, layout.titleX, h / 2, "Zelto Screensaver", EmbossGold, TA_CENTER | TA_TOP,
                     layout.titleDepth);
    SelectObject(dc, previousFont);
    if (titleFont) DeleteObject(titleFont);
}

void drawEditionLine(HDC dc, int x, int h, const BackgroundLayout& layout, LONG newestFileTime,
                     int depth) {
    HFONT lineFont = createBackgroundFont(h / 18, 700, 0, 0, "Arial");
    HGDIOBJ previousFont = SelectObject(dc, lineFont);
    char line[300];
    memset(line, 0, sizeof line);
    loadText(line, IDS_EDITION);
    if (newestFileTime != 0) appendDate(static_cast<time_t>(newestFileTime), line, sizeof line);
    drawEmbossedText(dc, x, layout.bottomLineY, line, depth > 8 ? EmbossRed : EmbossPurple,
                     TA_CENTER | TA_BOTTOM, layout.lineDepth);
    SelectObject(dc, previousFont);
    if (lineFont) DeleteObject(lineFont);
}
}  // namespace

void SetupApp::paintBackground(HDC dc) {
    RECT client;
    if (!GetClientRect(mainWindow, &client)) return;
    int w = client.right;
    int h = client.bottom;
    if (w == 0 || h == 0) return;
    int depth = GetDeviceCaps(dc, PLANES) * GetDeviceCaps(dc, BITSPIXEL);
    drawBackdrop(dc, client, depth);
    BackgroundLayout layout =
        backgroundLayout(h, backgroundDpi(GetDeviceCaps(dc, LOGPIXELSY), GetVersion()));
    if (!logoPicture) loadLogo(IDG_LOGO);
    HPALETTE previousPalette = NULL;
    bool paletteSelected =
        logoPicture && drawLogo(dc, logoPicture, layout, depth > 8, &previousPalette);
    drawTitle(dc, h, layout);
    drawEditionLine(dc, w / 2, h, layout, newestFileTime, depth);
    // The picture owns its palette: take it out of the context before the
    // context goes back to the system.
    if (paletteSelected) SelectPalette(dc, previousPalette, FALSE);
}

void SetupApp::releaseLogo() {
    if (logoPicture) {
        logoPicture->Release();
        logoPicture = NULL;
    }
}

void SetupApp::releaseLogoResource() {
    logoBytes = NULL;
    if (logoResource) FreeResource(logoResource);
    logoResource = NULL;
}

bool SetupApp::loadLogo(int id) {
    if (!logoAllowed(osKind, shellMajor, shellMinor)) return false;
    releaseLogo();
    logoBytes = NULL;
    DWORD size = 0;
    if (!loadModuleResource(MAKEINTRESOURCEA(id), "RES_GIF", &logoBytes, &size, &logoResource)) {
        releaseLogoResource();
        return false;
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    void* blockBytes = block ? GlobalLock(block) : NULL;
    if (!blockBytes) {
        if (block) GlobalFree(block);
        releaseLogoResource();
        return false;
    }
    memcpy(blockBytes, logoBytes, size);
    GlobalUnlock(block);
    releaseLogoResource();
    // OLE is loaded only for the logo; without it there is no logo.
    const Ole32Library* ole = ole32Library();
    const OleAutomationLibrary* oleAut = ole ? oleAutomationLibrary() : NULL;
    IStream* stream = NULL;
    if (!oleAut || FAILED(ole->CreateStreamOnHGlobal(block, TRUE, &stream)) || !stream) {
        // The stream never took the block over: free it here.
        GlobalFree(block);
        return false;
    }
    static const IID pictureId = {0x7BF80980, 0xBF32, 0x101A,
                                  {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}};
    void* picture = NULL;
    if (FAILED(oleAut->OleLoadPicture(stream, static_cast<LONG>(size), FALSE, pictureId, &picture)))
        picture = NULL;
    logoPicture = static_cast<IPicture*>(picture);
    stream->Release();
    return true;
}
