#include "scene.h"
#include "logo.h"
#include "resource.h"
#include <string.h>

namespace {

struct GradientStops {
    BYTE top[3], middle[3], bottom[3];
    int middleAt;  // 1/256 of the height
};

// The product's deep blue first; "classic" is the installer's own backdrop.
const GradientStops kSchemes[] = {
    {{0, 0, 12}, {6, 18, 88}, {40, 70, 182}, 150},
    {{0, 0, 10}, {90, 90, 132}, {180, 180, 255}, 128},
    {{6, 0, 26}, {48, 20, 100}, {150, 86, 168}, 150},
};

// Ordered dither, so that the slow gradient shows no bands on 15- and 16-bit screens.
const BYTE kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

struct GlowLook {
    int size;  // at a 768-pixel-high screen
    int minimum;
    BYTE rgb[3];
    float core;  // how much the centre burns towards white
    float halo;  // share of the opacity in the soft outer glow; the rest is the bright centre
};

const GlowLook kGlowLooks[GlowKindCount] = {
    {5, 3, {200, 214, 255}, 0.6f, 1.0f},    // star
    {9, 3, {255, 190, 70}, 0.5f, 1.0f},     // small spark
    {15, 5, {255, 176, 48}, 0.45f, 0.3f},   // large spark
    {27, 7, {255, 230, 170}, 1.0f, 0.35f},  // comet head
};

// Sparks per screen of 1024 by 768, by density setting.
const int kSparkCounts[] = {40, 80, 150};
const int kTwinklingStars = 28;
const int kMaxParticles = 1200;

// The title's emboss: light from the upper left, shade to the lower right, a
// metallic gold face running from pale at the top to deep at the bottom.
const int kHighlight[3] = {255, 255, 180};
const int kShade[3] = {136, 103, 35};
const int kFaceTop[3] = {255, 238, 156};
const int kFaceMiddle[3] = {212, 176, 80};
const int kFaceBottom[3] = {150, 104, 30};
const int kHaloRgb[3] = {255, 186, 72};

int floorPixels(int fixed) { return fixed >= 0 ? fixed / 256 : -((-fixed + 255) / 256); }

int divide255(int v) { return ((v + 128) * 257) >> 16; }

int lerp(int a, int b, int t, int span) { return span > 0 ? a + (b - a) * t / span : a; }

int integerRoot(int v) {
    if (v <= 0) return 0;
    int r = v, last = 0;
    while (r != last) {
        last = r;
        r = (r + v / r) / 2;
        if (r > last) r = last;  // stop where Newton's steps start to climb again
    }
    return r;
}

SceneRect makeRect(int left, int top, int right, int bottom) {
    SceneRect r = {left, top, right, bottom};
    return r;
}

SceneRect intersect(const SceneRect& a, const SceneRect& b) {
    SceneRect r = {a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
                   a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
    if (r.empty()) r = makeRect(0, 0, 0, 0);
    return r;
}

long long area(const SceneRect& r) {
    return r.empty() ? 0 : static_cast<long long>(r.right - r.left) * (r.bottom - r.top);
}

// Box blur of a byte map in place, along rows (step 1) or columns (step width).
void boxBlur(BYTE* map, int count, int lines, int step, int lineStep, int radius, int* scratch) {
    int window = radius * 2 + 1;
    for (int line = 0; line < lines; ++line) {
        BYTE* p = map + line * lineStep;
        int sum = 0;
        for (int i = 0; i < count; ++i) scratch[i] = p[i * step];
        for (int i = -radius; i <= radius; ++i)
            if (i >= 0 && i < count) sum += scratch[i];
        for (int i = 0; i < count; ++i) {
            p[i * step] = static_cast<BYTE>(sum / window);
            int out = i - radius, in = i + radius + 1;
            if (out >= 0) sum -= scratch[out];
            if (in < count) sum += scratch[in];
        }
    }
}

// One layer of the embossed text at the supersampled size: white text drawn at each
// offset onto black, then averaged down to coverage at the final size.
void renderLayer(PixelSurface& big, const char* text, int length, int base, int from, int to,
                 int supersample, BYTE* coverage, int width, int height) {
    big.fill(0);
    for (int offset = from; offset <= to; ++offset)
        TextOutA(big.dc, base + offset, base + offset, text, length);
    GdiFlush();
    int cells = supersample * supersample;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int sum = 0;
            for (int sy = 0; sy < supersample; ++sy) {
                const DWORD* row = big.pixels + (y * supersample + sy) * big.width + x * supersample;
                for (int sx = 0; sx < supersample; ++sx) sum += (row[sx] >> 8) & 255;
            }
            coverage[y * width + x] = static_cast<BYTE>(sum / cells);
        }
    }
}

