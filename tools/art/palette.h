// Colour reduction for the indexed formats: the 16 fixed colours of 4-bit
// icons, and a palette chosen to fit the picture for 8-bit icons and the GIF.
#pragma once

#include <cstdint>
#include <vector>

#include "canvas.h"

namespace art {

struct Rgb8 {
    uint8_t r, g, b;
    bool operator==(const Rgb8& o) const { return r == o.r && g == o.g && b == o.b; }
};

Rgb8 toRgb8(const Rgb& c);

// The 16 colours every display driver provides, in their usual order; a
// 16-colour icon in these colours looks the same on every screen.
std::vector<Rgb8> standardPalette16();

// Up to `size` colours that represent `colours` well (median cut, weighted by
// how often each colour occurs). `reserved` entries are placed first and
// kept as given. The result always has exactly `size` entries; unused ones
// are black.
std::vector<Rgb8> fitPalette(const std::vector<Rgb8>& colours, const std::vector<Rgb8>& reserved, size_t size);

// Index of the palette entry nearest to `c` (ties go to the lower index);
// entries before `first` are not considered.
uint8_t nearest(const std::vector<Rgb8>& palette, const Rgb8& c, size_t first = 0);

}  // namespace art
