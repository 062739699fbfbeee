// pechecksum FILE      writes the image checksum of the program FILE into its
//                      optional header (after its resources were edited: the
//                      installer refuses a file whose checksum is not its own)
// pechecksum -c FILE   only checks it: exit code 0 when the stored value is right
#include "common/imagesum.h"
#include <stdio.h>
#include <string.h>
#include <vector>

namespace {
uint32_t le32(const std::vector<uint8_t>& data, size_t at) {
    return uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
           uint32_t(data[at + 3]) << 24;
}

// An MZ header whose link leads to a PE signature and an optional header.
bool isProgram(const std::vector<uint8_t>& data) {
    if (data.size() < 0x40 || data[0] != 'M' || data[1] != 'Z') return false;
    uint64_t header = le32(data, 0x3C);
    return header + 92 <= data.size() && memcmp(&data[header], "PE\0\0", 4) == 0;
}
}  // namespace

int main(int argc, char** argv) {
    bool checkOnly = argc == 3 && strcmp(argv[1], "-c") == 0;
    if (argc != 2 && !checkOnly) {
        fprintf(stderr, "usage: pechecksum [-c] FILE\n");
        return 2;
    }
    const char* path = argv[argc - 1];
    FILE* file = fopen(path, checkOnly ? "rb" : "r+b");
    if (!file) {
        perror(path);
        return 2;
    }
    std::vector<uint8_t> data;
    uint8_t block[65536];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0) data.insert(data.end(), block, block + got);
    if (ferror(file) || !isProgram(data)) {
        fprintf(stderr, "%s: %s\n", path, ferror(file) ? "cannot read" : "not a PE program");
        fclose(file);
        return 2;
    }
    ImageSum sum;
    sum.add(data.data(), data.size());
    uint32_t value = sum.checksum();
    if (checkOnly) {
        fclose(file);
        printf("%s: stored 0x%08x, computed 0x%08x\n", path, sum.stored(), value);
        return sum.stored() == value ? 0 : 1;
    }
    uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                        uint8_t(value >> 24)};
    bool written = fseek(file, long(sum.fieldOffset()), SEEK_SET) == 0 &&
                   fwrite(bytes, 1, 4, file) == 4;
    if (fclose(file) != 0 || !written) {
        fprintf(stderr, "%s: cannot write the checksum\n", path);
        return 2;
    }
    printf("%s: checksum 0x%08x\n", path, value);
    return 0;
}
