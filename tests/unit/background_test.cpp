#include <gtest/gtest.h>
#include <string.h>
#include <time.h>
#include "boxcatcher.h"
#include "common/dynlib.h"
#include "shell/setupapp.h"
#include "ui/background.h"
#include "ui/gradient.h"

namespace {
int plan(int height, GradientBand* bands, COLORREF top = RGB(0, 0, 10),
         COLORREF bottom = RGB(180, 180, 255)) {
    RECT r = {0, 0, 1024, height};
    return planGradient(top, bottom, r, bands);
}
}  // namespace

TEST(Gradient, BandsOfATallScreen) {
    GradientBand bands[kMaxGradientBands];
    ASSERT_EQ(129, plan(768, bands));
    for (int i = 0; i < 128; ++i) {
        EXPECT_EQ(i * 6, bands[i].rect.top);
        EXPECT_EQ(6, bands[i].rect.bottom - bands[i].rect.top);
        EXPECT_EQ(1024, bands[i].rect.right);
    }
    EXPECT_EQ(RGB(0, 0, 10), bands[0].colour);
    EXPECT_EQ(RGB(1, 1, 11), bands[1].colour);  // 1.40 and 1.91 per band, truncated
    EXPECT_EQ(RGB(2, 2, 13), bands[2].colour);
    EXPECT_EQ(RGB(177, 177, 252), bands[127].colour);
    EXPECT_EQ(768, bands[128].rect.top);
    EXPECT_EQ(1, bands[128].rect.bottom - bands[128].rect.top);
    EXPECT_EQ(RGB(179, 179, 254), bands[128].colour);
}

TEST(Gradient, ShortScreensAndTheRemainderStrip) {
    GradientBand bands[kMaxGradientBands];
    ASSERT_EQ(129, plan(300, bands));
    EXPECT_EQ(2, bands[0].rect.bottom);
    EXPECT_EQ(256, bands[128].rect.top);
    EXPECT_EQ(45, bands[128].rect.bottom - bands[128].rect.top);

    ASSERT_EQ(51, plan(100, bands));
    EXPECT_EQ(98, bands[49].rect.top);
    EXPECT_EQ(100, bands[50].rect.top);
    EXPECT_EQ(1, bands[50].rect.bottom - bands[50].rect.top);

    ASSERT_EQ(2, plan(2, bands));
    EXPECT_EQ(2, bands[0].rect.bottom);
    EXPECT_EQ(RGB(0, 0, 10), bands[0].colour);
    // under two pixels: one fill of the area in the top colour, nothing below it
    ASSERT_EQ(1, plan(1, bands));
    EXPECT_EQ(0, bands[0].rect.top);
    EXPECT_EQ(1, bands[0].rect.bottom);
    EXPECT_EQ(RGB(0, 0, 10), bands[0].colour);
    EXPECT_EQ(0, plan(0, bands));
}

TEST(Gradient, NeverMoreThan129FillsAndFallingColours) {
    GradientBand bands[kMaxGradientBands];
    for (int h = 1; h <= 2400; h += 7) EXPECT_LE(plan(h, bands), 129) << h;
    // the 256-colour ramp, and a ramp that falls towards its bottom colour
    ASSERT_EQ(129, plan(768, bands, RGB(0, 0, 0), RGB(0, 0, 255)));
    EXPECT_EQ(RGB(0, 0, 252), bands[127].colour);
    ASSERT_EQ(129, plan(768, bands, RGB(200, 100, 50), RGB(0, 0, 0)));
    EXPECT_EQ(RGB(0, 0, 0), bands[128].colour);
    for (int i = 1; i < 129; ++i) EXPECT_LE(GetRValue(bands[i].colour), GetRValue(bands[i - 1].colour));
}