// Puts colour c with coverage a (0..255) over a premultiplied pixel.
void layerOver(int* rgb, int* alpha, const int* c, int a) {
    if (a <= 0) return;
    int keep = 255 - a;
    for (int i = 0; i < 3; ++i) rgb[i] = divide255(c[i] * a) + divide255(rgb[i] * keep);
    *alpha = a + divide255(*alpha * keep);
}

const GradientStops& schemeOf(const SaverSettings& settings) {
    return kSchemes[settings.colours <= ColoursDusk ? settings.colours : 0];
}

// The sky's colour at height t (0 top .. 256 bottom), each channel in 1/256.
void skyColour(const GradientStops& s, int t, int* c) {
    for (int i = 0; i < 3; ++i)
        c[i] = t < s.middleAt ? lerp(s.top[i] * 256, s.middle[i] * 256, t, s.middleAt)
                              : lerp(s.middle[i] * 256, s.bottom[i] * 256, t - s.middleAt, 256 - s.middleAt);
}

}  // namespace

Scene::Scene() {
    memset(&sky, 0, sizeof sky);
    memset(&frame, 0, sizeof frame);
    memset(glows, 0, sizeof glows);
    colours = NULL;
    particles = NULL;
    particleCount = 0;
    dirty = NULL;
    dirtyCount = dirtyCapacity = 0;
    title = NULL;
    titleWidth = titleHeight = titleX = titleY = titleVx = titleVy = titleMargin = 0;
    titleDrawn = makeRect(0, 0, 0, 0);
    sheenClock = sheenCycle = sheenSweep = sheenWidth = 0;
    haloPhase = 0;
    memset(&comet, 0, sizeof comet);
    cometWait = 0;
    scale = speed = 256;
    random.state = 1;
}

Scene::~Scene() { destroy(); }

void Scene::destroy() {
    sky.destroy();
    frame.destroy();
    if (colours) DeleteObject(colours);
    colours = NULL;
    for (GlowSprite& g : glows) {
        freeMemory(g.light);
        g.light = NULL;
        g.size = 0;
    }
    freeMemory(particles);
    freeMemory(dirty);
    freeMemory(title);
    particles = NULL;
    dirty = NULL;
    title = NULL;
    particleCount = dirtyCount = dirtyCapacity = 0;
    titleWidth = titleHeight = 0;
    comet.active = false;
}

bool Scene::create(int width, int height, const SaverSettings& settings, HINSTANCE instance) {
    destroy();
    if (width <= 0 || height <= 0) return false;
    scale = clampInt(height * 256 / 768, 24, 2048);
    speed = static_cast<int>(clampInt(static_cast<int>(settings.speed), kSpeedMin, kSpeedMax)) * 256 / 5;
    random.state = GetTickCount() ^ static_cast<DWORD>(width * 7919 + height);
    if (!sky.create(width, height) || !frame.create(width, height)) {
        destroy();
        return false;
    }
    buildSky(settings);
    buildGlows();
    buildPalette(settings);

    long long pixels = static_cast<long long>(width) * height;
    int density = kSparkCounts[settings.sparks <= SparksMany ? settings.sparks : SparksNormal];
    // By area, but a small preview keeps a quarter of a screen's worth, or it looks empty.
    int sparks = clampInt(static_cast<int>(density * pixels / (1024 * 768)), density / 4, kMaxParticles);
    int stars = clampInt(static_cast<int>(kTwinklingStars * pixels / (1024 * 768)), kTwinklingStars / 4, 200);
    particleCount = sparks + stars;
    particles = static_cast<Particle*>(allocateZeroed(sizeof(Particle) * particleCount));
    dirtyCapacity = 2 * (particleCount + 2);
    dirty = static_cast<SceneRect*>(allocateZeroed(sizeof(SceneRect) * dirtyCapacity));
    bool glowsOk = true;
    for (const GlowSprite& g : glows) glowsOk = glowsOk && g.light;
    if (!particles || !dirty || !glowsOk) {
        destroy();
        return false;
    }
    for (int i = 0; i < particleCount; ++i) {
        if (i < stars) spawnStar(particles[i]);
        else spawnSpark(particles[i], true);
    }
    // Without room for a title the scene still runs: sky, stars and sparks.
    if (settings.showTitle || settings.showLogo) buildTitle(settings, instance);
    cometWait = random.range(2500, 8000);
    memcpy(frame.pixels, sky.pixels, sizeof(DWORD) * width * height);
    return true;
}

