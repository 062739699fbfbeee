// artgen: draws the installer's icons and logo.
//
//   artgen OUTDIR
//
// writes OUTDIR/product.ico (the product icon), OUTDIR/finish.ico (the icon
// of the last wizard page: the emblem with a check mark) and OUTDIR/logo.gif
// (64 x 64, 256 colours). Each icon holds its images in 256 colours: the
// product icon 32 x 32 and 16 x 16 (the title bar and the taskbar show it
// small), the last page's icon 32 x 32 only (it only ever shows large). The
// product icon's large image comes in 16 flat colours too, for the screens
// of 16 colours; there Windows draws the others from their 256-colour
// images, each colour the nearest of the 16. Everything is drawn here from geometry; the output
// depends on nothing but this code.
//
// The motif: a deep-blue tile with a soft glow, and a gold "Z" emblem lit
// from the upper left, its bevel bright towards the light and dark away
// from it, with a drop shadow so that it stands out of the blue.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "canvas.h"
#include "imagefiles.h"
#include "palette.h"

namespace {

using art::Canvas;
using art::Paint;
using art::Point;
using art::Rgb;
using art::Shape;

const Rgb kBlueTop = {0.16, 0.32, 0.78};
const Rgb kBlueBottom = {0.02, 0.05, 0.30};
const Rgb kBlueGlow = {0.30, 0.52, 1.00};
const Rgb kOutline = {0.01, 0.02, 0.14};
const Rgb kShadow = {0.0, 0.0, 0.05};

// The 16-colour images keep to the standard colours exactly: smooth shading
// would fall apart into stray colours there, so those images are drawn flat
// (one sample per pixel) with these instead.
namespace flat {
const Rgb kBlack = {0, 0, 0};
const Rgb kNavy = {0, 0, 128 / 255.0};
const Rgb kBlue = {0, 0, 1};
const Rgb kOlive = {128 / 255.0, 128 / 255.0, 0};
const Rgb kYellow = {1, 1, 0};
const Rgb kWhite = {1, 1, 1};
}  // namespace flat

struct Style {
    bool flat;  // 16 colours
};

// Gold from its shadow (0) through the metal (0.5) to a highlight (1).
Rgb gold(double t, bool flatColours) {
    if (flatColours) return t < 0.38 ? flat::kOlive : t < 0.9 ? flat::kYellow : flat::kWhite;
    static const Rgb stops[] = {{0.30, 0.15, 0.01}, {0.64, 0.40, 0.03}, {0.92, 0.68, 0.12},
                                {1.00, 0.85, 0.30}, {1.00, 0.96, 0.68}};
    t = art::clamp01(t) * 4;
    int i = t >= 4 ? 3 : int(t);
    return art::mix(stops[i], stops[i + 1], t - i);
}

// Metal paint for a shape: brighter towards the top of [top, bottom], and a
// bevel `bevel` pixels wide whose faces catch or turn from the light.
Paint goldPaint(const Style& st, const Shape& shape, double top, double bottom, double bevel,
                 double strength = 0.55) {
    return [=](double x, double y, double d) {
        double t = 0.82 - 0.30 * (y - top) / (bottom - top);
        double edge = 1 - art::clamp01(-d / bevel);
        if (edge > 0) {
            Point n = art::normalAt(shape, x, y);
            double facing = -(n.x * 0.6 + n.y * 0.8);  // light from the upper left
            t += strength * facing * edge;
        }
        return gold(t, st.flat);
    };
}

// Deep-blue gradient from top to bottom, lit by a glow around `glow`; flat,
// the glow is a disc of the brighter blue, or left out where `glowRadius` is
// 0 (at 16 pixels the letter would cut it into scraps).
Paint bluePaint(const Style& st, double height, Point glow, double glowRadius) {
    return [=](double x, double y, double) {
        double r = glowRadius > 0 ? std::hypot(x - glow.x, y - glow.y) / glowRadius : 1.0;
        if (st.flat) return r < 0.62 ? flat::kBlue : flat::kNavy;
        Rgb c = art::mix(kBlueTop, kBlueBottom, art::clamp01(y / height));
        return art::mix(c, kBlueGlow, 0.45 * art::clamp01(1 - r) * art::clamp01(1 - r));
    };
}

// The letter Z in the box (x0, y0)-(x1, y1): bars `bar` high, the diagonal
// `diag` wide where it meets them.
Shape letterZ(double x0, double y0, double x1, double y1, double bar, double diag) {
    return art::polygon({{x0, y0},
                         {x1, y0},
                         {x1, y0 + bar},
                         {x0 + diag, y1 - bar},
                         {x1, y1 - bar},
                         {x1, y1},
                         {x0, y1},
                         {x0, y1 - bar},
                         {x1 - diag, y0 + bar},
                         {x0, y0 + bar}});
}

// A shadow below and right of a shape; flat, a hard black copy.
void drawShadow(Canvas& c, const Style& st, const Shape& shape, double offset, double opacity) {
    if (st.flat)
        c.fill(art::translate(shape, offset, offset), art::solid(flat::kBlack));
    else
        c.fill(art::translate(shape, offset, offset), art::solid(kShadow), opacity, offset * 1.4);
}

void drawMetal(Canvas& c, const Style& st, const Shape& shape, double top, double bottom, double bevel,
                double shadowOffset, double strength = 0.55) {
    drawShadow(c, st, shape, shadowOffset, 0.6);
    c.fill(shape, goldPaint(st, shape, top, bottom, bevel, strength));
}

// A four-pointed glint of light where the metal faces the light most.
void drawGlint(Canvas& c, const Style& st, Point at, double arm) {
    double b = arm * 0.2;
    Shape star = art::polygon({{at.x - arm, at.y}, {at.x - b, at.y - b}, {at.x, at.y - arm}, {at.x + b, at.y - b},
                               {at.x + arm, at.y}, {at.x + b, at.y + b}, {at.x, at.y + arm}, {at.x - b, at.y + b}});
    if (!st.flat) c.fill(art::circle(at, arm * 0.35), art::solid({1, 1, 0.9}), 0.8, arm * 0.8);
    c.fill(star, art::solid(st.flat ? flat::kWhite : Rgb{1, 1, 0.94}));
}

// The rounded blue tile of the icons, `inset` pixels from the edges.
void drawTile(Canvas& c, const Style& st, double size, double inset, double radius, Point glow,
               double glowRadius) {
    c.fill(art::roundedRect(inset, inset, size - inset, size - inset, radius),
           art::solid(st.flat ? flat::kBlack : kOutline));
    c.fill(art::roundedRect(inset + 1, inset + 1, size - inset - 1, size - inset - 1, radius - 1),
           bluePaint(st, size, glow, glowRadius));
}

// The check mark of the last page's icon, which has 256-colour images only.
void drawCheck(Canvas& c, std::vector<Point> line, double width, double outline) {
    c.fill(art::stroke(line, width + 2 * outline), art::solid(Rgb{0.0, 0.12, 0.02}));
    double top = line[2].y, bottom = line[1].y;
    c.fill(art::stroke(line, width), [=](double, double y, double) {
        return art::mix(Rgb{0.60, 1.0, 0.45}, Rgb{0.05, 0.50, 0.10}, art::clamp01((y - top) / (bottom - top)));
    });
}

// The product icon at 32 or 16 pixels; the small one drops the ring, which
// would blur into the letter at that size. Only the large one comes in 16
// flat colours or with the check mark.
Canvas productIcon(int size, bool flatColours, bool withCheck) {
    Style st{flatColours};
    Canvas c(size, size, flatColours ? 1 : 8);
    if (size >= 32) {
        drawTile(c, st, 32, 0.5, 6, {15, 14}, 17.6);
        Shape ring = art::ring({16, 16}, 11.5, 2.2);
        drawMetal(c, st, ring, 4, 28, 1.1, 0.7, 0.7);
        drawMetal(c, st, letterZ(10, 10, 22, 22, 3.0, 4.6), 10, 22, 1.2, 1.0);
        drawGlint(c, st, {8.0, 8.0}, 3.6);
        if (withCheck) drawCheck(c, {{16.5, 21.5}, {20.5, 25.5}, {28.5, 14.5}}, 3.4, 1.1);
    } else {
        drawTile(c, st, 16, 0, 3.5, {7.5, 7.5}, 8.8);
        drawMetal(c, st, letterZ(3, 3, 13, 13, 2.0, 3.2), 3, 13, 0.8, 1.0);
    }
    return c;
}

// The digits of "2000" as centre lines, in a cell `w` by `h` at (x, y).
std::vector<Point> digitTwo(double x, double y, double w, double h) {
    std::vector<Point> line;
    const double pi = 3.14159265358979323846;
    double rx = w / 2, ry = h * 0.27;
    for (int i = 0; i <= 10; ++i) {  // the bow, from the left over the top
        double a = pi + pi * 1.2 * i / 10;
        line.push_back({x + rx + rx * std::cos(a), y + ry + ry * std::sin(a)});
    }
    line.push_back({x, y + h});
    line.push_back({x + w, y + h});
    return line;
}

std::vector<Point> digitZero(double x, double y, double w, double h) {
    std::vector<Point> line;
    const double pi = 3.14159265358979323846;
    for (int i = 0; i <= 24; ++i) {
        double a = 2 * pi * i / 24;
        line.push_back({x + w / 2 + w / 2 * std::cos(a), y + h / 2 + h / 2 * std::sin(a)});
    }
    return line;
}

Canvas logo() {
    const Style st{false};
    const double size = 64;
    Canvas c(64, 64);
    c.fill(art::roundedRect(-1, -1, 65, 65, 0), bluePaint(st, size, {30, 24}, 34));
    // A few faint stars: the product is a screen saver of the night sky.
    const Point stars[] = {{7, 9}, {55, 6}, {58, 40}, {5, 44}, {50, 56}, {12, 58}, {46, 15}, {20, 5}};
    for (const Point& s : stars) c.fill(art::circle(s, 0.5), art::solid({0.8, 0.88, 1.0}), 0.7, 1.4);

    Shape ring = art::ring({32, 26}, 19.5, 3.6);
    drawMetal(c, st, ring, 5, 47, 1.8, 1.3, 0.7);
    drawGlint(c, st, {18.4, 12.2}, 5.5);
    drawMetal(c, st, letterZ(22, 15, 42, 37, 4.5, 7.6), 15, 37, 2.0, 1.5);

    // "2000" under the ring, in the same metal.
    const double w = 6.2, h = 8.6, gap = 2.4, y = 50.5;
    const double x0 = (size - (4 * w + 3 * gap)) / 2;
    Shape text = art::stroke(digitTwo(x0, y, w, h), 1.7);
    for (int i = 1; i < 4; ++i) text = art::unite(text, art::stroke(digitZero(x0 + i * (w + gap), y, w, h), 1.7));
    drawMetal(c, st, text, y, y + h, 0.7, 0.9, 0.5);
    return c;
}

std::vector<art::Rgb8> coloursOf(const Canvas& c, bool coveredOnly) {
    std::vector<art::Rgb8> list;
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x)
            if (!coveredOnly || c.alpha(x, y) >= 0.5) list.push_back(art::toRgb8(c.colour(x, y)));
    return list;
}

