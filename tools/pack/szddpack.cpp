// szddpack: packs one file into the SZDD form that the LZ expansion functions
// of 32-bit Windows (LZOpenFileA, LZCopy) expand.
//
//   szddpack IN OUT [MISSINGCHAR]
//
// The packed file is a 14-byte header followed by LZSS codes:
//   0..7   magic 53 5A 44 44 88 F0 27 33 ("SZDD" and four fixed bytes)
//   8      method 'A'
//   9      the last character of the original file name, which the packed
//          name replaces with '_' (0 when not given)
//   10..13 length of the expanded file, 32-bit little-endian
// The codes come in groups of up to eight items led by a flag byte whose bits,
// lowest first, say which items are literals (bit set, one byte) and which are
// matches (bit clear, two bytes: the low 8 bits of the window position, then
// the high 4 bits of the position above the match length minus 3). The window
// is a 4096-byte ring filled with blanks whose first write position is 4080.
//
// The parse is optimal for that code: for every position the longest match in
// the window is found through hash chains, and a backward pass picks the
// literal/match sequence with the fewest bits. The output depends only on the
// input bytes and the arguments.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kWindowSize = 4096;
constexpr uint32_t kWindowMask = kWindowSize - 1;
constexpr uint32_t kFirstWritePos = kWindowSize - 16;
constexpr uint32_t kMinMatch = 3;
constexpr uint32_t kMaxMatch = 18;
// Matches reach back at most this far, so that a match never reads a ring
// cell that the same match is about to overwrite from the far side: the
// window the classic packers use, and so every expander's tested case.
constexpr uint32_t kMaxDistance = kWindowSize - kMaxMatch;
// The expanders report the length as a signed 32-bit count.
constexpr uint64_t kMaxInputSize = 0x7FFFFFFFu;
// The backward pass works on blocks of this many positions to bound memory;
// a match never crosses a block end.
constexpr size_t kParseBlock = 1u << 20;

constexpr uint32_t kHashBits = 16;
constexpr uint32_t kNoPosition = 0xFFFFFFFFu;

const unsigned char kMagic[8] = {0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33};

struct Match {
    uint16_t length;    // 0 when no match of kMinMatch bytes or more exists
    uint16_t distance;  // 1..kMaxDistance
};

// Finds the longest match for each position of `text`, which holds the
// window's initial blanks followed by the input (input starts at `base`).
class MatchFinder {
public:
    MatchFinder(const std::vector<unsigned char>& text, size_t base)
        : text_(text), head_(size_t(1) << kHashBits, kNoPosition), prev_(kWindowSize, kNoPosition) {
        // Runs of blanks at the start can come from the initial window; one
        // run of kMaxMatch blanks right before the input is enough to reach
        // every such match, and keeps the chains short.
        for (size_t p = base - kMaxMatch; p < base; ++p) insert(uint32_t(p));
    }

    Match longest(uint32_t pos, uint32_t limit) const {
        Match best = {0, 0};
        if (limit < kMinMatch) return best;
        if (limit > kMaxMatch) limit = kMaxMatch;
        const unsigned char* cur = &text_[pos];
        for (uint32_t cand = head_[hash(pos)]; cand != kNoPosition; cand = prev_[cand & kWindowMask]) {
            uint32_t distance = pos - cand;
            if (cand >= pos || distance > kMaxDistance) break;
            // Overlapping matches are fine: the expander copies byte by byte.
            const unsigned char* src = &text_[cand];
            uint32_t n = 0;
            while (n < limit && src[n] == cur[n]) ++n;
            if (n > best.length) {
                best.length = uint16_t(n);
                best.distance = uint16_t(distance);
                if (n == limit) break;
            }
        }
        if (best.length < kMinMatch) best.length = 0;
        return best;
    }

    // Positions must be inserted in increasing order; the last two bytes of
    // the text start no match and are never inserted.
    void insert(uint32_t pos) {
        if (size_t(pos) + kMinMatch > text_.size()) return;
        uint32_t h = hash(pos);
        prev_[pos & kWindowMask] = head_[h];
        head_[h] = pos;
    }

private:
    uint32_t hash(uint32_t pos) const {
        uint32_t key = uint32_t(text_[pos]) | uint32_t(text_[pos + 1]) << 8 | uint32_t(text_[pos + 2]) << 16;
        return (key * 2654435761u) >> (32 - kHashBits);
    }

    const std::vector<unsigned char>& text_;
    std::vector<uint32_t> head_;
    std::vector<uint32_t> prev_;  // ring: older positions drop out of the window anyway
};

// Collects items into flag-led groups of eight.
class CodeWriter {
public:
    explicit CodeWriter(std::vector<unsigned char>& out) : out_(out) {}

    void literal(unsigned char byte) {
        beginItem();
        out_[flagAt_] |= static_cast<unsigned char>(1u << count_);
        out_.push_back(byte);
        ++count_;
    }