void Scene::buildSky(const SaverSettings& settings) {
    const GradientStops& s = schemeOf(settings);
    int w = sky.width, h = sky.height;
    for (int y = 0; y < h; ++y) {
        int c[3];
        skyColour(s, h > 1 ? y * 256 / (h - 1) : 0, c);
        DWORD* row = sky.pixels + y * w;
        for (int x = 0; x < w; ++x) {
            int d = kBayer[y & 3][x & 3] * 16;
            row[x] = packRgb(clampInt((c[0] + d) >> 8, 0, 255), clampInt((c[1] + d) >> 8, 0, 255),
                             clampInt((c[2] + d) >> 8, 0, 255));
        }
    }
    // Still stars, thicker towards the top and fading into the glow near the bottom.
    int count = static_cast<int>(static_cast<long long>(w) * h / 3500) + 4;
    for (int i = 0; i < count; ++i) {
        int x = random.range(0, w - 1);
        int u = random.range(0, 1023);
        int y = u * u / 1024 * (h * 85 / 100) / 1024;
        int b = random.range(40, 190) * (256 - y * 200 / h) / 256;
        DWORD* p = sky.pixels + y * w + x;
        *p = addRgb(*p, b * 4 / 5, b * 6 / 7, b);
        if (random.range(0, 5) == 0 && x > 0 && x < w - 1 && y > 0 && y < h - 1) {
            int n = b / 3;
            p[-1] = addRgb(p[-1], n, n, n);
            p[1] = addRgb(p[1], n, n, n);
            p[-w] = addRgb(p[-w], n, n, n);
            p[w] = addRgb(p[w], n, n, n);
        }
    }
}

void Scene::buildGlows() {
    for (int k = 0; k < GlowKindCount; ++k) {
        const GlowLook& look = kGlowLooks[k];
        int size = look.size * scale / 256;
        if (size < look.minimum) size = look.minimum;
        size |= 1;
        GlowSprite& g = glows[k];
        g.light = static_cast<DWORD*>(allocateZeroed(sizeof(DWORD) * size * size));
        if (!g.light) return;
        g.size = size;
        float radius = size / 2.0f + 0.5f;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                float dx = x - size / 2, dy = y - size / 2;
                float f = 1.0f - (dx * dx + dy * dy) / (radius * radius);
                if (f <= 0) continue;
                // Opacity falls off smoothly from the centre, where the colour burns
                // towards white.
                float core = f * f * f * f * look.core;
                float f2 = f * f;
                float opacity = look.halo * f2 + (1.0f - look.halo) * f2 * f2 * f2;
                int alpha = clampInt(static_cast<int>(255 * opacity), 0, 255);
                int rgb[3];
                for (int i = 0; i < 3; ++i)
                    rgb[i] = clampInt(static_cast<int>(look.rgb[i] + (255 - look.rgb[i]) * core), 0, 255);
                g.light[y * size + x] = (static_cast<DWORD>(alpha) << 24) | packRgb(rgb[0], rgb[1], rgb[2]);
            }
        }
    }
}