TEST(BackgroundLayout, ByClientHeight) {
    // 48 and 52 as ever, by the picture's own stretch, never smoothed.
    const struct { int height, logoX, logoY, logoSize, bottomLineY; } kRows[] = {
        {549, 12, 7, 48, 541}, {550, 13, 11, 52, 530}, {619, 13, 11, 52, 599}, {620, 15, 15, 64, 600}};
    for (const auto& row : kRows) {
        BackgroundLayout layout = backgroundLayout(row.height, 96);
        EXPECT_EQ(row.logoX, layout.logoX) << row.height;
        EXPECT_EQ(row.logoY, layout.logoY) << row.height;
        EXPECT_EQ(row.logoSize, layout.logoSize) << row.height;
        EXPECT_EQ(row.bottomLineY, layout.bottomLineY) << row.height;
        EXPECT_FALSE(layout.smoothLogo) << row.height;
    }
    BackgroundLayout large = backgroundLayout(620, 96);
    EXPECT_EQ(15, large.titleX);
    EXPECT_EQ(2, large.titleDepth);
    EXPECT_EQ(1, large.lineDepth);
}

TEST(BackgroundLayout, AtHigherDpi) {
    // The thresholds at twice the height; the logo of 128 by doubling its pixels.
    BackgroundLayout large = backgroundLayout(1240, 192);
    EXPECT_EQ(128, large.logoSize);
    EXPECT_EQ(1200, large.bottomLineY);
    EXPECT_EQ(4, large.titleDepth);
    EXPECT_FALSE(large.smoothLogo);
    EXPECT_EQ(104, backgroundLayout(1239, 192).logoSize);
    EXPECT_TRUE(backgroundLayout(1239, 192).smoothLogo);
    // 550 at 110 dpi is 630.2 pixels: 630 is still below it, 631 is not.
    EXPECT_EQ(55, backgroundLayout(630, 110).logoSize);
    EXPECT_EQ(60, backgroundLayout(631, 110).logoSize);
    // 150 %: halves round up
    BackgroundLayout half = backgroundLayout(1000, 144);
    EXPECT_EQ(23, half.titleX);
    EXPECT_EQ(2, half.lineDepth);
    EXPECT_TRUE(half.smoothLogo);
}

TEST(BackgroundLayout, DpiFromXpOn) {
    EXPECT_EQ(96, backgroundDpi(192, 0xC0000004));  // Windows 95
    EXPECT_EQ(96, backgroundDpi(120, 0xC0000A04));  // Windows 98
    EXPECT_EQ(96, backgroundDpi(144, 0x05650004));  // NT 4.0
    EXPECT_EQ(96, backgroundDpi(192, 0x08930005));  // Windows 2000
    EXPECT_EQ(120, backgroundDpi(120, 0x0A280105));  // XP
    EXPECT_EQ(192, backgroundDpi(192, 0x1DB10106));  // 7
    EXPECT_EQ(96, backgroundDpi(72, 0x1DB10106));
    EXPECT_EQ(96, backgroundDpi(0, 0x1DB10106));
    EXPECT_EQ(480, backgroundDpi(960, 0x4A61000A));
}

TEST(EmbossedText, PassOrderOffsetsAndColours) {
    int offsets[17];
    ASSERT_EQ(5, embossOffsets(2, offsets, 17));
    const int title[5] = {-2, -1, 2, 1, 0};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(title[i], offsets[i]);
    ASSERT_EQ(3, embossOffsets(1, offsets, 17));
    const int line[3] = {-1, 1, 0};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(line[i], offsets[i]);
    ASSERT_EQ(1, embossOffsets(0, offsets, 17));
    EXPECT_EQ(3, embossOffsets(8, offsets, 3));  // never past the room given

    const struct { int style, offset; COLORREF colour; } kColours[] = {
        {2, -1, PALETTERGB(255, 255, 180)}, {2, 1, PALETTERGB(136, 103, 35)},
        {2, 0, PALETTERGB(207, 175, 80)},   {0, 0, PALETTERGB(141, 43, 62)},
        {4, -3, RGB(255, 255, 255)},        {3, 0, PALETTERGB(160, 96, 255)},
        {77, 0, PALETTERGB(160, 96, 255)},  {-5, 2, PALETTERGB(110, 0, 140)}};
    for (const auto& c : kColours)
        EXPECT_EQ(c.colour, embossColour(c.style, c.offset)) << c.style << " " << c.offset;
}