    void match(uint32_t windowPos, uint32_t length) {
        beginItem();
        out_.push_back(static_cast<unsigned char>(windowPos & 0xFF));
        out_.push_back(static_cast<unsigned char>(((windowPos >> 4) & 0xF0) | (length - kMinMatch)));
        ++count_;
    }

private:
    void beginItem() {
        if (count_ == 8 || flagAt_ == kNone) {
            flagAt_ = out_.size();
            out_.push_back(0);
            count_ = 0;
        }
    }

    static constexpr size_t kNone = ~size_t(0);
    std::vector<unsigned char>& out_;
    size_t flagAt_ = kNone;
    unsigned count_ = 0;
};

void putLe32(std::vector<unsigned char>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// Packs `input` (already preceded by kWindowSize blanks in `text`).
void encode(const std::vector<unsigned char>& text, size_t base, std::vector<unsigned char>& out) {
    const size_t size = text.size() - base;
    CodeWriter writer(out);
    MatchFinder finder(text, base);

    std::vector<Match> matches;
    std::vector<uint64_t> cost;   // bits from a position to the block end
    std::vector<uint8_t> choice;  // 0: literal, else the match length taken
    for (size_t block = 0; block < size; block += kParseBlock) {
        const size_t n = size - block < kParseBlock ? size - block : kParseBlock;
        matches.assign(n, Match{0, 0});
        for (size_t i = 0; i < n; ++i) {
            uint32_t pos = uint32_t(base + block + i);
            matches[i] = finder.longest(pos, uint32_t(n - i));
            finder.insert(pos);
        }

        // A literal costs a flag bit and a byte, a match a flag bit and two
        // bytes; any prefix of the longest match is a match too. Ties go to
        // the longer match.
        cost.assign(n + 1, 0);
        choice.assign(n, 0);
        for (size_t i = n; i-- > 0;) {
            uint64_t best = cost[i + 1] + 9;
            uint8_t take = 0;
            for (uint32_t len = matches[i].length; len >= kMinMatch; --len) {
                uint64_t c = cost[i + len] + 17;
                if (c < best) {
                    best = c;
                    take = uint8_t(len);
                }
            }
            cost[i] = best;
            choice[i] = take;
        }

        for (size_t i = 0; i < n;) {
            size_t abs = block + i;
            if (choice[i] == 0) {
                writer.literal(text[base + abs]);
                ++i;
            } else {
                // Input byte k lands at ring cell (kFirstWritePos + k) mod 4096.
                uint32_t src = uint32_t((kFirstWritePos + abs - matches[i].distance) & kWindowMask);
                writer.match(src, choice[i]);
                i += choice[i];
            }
        }
    }
}

bool readFile(const char* path, std::vector<unsigned char>& data, size_t offset) {
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::fprintf(stderr, "szddpack: cannot open %s: %s\n", path, std::strerror(errno));
        return false;
    }
    unsigned char buf[65536];
    bool ok = true;
    size_t got;
    data.resize(offset);
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (data.size() - offset + got > kMaxInputSize) {
            std::fprintf(stderr, "szddpack: %s is larger than %llu bytes, the most a packed file can hold\n",
                         path, static_cast<unsigned long long>(kMaxInputSize));
            ok = false;
            break;
        }
        data.insert(data.end(), buf, buf + got);
    }
    if (ok && std::ferror(f)) {
        std::fprintf(stderr, "szddpack: cannot read %s: %s\n", path, std::strerror(errno));
        ok = false;
    }
    std::fclose(f);
    return ok;
}

bool writeFile(const char* path, const std::vector<unsigned char>& data) {
    FILE* f = std::fopen(path, "wb");
    if (!f) {
        std::fprintf(stderr, "szddpack: cannot create %s: %s\n", path, std::strerror(errno));
        return false;
    }
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) {
        std::fprintf(stderr, "szddpack: cannot write %s: %s\n", path, std::strerror(errno));
        std::remove(path);  // never leave a truncated packed file behind
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr,
                     "usage: szddpack IN OUT [MISSINGCHAR]\n"
                     "  packs IN into the SZDD form; MISSINGCHAR is the last character of the\n"
                     "  original file name that the packed name replaces (stored as 0 if omitted)\n");
        return 2;
    }
    unsigned char missing = 0;
    if (argc == 4) {
        if (std::strlen(argv[3]) != 1) {
            std::fprintf(stderr, "szddpack: MISSINGCHAR must be a single character, not \"%s\"\n", argv[3]);
            return 2;
        }
        missing = static_cast<unsigned char>(argv[3][0]);
    }

    // The window's initial blanks go in front of the input, so that the
    // match search sees exactly what the expander's ring holds.
    std::vector<unsigned char> text(kWindowSize, ' ');
    if (!readFile(argv[1], text, kWindowSize)) return 1;
    const size_t size = text.size() - kWindowSize;

    std::vector<unsigned char> out(kMagic, kMagic + sizeof kMagic);
    out.push_back('A');
    out.push_back(missing);
    putLe32(out, uint32_t(size));
    out.reserve(out.size() + size + size / 8 + 16);
    encode(text, kWindowSize, out);

    return writeFile(argv[2], out) ? 0 : 1;
}