namespace {

// The title's letters as coverage maps at their final size: the light edge, the
// shaded edge and the face, with the box round the ink.
struct TitleText {
    BYTE* layers[3];
    int width, height;
    int inkLeft, inkTop, inkRight, inkBottom;
};

void freeTitleText(TitleText* t) {
    for (BYTE*& layer : t->layers) {
        freeMemory(layer);
        layer = NULL;
    }
}

// Draws the text large and crisp, once per layer, and averages it down: smooth
// edges whether or not the system smooths fonts itself.
bool renderTitleText(const char* text, int letters, TitleText* t) {
    memset(t, 0, sizeof *t);
    int length = lstrlenA(text);
    int supersample = letters < 120 ? 3 : 2;
    int depth = letters >= 40 ? letters / 40 : 1;  // emboss depth in final pixels
    int base = depth * supersample;
    LOGFONTA font;
    memset(&font, 0, sizeof font);
    font.lfHeight = -letters * supersample;
    font.lfWeight = FW_BLACK;
    font.lfItalic = 1;
    font.lfCharSet = ANSI_CHARSET;
    font.lfOutPrecision = OUT_TT_PRECIS;
    font.lfQuality = NONANTIALIASED_QUALITY;
    lstrcpynA(font.lfFaceName, "Arial Black", sizeof font.lfFaceName);
    HFONT handle = CreateFontIndirectA(&font);
    if (!handle) return false;
    SIZE extent = {0, 0};
    HDC measure = CreateCompatibleDC(NULL);
    if (measure) {
        HGDIOBJ old = SelectObject(measure, handle);
        GetTextExtentPoint32A(measure, text, length, &extent);
        SelectObject(measure, old);
        DeleteDC(measure);
    }
    // Italic letters lean out past the measured extent on the right.
    t->width = (extent.cx + letters * supersample / 2 + 2 * base) / supersample;
    t->height = (extent.cy + 2 * base + supersample) / supersample;
    PixelSurface big;
    memset(&big, 0, sizeof big);
    bool ok = extent.cx > 0 && big.create(t->width * supersample, t->height * supersample);
    for (int i = 0; ok && i < 3; ++i) {
        t->layers[i] = static_cast<BYTE*>(allocateZeroed(static_cast<size_t>(t->width) * t->height));
        ok = t->layers[i] != NULL;
    }
    if (ok) {
        HGDIOBJ old = SelectObject(big.dc, handle);
        SetBkMode(big.dc, TRANSPARENT);
        SetTextColor(big.dc, RGB(255, 255, 255));
        SetTextAlign(big.dc, TA_LEFT | TA_TOP);
        renderLayer(big, text, length, base, -base, -1, supersample, t->layers[0], t->width, t->height);
        renderLayer(big, text, length, base, 1, base, supersample, t->layers[1], t->width, t->height);
        renderLayer(big, text, length, base, 0, 0, supersample, t->layers[2], t->width, t->height);
        SelectObject(big.dc, old);
        t->inkLeft = t->width;
        t->inkTop = t->height;
        for (int y = 0; y < t->height; ++y)
            for (int x = 0; x < t->width; ++x) {
                int i = y * t->width + x;
                if (!(t->layers[0][i] | t->layers[1][i] | t->layers[2][i])) continue;
                if (x < t->inkLeft) t->inkLeft = x;
                if (x >= t->inkRight) t->inkRight = x + 1;
                if (y < t->inkTop) t->inkTop = y;
                if (y >= t->inkBottom) t->inkBottom = y + 1;
            }
        ok = t->inkRight > t->inkLeft;
    }
    big.destroy();
    DeleteObject(handle);
    if (!ok) freeTitleText(t);
    return ok;
}

// Lays the embossed letters into the title at (left, top): light edge, shaded edge
// and then the face over them, the face in metallic gold from pale to deep.
void layTitleText(const TitleText& t, TitlePixel* title, int titleWidth, int left, int top) {
    int inkW = t.inkRight - t.inkLeft, inkH = t.inkBottom - t.inkTop;
    for (int y = 0; y < inkH; ++y) {
        int face[3];
        for (int i = 0; i < 3; ++i)
            face[i] = y * 2 < inkH ? lerp(kFaceTop[i], kFaceMiddle[i], y * 2, inkH)
                                   : lerp(kFaceMiddle[i], kFaceBottom[i], y * 2 - inkH, inkH);
        for (int x = 0; x < inkW; ++x) {
            int i = (t.inkTop + y) * t.width + t.inkLeft + x;
            int rgb[3] = {0, 0, 0}, alpha = 0;
            layerOver(rgb, &alpha, kHighlight, t.layers[0][i]);
            layerOver(rgb, &alpha, kShade, t.layers[1][i]);
            layerOver(rgb, &alpha, face, t.layers[2][i]);
            TitlePixel& p = title[(top + y) * titleWidth + left + x];
            p.colour = packRgb(clampInt(rgb[0], 0, 255), clampInt(rgb[1], 0, 255), clampInt(rgb[2], 0, 255));
            p.alpha = static_cast<BYTE>(clampInt(alpha, 0, 255));
            p.face = t.layers[2][i];
        }
    }
}

// The halo: the title's shape blurred twice each way, a little stronger than the blur.
bool makeHalo(TitlePixel* title, int width, int height, int radius) {
    int count = width * height;
    BYTE* glow = static_cast<BYTE*>(allocateZeroed(static_cast<size_t>(count)));
    int* scratch = static_cast<int*>(allocateZeroed(sizeof(int) * (width > height ? width : height)));
    bool ok = glow && scratch;
    if (ok) {
        for (int i = 0; i < count; ++i) glow[i] = title[i].alpha;
        for (int pass = 0; pass < 2; ++pass) {
            boxBlur(glow, width, height, 1, width, radius, scratch);
            boxBlur(glow, height, width, width, 1, radius, scratch);
        }
        for (int i = 0; i < count; ++i) title[i].halo = static_cast<BYTE>(clampInt(glow[i] * 3 / 2, 0, 255));
    }
    freeMemory(glow);
    freeMemory(scratch);
    return ok;
}

}  // namespace

