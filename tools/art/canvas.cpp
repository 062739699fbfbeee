#include "canvas.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace art {

namespace {

double segmentDistance(Point p, Point a, Point b) {
    double vx = b.x - a.x, vy = b.y - a.y;
    double wx = p.x - a.x, wy = p.y - a.y;
    double len2 = vx * vx + vy * vy;
    double t = len2 > 0 ? std::clamp((wx * vx + wy * vy) / len2, 0.0, 1.0) : 0.0;
    double dx = wx - t * vx, dy = wy - t * vy;
    return std::sqrt(dx * dx + dy * dy);
}

}  // namespace

Rgb mix(const Rgb& a, const Rgb& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

Shape circle(Point c, double radius) {
    return [=](double x, double y) { return std::hypot(x - c.x, y - c.y) - radius; };
}

Shape ring(Point c, double radius, double thickness) {
    return [=](double x, double y) { return std::fabs(std::hypot(x - c.x, y - c.y) - radius) - thickness / 2; };
}

Shape roundedRect(double x0, double y0, double x1, double y1, double radius) {
    double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    double hx = (x1 - x0) / 2 - radius, hy = (y1 - y0) / 2 - radius;
    return [=](double x, double y) {
        double qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
        double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
        return outside + std::min(std::max(qx, qy), 0.0) - radius;
    };
}

Shape polygon(std::vector<Point> pts) {
    return [pts = std::move(pts)](double x, double y) {
        double best = 1e30;
        bool inside = false;
        Point p{x, y};
        for (size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
            const Point& a = pts[i];
            const Point& b = pts[j];
            best = std::min(best, segmentDistance(p, a, b));
            if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) inside = !inside;
        }
        return inside ? -best : best;
    };
}

Shape stroke(std::vector<Point> line, double width) {
    return [line = std::move(line), half = width / 2](double x, double y) {
        double best = 1e30;
        for (size_t i = 1; i < line.size(); ++i) best = std::min(best, segmentDistance({x, y}, line[i - 1], line[i]));
        return best - half;
    };
}

Shape translate(Shape s, double dx, double dy) {
    return [s = std::move(s), dx, dy](double x, double y) { return s(x - dx, y - dy); };
}

Shape unite(Shape a, Shape b) {
    return [a = std::move(a), b = std::move(b)](double x, double y) { return std::min(a(x, y), b(x, y)); };
}

Paint solid(Rgb c) {
    return [c](double, double, double) { return c; };
}

Point normalAt(const Shape& s, double x, double y) {
    const double h = 0.05;
    double gx = s(x + h, y) - s(x - h, y);
    double gy = s(x, y + h) - s(x, y - h);
    double len = std::hypot(gx, gy);
    if (len < 1e-9) return {0, 0};
    return {gx / len, gy / len};
}

Canvas::Canvas(int width, int height, int samples)
    : width_(width), height_(height), samples_(samples), pixels_(size_t(width) * size_t(height), Pixel{0, 0, 0, 0}) {}

void Canvas::fill(const Shape& shape, const Paint& paint, double opacity, double softness) {
    const double step = 1.0 / samples_;
    for (int py = 0; py < height_; ++py) {
        for (int px = 0; px < width_; ++px) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < samples_; ++sy) {
                for (int sx = 0; sx < samples_; ++sx) {
                    double x = px + (sx + 0.5) * step;
                    double y = py + (sy + 0.5) * step;
                    double d = shape(x, y);
                    double cover = softness > 0 ? clamp01(0.5 - d / softness) : (d < 0 ? 1.0 : 0.0);
                    if (cover <= 0) continue;
                    Rgb c = paint(x, y, d);
                    r += clamp01(c.r) * cover;
                    g += clamp01(c.g) * cover;
                    b += clamp01(c.b) * cover;
                    a += cover;
                }
            }
            if (a <= 0) continue;
            const double n = samples_ * samples_;
            double k = opacity / n;
            Pixel& dst = pixels_[size_t(py) * size_t(width_) + size_t(px)];
            double sa = a * k;
            dst.r = r * k + dst.r * (1 - sa);
            dst.g = g * k + dst.g * (1 - sa);
            dst.b = b * k + dst.b * (1 - sa);
            dst.a = sa + dst.a * (1 - sa);
        }
    }
}

Rgb Canvas::colour(int x, int y) const {
    const Pixel& p = pixels_[size_t(y) * size_t(width_) + size_t(x)];
    if (p.a <= 0) return {0, 0, 0};
    return {clamp01(p.r / p.a), clamp01(p.g / p.a), clamp01(p.b / p.a)};
}

double Canvas::alpha(int x, int y) const { return pixels_[size_t(y) * size_t(width_) + size_t(x)].a; }

}  // namespace art
