// szddcheck PACKED ORIGINAL [MISSINGCHAR]: expands an SZDD file on its own
// terms (no code shared with the packer) and checks it against the original:
// the header fields, every expanded byte, and that the codes end exactly at
// the end of the file with no item cut short.
#include <cstdio>
#include <cstring>
#include <vector>

static bool load(const char* path, std::vector<unsigned char>& data) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    int c;
    while ((c = std::fgetc(f)) != EOF) data.push_back(static_cast<unsigned char>(c));
    std::fclose(f);
    return true;
}

static int fail(const char* what) {
    std::fprintf(stderr, "szddcheck: %s\n", what);
    return 1;
}

int main(int argc, char** argv) {
    std::vector<unsigned char> packed, original;
    if (argc < 3 || !load(argv[1], packed) || !load(argv[2], original)) return fail("cannot read the inputs");
    static const unsigned char magic[9] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33, 'A'};
    if (packed.size() < 14 || std::memcmp(packed.data(), magic, 9) != 0) return fail("bad magic or method");
    unsigned char missing = argc > 3 ? static_cast<unsigned char>(argv[3][0]) : 0;
    if (packed[9] != missing) return fail("wrong missing character");
    unsigned long length = packed[10] | packed[11] << 8 | packed[12] << 16 | (unsigned long)packed[13] << 24;
    if (length != original.size()) return fail("header length differs from the original's size");

    unsigned char ring[4096];
    std::memset(ring, ' ', sizeof ring);
    unsigned at = 4080;
    std::vector<unsigned char> out;
    size_t in = 14;
    while (in < packed.size()) {
        unsigned flags = packed[in++];
        for (int bit = 0; bit < 8 && in < packed.size(); ++bit, flags >>= 1) {
            if (flags & 1) {
                out.push_back(ring[at] = packed[in++]);
                at = (at + 1) & 4095;
                continue;
            }
            if (in + 1 >= packed.size()) return fail("match code cut short at the end");
            unsigned pos = packed[in] | (packed[in + 1] & 0xF0) << 4;
            unsigned len = (packed[in + 1] & 0x0F) + 3;
            in += 2;
            while (len--) {
                unsigned char b = ring[pos];
                pos = (pos + 1) & 4095;
                out.push_back(ring[at] = b);
                at = (at + 1) & 4095;
            }
        }
    }
    if (out.size() != original.size()) {
        std::fprintf(stderr, "szddcheck: expanded %zu bytes, expected %zu\n", out.size(), original.size());
        return 1;
    }
    if (out != original) return fail("expanded bytes differ from the original");
    return 0;
}