bool Scene::buildTitle(const SaverSettings& settings, HINSTANCE instance) {
    int w = frame.width, h = frame.height;
    int letters = h >= 300 ? h / 8 : h / 5;  // character height
    if (letters < 6) return false;
    char text[64];
    if (LoadStringA(instance, IDS_TITLE, text, sizeof text) <= 0) lstrcpynA(text, "Zelto 2000", sizeof text);
    TitleText letterMaps;
    bool withText = settings.showTitle && text[0] && renderTitleText(text, letters, &letterMaps);
    LogoPixels logo = {0, NULL, NULL};
    int logoSize = withText ? letters * 19 / 20 : letters * 8 / 5;
    bool withLogo = settings.showLogo && loadLogo(instance, logoSize, &logo);

    int margin = letters / 5 > 2 ? letters / 5 : 2;
    int inkW = withText ? letterMaps.inkRight - letterMaps.inkLeft : 0;
    int inkH = withText ? letterMaps.inkBottom - letterMaps.inkTop : 0;
    int gap = withText && withLogo ? letters / 4 : 0;
    int contentW = (withLogo ? logoSize : 0) + gap + inkW;
    int contentH = withLogo && logoSize > inkH ? logoSize : inkH;
    bool ok = contentW > 0;
    if (ok) {
        titleWidth = contentW + 2 * margin;
        titleHeight = contentH + 2 * margin;
        title = static_cast<TitlePixel*>(allocateZeroed(sizeof(TitlePixel) * titleWidth * titleHeight));
        ok = title != NULL;
    }
    if (ok) {
        if (withLogo) {
            int top = margin + (contentH - logoSize) / 2;
            for (int y = 0; y < logoSize; ++y)
                for (int x = 0; x < logoSize; ++x) {
                    TitlePixel& p = title[(top + y) * titleWidth + margin + x];
                    p.colour = logo.colour[y * logoSize + x];
                    p.alpha = logo.alpha[y * logoSize + x];
                }
        }
        if (withText)
            layTitleText(letterMaps, title, titleWidth, margin + (withLogo ? logoSize + gap : 0),
                         margin + (contentH - inkH) / 2);
        ok = makeHalo(title, titleWidth, titleHeight, margin * 2 / 3 > 1 ? margin * 2 / 3 : 1);
    }
    if (withText) freeTitleText(&letterMaps);
    freeLogo(&logo);
    if (!ok) {
        freeMemory(title);
        title = NULL;
        titleWidth = titleHeight = 0;
        return false;
    }
    titleMargin = margin;
    titleX = (w - titleWidth) / 2 * 256;
    titleY = (h - titleHeight) / 2 * 256;
    int dx = random.range(0, 1) ? 1 : -1, dy = random.range(0, 1) ? 1 : -1;
    // Too big for the window in one direction: it stays centred in that direction.
    titleVx = titleWidth - 2 * margin < w ? dx * 22 * scale * speed / 256 : 0;
    titleVy = titleHeight - 2 * margin < h ? dy * 13 * scale * speed / 256 : 0;
    sheenCycle = 7000;
    sheenSweep = 2200;
    sheenClock = 0;
    sheenWidth = letters / 3 > 3 ? letters / 3 : 3;
    return true;
}

void Scene::buildPalette(const SaverSettings& settings) {
    HDC screen = GetDC(NULL);
    bool paletted = screen && (GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE);
    if (screen) ReleaseDC(NULL, screen);
    if (!paletted) return;
    // 236 colours are ours beside the 20 that the system keeps: the sky from top to
    // bottom, the gold of the title from its shade to white, gold and starlight
    // blended into the sky for the glows.
    const int count = 220;
    struct {
        WORD version, entries;
        PALETTEENTRY colour[count];
    } table;
    table.version = 0x300;
    table.entries = count;
    int n = 0;
    const GradientStops& scheme = schemeOf(settings);
    auto add = [&](int r, int g, int b) {
        PALETTEENTRY& e = table.colour[n++];
        e.peRed = static_cast<BYTE>(clampInt(r, 0, 255));
        e.peGreen = static_cast<BYTE>(clampInt(g, 0, 255));
        e.peBlue = static_cast<BYTE>(clampInt(b, 0, 255));
        e.peFlags = 0;
    };
    for (int i = 0; i < 100; ++i) {
        int c[3];
        skyColour(scheme, i * 256 / 99, c);
        add(c[0] >> 8, c[1] >> 8, c[2] >> 8);
    }
    const int gold[][3] = {{40, 28, 8}, {136, 103, 35}, {150, 104, 30}, {212, 176, 80},
                           {255, 238, 156}, {255, 255, 180}, {255, 255, 255}};
    for (int i = 0; i < 80; ++i) {
        int at = i * 6 * 256 / 79, stop = at >> 8, f = at & 255;
        if (stop >= 6) { stop = 5; f = 256; }
        add(lerp(gold[stop][0], gold[stop + 1][0], f, 256), lerp(gold[stop][1], gold[stop + 1][1], f, 256),
            lerp(gold[stop][2], gold[stop + 1][2], f, 256));
    }
    for (int t = 0; t < 8; ++t) {
        int c[3];
        skyColour(scheme, t * 256 / 7, c);
        for (int a = 1; a <= 4; ++a)
            add(lerp(c[0] >> 8, kHaloRgb[0], a, 5), lerp(c[1] >> 8, kHaloRgb[1], a, 5), lerp(c[2] >> 8, kHaloRgb[2], a, 5));
        add(lerp(c[0] >> 8, 200, 1, 2), lerp(c[1] >> 8, 214, 1, 2), lerp(c[2] >> 8, 255, 1, 2));
    }
    colours = CreatePalette(reinterpret_cast<LOGPALETTE*>(&table));
}