// Reduces a drawing to 16 fixed colours or a fitted palette of 256. Pixels
// less than half covered become transparent; index 0 stays black so that a
// transparent pixel leaves the screen unchanged.
art::IndexedImage toIndexed(const Canvas& c, int bits) {
    art::IndexedImage img;
    img.width = c.width();
    img.height = c.height();
    img.bits = bits;
    img.palette = bits == 4 ? art::standardPalette16()
                            : art::fitPalette(coloursOf(c, true), {{0, 0, 0}}, 256);
    for (int y = 0; y < c.height(); ++y) {
        for (int x = 0; x < c.width(); ++x) {
            bool covered = c.alpha(x, y) >= 0.5;
            img.opaque.push_back(covered ? 1 : 0);
            img.pixels.push_back(covered ? art::nearest(img.palette, art::toRgb8(c.colour(x, y))) : 0);
        }
    }
    return img;
}

std::vector<uint8_t> iconFile(bool withCheck) {
    if (withCheck) return art::encodeIcon({toIndexed(productIcon(32, false, true), 8)});
    return art::encodeIcon({toIndexed(productIcon(32, true, false), 4), toIndexed(productIcon(32, false, false), 8),
                             toIndexed(productIcon(16, false, false), 8)});
}

std::vector<uint8_t> logoFile() {
    Canvas c = logo();
    art::IndexedImage img;
    img.width = c.width();
    img.height = c.height();
    img.palette = art::fitPalette(coloursOf(c, false), {}, 256);
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) img.pixels.push_back(art::nearest(img.palette, art::toRgb8(c.colour(x, y))));
    return art::encodeGif(img);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: artgen OUTDIR\n  writes product.ico, finish.ico and logo.gif into OUTDIR\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    bool ok = art::writeBytes(dir + "product.ico", iconFile(false)) &&
              art::writeBytes(dir + "finish.ico", iconFile(true)) && art::writeBytes(dir + "logo.gif", logoFile());
    return ok ? 0 : 1;
}
