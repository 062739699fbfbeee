#include "palette.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace art {

namespace {

struct Weighted {
    Rgb8 c;
    uint32_t count;
};

uint8_t channel(const Rgb8& c, int axis) { return axis == 0 ? c.r : axis == 1 ? c.g : c.b; }

// Squared distance with the eye's weights: green differences count most.
long distance(const Rgb8& a, const Rgb8& b) {
    long dr = long(a.r) - b.r, dg = long(a.g) - b.g, db = long(a.b) - b.b;
    return 3 * dr * dr + 4 * dg * dg + 2 * db * db;
}

struct Box {
    size_t begin, end;  // range in the colour list
    int axis;           // longest axis
    double priority;    // how much splitting it helps

    void measure(const std::vector<Weighted>& list) {
        uint8_t lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
        double weight = 0;
        for (size_t i = begin; i < end; ++i) {
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], channel(list[i].c, a));
                hi[a] = std::max(hi[a], channel(list[i].c, a));
            }
            weight += list[i].count;
        }
        axis = 0;
        for (int a = 1; a < 3; ++a)
            if (hi[a] - lo[a] > hi[axis] - lo[axis]) axis = a;
        double range = hi[axis] - lo[axis];
        // Splitting a box removes error in proportion to its spread and its
        // population; the square root keeps a small emblem from starving.
        priority = end - begin > 1 ? range * range * std::sqrt(weight) : -1;
    }
};

}  // namespace

Rgb8 toRgb8(const Rgb& c) {
    auto q = [](double v) { return static_cast<uint8_t>(std::lround(clamp01(v) * 255.0)); };
    return {q(c.r), q(c.g), q(c.b)};
}

std::vector<Rgb8> standardPalette16() {
    return {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
            {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
            {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
            {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
}

std::vector<Rgb8> fitPalette(const std::vector<Rgb8>& colours, const std::vector<Rgb8>& reserved, size_t size) {
    std::map<uint32_t, uint32_t> counts;  // ordered, so the result is deterministic
    for (const Rgb8& c : colours) ++counts[uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b];
    std::vector<Weighted> list;
    for (const auto& [key, count] : counts)
        list.push_back({{uint8_t(key >> 16), uint8_t(key >> 8), uint8_t(key)}, count});

    std::vector<Rgb8> palette(reserved);
    const size_t room = size - std::min(size, reserved.size());
    std::vector<Box> boxes;
    if (!list.empty()) {
        boxes.push_back({0, list.size(), 0, 0});
        boxes.back().measure(list);
    }
    while (boxes.size() < room) {
        size_t pick = 0;
        for (size_t i = 1; i < boxes.size(); ++i)
            if (boxes[i].priority > boxes[pick].priority) pick = i;
        Box box = boxes[pick];
        if (box.priority < 0) break;  // every box holds a single colour
        std::sort(list.begin() + long(box.begin), list.begin() + long(box.end),
                  [axis = box.axis](const Weighted& a, const Weighted& b) {
                      uint8_t ka = channel(a.c, axis), kb = channel(b.c, axis);
                      if (ka != kb) return ka < kb;
                      uint32_t fa = uint32_t(a.c.r) << 16 | uint32_t(a.c.g) << 8 | a.c.b;
                      uint32_t fb = uint32_t(b.c.r) << 16 | uint32_t(b.c.g) << 8 | b.c.b;
                      return fa < fb;
                  });
        // Split at the weighted median, leaving at least one colour each side.
        double total = 0, run = 0;
        for (size_t i = box.begin; i < box.end; ++i) total += list[i].count;
        size_t cut = box.begin + 1;
        for (size_t i = box.begin; i + 1 < box.end; ++i) {
            run += list[i].count;
            cut = i + 1;
            if (run * 2 >= total) break;
        }
        Box low{box.begin, cut, 0, 0}, high{cut, box.end, 0, 0};
        low.measure(list);
        high.measure(list);
        boxes[pick] = low;
        boxes.push_back(high);
    }
    for (const Box& box : boxes) {
        double r = 0, g = 0, b = 0, w = 0;
        for (size_t i = box.begin; i < box.end; ++i) {
            r += double(list[i].c.r) * list[i].count;
            g += double(list[i].c.g) * list[i].count;
            b += double(list[i].c.b) * list[i].count;
            w += list[i].count;
        }
        palette.push_back({uint8_t(std::lround(r / w)), uint8_t(std::lround(g / w)), uint8_t(std::lround(b / w))});
    }
    palette.resize(size, Rgb8{0, 0, 0});
    return palette;
}

uint8_t nearest(const std::vector<Rgb8>& palette, const Rgb8& c, size_t first) {
    size_t best = first;
    for (size_t i = first + 1; i < palette.size(); ++i)
        if (distance(palette[i], c) < distance(palette[best], c)) best = i;
    return static_cast<uint8_t>(best);
}

}  // namespace art