void Scene::spawnSpark(Particle& p, bool anywhere) {
    p.kind = ParticleSpark;
    bool large = random.range(0, 99) < 28;
    p.glow = static_cast<BYTE>(large ? GlowSparkLarge : GlowSparkSmall);
    int size = glows[p.glow].size;
    p.baseX = random.range(0, frame.width - 1) * 256;
    p.x = p.baseX;
    p.y = (anywhere ? random.range(0, frame.height - 1) : frame.height + size) * 256;
    // The large sparks are the near ones: they rise faster.
    int rise = large ? random.range(24, 48) : random.range(10, 30);
    p.vy = -rise * scale * speed / 256;
    p.sway = random.range(4, 18) * scale / 256;
    p.phase = random.next();
    p.phaseRate = static_cast<DWORD>(random.range(8000, 20000) * speed / 256);
    p.level = 0;
}

void Scene::spawnStar(Particle& p) {
    p.kind = ParticleStar;
    p.glow = GlowStar;
    p.baseX = p.x = random.range(0, frame.width - 1) * 256;
    p.y = random.range(0, frame.height * 3 / 4) * 256;
    p.vy = 0;
    p.sway = 0;
    p.phase = random.next();
    p.phaseRate = static_cast<DWORD>(random.range(6000, 30000) * speed / 256);
    p.level = 0;
}

void Scene::startComet() {
    int w = frame.width, h = frame.height;
    int direction = random.range(0, 1) ? 1 : -1;
    comet.active = true;
    comet.x = random.range(w / 5, w * 4 / 5) * 256;
    comet.y = random.range(-h / 10, h / 6) * 256;
    comet.vx = direction * random.range(280, 420) * scale * speed / 256;
    comet.vy = random.range(70, 150) * scale * speed / 256;
    comet.age = 0;
    comet.life = random.range(1400, 2200) * 256 / speed;
    comet.trail = random.range(90, 160) * scale / 256;
}

void Scene::advance(DWORD elapsedMs) {
    if (!ready()) return;
    int ms = elapsedMs > 200 ? 200 : static_cast<int>(elapsedMs);
    int h = frame.height;
    int fadeZone = h * 3 / 10 > 1 ? h * 3 / 10 : 1;
    for (int i = 0; i < particleCount; ++i) {
        Particle& p = particles[i];
        p.phase += p.phaseRate * static_cast<DWORD>(ms) / 1000;
        int wave = sine1024(p.phase);
        if (p.kind == ParticleStar) {
            // Mostly faint, now and then a sharp twinkle.
            int s = (wave + 1024) / 2;
            p.level = 30 + static_cast<int>(226LL * s * s * s / (1024LL * 1024 * 1024));
            continue;
        }
        p.y += p.vy * ms / 1000;
        int size = glows[p.glow].size;
        if (p.y < -size * 256) {
            spawnSpark(p, false);
            continue;
        }
        p.x = p.baseX + p.sway * wave / 4;  // sway pixels x 256 / 1024
        int flicker = p.glow == GlowSparkLarge ? 216 + 40 * sine1024(p.phase * 3 + 0x4000) / 1024
                                               : 176 + 80 * sine1024(p.phase * 3 + 0x4000) / 1024;
        int y = p.y / 256;
        // They burn out as they climb into the dark top of the sky.
        int fade = y < fadeZone ? (y > 0 ? y * 256 / fadeZone : 0) : 256;
        p.level = flicker * fade / 256;
    }
    advanceTitle(ms);
    advanceComet(ms);
}

void Scene::advanceTitle(int ms) {
    if (!title) return;
    int w = frame.width, h = frame.height;
    titleX += titleVx * ms / 1000;
    titleY += titleVy * ms / 1000;
    // Bounce on the letters, not on the halo, which may leave the screen.
    int minX = -titleMargin * 256, maxX = (w - titleWidth + titleMargin) * 256;
    int minY = -titleMargin * 256, maxY = (h - titleHeight + titleMargin) * 256;
    if (titleVx != 0) {
        if (titleX < minX) { titleX = minX; titleVx = titleVx < 0 ? -titleVx : titleVx; }
        if (titleX > maxX) { titleX = maxX; titleVx = titleVx > 0 ? -titleVx : titleVx; }
    }
    if (titleVy != 0) {
        if (titleY < minY) { titleY = minY; titleVy = titleVy < 0 ? -titleVy : titleVy; }
        if (titleY > maxY) { titleY = maxY; titleVy = titleVy > 0 ? -titleVy : titleVy; }
    }
    sheenClock = (sheenClock + ms * speed / 256) % sheenCycle;
    haloPhase += static_cast<DWORD>(13107 * speed / 256) * static_cast<DWORD>(ms) / 1000;
}

void Scene::advanceComet(int ms) {
    if (!comet.active) {
        cometWait -= ms * speed / 256;
        if (cometWait <= 0) startComet();
        return;
    }
    comet.age += ms;
    comet.x += comet.vx * ms / 1000;
    comet.y += comet.vy * ms / 1000;
    if (comet.age >= comet.life) {
        comet.active = false;
        cometWait = random.range(6000, 15000);
    }
}

