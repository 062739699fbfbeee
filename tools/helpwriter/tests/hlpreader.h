// A reader of Windows Help files, written apart from the writer so that the
// tests check what zeltohelp emits against the format, not against itself.
// It reads uncompressed 3.1-style files (what the writer makes) and records
// every inconsistency it meets in problems. Used by the host tests and,
// cross-compiled, by the tests that drive Wine's help viewer.
#ifndef ZELTO_HELPWRITER_TESTS_HLPREADER_H
#define ZELTO_HELPWRITER_TESTS_HLPREADER_H

#include <cstdint>
#include <string>
#include <vector>

namespace hlpread {

// Context name hash, from the character table of the format description.
uint32_t hash(const std::string& name);

struct Link {
    std::string text;   // the hotspot text
    uint32_t hash = 0;  // context hash of the target
    uint32_t start = 0; // where the hotspot starts in its paragraph's text
};

struct Segment {
    std::string text;
    int font = -1;     // |FONT descriptor in effect
    bool link = false; // inside a jump hotspot
};

struct Paragraph {
    uint32_t pos = 0;        // TOPICPOS of its record
    std::string text;        // all its text; "\t" for a tab
    std::vector<Segment> segments;
    std::vector<Link> links;
    uint16_t bits = 0;       // paragraph format bits
};

struct Topic {
    uint32_t pos = 0;     // TOPICPOS of the topic header
    uint32_t offset = 0;  // TOPICOFFSET of the topic header
    uint32_t number = 0;
    std::string title;
    std::vector<Paragraph> paragraphs;
    std::string text() const;  // paragraphs joined with "\n"
};

struct InternalFile {
    std::string name;
    uint32_t offset = 0;  // of its file header in the help file
    uint32_t used = 0;
};

struct Font {
    uint8_t attributes = 0;
    uint8_t halfPoints = 0;
    uint8_t family = 0;
    std::string face;
};

class HelpFile {
public:
    // Reads the whole file. Returns false if it cannot be read at all (the
    // reason is in problems); structural faults that still let reading go
    // on are added to problems as well.
    bool load(const std::vector<uint8_t>& data);

    // Looks a name up by descending the directory B+ tree from its root.
    bool findFile(const std::string& name, InternalFile* file) const;
    // Looks a context hash up by descending the |CONTEXT B+ tree.
    bool lookupContext(uint32_t hash, uint32_t* offset) const;
    // The topic whose header has this TOPICOFFSET, or null.
    const Topic* topicAtOffset(uint32_t offset) const;
    // The topic a context number (HELP_CONTEXT) opens, or null.
    const Topic* topicForMap(int32_t id) const;

    std::vector<std::string> problems;
    std::vector<InternalFile> files;  // the directory, read along its leaf chain
    uint16_t minor = 0, major = 0, flags = 0;
    uint32_t date = 0;
    std::string title, copyright;
    bool hasContents = false;
    uint32_t contents = 0;
    std::vector<Font> fonts;
    std::vector<Topic> topics;
    std::vector<std::pair<int32_t, uint32_t>> ctxomap;     // number, offset
    std::vector<std::pair<uint32_t, std::string>> titles;  // |TTLBTREE: offset, title
    std::vector<std::pair<uint32_t, uint32_t>> contexts;   // |CONTEXT leaves: hash, offset
    uint32_t topicBlocks = 0;

private:
    struct Tree {
        uint32_t start = 0, end = 0;  // the tree's bytes in data_
        uint16_t pageSize = 0, root = 0, levels = 0, pages = 0;
        uint32_t entries = 0;
    };
    bool problem(const std::string& what);
    bool readTree(const InternalFile& file, Tree* tree);
    // Walks the leaf chain; entry() reads one leaf entry at p and returns its size (0 = bad).
    template <typename F> bool walkLeaves(const Tree& tree, F entry);
    uint32_t u8(uint32_t at) const;
    uint32_t u16(uint32_t at) const;
    uint32_t u32(uint32_t at) const;
    std::string str(uint32_t at, uint32_t end) const;
    bool fits(uint32_t at, uint32_t n) const { return at <= data_.size() && n <= data_.size() - at; }
    bool readSystem();
    bool readFont();
    bool readTopic();
    void readParagraph(uint32_t pos, const uint8_t* rec, uint32_t size1, uint32_t size2, Paragraph* para);

    std::vector<uint8_t> data_;
    Tree dir_, context_;
    bool haveContext_ = false;
};

}  // namespace hlpread

#endif
