// A small anti-aliased rasteriser for the product art: shapes are signed
// distance functions (negative inside), each pixel is supersampled, and
// layers are composited over one another.
#pragma once

#include <functional>
#include <vector>

namespace art {

struct Rgb {
    double r, g, b;
};

Rgb mix(const Rgb& a, const Rgb& b, double t);
double clamp01(double v);

struct Point {
    double x, y;
};

// Signed distance of a point to a shape, in pixels; negative inside.
using Shape = std::function<double(double x, double y)>;
// Colour of a shape at a point, given the signed distance there.
using Paint = std::function<Rgb(double x, double y, double d)>;

Shape circle(Point c, double radius);
Shape ring(Point c, double radius, double thickness);
Shape roundedRect(double x0, double y0, double x1, double y1, double radius);
Shape polygon(std::vector<Point> points);
Shape stroke(std::vector<Point> polyline, double width);
Shape translate(Shape s, double dx, double dy);
Shape unite(Shape a, Shape b);

Paint solid(Rgb c);

// Straight direction of the outward normal of a shape at a point, from the
// gradient of its distance.
Point normalAt(const Shape& s, double x, double y);

class Canvas {
public:
    // `samples` per pixel along each axis: 8 gives 64 coverage levels, more
    // than a palette can tell apart; 1 samples each pixel's centre only, for
    // pictures that must keep to a few exact colours.
    Canvas(int width, int height, int samples = 8);
    int width() const { return width_; }
    int height() const { return height_; }

    // Composites a shape over the canvas with `opacity`. With `softness` 0 the
    // edge is the exact boundary (supersampled); a positive softness blurs it
    // over that many pixels, for shadows and glows.
    void fill(const Shape& shape, const Paint& paint, double opacity = 1.0, double softness = 0.0);

    // Colour of a pixel (not premultiplied) and its coverage 0..1.
    Rgb colour(int x, int y) const;
    double alpha(int x, int y) const;

private:
    struct Pixel {
        double r, g, b, a;  // premultiplied
    };
    int width_, height_, samples_;
    std::vector<Pixel> pixels_;
};

}  // namespace art
