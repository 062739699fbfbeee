// Writer of Windows Help 3.1 files.
//
// A help file is a small file system: a 16-byte header, internal files each
// behind a 9-byte file header, and a directory of them kept as a B+ tree.
// We write the internal files a 3.1 viewer needs for a file with topics,
// jumps and context numbers:
//   |SYSTEM    version 1.21, no compression; title, copyright, contents topic
//   |FONT      one face and three descriptors (text, bold text, heading)
//   |TOPIC     the topics as a chain of records in 4 KB blocks
//   |CONTEXT   B+ tree: hash of each context name -> topic offset
//   |CTXOMAP   context numbers (for HELP_CONTEXT) -> topic offset
//   |TTLBTREE  B+ tree: topic offset -> topic title (history, search lists)
// Nothing depends on the clock or on memory addresses, so the same source
// always gives the same bytes.
//
// Two kinds of positions point into |TOPIC (see the comments at layOut):
// a TOPICPOS addresses a record (block * 0x4000 + byte offset in the block,
// counting the block's 12-byte header), and a TOPICOFFSET addresses text
// (block * 0x8000 + number of text characters before it in that block).
// Records never straddle blocks here: a record that does not fit the rest of
// a block starts the next one, so each block can be read on its own.
#include "hlpwriter.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace helpwriter {

namespace {

const uint32_t kFileMagic = 0x00035F3F;
const uint16_t kBTreeMagic = 0x293B;
const uint16_t kSystemMagic = 0x036C;
const uint16_t kVersionMinor = 21;  // the 3.1 format; read by 3.1 and 4.0 viewers
const uint8_t kFileFlags = 4;       // what help compilers store for every internal file

const uint32_t kBlockSize = 4096;
const uint32_t kBlockHeaderSize = 12;
const uint32_t kLinkHeaderSize = 21;
const uint32_t kTopicHeaderSize = 28;
const uint32_t kNone = 0xFFFFFFFF;
const uint32_t kMaxBlocks = 0x20000;
// The trees count their pages in 16 bits: with one title a page at worst,
// this many topics leave room for the index pages above them.
const size_t kMaxTopics = 0x7FFF;

const uint8_t kRecordTopicHeader = 0x02;
const uint8_t kRecordText = 0x20;

// Fonts, as indices into the |FONT descriptors.
const uint16_t kFontText = 0, kFontBold = 1, kFontHeading = 2;
const uint32_t kFaceNameSize = 20;  // the size 3.1 help files use

// Paragraph layout, in half points.
const int kSpaceAbove = 12;
const int kListSpaceAbove = 4;
const int kHeadingSpaceBelow = 4;
const int kListIndent = 24;

class Bytes {
public:
    std::vector<uint8_t> data;

