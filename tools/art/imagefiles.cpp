#include "imagefiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace art {

namespace {

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// Rows of a device-independent bitmap are padded to 4 bytes.
size_t rowBytes(int width, int bits) { return (size_t(width) * size_t(bits) + 31) / 32 * 4; }

// BITMAPINFOHEADER, palette, colour bits and AND mask of one icon image. The
// bitmap is twice the icon's height: colour bits over the mask, bottom row
// first. Uncovered pixels are index 0 (black) under a set mask bit, which
// leaves the screen as it is.
std::vector<uint8_t> iconImage(const IndexedImage& img) {
    const size_t xorRow = rowBytes(img.width, img.bits);
    const size_t andRow = rowBytes(img.width, 1);
    const size_t xorSize = xorRow * size_t(img.height);
    const size_t andSize = andRow * size_t(img.height);
    std::vector<uint8_t> out;
    put32(out, 40);
    put32(out, uint32_t(img.width));
    put32(out, uint32_t(img.height * 2));
    put16(out, 1);
    put16(out, uint32_t(img.bits));
    put32(out, 0);  // no compression
    put32(out, uint32_t(xorSize + andSize));
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);  // every palette entry is stored
    put32(out, 0);
    for (const Rgb8& c : img.palette) {
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }
    for (int y = img.height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(xorRow, 0);
        for (int x = 0; x < img.width; ++x) {
            size_t i = size_t(y) * size_t(img.width) + size_t(x);
            uint8_t v = img.opaque[i] ? img.pixels[i] : 0;
            if (img.bits == 8)
                row[size_t(x)] = v;
            else
                row[size_t(x) / 2] |= uint8_t((v & 0x0F) << (x % 2 ? 0 : 4));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    for (int y = img.height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(andRow, 0);
        for (int x = 0; x < img.width; ++x)
            if (!img.opaque[size_t(y) * size_t(img.width) + size_t(x)]) row[size_t(x) / 8] |= uint8_t(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

// Variable-width codes, lowest bit first, as GIF's LZW data wants them.
class CodeStream {
public:
    void put(uint32_t code, int width) {
        acc_ |= code << bits_;
        bits_ += width;
        while (bits_ >= 8) {
            bytes_.push_back(uint8_t(acc_));
            acc_ >>= 8;
            bits_ -= 8;
        }
    }
    std::vector<uint8_t> finish() {
        if (bits_ > 0) bytes_.push_back(uint8_t(acc_));
        bits_ = 0;
        acc_ = 0;
        return bytes_;
    }

private:
    std::vector<uint8_t> bytes_;
    uint32_t acc_ = 0;
    int bits_ = 0;
};

// LZW over 8-bit indices: codes grow from 9 to 12 bits, and the table starts
// afresh with a clear code once its 4096 codes are used.
std::vector<uint8_t> lzw(const std::vector<uint8_t>& data) {
    const uint32_t clear = 256, end = 257, firstFree = 258, limit = 4096;
    // Dictionary: (prefix code, next byte) -> code; 0 means absent.
    std::vector<uint16_t> table(size_t(limit) * 256, 0);
    CodeStream out;
    int width = 9;
    uint32_t next = firstFree;
    out.put(clear, width);
    if (data.empty()) {
        out.put(end, width);
        return out.finish();
    }
    uint32_t prefix = data[0];
    for (size_t i = 1; i < data.size(); ++i) {
        uint8_t byte = data[i];
        uint16_t& slot = table[size_t(prefix) * 256 + byte];
        if (slot != 0) {
            prefix = slot;
            continue;
        }
        out.put(prefix, width);
        slot = uint16_t(next);
        // The decoder learns each code one step later than we do, so it
        // widens its reads when the code just added needs the next width.
        if (next == (1u << width) && width < 12) ++width;
        if (++next == limit) {
            out.put(clear, width);
            std::fill(table.begin(), table.end(), 0);
            width = 9;
            next = firstFree;
        }
        prefix = byte;
    }
    out.put(prefix, width);
    out.put(end, width);
    return out.finish();
}

}  // namespace

std::vector<uint8_t> encodeIcon(const std::vector<IndexedImage>& images) {
    std::vector<std::vector<uint8_t>> bodies;
    for (const IndexedImage& img : images) bodies.push_back(iconImage(img));
    std::vector<uint8_t> out;
    put16(out, 0);
    put16(out, 1);  // icon
    put16(out, uint32_t(images.size()));
    uint32_t offset = uint32_t(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const IndexedImage& img = images[i];
        out.push_back(uint8_t(img.width));
        out.push_back(uint8_t(img.height));
        out.push_back(img.bits == 4 ? 16 : 0);  // colour count, 0 meaning 256 or more
        out.push_back(0);
        put16(out, 1);
        put16(out, uint32_t(img.bits));
        put32(out, uint32_t(bodies[i].size()));
        put32(out, offset);
        offset += uint32_t(bodies[i].size());
    }
    for (const auto& body : bodies) out.insert(out.end(), body.begin(), body.end());
    return out;
}

std::vector<uint8_t> encodeGif(const IndexedImage& img) {
    std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
    put16(out, uint32_t(img.width));
    put16(out, uint32_t(img.height));
    out.push_back(0xF7);  // global colour table of 256 entries, 8 bits per primary
    out.push_back(0);     // background colour index
    out.push_back(0);     // square pixels
    for (size_t i = 0; i < 256; ++i) {
        Rgb8 c = i < img.palette.size() ? img.palette[i] : Rgb8{0, 0, 0};
        out.push_back(c.r);
        out.push_back(c.g);
        out.push_back(c.b);
    }
    out.push_back(0x2C);  // image descriptor: whole screen, no local table
    put16(out, 0);
    put16(out, 0);
    put16(out, uint32_t(img.width));
    put16(out, uint32_t(img.height));
    out.push_back(0);
    out.push_back(8);  // minimum code size
    std::vector<uint8_t> codes = lzw(img.pixels);
    for (size_t at = 0; at < codes.size(); at += 255) {
        size_t n = codes.size() - at < 255 ? codes.size() - at : 255;
        out.push_back(uint8_t(n));
        out.insert(out.end(), codes.begin() + long(at), codes.begin() + long(at + n));
    }
    out.push_back(0);     // end of the image data
    out.push_back(0x3B);  // trailer
    return out;
}

bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "artgen: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) {
        std::fprintf(stderr, "artgen: cannot write %s\n", path.c_str());
        std::remove(path.c_str());
    }
    return ok;
}

}  // namespace art
