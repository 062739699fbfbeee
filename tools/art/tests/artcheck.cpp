// artcheck ICO... GIF: reads the generated files the way Windows does and
// checks their structure. For each icon: the directory, every image's bitmap
// header against its directory entry, the bitmap and mask sizes, and that
// transparent pixels are black (so that they leave the screen unchanged);
// every icon must hold a 32 pixel image in 8 bits, every image 16 or 32 pixels. For the GIF:
// the screen, a 256-entry colour table, and a full LZW decode of the picture.
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

typedef std::vector<unsigned char> Bytes;
static int failures = 0;

static void fail(const std::string& file, const std::string& what) {
    std::fprintf(stderr, "artcheck: %s: %s\n", file.c_str(), what.c_str());
    ++failures;
}

static bool load(const char* path, Bytes& data) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    int c;
    while ((c = std::fgetc(f)) != EOF) data.push_back(static_cast<unsigned char>(c));
    std::fclose(f);
    return true;
}

static unsigned u16(const Bytes& b, size_t at) { return at + 2 <= b.size() ? b[at] | b[at + 1] << 8 : 0; }
static unsigned long u32(const Bytes& b, size_t at) { return u16(b, at) | (unsigned long)u16(b, at + 2) << 16; }

static void checkIcon(const std::string& name, const Bytes& b) {
    if (b.size() < 6 || u16(b, 0) != 0 || u16(b, 2) != 1) return fail(name, "not an icon file");
    unsigned count = u16(b, 4);
    std::set<std::pair<unsigned, unsigned>> kinds;  // (size, bits)
    for (unsigned i = 0; i < count; ++i) {
        size_t e = 6 + 16 * i;
        unsigned w = b[e], h = b[e + 1], colours = b[e + 2], planes = u16(b, e + 4), bits = u16(b, e + 6);
        unsigned long size = u32(b, e + 8), at = u32(b, e + 12);
        std::string img = name + " image " + std::to_string(i);
        if (at + size > b.size() || at < 6 + 16 * count) { fail(img, "outside the file"); continue; }
        if (planes != 1 || (bits != 4 && bits != 8) || colours != (bits == 4 ? 16u : 0u))
            fail(img, "bad planes, bit count or colour count");
        if (u32(b, at) != 40 || u32(b, at + 4) != w || u32(b, at + 8) != 2 * h || u16(b, at + 12) != 1 ||
            u16(b, at + 14) != bits || u32(b, at + 16) != 0)
            fail(img, "bitmap header disagrees with the directory");
        size_t palette = size_t(1) << bits;
        size_t xorRow = (w * bits + 31) / 32 * 4, andRow = (w + 31) / 32 * 4;
        if (size != 40 + 4 * palette + (xorRow + andRow) * h) fail(img, "wrong image size");
        if (b[at + 40] || b[at + 41] || b[at + 42]) fail(img, "palette entry 0 is not black");
        size_t bitsAt = at + 40 + 4 * palette, maskAt = bitsAt + xorRow * h;
        unsigned opaque = 0;
        for (unsigned y = 0; y < h; ++y)
            for (unsigned x = 0; x < w; ++x) {
                bool transparent = b[maskAt + y * andRow + x / 8] & (0x80 >> (x % 8));
                unsigned char v = b[bitsAt + y * xorRow + x * bits / 8];
                unsigned index = bits == 8 ? v : (x % 2 ? v & 15 : v >> 4);
                if (transparent && index != 0) fail(img, "transparent pixel not black");
                opaque += !transparent;
            }
        if (opaque < w * h / 2) fail(img, "less than half of the icon is drawn");
        kinds.insert({w, bits});
        if (w != h || (w != 16 && w != 32)) fail(img, "not 16 or 32 pixels square");
    }
    if (!kinds.count({32u, 8u})) fail(name, "no 32 px image in 8 bits");
}

static void checkGif(const std::string& name, const Bytes& b) {
    if (b.size() < 13 + 768 + 11 || std::memcmp(b.data(), "GIF89a", 6) != 0) return fail(name, "not a GIF89a");
    if (u16(b, 6) != 64 || u16(b, 8) != 64) fail(name, "screen is not 64 x 64");
    if (b[10] != 0xF7) fail(name, "no global colour table of 256 entries");
    size_t at = 13 + 768;
    if (b[at] != 0x2C || u16(b, at + 5) != 64 || u16(b, at + 7) != 64 || (b[at + 9] & 0xC0))
        return fail(name, "image descriptor is not a plain 64 x 64 picture");
    unsigned minSize = b[at + 10];
    at += 11;
    Bytes data;
    while (at < b.size() && b[at] != 0) {
        data.insert(data.end(), b.begin() + at + 1, b.begin() + std::min(b.size(), at + 1 + b[at]));
        at += 1 + b[at];
    }
    if (at + 2 != b.size() || b[at + 1] != 0x3B) fail(name, "data not followed by the trailer");

    // LZW decode, with the code width rules of the format.
    const unsigned clear = 1u << minSize, end = clear + 1;
    std::vector<Bytes> table;
    unsigned width = minSize + 1;
    Bytes pixels;
    size_t bit = 0;
    int prev = -1;
    bool ended = false;
    while (bit + width <= data.size() * 8) {
        unsigned code = 0;
        for (unsigned k = 0; k < width; ++k, ++bit) code |= ((data[bit / 8] >> (bit % 8)) & 1u) << k;
        if (code == clear) {
            table.assign(end + 1, Bytes());
            for (unsigned i = 0; i < clear; ++i) table[i] = Bytes(1, static_cast<unsigned char>(i));
            width = minSize + 1;
            prev = -1;
            continue;
        }
        if (code == end) { ended = true; break; }
        if (table.empty()) return fail(name, "data does not start with a clear code");
        Bytes entry;
        if (code < table.size() && (code > end || code < clear)) entry = table[code];
        else if (code == table.size() && prev >= 0) { entry = table[prev]; entry.push_back(table[prev][0]); }
        else return fail(name, "invalid LZW code");
        pixels.insert(pixels.end(), entry.begin(), entry.end());
        if (prev >= 0 && table.size() < 4096) {
            Bytes added = table[prev];
            added.push_back(entry[0]);
            table.push_back(added);
            if (table.size() == (1u << width) && width < 12) ++width;
        }
        prev = int(code);
    }
    if (!ended) fail(name, "no end code");
    if (pixels.size() != 64 * 64) fail(name, "decodes to " + std::to_string(pixels.size()) + " pixels");
    std::set<unsigned char> used(pixels.begin(), pixels.end());
    if (used.size() < 200) fail(name, "only " + std::to_string(used.size()) + " colours used");
}

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        Bytes data;
        std::string name = argv[i];
        if (!load(argv[i], data)) fail(name, "cannot read");
        else if (name.size() > 4 && name.compare(name.size() - 4, 4, ".gif") == 0) checkGif(name, data);
        else checkIcon(name, data);
    }
    return failures ? 1 : 0;
}
