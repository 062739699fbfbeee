// The image checksum of a program file, the value Windows' image tools write into
// the optional header's CheckSum field: the file's 16-bit little-endian words
// summed with end-around carry (an odd last byte is a word of its own), the
// CheckSum field itself counted as 0, and the file's length added. The installer
// checks its own file with it; the host tool pechecksum writes it. No Windows
// headers here: the host tool is built for the build machine.
#pragma once
#include <stddef.h>
#include <stdint.h>

class ImageSum {
public:
    // The file's bytes in order, in blocks of any size.
    void add(const uint8_t* bytes, size_t count) {
        uint32_t start = length_;
        take(bytes, count, kHeaderLink, &headerLink_, &headerLinkBytes_);
        // The field sits 88 bytes into the header that the link at 0x3C points to:
        // 4 bytes of signature, 20 of file header, 64 into the optional header.
        // A link past 2 GB leads to no field in any file this reads.
        if (headerLinkBytes_ == 4 && field_ == 0)
            field_ = headerLink_ < 0x80000000u ? headerLink_ + 88 : 0xFFFFFFFFu;
        size_t skipFrom = count, skipTo = count;
        if (field_ != 0 && field_ < start + count && field_ + 4 > start) {
            take(bytes, count, field_, &stored_, &storedBytes_);
            skipFrom = field_ > start ? size_t(field_ - start) : 0;
            skipTo = field_ + 4 - start < count ? size_t(field_ + 4 - start) : count;
        }
        addWords(bytes, skipFrom, start);
        addWords(bytes + skipTo, count - skipTo, start + skipTo);
        length_ += count;
    }

    // The CheckSum field was within the bytes given; otherwise the file is no program.
    bool fieldSeen() const { return storedBytes_ == 4; }
    uint32_t fieldOffset() const { return field_; }
    uint32_t stored() const { return stored_; }

    uint32_t checksum() const {
        uint32_t sum = total_;
        while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
        return sum + length_;
    }

private:
    static const uint32_t kHeaderLink = 0x3C;

    // Keeps the 4 bytes from offset at of the file, as far as this block holds them.
    void take(const uint8_t* bytes, size_t count, uint32_t at, uint32_t* value, int* seen) {
        for (int i = 0; i < 4; ++i) {
            uint32_t position = at + i;
            if (position < length_ || position >= length_ + count) continue;
            *value |= uint32_t(bytes[position - length_]) << (8 * i);
            ++*seen;
        }
    }

    // Adds bytes that start at offset position of the file. Words are summed two
    // at a time: 0x10000 is 1 in this arithmetic (modulo 0xFFFF, which divides
    // 0xFFFFFFFF), so a 32-bit value counts as its two words, and only a byte's
    // odd or even offset matters.
    void addWords(const uint8_t* bytes, size_t count, uint32_t position) {
        uint32_t sum = 0;
        if (count != 0 && (position & 1)) {
            sum = uint32_t(bytes[0]) << 8;
            ++bytes;
            --count;
        }
        // Two sums side by side halve the chain of dependent additions; each
        // carry out of the top bit comes back in at the bottom.
        uint32_t other = 0;
        for (; count >= 8; bytes += 8, count -= 8) {
            uint32_t low = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 |
                           uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
            uint32_t high = uint32_t(bytes[4]) | uint32_t(bytes[5]) << 8 |
                            uint32_t(bytes[6]) << 16 | uint32_t(bytes[7]) << 24;
            // Written out, not through addCarried: the optimiser for size would
            // make this loop, which runs over the whole file, a chain of calls.
            sum += low;
            sum += sum < low;
            other += high;
            other += other < high;
        }
        // What is left, up to 7 bytes: a byte at an odd offset counts as shifted by 8.
        for (size_t i = 0; i < count; ++i) addCarried(other, uint32_t(bytes[i]) << (8 * (i & 1)));
        addCarried(sum, other);
        addCarried(total_, sum);
    }

    static void addCarried(uint32_t& sum, uint32_t value) {
        sum += value;
        sum += sum < value;
    }

    // Sizes and offsets in 32 bits: a program file is smaller than 4 GB.
    uint32_t total_ = 0;
    uint32_t length_ = 0;
    uint32_t field_ = 0;  // 0 until the link to the header was seen
    uint32_t headerLink_ = 0;
    int headerLinkBytes_ = 0;
    uint32_t stored_ = 0;
    int storedBytes_ = 0;
};

#ifdef _WIN32
#include <windows.h>
// Reads an open file from its start in blocks: true when its stored checksum is
// its own. A file that cannot be read, that holds no CheckSum field or stores 0
// there (which no build writes) is not intact; so is no file at all
// (INVALID_HANDLE_VALUE).
bool imageFileIntact(HANDLE file);
#endif