SceneRect Scene::particleRect(const Particle& p) const {
    int half = glows[p.glow].size / 2;
    int cx = floorPixels(p.x), cy = floorPixels(p.y);
    return makeRect(cx - half, cy - half, cx + half + 1, cy + half + 1);
}

SceneRect Scene::titleRect() const {
    if (!title) return makeRect(0, 0, 0, 0);
    int x = floorPixels(titleX), y = floorPixels(titleY);
    return makeRect(x, y, x + titleWidth, y + titleHeight);
}

SceneRect Scene::cometRect() const {
    int hx = floorPixels(comet.x), hy = floorPixels(comet.y);
    int vx = comet.vx / 256, vy = comet.vy / 256;
    int length = integerRoot(vx * vx + vy * vy);
    int tx = length > 0 ? hx - vx * comet.trail / length : hx;
    int ty = length > 0 ? hy - vy * comet.trail / length : hy;
    int half = glows[GlowComet].size / 2;
    return makeRect((hx < tx ? hx : tx) - half, (hy < ty ? hy : ty) - half,
                    (hx > tx ? hx : tx) + half + 1, (hy > ty ? hy : ty) + half + 1);
}

void Scene::addDirty(const SceneRect& before, const SceneRect& now) {
    SceneRect bounds = makeRect(0, 0, frame.width, frame.height);
    SceneRect a = intersect(before, bounds), b = intersect(now, bounds);
    if (a.empty() && b.empty()) return;
    SceneRect both = a.empty() ? b : b.empty() ? a :
        makeRect(a.left < b.left ? a.left : b.left, a.top < b.top ? a.top : b.top,
                 a.right > b.right ? a.right : b.right, a.bottom > b.bottom ? a.bottom : b.bottom);
    // One rectangle for a small step, two for a jump (a spark reborn at the bottom).
    if (area(both) <= 2 * (area(a) + area(b))) {
        if (dirtyCount < dirtyCapacity) dirty[dirtyCount++] = both;
        return;
    }
    if (dirtyCount < dirtyCapacity) dirty[dirtyCount++] = a;
    if (dirtyCount < dirtyCapacity) dirty[dirtyCount++] = b;
}

void Scene::restore(const SceneRect& r) {
    size_t bytes = sizeof(DWORD) * (r.right - r.left);
    for (int y = r.top; y < r.bottom; ++y) {
        size_t offset = static_cast<size_t>(y) * frame.width + r.left;
        memcpy(frame.pixels + offset, sky.pixels + offset, bytes);
    }
}

void Scene::drawGlow(int kind, int cx, int cy, int level) {
    if (level <= 0) return;
    const GlowSprite& g = glows[kind];
    int left = cx - g.size / 2, top = cy - g.size / 2;
    int x0 = left < 0 ? -left : 0, y0 = top < 0 ? -top : 0;
    int x1 = left + g.size > frame.width ? frame.width - left : g.size;
    int y1 = top + g.size > frame.height ? frame.height - top : g.size;
    for (int y = y0; y < y1; ++y) {
        const DWORD* src = g.light + y * g.size;
        DWORD* dst = frame.pixels + (top + y) * frame.width + left;
        for (int x = x0; x < x1; ++x) {
            DWORD light = src[x];
            int a = static_cast<int>(light >> 24) * level >> 8;
            if (a <= 0) continue;
            DWORD d = dst[x];
            int keep = 255 - a;
            dst[x] = packRgb(divide255(static_cast<int>((light >> 16) & 255) * a + static_cast<int>((d >> 16) & 255) * keep),
                             divide255(static_cast<int>((light >> 8) & 255) * a + static_cast<int>((d >> 8) & 255) * keep),
                             divide255(static_cast<int>(light & 255) * a + static_cast<int>(d & 255) * keep));
        }
    }
}