TEST(EditionLine, DatesAsMonthDayTwoDigitYear) {
    // Noon UTC keeps the calendar day in every time zone from -11 to +11.
    const struct { time_t when; const char* before; const char* after; } kDates[] = {
        {978004800, "Free Version ", "Free Version 12/28/00"}, {929880000, "", "6/20/99"},
        {-1, "Free Version ", "Free Version "}, {43200, "", "1/1/70"}};
    for (const auto& d : kDates) {
        char text[300];
        lstrcpyA(text, d.before);
        appendDate(d.when, text, sizeof text);
        EXPECT_STREQ(d.after, text);
    }
    char cut[8] = "";
    appendDate(977961600, cut, sizeof cut);
    EXPECT_LE(strlen(cut), 7u);
}

TEST(Logo, NotLoadedOnOldShellsAndTriedAgainOnEveryPaint) {
    const struct { int osKind, major, minor; bool allowed; } kShells[] = {
        {1, 4, 0, false}, {0, 4, 69, false}, {-1, 3, 99, false}, {1, 4, 70, true},
        {1, 5, 0, true},  {2, 4, 0, true},   {4, 4, 0, true}};
    for (const auto& k : kShells)
        EXPECT_EQ(k.allowed, logoAllowed(k.osKind, k.major, k.minor)) << k.osKind << " " << k.major;

    TestApp app;
    setupApp->osKind = 1;
    setupApp->shellMajor = 4;
    setupApp->shellMinor = 0;
    EXPECT_FALSE(setupApp->loadLogo(101));
    EXPECT_EQ(nullptr, setupApp->logoPicture);
    setupApp->osKind = 5;
    EXPECT_FALSE(setupApp->loadLogo(999));  // no such resource
    EXPECT_EQ(nullptr, setupApp->logoResource);
    EXPECT_EQ(nullptr, setupApp->logoBytes);
    EXPECT_TRUE(setupApp->loadLogo(101));
    ASSERT_NE(nullptr, setupApp->logoPicture);
    OLE_XSIZE_HIMETRIC width = 0;
    setupApp->logoPicture->get_Width(&width);
    EXPECT_GT(width, 0);
    EXPECT_EQ(nullptr, setupApp->logoResource);
    setupApp->releaseLogo();
    EXPECT_EQ(nullptr, setupApp->logoPicture);

    // The logo needs OLE and nothing else of the libraries the program can do without.
    setMissingLibrariesForTest("wininet.dll winmm.dll");
    EXPECT_TRUE(setupApp->loadLogo(101));
    EXPECT_NE(nullptr, setupApp->logoPicture);
    setupApp->releaseLogo();
    setMissingLibrariesForTest("wininet.dll winmm.dll oleaut32.dll");
    EXPECT_FALSE(setupApp->loadLogo(101));
    EXPECT_EQ(nullptr, setupApp->logoPicture);
    EXPECT_EQ(nullptr, setupApp->logoResource);
    setMissingLibrariesForTest(NULL);
}

TEST(Painting, PaintsTheWholeWindowWithoutLeakingObjects) {
    TestApp app;
    setupApp->osKind = 5;
    setupApp->mainWindow = CreateWindowExA(0, "STATIC", "bg", WS_POPUP, 0, 0, 800, 620, NULL, NULL,
                                           GetModuleHandleA(NULL), NULL);
    ASSERT_NE(nullptr, setupApp->mainWindow);
    setupApp->newestFileTime = 977984780;
    HDC screen = GetDC(NULL);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 800, 620);
    HGDIOBJ old = SelectObject(dc, bitmap);
    setupApp->paintBackground(dc);  // the first paint loads the logo
    DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int i = 0; i < 50; ++i) setupApp->paintBackground(dc);
    DWORD after = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    EXPECT_EQ(before, after);
    EXPECT_NE(nullptr, setupApp->logoPicture);
    // top row dark blue, bottom row light
    COLORREF top = GetPixel(dc, 400, 0);
    COLORREF bottom = GetPixel(dc, 400, 619);
    EXPECT_LT(GetBValue(top), 30);
    EXPECT_GT(GetRValue(bottom), 150);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(NULL, screen);
    DestroyWindow(setupApp->mainWindow);
}