    void u8(uint32_t v) { data.push_back(static_cast<uint8_t>(v)); }
    void u16(uint32_t v) {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    void u32(uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void append(const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        data.insert(data.end(), b, b + n);
    }
    void append(const std::vector<uint8_t>& v) { data.insert(data.end(), v.begin(), v.end()); }
    void zeros(size_t n) { data.insert(data.end(), n, 0); }
    void putU32At(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) data[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    void putU16At(size_t at, uint32_t v) {
        data[at] = static_cast<uint8_t>(v);
        data[at + 1] = static_cast<uint8_t>(v >> 8);
    }
    size_t size() const { return data.size(); }

    // The compressed numbers of topic records: the low bit of the first
    // byte (or word) says whether the long form follows.
    void compressedU16(uint32_t v) {  // 0..32767
        if (v < 0x80) {
            u8(v * 2);
        } else {
            u8(1 + (v % 128) * 2);
            u8(v / 128);
        }
    }
    void compressedS16(int v) {  // -16384..16383
        if (v >= -0x40 && v <= 0x3F)
            compressedU16(static_cast<uint32_t>(v + 0x40));
        else
            compressedU16(static_cast<uint32_t>(v + 0x4000));
    }
    void compressedU32(uint32_t v) {  // 0..2^31-1
        if (v < 0x8000) {
            u16(v * 2);
        } else {
            u16(1 + (v % 32768) * 2);
            u16(v / 32768);
        }
    }
    void compressedS32(int32_t v) {  // -2^30..2^30-1
        if (v >= -0x4000 && v <= 0x3FFF)
            compressedU32(static_cast<uint32_t>(v + 0x4000));
        else
            compressedU32(static_cast<uint32_t>(v + 0x40000000));
    }
};

std::vector<uint8_t> u32Bytes(uint32_t v) {
    Bytes b;
    b.u32(v);
    return b.data;
}

std::vector<uint8_t> stringZ(const std::string& s) {
    std::vector<uint8_t> v(s.begin(), s.end());
    v.push_back(0);
    return v;
}

// One record of the |TOPIC chain before it is placed in a block.
struct Record {
    uint8_t type = 0;
    std::vector<uint8_t> data1;  // LinkData1 (for a topic header: filled in at layout)
    std::vector<uint8_t> data2;  // LinkData2: title, or text with NUL between pieces
    int line = 0;                // source line, for messages
    uint32_t pos = 0;            // TOPICPOS, set by layOut
    uint32_t offset = 0;         // TOPICOFFSET, set by layOut
    uint32_t block = 0;
    uint32_t size() const { return kLinkHeaderSize + static_cast<uint32_t>(data1.size() + data2.size()); }
};

// Builds the LinkData1/LinkData2 pair of one displayable paragraph.
// LinkData2 holds text pieces separated by NUL; after each NUL the reader
// takes the next command from LinkData1 (font change, jump, end of jump,
// tab, end of paragraph, end of record).
class ParagraphBuilder {
public:
    explicit ParagraphBuilder(const Paragraph& para) : para_(para) {}

    void build(Record* rec) {
        uint16_t bits = 0x0002;  // spacing above follows
        if (para_.kind == ParagraphKind::Heading) bits |= 0x0004;  // spacing below
        if (para_.kind == ParagraphKind::ListItem) bits |= 0x0010 | 0x0040 | 0x0200;
        info_.u8(0x00);
        info_.u8(0x80);
        info_.u16(0);  // paragraph id
        info_.u16(bits);
        info_.compressedS16(para_.kind == ParagraphKind::ListItem ? kListSpaceAbove : kSpaceAbove);
        if (bits & 0x0004) info_.compressedS16(kHeadingSpaceBelow);
        if (para_.kind == ParagraphKind::ListItem) {
            info_.compressedS16(kListIndent);   // left indent
            info_.compressedS16(-kListIndent);  // the marker starts at the margin
            info_.compressedS16(1);             // one tab stop, where the text starts
            info_.compressedU16(kListIndent);
        }

        if (para_.kind == ParagraphKind::Heading) {
            font(kFontHeading);
            text_ += para_.runs[0].text;
        } else {
            if (para_.kind == ParagraphKind::ListItem) {
                font(kFontText);
                text_ += para_.marker;
                command(0x83);  // tab to the item's text
            }
            for (const TextRun& run : para_.runs) {
                font(run.bold ? kFontBold : kFontText);
                if (!run.target.empty()) {
                    command(0xE3);  // jump to topic, shown green and underlined
                    info_.u32(contextHash(run.target));
                    text_ += run.text;
                    command(0x89);  // end of hotspot
                } else {
                    text_ += run.text;
                }
            }
        }
        command(0x82);  // end of paragraph
        command(0xFF);  // end of the record's commands

        // LinkData1 starts with the size of the rest of LinkData1 and the
        // length of LinkData2, both compressed.
        Bytes data1;
        data1.compressedS32(static_cast<int32_t>(info_.size()));
        data1.compressedU16(static_cast<uint32_t>(text_.size()));
        data1.append(info_.data);
        rec->type = kRecordText;
        rec->data1 = data1.data;
        rec->data2.assign(text_.begin(), text_.end());
        rec->line = para_.line;
    }

private:
    void command(uint8_t code) {
        text_.push_back('\0');
        info_.u8(code);
    }
    void font(uint16_t font) {
        if (font == font_) return;
        command(0x80);
        info_.u16(font);
        font_ = font;
    }

    const Paragraph& para_;
    Bytes info_;
    std::string text_;
    int font_ = -1;
};

// Places the records in 4 KB blocks and gives each its TOPICPOS and
// TOPICOFFSET. The character count of a block restarts at 0 in each block
// and counts the LinkData2 bytes of the text records before the position.
bool layOut(std::vector<Record>* records, std::vector<Diagnostic>* errors) {
    uint32_t block = 0, used = kBlockHeaderSize, chars = 0;
    for (Record& rec : *records) {
        if (rec.size() > kBlockSize - kBlockHeaderSize) {
            errors->push_back({rec.line, "paragraph too long for a 4 KB topic block (" +
                                             std::to_string(rec.size()) + " bytes with its record); split it"});
            continue;
        }
        if (used + rec.size() > kBlockSize) {
            // A TOPICOFFSET holds the block number times 0x8000 in 32 bits.
            if (block + 1 >= kMaxBlocks) {
                errors->push_back({rec.line, "the topics fill more than " + std::to_string(kMaxBlocks) +
                                                 " blocks of 4 KB, more than a help file can address"});
                return false;
            }
            ++block;
            used = kBlockHeaderSize;
            chars = 0;
        }
        rec.block = block;
        rec.pos = block * 0x4000 + used;
        rec.offset = block * 0x8000 + chars;
        used += rec.size();
        if (rec.type != kRecordTopicHeader) chars += static_cast<uint32_t>(rec.data2.size());
    }
    return errors->empty();
}

std::vector<uint8_t> buildTopicFile(std::vector<Record>& records) {
    // Topic headers: sizes and chain positions now that every record is placed.
    std::vector<size_t> headers;
    for (size_t i = 0; i < records.size(); ++i)
        if (records[i].type == kRecordTopicHeader) headers.push_back(i);
    for (size_t h = 0; h < headers.size(); ++h) {
        size_t first = headers[h];
        size_t next = h + 1 < headers.size() ? headers[h + 1] : records.size();
        uint32_t topicSize = 0;
        for (size_t i = first; i < next; ++i) topicSize += records[i].size();
        Bytes d;
        d.u32(topicSize);
        d.u32(kNone);  // no browse sequence
        d.u32(kNone);
        d.u32(static_cast<uint32_t>(h));
        d.u32(kNone);  // no non-scrolling region
        d.u32(first + 1 < next ? records[first + 1].pos : kNone);  // scrolling region
        d.u32(h + 1 < headers.size() ? records[next].pos : kNone);
        records[first].data1 = d.data;
    }

    uint32_t blocks = records.empty() ? 1 : records.back().block + 1;
    Bytes out;
    size_t r = 0;
    uint32_t lastLink = kNone, lastHeader = 0;
    for (uint32_t b = 0; b < blocks; ++b) {
        size_t blockStart = out.size();
        out.u32(lastLink);
        out.u32(r < records.size() && records[r].block == b ? records[r].pos : kNone);
        out.u32(lastHeader);
        for (; r < records.size() && records[r].block == b; ++r) {
            const Record& rec = records[r];
            out.u32(rec.size());
            out.u32(static_cast<uint32_t>(rec.data2.size()));
            out.u32(r > 0 ? records[r - 1].pos : kNone);
            out.u32(r + 1 < records.size() ? records[r + 1].pos : kNone);
            out.u32(kLinkHeaderSize + static_cast<uint32_t>(rec.data1.size()));
            out.u8(rec.type);
            out.append(rec.data1);
            out.append(rec.data2);
            lastLink = rec.pos;
            if (rec.type == kRecordTopicHeader) lastHeader = rec.pos;
        }
        // Unused space up to the next block is zero; the last block is padded
        // too, as some readers copy whole blocks.
        out.zeros(blockStart + kBlockSize - out.size());
    }
    return out.data;
}

std::vector<uint8_t> buildSystemFile(const HelpSource& source, uint32_t contentsOffset) {
    Bytes s;
    s.u16(kSystemMagic);
    s.u16(kVersionMinor);
    s.u16(1);  // major version
    s.u32(source.date);
    s.u16(0);  // flags: topics not compressed, 4 KB blocks
    auto record = [&](uint16_t type, const std::vector<uint8_t>& data) {
        s.u16(type);
        s.u16(static_cast<uint32_t>(data.size()));
        s.append(data);
    };
    record(1, stringZ(source.title));
    if (!source.copyright.empty()) record(2, stringZ(source.copyright));
    record(3, u32Bytes(contentsOffset));
    return s.data;
}

std::vector<uint8_t> buildFontFile() {
    struct Descriptor {
        uint8_t attributes;  // 1 = bold
        uint8_t halfPoints;
    };
    const Descriptor kDescriptors[] = {{0, 20}, {1, 20}, {1, 28}};  // text, bold, heading
    const uint32_t count = sizeof kDescriptors / sizeof kDescriptors[0];
    Bytes f;
    f.u16(1);  // face names
    f.u16(count);
    f.u16(8);  // face names follow this header
    f.u16(8 + kFaceNameSize);
    char face[kFaceNameSize] = {0};
    memcpy(face, "Arial", 5);
    f.append(face, sizeof face);
    for (const Descriptor& d : kDescriptors) {
        f.u8(d.attributes);
        f.u8(d.halfPoints);
        f.u8(3);   // family: swiss
        f.u16(0);  // face name index
        f.zeros(3);  // foreground: black
        f.zeros(3);  // background (unused)
    }
    return f.data;
}

struct InternalFile {
    std::string name;
    std::vector<uint8_t> data;
};

}  // namespace

std::vector<uint8_t> buildBTree(uint16_t flags, uint16_t pageSize, const char* structure,
                                const std::vector<BTreeEntry>& entries) {
    const uint32_t kLeafHeader = 8, kIndexHeader = 6;
    std::vector<std::vector<uint8_t>> pages;
    // For each page of the level being built: page number and its first key.
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> level;

    // Leaf pages, chained both ways.
    size_t i = 0;
    do {
        Bytes page;
        page.zeros(kLeafHeader);
        uint32_t count = 0;
        std::vector<uint8_t> firstKey;
        while (i < entries.size() && page.size() + entries[i].leaf.size() <= pageSize) {
            if (count == 0) firstKey = entries[i].key;
            page.append(entries[i].leaf);
            ++count;
            ++i;
        }
        uint16_t number = static_cast<uint16_t>(pages.size());
        uint32_t unused = pageSize - static_cast<uint32_t>(page.size());
        page.putU16At(0, unused);
        page.putU16At(2, count);
        page.putU16At(4, number == 0 ? 0xFFFF : number - 1u);
        page.putU16At(6, i < entries.size() ? number + 1u : 0xFFFF);
        page.zeros(unused);
        pages.push_back(page.data);
        level.push_back({number, firstKey});
    } while (i < entries.size());

    // Index levels until one page (the root) is left. An index page names
    // its first child in its header and then, for every further child, the
    // first key of that child and its page number.
    uint16_t levels = 1;
    while (level.size() > 1) {
        std::vector<std::pair<uint16_t, std::vector<uint8_t>>> upper;
        size_t c = 0;
        while (c < level.size()) {
            Bytes page;
            page.zeros(kIndexHeader);
            std::vector<uint8_t> firstKey = level[c].second;
            page.putU16At(4, level[c].first);
            ++c;
            uint32_t count = 0;
            while (c < level.size() && page.size() + level[c].second.size() + 2 <= pageSize) {
                page.append(level[c].second);
                page.u16(level[c].first);
                ++count;
                ++c;
            }
            uint16_t number = static_cast<uint16_t>(pages.size());
            uint32_t unused = pageSize - static_cast<uint32_t>(page.size());
            page.putU16At(0, unused);
            page.putU16At(2, count);
            page.zeros(unused);
            pages.push_back(page.data);
            upper.push_back({number, firstKey});
        }
        level.swap(upper);
        ++levels;
    }

    Bytes tree;
    tree.u16(kBTreeMagic);
    tree.u16(flags);
    tree.u16(pageSize);
    char format[16] = {0};
    strncpy(format, structure, sizeof format - 1);
    tree.append(format, sizeof format);
    tree.u16(0);  // must be zero
    // Every page but the first of each level came from a split.
    tree.u16(static_cast<uint32_t>(pages.size()) - levels);
    tree.u16(level[0].first);  // root page
    tree.u16(0xFFFF);
    tree.u16(static_cast<uint32_t>(pages.size()));
    tree.u16(levels);
    tree.u32(static_cast<uint32_t>(entries.size()));
    for (const std::vector<uint8_t>& page : pages) tree.append(page);
    return tree.data;
}

bool writeHelpFile(const HelpSource& source, std::vector<uint8_t>* out,
                   std::vector<Diagnostic>* errors) {
    errors->clear();
    out->clear();
    if (source.topics.size() > kMaxTopics) {
        errors->push_back({source.topics[kMaxTopics].line, "more than " + std::to_string(kMaxTopics) +
                                                               " topics; the help format's trees hold no more"});
        return false;
    }
    // The parser holds titles to these limits; a title past them would never
    // fit a tree page, and a |SYSTEM record would get a cut size.
    for (const Topic& topic : source.topics) {
        if (topic.title.size() > kMaxTopicTitle) {
            errors->push_back({topic.line, "topic title longer than " + std::to_string(kMaxTopicTitle) + " characters"});
            return false;
        }
    }
    if (source.title.size() > kMaxSystemText || source.copyright.size() > kMaxSystemText) {
        errors->push_back({1, "title or copyright longer than " + std::to_string(kMaxSystemText) + " characters"});
        return false;
    }

    // The |TOPIC records: per topic a header and its paragraphs (the first
    // one its heading); then an empty header that closes the chain.
    std::vector<Record> records;
    std::vector<size_t> headerOf(source.topics.size());
    for (size_t t = 0; t < source.topics.size(); ++t) {
        const Topic& topic = source.topics[t];
        Record header;
        header.type = kRecordTopicHeader;
        header.data1.assign(kTopicHeaderSize, 0);
        header.data2.assign(topic.title.begin(), topic.title.end());
        header.line = topic.line;
        headerOf[t] = records.size();
        records.push_back(header);
        for (const Paragraph& para : topic.paragraphs) {
            Record rec;
            ParagraphBuilder(para).build(&rec);
            records.push_back(rec);
        }
    }
    Record closing;
    closing.type = kRecordTopicHeader;
    closing.data1.assign(kTopicHeaderSize, 0);
    records.push_back(closing);
    if (!layOut(&records, errors)) return false;

    auto offsetOf = [&](size_t t) { return records[headerOf[t]].offset; };

    std::vector<InternalFile> files;
    files.push_back({"|TOPIC", buildTopicFile(records)});
    files.push_back({"|SYSTEM", buildSystemFile(source, offsetOf(0))});
    files.push_back({"|FONT", buildFontFile()});

    // |CONTEXT, ordered by hash taken as a signed number (how viewers compare).
    std::vector<std::pair<int32_t, uint32_t>> contexts;
    for (size_t t = 0; t < source.topics.size(); ++t)
        contexts.push_back({static_cast<int32_t>(contextHash(source.topics[t].name)), offsetOf(t)});
    std::sort(contexts.begin(), contexts.end());
    std::vector<BTreeEntry> entries;
    for (const auto& c : contexts) {
        Bytes leaf;
        leaf.u32(static_cast<uint32_t>(c.first));
        leaf.u32(c.second);
        entries.push_back({leaf.data, u32Bytes(static_cast<uint32_t>(c.first))});
    }
    files.push_back({"|CONTEXT", buildBTree(0x0002, 0x0800, "L4", entries)});

    // |TTLBTREE, ordered by topic offset (the topics' order in |TOPIC).
    entries.clear();
    for (size_t t = 0; t < source.topics.size(); ++t) {
        Bytes leaf;
        leaf.u32(offsetOf(t));
        leaf.append(stringZ(source.topics[t].title));
        entries.push_back({leaf.data, u32Bytes(offsetOf(t))});
    }
    files.push_back({"|TTLBTREE", buildBTree(0x0002, 0x0800, "Lz", entries)});

    // |CTXOMAP, ordered by number.
    std::vector<std::pair<int32_t, uint32_t>> maps;
    for (size_t t = 0; t < source.topics.size(); ++t)
        if (source.topics[t].mapId != 0) maps.push_back({source.topics[t].mapId, offsetOf(t)});
    std::sort(maps.begin(), maps.end());
    Bytes ctxomap;
    ctxomap.u16(static_cast<uint32_t>(maps.size()));
    for (const auto& m : maps) {
        ctxomap.u32(static_cast<uint32_t>(m.first));
        ctxomap.u32(m.second);
    }
    files.push_back({"|CTXOMAP", ctxomap.data});

    // The file: header, internal files in name order, then the directory.
    std::sort(files.begin(), files.end(),
              [](const InternalFile& a, const InternalFile& b) { return strcmp(a.name.c_str(), b.name.c_str()) < 0; });
    Bytes body;
    entries.clear();
    uint32_t offset = 16;
    for (const InternalFile& f : files) {
        Bytes leaf;
        leaf.append(stringZ(f.name));
        leaf.u32(offset);
        entries.push_back({leaf.data, stringZ(f.name)});
        uint32_t used = static_cast<uint32_t>(f.data.size());
        body.u32(used + 9);  // space reserved, with this header
        body.u32(used);
        body.u8(kFileFlags);
        body.append(f.data);
        offset += used + 9;
    }
    std::vector<uint8_t> directory = buildBTree(0x0402, 0x0400, "z4", entries);
    uint32_t directoryStart = offset;
    uint32_t total = directoryStart + 9 + static_cast<uint32_t>(directory.size());

    Bytes file;
    file.u32(kFileMagic);
    file.u32(directoryStart);
    file.u32(kNone);  // no free blocks
    file.u32(total);
    file.append(body.data);
    file.u32(static_cast<uint32_t>(directory.size()) + 9);
    file.u32(static_cast<uint32_t>(directory.size()));
    file.u8(kFileFlags);
    file.append(directory);
    out->swap(file.data);
    return true;
}

}  // namespace helpwriter