void Scene::drawTitle() {
    if (!title) return;
    int left = floorPixels(titleX), top = floorPixels(titleY);
    int x0 = left < 0 ? -left : 0, y0 = top < 0 ? -top : 0;
    int x1 = left + titleWidth > frame.width ? frame.width - left : titleWidth;
    int y1 = top + titleHeight > frame.height ? frame.height - top : titleHeight;
    int pulse = 150 + 70 * sine1024(haloPhase) / 1024;
    int halo[3] = {kHaloRgb[0] * pulse >> 8, kHaloRgb[1] * pulse >> 8, kHaloRgb[2] * pulse >> 8};
    // The sheen: a band leaning like the letters, crossing the title once a cycle.
    bool sheen = sheenClock < sheenSweep;
    int travel = titleWidth + titleHeight / 2 + 4 * sheenWidth;
    int sheenAt = sheen ? -2 * sheenWidth + travel * sheenClock / sheenSweep : 0;
    for (int y = y0; y < y1; ++y) {
        const TitlePixel* src = title + y * titleWidth;
        DWORD* dst = frame.pixels + (top + y) * frame.width + left;
        int band = sheenAt + (titleHeight - y) / 4;
        for (int x = x0; x < x1; ++x) {
            const TitlePixel& p = src[x];
            if (!(p.alpha | p.halo)) continue;
            DWORD d = dst[x];
            if (p.halo) d = addRgb(d, halo[0] * p.halo >> 8, halo[1] * p.halo >> 8, halo[2] * p.halo >> 8);
            if (p.alpha) {
                int r = static_cast<int>((p.colour >> 16) & 255);
                int g = static_cast<int>((p.colour >> 8) & 255);
                int b = static_cast<int>(p.colour & 255);
                if (sheen && p.face) {
                    int distance = x > band ? x - band : band - x;
                    if (distance < sheenWidth) {
                        int k = (sheenWidth - distance) * 255 / sheenWidth;
                        k = k * k / 255 * p.face / 255;
                        r += (p.alpha - r) * k / 255;
                        g += (p.alpha - g) * k / 255;
                        b += (p.alpha * 15 / 16 - b) * k / 255;
                    }
                }
                int keep = 255 - p.alpha;
                r += divide255(static_cast<int>((d >> 16) & 255) * keep);
                g += divide255(static_cast<int>((d >> 8) & 255) * keep);
                b += divide255(static_cast<int>(d & 255) * keep);
                d = packRgb(r > 255 ? 255 : r, g > 255 ? 255 : g, b > 255 ? 255 : b);
            }
            dst[x] = d;
        }
    }
}

void Scene::drawComet() {
    if (!comet.active) return;
    int fadeIn = comet.life * 15 / 100, fadeOut = comet.life * 35 / 100;
    int level = 256;
    if (fadeIn > 0 && comet.age < fadeIn) level = comet.age * 256 / fadeIn;
    int left = comet.life - comet.age;
    if (fadeOut > 0 && left < fadeOut) level = level * left / fadeOut;
    if (level <= 0) return;
    int hx = floorPixels(comet.x), hy = floorPixels(comet.y);
    int vx = comet.vx / 256, vy = comet.vy / 256;
    int length = integerRoot(vx * vx + vy * vy);
    if (length > 0) {
        int step = 3 * scale / 256 > 2 ? 3 * scale / 256 : 2;
        int steps = comet.trail / step;
        for (int k = steps; k >= 1; --k) {
            int along = comet.trail * k / steps;
            int fade = (steps - k) * 256 / steps;
            drawGlow(GlowSparkSmall, hx - vx * along / length, hy - vy * along / length,
                     level * fade / 256 * fade / 256 * 7 / 8);
        }
    }
    drawGlow(GlowComet, hx, hy, level);
}

void Scene::paint(HDC target, bool everything) {
    if (!ready()) return;
    GdiFlush();
    dirtyCount = 0;
    for (int i = 0; i < particleCount; ++i) {
        Particle& p = particles[i];
        SceneRect now = p.level > 0 ? particleRect(p) : makeRect(0, 0, 0, 0);
        addDirty(p.drawn, now);
        p.drawn = now;
    }
    SceneRect now = titleRect();
    addDirty(titleDrawn, now);
    titleDrawn = now;
    now = comet.active ? cometRect() : makeRect(0, 0, 0, 0);
    addDirty(comet.drawn, now);
    comet.drawn = now;
    // A full list cannot say what changed: paint everything then.
    if (dirtyCount >= dirtyCapacity) everything = true;

    if (everything) restore(makeRect(0, 0, frame.width, frame.height));
    else
        for (int i = 0; i < dirtyCount; ++i) restore(dirty[i]);
    for (int i = 0; i < particleCount; ++i)
        if (particles[i].kind == ParticleStar)
            drawGlow(particles[i].glow, floorPixels(particles[i].x), floorPixels(particles[i].y), particles[i].level);
    drawTitle();
    for (int i = 0; i < particleCount; ++i)
        if (particles[i].kind == ParticleSpark)
            drawGlow(particles[i].glow, floorPixels(particles[i].x), floorPixels(particles[i].y), particles[i].level);
    drawComet();

    HPALETTE previous = NULL;
    if (colours) {
        previous = SelectPalette(target, colours, FALSE);
        RealizePalette(target);
    }
    if (everything) {
        BitBlt(target, 0, 0, frame.width, frame.height, frame.dc, 0, 0, SRCCOPY);
    } else {
        for (int i = 0; i < dirtyCount; ++i) {
            const SceneRect& r = dirty[i];
            BitBlt(target, r.left, r.top, r.right - r.left, r.bottom - r.top, frame.dc, r.left, r.top, SRCCOPY);
        }
    }
    if (previous) SelectPalette(target, previous, TRUE);
}
