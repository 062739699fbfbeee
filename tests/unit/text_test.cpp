#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "common/text.h"

// Guard bytes after the buffer catch any write past its capacity.
struct Guarded {
    char bytes[16 + 8];
    Guarded() { memset(bytes, 0x5A, sizeof bytes); }
    char* buffer() { return bytes; }
    bool guardIntact() const {
        for (size_t i = 16; i < sizeof bytes; ++i)
            if (bytes[i] != 0x5A) return false;
        return true;
    }
};

TEST(BoundedText, CopyAppendAndFormatNeverPassTheirCapacity) {
    Guarded g;
    EXPECT_TRUE(copyText(g.buffer(), 16, "fifteen chars.."));
    EXPECT_STREQ("fifteen chars..", g.buffer());
    EXPECT_FALSE(copyText(g.buffer(), 16, "sixteen chars..."));
    EXPECT_STREQ("sixteen chars..", g.buffer());
    EXPECT_FALSE(appendToText(g.buffer(), 16, "more"));
    EXPECT_EQ(15u, strlen(g.buffer()));
    EXPECT_TRUE(g.guardIntact());

    Guarded f;
    EXPECT_TRUE(formatText(f.buffer(), 16, "%s-%d", "ab", 42));
    EXPECT_STREQ("ab-42", f.buffer());
    EXPECT_FALSE(formatText(f.buffer(), 16, "%s%s", "0123456789", "0123456789"));
    EXPECT_STREQ("012345678901234", f.buffer());
    EXPECT_TRUE(f.guardIntact());
}

TEST(BoundedText, FormatOfTextsLongerThanTheSystemFormatterTakes) {
    std::string huge(3000, 'x');
    char out[2000];
    EXPECT_FALSE(formatText(out, sizeof out, "%s", huge.c_str()));
    EXPECT_LE(strlen(out), 1024u);
}

TEST(BoundedText, AppendRepairsAnUnterminatedBuffer) {
    char buffer[4] = {'a', 'b', 'c', 'd'};
    EXPECT_FALSE(appendToText(buffer, sizeof buffer, "e"));
    EXPECT_EQ('\0', buffer[3]);
    EXPECT_EQ(3u, boundedLength(buffer, sizeof buffer));
}
