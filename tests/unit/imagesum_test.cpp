#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include "common/dynlib.h"
#include "common/imagesum.h"
#include "testutil.h"

namespace {
// A program header over pseudo-random bytes (or fill bytes): MZ, the link at
// 0x3C, the PE signature, a file header and the optional header's magic. The
// CheckSum field keeps what the generator put there.
std::string makeImage(size_t size, uint32_t link, uint32_t seed, int fill = -1) {
    std::string b(size, '\0');
    uint32_t x = seed;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        b[i] = static_cast<char>(fill >= 0 ? fill : x >> 24);
    }
    auto put = [&b](size_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<char>(value >> (8 * i));
    };
    b[0] = 'M';
    b[1] = 'Z';
    put(0x3C, link, 4);
    put(link, 0x00004550, 4);  // "PE\0\0"
    put(link + 4, 0x14C, 2);
    put(link + 6, 0, 2);
    put(link + 20, 0xE0, 2);
    put(link + 22, 0x102, 2);
    put(link + 24, 0x10B, 2);
    return b;
}

uint32_t sumInBlocks(const std::string& image, size_t first, size_t rest, uint32_t* stored) {
    ImageSum sum;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(image.data());
    size_t done = 0;
    for (size_t block = first; done < image.size(); block = rest) {
        size_t n = std::min(block, image.size() - done);
        sum.add(bytes + done, n);
        done += n;
    }
    EXPECT_TRUE(sum.fieldSeen());
    *stored = sum.stored();
    return sum.checksum();
}

std::string tempFile(const char* name) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + name;
}
}  // namespace

// Expected values from Python's pefile (generate_checksum) on the same bytes.
TEST(ImageSum, PefileValuesInAnyBlocks) {
    struct Case {
        size_t size;
        uint32_t link;
        uint32_t seed;
        int fill;
        uint32_t field;
        uint32_t expected;
    };
    const Case cases[] = {
        {4096, 0x80, 1, -1, 0xACC75D4D, 0xF558},
        {4097, 0x88, 2, -1, 0xBA33EC7A, 0xB81A},  // odd length: the last byte a word alone
        {70001, 0x80, 3, 0xFF, 0xFFFFFFFF, 0x1B6C6},  // carries on every word
    };
    for (const Case& c : cases) {
        std::string image = makeImage(c.size, c.link, c.seed, c.fill);
        const size_t field = c.link + 88;
        // Whole; byte by byte; odd blocks; cut inside the link and inside the field.
        const size_t splits[][2] = {
            {c.size, c.size}, {1, 1}, {3, 7}, {0x3E, 65536}, {field + 2, 5}, {field + 1, 2}};
        for (const auto& split : splits) {
            uint32_t stored = 0;
            EXPECT_EQ(c.expected, sumInBlocks(image, split[0], split[1], &stored))
                << c.size << " in blocks of " << split[0] << ", " << split[1];
            EXPECT_EQ(c.field, stored);
        }
    }
}

namespace {
bool fileIntact(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              0, NULL);
    bool intact = imageFileIntact(file);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return intact;
}
}  // namespace

TEST(ImageSum, FileIntactOnlyWithItsOwnChecksum) {
    std::string image = makeImage(150000, 0x80, 4);  // more than two read blocks
    uint32_t stored = 0;
    uint32_t value = sumInBlocks(image, image.size(), 0, &stored);
    for (int i = 0; i < 4; ++i) image[0x80 + 88 + i] = static_cast<char>(value >> (8 * i));
    std::string path = tempFile("imagesum.exe");
    writeFile(path, image);
    EXPECT_TRUE(fileIntact(path));

    const size_t changed[] = {0x200, 70000, image.size() - 1};
    for (size_t at : changed) {
        std::string damaged = image;
        damaged[at] = static_cast<char>(~damaged[at]);
        writeFile(path, damaged);
        EXPECT_FALSE(fileIntact(path)) << "byte " << at << " inverted";
    }
    writeFile(path, image.substr(0, 0x80 + 90));  // cut inside the field
    EXPECT_FALSE(fileIntact(path));
    DeleteFileA(path.c_str());
    EXPECT_FALSE(fileIntact(path));
}

TEST(ImageSum, OwnFileHeldAndCopied) {
    // The test program's own file, through the wide functions and, as on Windows
    // 9x, without them: the same name, the linker's checksum, and a whole copy.
    char self[MAX_PATH];
    char named[MAX_PATH];
    ASSERT_TRUE(modulePath(GetModuleHandleA(NULL), self));
    std::string copy = tempFile("copy.exe");
    for (const char* missing : {"", "kernel32.dll"}) {
        setMissingLibrariesForTest(missing);
        HANDLE file = openModuleFile(GetModuleHandleA(NULL), named);
        setMissingLibrariesForTest(NULL);
        EXPECT_STREQ(self, named);
        EXPECT_TRUE(imageFileIntact(file));
        EXPECT_TRUE(copyOpenFile(file, copy.c_str()) && readFile(self) == readFile(copy));
        CloseHandle(file);
    }
    // A copy that cannot be written whole leaves nothing.
    EXPECT_FALSE(copyOpenFile(INVALID_HANDLE_VALUE, copy.c_str()));
    EXPECT_FALSE(fileExists(copy.c_str()));
}
