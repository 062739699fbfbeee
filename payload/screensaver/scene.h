// What the saver shows: a deep-blue sky with stars, golden sparks rising from the
// bottom, now and then a comet, and the embossed gold title with the logo gliding
// slowly across, a sheen sweeping over its letters and a soft glow pulsing round it.
//
// The scene keeps the sky (background) and the composed picture (frame) as pixel
// surfaces. Each paint restores the sky only where something was or is now drawn,
// draws the moving things there, and copies just those rectangles to the window,
// so the cost per frame follows the moving things, not the screen size.
#pragma once
#include <windows.h>
#include "settings.h"
#include "surface.h"

struct SceneRect {
    int left, top, right, bottom;
    bool empty() const { return right <= left || bottom <= top; }
};

enum GlowKind { GlowStar, GlowSparkSmall, GlowSparkLarge, GlowComet, GlowKindCount };

struct GlowSprite {
    int size;      // square, odd, centred on the particle
    DWORD* light;  // 0xAARRGGBB, not premultiplied: blended over the picture
};

enum ParticleKind : BYTE { ParticleStar, ParticleSpark };

struct Particle {
    ParticleKind kind;
    BYTE glow;          // GlowKind
    int x, y;           // centre, 1/256 pixel
    int baseX;          // centre of the sideways sway, 1/256 pixel
    int vy;             // 1/256 pixel a second
    int sway;           // sway amplitude, pixels
    DWORD phase;        // 1/65536 turn
    DWORD phaseRate;    // 1/65536 turn a second
    int level;          // brightness 0..256 as last advanced
    SceneRect drawn;    // where it was painted last, empty when not painted
};

struct TitlePixel {
    DWORD colour;  // premultiplied by alpha, 0x00RRGGBB
    BYTE alpha;
    BYTE face;     // coverage of the letters' face, where the sheen shows
    BYTE halo;     // the soft glow around the title
    BYTE unused;
};

struct Comet {
    bool active;
    int x, y;          // head, 1/256 pixel
    int vx, vy;        // 1/256 pixel a second
    int age, life;     // milliseconds
    int trail;         // trail length, pixels
    SceneRect drawn;
};

class Scene {
public:
    Scene();
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Builds the scene for a window of this size. Returns false (and holds nothing)
    // when memory or GDI objects run out.
    bool create(int width, int height, const SaverSettings& settings, HINSTANCE instance);
    void destroy();
    bool ready() const { return frame.pixels != NULL; }
    int width() const { return frame.width; }
    int height() const { return frame.height; }

    // Moves everything on by this much time (capped, so a stalled machine does not
    // make things jump).
    void advance(DWORD elapsedMs);
    // Paints into the window's DC: everything (for WM_PAINT) or what changed.
    void paint(HDC target, bool everything);
    // On a 256-colour screen, the colours of this scene as a palette (NULL on
    // other screens); paint realises it, the window answers palette messages with it.
    HPALETTE palette() const { return colours; }

private:
    void buildSky(const SaverSettings& settings);
    void buildGlows();
    void buildPalette(const SaverSettings& settings);
    bool buildTitle(const SaverSettings& settings, HINSTANCE instance);
    void spawnSpark(Particle& p, bool anywhere);
    void spawnStar(Particle& p);
    void startComet();
    void advanceTitle(int ms);
    void advanceComet(int ms);

    SceneRect particleRect(const Particle& p) const;
    SceneRect titleRect() const;
    SceneRect cometRect() const;
    void addDirty(const SceneRect& before, const SceneRect& now);
    void restore(const SceneRect& r);
    void drawGlow(int kind, int cx, int cy, int level);
    void drawTitle();
    void drawComet();

    PixelSurface sky;
    PixelSurface frame;
    HPALETTE colours;
    GlowSprite glows[GlowKindCount];
    Particle* particles;
    int particleCount;
    SceneRect* dirty;
    int dirtyCount;
    int dirtyCapacity;

    TitlePixel* title;
    int titleWidth, titleHeight;
    int titleX, titleY;      // top left, 1/256 pixel
    int titleVx, titleVy;    // 1/256 pixel a second
    int titleMargin;         // halo room around the letters and the logo
    SceneRect titleDrawn;
    int sheenClock;          // milliseconds into the sheen's cycle
    int sheenCycle, sheenSweep;
    int sheenWidth;
    DWORD haloPhase;

    Comet comet;
    int cometWait;           // milliseconds until the next comet
    int scale;               // sizes relative to a 768-pixel-high screen, 1/256
    int speed;               // the speed setting relative to the default, 1/256
    Random random;
};
