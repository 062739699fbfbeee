// pechecksum FILE      writes the image checksum of the program FILE into its
//                      optional header (after its resources were edited: the
//                      installer refuses a file whose checksum is not its own)
//                      and keeps its resources read only
// pechecksum -c FILE   only checks it: exit code 0 when the stored value is right
#include "common/imagesum.h"
#include <stdio.h>
#include <string.h>
#include <algorithm>
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
// Clears the write flag of the resource section: the linker marks the section
// writable, as its resource compiler's input is, and so do resource editors,
// but nothing ever writes to resources at run time.
void keepResourcesReadOnly(std::vector<uint8_t>& data) {
    uint64_t header = le32(data, 0x3C);
    unsigned count = data[header + 6] | data[header + 7] << 8;
    unsigned optionalSize = data[header + 20] | data[header + 21] << 8;
    uint64_t table = header + 24 + optionalSize;
    for (unsigned i = 0; i < count && table + 40 * (i + 1) <= data.size(); ++i) {
        uint8_t* section = &data[table + 40 * i];
        if (memcmp(section, ".rsrc\0\0\0", 8) == 0) section[39] &= 0x7F;  // IMAGE_SCN_MEM_WRITE
    }
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
    if (!checkOnly) keepResourcesReadOnly(data);
    ImageSum sum;
    sum.add(data.data(), data.size());
    uint32_t value = sum.checksum();
    if (checkOnly) {
        fclose(file);
        printf("%s: stored 0x%08x, computed 0x%08x\n", path, sum.stored(), value);
        return sum.stored() == value ? 0 : 1;
    }
    for (int i = 0; i < 4; ++i) data[sum.fieldOffset() + i] = uint8_t(value >> (8 * i));
    // The whole header unit goes back: the checksum and the section flags.
    size_t headers = std::min<size_t>(data.size(), 4096);
    bool written = fseek(file, 0, SEEK_SET) == 0 && fwrite(data.data(), 1, headers, file) == headers;
    if (fclose(file) != 0 || !written) {
        fprintf(stderr, "%s: cannot write the checksum\n", path);
        return 2;
    }
    printf("%s: checksum 0x%08x\n", path, value);
    return 0;
}
