// mkheader: writes the update header, the list of packed files that the
// installer embeds and installs.
//
//   mkheader OUT TIME [SOURCENAME DESTNAME ORIGINALFILE PACKEDFILE]...
//
// One 72-byte record per group of four arguments, back to back, integers
// little-endian:
//   0..27   SOURCENAME, the resource holding the packed file, NUL-padded
//   28..31  size of ORIGINALFILE (the expanded size)
//   32..63  DESTNAME, the installed file's name, NUL-padded
//   64..67  TIME, the files' time stamp in seconds since 1970 (32-bit signed)
//   68..71  size of PACKEDFILE
// The output depends only on the arguments and the two files' sizes. Names are
// held to the installer's own record rules (engine/recordrules.h), so that a
// header the installer would refuse is never written.
#include "engine/recordrules.h"
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

constexpr size_t kRecordSize = 72;
constexpr size_t kMaxRecords = 30;     // the installer's package list holds 30 files
constexpr long long kMaxSize = 0x7FFFFFFF;  // sizes are read as signed 32-bit

const unsigned char kSzddMagic[8] = {0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33};

void putLe32(unsigned char* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(v >> (8 * i));
}

uint32_t getLe32(const unsigned char* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

// Whole decimal number, optional sign, nothing else.
bool parseTime(const char* text, int32_t& out) {
    if (*text == '\0') return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || end == text) return false;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    out = int32_t(v);
    return true;
}

// Size of a file, and the expanded length its SZDD header gives if it has one.
bool fileSize(const char* path, long long& size, bool& packed, uint32_t& packedLength) {
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::fprintf(stderr, "mkheader: cannot open %s: %s\n", path, std::strerror(errno));
        return false;
    }
    unsigned char head[14];
    size_t got = std::fread(head, 1, sizeof head, f);
    bool ok = !std::ferror(f);
    std::fclose(f);
    packed = got == sizeof head && std::memcmp(head, kSzddMagic, sizeof kSzddMagic) == 0;
    packedLength = packed ? getLe32(head + 10) : 0;
    std::error_code error;
    std::uintmax_t length = std::filesystem::file_size(path, error);
    if (!ok || error) {
        std::fprintf(stderr, "mkheader: cannot read %s\n", path);
        return false;
    }
    if (length > std::uintmax_t(kMaxSize)) {
        std::fprintf(stderr, "mkheader: %s is larger than %lld bytes\n", path, kMaxSize);
        return false;
    }
    size = static_cast<long long>(length);
    return true;
}

bool putName(unsigned char* field, size_t fieldSize, const char* name, const char* what) {
    size_t len = std::strlen(name);
    size_t maxLen = (fieldSize < size_t(kRecordNameCapacity) ? fieldSize : size_t(kRecordNameCapacity)) - 1;
    if (len > maxLen) {
        std::fprintf(stderr, "mkheader: %s \"%s\" has %zu characters, at most %zu fit\n", what, name, len,
                     maxLen);
        return false;
    }
    std::memcpy(field, name, len);  // the rest of the field stays NUL
    if (!recordNameUsable(reinterpret_cast<const char*>(field), fieldSize)) {
        std::fprintf(stderr,
                     "mkheader: %s \"%s\" is refused by the installer: empty, a path, a control "
                     "character, only dots and blanks, or a device name\n",
                     what, name);
        return false;
    }
    return true;
}

bool buildRecord(unsigned char* rec, int32_t time, char** group, bool first) {
    const char* source = group[0];
    const char* dest = group[1];
    long long original = 0, packedSize = 0;
    bool originalPacked = false, packed = false;
    uint32_t unused = 0, packedLength = 0;
    if (!putName(rec, kRecordSourceField, source, "source name")) return false;
    if (!putName(rec + 32, kRecordDestField, dest, "destination name")) return false;
    if (first && !firstRecordNamesMatch(reinterpret_cast<const char*>(rec), reinterpret_cast<const char*>(rec + 32))) {
        std::fprintf(stderr,
                     "mkheader: the first record's source name \"%s\" must be zelto.sc_ or \"%s\" "
                     "with its last character replaced\n",
                     source, dest);
        return false;
    }
    if (!fileSize(group[2], original, originalPacked, unused)) return false;
    if (!fileSize(group[3], packedSize, packed, packedLength)) return false;
    // A packed file that expands to another length than the original's was
    // packed from something else: the installer would announce wrong sizes.
    if (packed && packedLength != uint64_t(original)) {
        std::fprintf(stderr, "mkheader: %s expands to %lu bytes, but %s has %lld\n", group[3],
                     static_cast<unsigned long>(packedLength), group[2], original);
        return false;
    }
    putLe32(rec + 28, uint32_t(original));
    putLe32(rec + 64, uint32_t(time));
    putLe32(rec + 68, uint32_t(packedSize));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || (argc - 3) % 4 != 0) {
        std::fprintf(stderr,
                     "usage: mkheader OUT TIME [SOURCENAME DESTNAME ORIGINALFILE PACKEDFILE]...\n"
                     "  TIME: seconds since 1970-01-01 00:00 UTC, 32-bit signed\n");
        return 2;
    }
    int32_t time = 0;
    if (!parseTime(argv[2], time)) {
        std::fprintf(stderr, "mkheader: TIME \"%s\" is not a whole number from %ld to %ld\n", argv[2],
                     static_cast<long>(INT32_MIN), static_cast<long>(INT32_MAX));
        return 2;
    }
    const size_t count = size_t(argc - 3) / 4;
    if (count > kMaxRecords) {
        std::fprintf(stderr, "mkheader: %zu files listed, the installer takes at most %zu\n", count, kMaxRecords);
        return 2;
    }

    std::vector<unsigned char> header(count * kRecordSize, 0);
    for (size_t i = 0; i < count; ++i) {
        if (!buildRecord(&header[i * kRecordSize], time, argv + 3 + 4 * i, i == 0)) return 1;
    }

    FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::fprintf(stderr, "mkheader: cannot create %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) {
        std::fprintf(stderr, "mkheader: cannot write %s\n", argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
