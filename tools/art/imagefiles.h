// Writers for the two file formats the installer embeds: classic icons
// (device-independent bitmaps with AND masks, as Windows 95 reads them) and
// GIF89a pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "palette.h"

namespace art {

// One picture in palette indices, top row first.
struct IndexedImage {
    int width = 0, height = 0;
    int bits = 8;                  // 4 or 8 (icons); GIF pictures are 8
    std::vector<Rgb8> palette;     // 1 << bits entries
    std::vector<uint8_t> pixels;   // width * height indices
    std::vector<uint8_t> opaque;   // icons: 1 where the picture covers the screen
};

std::vector<uint8_t> encodeIcon(const std::vector<IndexedImage>& images);
std::vector<uint8_t> encodeGif(const IndexedImage& image);

bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace art
