// Reader of Windows Help files for the tests; see hlpreader.h.
#include "hlpreader.h"

#include <cstring>

namespace hlpread {

namespace {

const uint32_t kNone = 0xFFFFFFFF;
const uint32_t kBlockSize = 4096;
const uint32_t kTreeHeader = 38;

std::string num(uint32_t v) { return std::to_string(v); }

std::string hex(uint32_t v) {
    char buf[16];
    snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

// A cursor over topic record data with the format's compressed numbers.
struct Cursor {
    const uint8_t* p;
    const uint8_t* end;
    bool bad = false;

    uint32_t byte() {
        if (p >= end) {
            bad = true;
            return 0;
        }
        return *p++;
    }
    uint32_t word() {
        uint32_t lo = byte();
        return lo | (byte() << 8);
    }
    uint32_t dword() {
        uint32_t lo = word();
        return lo | (word() << 16);
    }
    uint32_t compressedUShort() {
        if (p < end && (*p & 1)) return word() / 2;
        return byte() / 2;
    }
    int compressedShort() {
        if (p < end && (*p & 1)) return static_cast<int>(word() / 2) - 0x4000;
        return static_cast<int>(byte() / 2) - 0x40;
    }
    int32_t compressedLong() {
        if (p < end && (*p & 1)) return static_cast<int32_t>(dword() / 2) - 0x40000000;
        return static_cast<int32_t>(word() / 2) - 0x4000;
    }
};

}  // namespace

uint32_t hash(const std::string& name) {
    // Values of the characters allowed in context names, as listed in the
    // format's 256-entry hash table.
    static int8_t table[256];
    static bool ready = false;
    if (!ready) {
        memset(table, 0, sizeof table);
        for (int i = 0; i < 26; ++i) {
            table['A' + i] = static_cast<int8_t>(0x11 + i);
            table['a' + i] = static_cast<int8_t>(0x11 + i);
        }
        for (int i = 1; i <= 9; ++i) table['0' + i] = static_cast<int8_t>(i);
        table['0'] = 0x0A;
        table['.'] = 0x0C;
        table['_'] = 0x0D;
        ready = true;
    }
    uint32_t hash = 0;
    for (unsigned char c : name) hash = hash * 43 + static_cast<uint32_t>(table[c]);
    return hash;
}

std::string Topic::text() const {
    std::string s;
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        if (i) s += "\n";
        s += paragraphs[i].text;
    }
    return s;
}

bool HelpFile::problem(const std::string& what) {
    problems.push_back(what);
    return false;
}

uint32_t HelpFile::u8(uint32_t at) const { return at < data_.size() ? data_[at] : 0; }
uint32_t HelpFile::u16(uint32_t at) const { return u8(at) | (u8(at + 1) << 8); }
uint32_t HelpFile::u32(uint32_t at) const { return u16(at) | (u16(at + 2) << 16); }

std::string HelpFile::str(uint32_t at, uint32_t end) const {
    std::string s;
    while (at < end && at < data_.size() && data_[at]) s.push_back(static_cast<char>(data_[at++]));
    return s;
}

bool HelpFile::readTree(const InternalFile& file, Tree* tree) {
    uint32_t start = file.offset + 9;
    if (file.used < kTreeHeader || !fits(start, file.used))
        return problem("B+ tree " + file.name + " is shorter than its header");
    if (u16(start) != 0x293B) return problem("B+ tree " + file.name + " has a bad magic");
    tree->start = start;
    tree->end = start + file.used;
    tree->pageSize = static_cast<uint16_t>(u16(start + 4));
    tree->root = static_cast<uint16_t>(u16(start + 26));
    tree->pages = static_cast<uint16_t>(u16(start + 30));
    tree->levels = static_cast<uint16_t>(u16(start + 32));
    tree->entries = u32(start + 34);
    if (u16(start + 22) != 0 || u16(start + 28) != 0xFFFF)
        problem("B+ tree " + file.name + ": fixed header fields are wrong");
    if (tree->pageSize == 0 || tree->levels == 0 || tree->root >= tree->pages)
        return problem("B+ tree " + file.name + ": bad page size, levels or root");
    if (kTreeHeader + static_cast<uint32_t>(tree->pages) * tree->pageSize != file.used)
        return problem("B+ tree " + file.name + ": " + num(tree->pages) + " pages do not fill its " +
                       num(file.used) + " bytes");
    return true;
}

template <typename F>
bool HelpFile::walkLeaves(const Tree& tree, F entry) {
    uint32_t pages = tree.start + kTreeHeader;
    uint32_t page = tree.root;
    for (int level = 1; level < tree.levels; ++level) page = u16(pages + page * tree.pageSize + 4);
    uint32_t prev = 0xFFFF, total = 0;
    for (uint32_t walked = 0; page != 0xFFFF; ++walked) {
        if (page >= tree.pages || walked >= tree.pages) return problem("B+ tree leaf chain is broken");
        uint32_t at = pages + page * tree.pageSize;
        uint32_t unused = u16(at), count = u16(at + 2);
        if (u16(at + 4) != prev) problem("B+ tree leaf " + num(page) + " names the wrong previous page");
        uint32_t p = at + 8, limit = at + tree.pageSize;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t n = entry(p, limit);
            if (n == 0) return problem("B+ tree leaf " + num(page) + " has a bad entry");
            p += n;
        }
        if (limit - p != unused) problem("B+ tree leaf " + num(page) + ": free byte count is wrong");
        total += count;
        prev = page;
        page = u16(at + 6);
    }
    if (total != tree.entries)
        problem("B+ tree holds " + num(total) + " entries, its header says " + num(tree.entries));
    return true;
}

bool HelpFile::findFile(const std::string& name, InternalFile* file) const {
    const Tree& t = dir_;
    uint32_t pages = t.start + kTreeHeader;
    uint32_t page = t.root;
    for (int level = 1; level < t.levels; ++level) {
        uint32_t at = pages + page * t.pageSize;
        uint32_t count = u16(at + 2), p = at + 6, limit = at + t.pageSize;
        uint32_t child = u16(at + 4);
        for (uint32_t i = 0; i < count; ++i) {
            std::string key = str(p, limit);
            p += static_cast<uint32_t>(key.size()) + 1;
            uint32_t next = u16(p);
            p += 2;
            if (strcmp(key.c_str(), name.c_str()) > 0) break;
            child = next;
        }
        page = child;
    }
    uint32_t at = pages + page * t.pageSize;
    uint32_t count = u16(at + 2), p = at + 8, limit = at + t.pageSize;
    for (uint32_t i = 0; i < count; ++i) {
        std::string key = str(p, limit);
        p += static_cast<uint32_t>(key.size()) + 1;
        uint32_t offset = u32(p);
        p += 4;
        if (key == name) {
            if (!fits(offset, 9)) return false;
            file->name = key;
            file->offset = offset;
            file->used = u32(offset + 4);
            return true;
        }
    }
    return false;
}

bool HelpFile::lookupContext(uint32_t hash, uint32_t* offset) const {
    if (!haveContext_) return false;
    const Tree& t = context_;
    int32_t want = static_cast<int32_t>(hash);
    uint32_t pages = t.start + kTreeHeader;
    uint32_t page = t.root;
    for (int level = 1; level < t.levels; ++level) {
        uint32_t at = pages + page * t.pageSize;
        uint32_t count = u16(at + 2), child = u16(at + 4);
        for (uint32_t i = 0; i < count; ++i) {
            int32_t key = static_cast<int32_t>(u32(at + 6 + i * 6));
            if (key > want) break;
            child = u16(at + 6 + i * 6 + 4);
        }
        page = child;
    }
    uint32_t at = pages + page * t.pageSize;
    uint32_t count = u16(at + 2);
    for (uint32_t i = 0; i < count; ++i) {
        if (static_cast<int32_t>(u32(at + 8 + i * 8)) == want) {
            *offset = u32(at + 8 + i * 8 + 4);
            return true;
        }
    }
    return false;
}

const Topic* HelpFile::topicAtOffset(uint32_t offset) const {
    for (const Topic& t : topics)
        if (t.offset == offset) return &t;
    return nullptr;
}

const Topic* HelpFile::topicForMap(int32_t id) const {
    for (const auto& m : ctxomap)
        if (m.first == id) return topicAtOffset(m.second);
    return nullptr;
}

bool HelpFile::load(const std::vector<uint8_t>& data) {
    *this = HelpFile();
    data_ = data;
    if (data_.size() < 16 || u32(0) != 0x00035F3F) return problem("not a help file (magic)");
    if (u32(12) != data_.size())
        problem("header gives the file size " + num(u32(12)) + ", the file has " + num(static_cast<uint32_t>(data_.size())));
    if (u32(8) != kNone) problem("the file has a free list");
    InternalFile dirFile;
    dirFile.name = "directory";
    dirFile.offset = u32(4);
    if (!fits(dirFile.offset, 9)) return problem("directory start lies outside the file");
    dirFile.used = u32(dirFile.offset + 4);
    if (u32(dirFile.offset) < dirFile.used + 9) problem("directory: reserved space below its size");
    if (!readTree(dirFile, &dir_)) return false;
    if (u16(dir_.start + 2) != 0x0402 || dir_.pageSize != 0x400)
        problem("directory: flags or page size differ from a help file's");

    std::string last;
    bool ok = walkLeaves(dir_, [&](uint32_t p, uint32_t limit) -> uint32_t {
        std::string name = str(p, limit);
        uint32_t n = static_cast<uint32_t>(name.size()) + 5;
        if (p + n > limit) return 0;
        InternalFile f;
        f.name = name;
        f.offset = u32(p + name.size() + 1);
        if (!files.empty() && strcmp(last.c_str(), name.c_str()) >= 0)
            problem("directory: " + name + " is out of order");
        last = name;
        if (!fits(f.offset, 9)) {
            problem("directory: " + name + " lies outside the file");
        } else {
            f.used = u32(f.offset + 4);
            if (u32(f.offset) < f.used + 9 || !fits(f.offset + 9, f.used))
                problem("file header of " + name + " is inconsistent");
        }
        files.push_back(f);
        return n;
    });
    if (!ok) return false;

    if (!readSystem()) return false;
    if (!readFont()) return false;
    if (!readTopic()) return false;

    InternalFile f;
    if (findFile("|CONTEXT", &f) && readTree(f, &context_)) {
        haveContext_ = true;
        walkLeaves(context_, [&](uint32_t p, uint32_t limit) -> uint32_t {
            if (p + 8 > limit) return 0;
            if (!contexts.empty() && static_cast<int32_t>(contexts.back().first) >= static_cast<int32_t>(u32(p)))
                problem("|CONTEXT: hash " + hex(u32(p)) + " is out of order");
            contexts.push_back({u32(p), u32(p + 4)});
            return 8;
        });
    } else {
        problem("no usable |CONTEXT");
    }
    Tree titleTree;
    if (findFile("|TTLBTREE", &f) && readTree(f, &titleTree)) {
        walkLeaves(titleTree, [&](uint32_t p, uint32_t limit) -> uint32_t {
            std::string s = str(p + 4, limit);
            if (p + 5 + s.size() > limit) return 0;
            if (!titles.empty() && titles.back().first >= u32(p)) problem("|TTLBTREE: out of order");
            titles.push_back({u32(p), s});
            return 5 + static_cast<uint32_t>(s.size());
        });
    } else {
        problem("no usable |TTLBTREE");
    }
    if (findFile("|CTXOMAP", &f) && f.used >= 2) {
        uint32_t n = u16(f.offset + 9);
        if (2 + n * 8 != f.used) problem("|CTXOMAP size does not match its entry count");
        for (uint32_t i = 0; i < n && 2 + i * 8 + 8 <= f.used; ++i)
            ctxomap.push_back({static_cast<int32_t>(u32(f.offset + 11 + i * 8)), u32(f.offset + 15 + i * 8)});
    }
    return true;
}

bool HelpFile::readSystem() {
    InternalFile f;
    if (!findFile("|SYSTEM", &f)) return problem("no |SYSTEM");
    uint32_t at = f.offset + 9, end = at + f.used;
    if (f.used < 12 || u16(at) != 0x036C) return problem("|SYSTEM has a bad header");
    minor = static_cast<uint16_t>(u16(at + 2));
    major = static_cast<uint16_t>(u16(at + 4));
    date = u32(at + 6);
    flags = static_cast<uint16_t>(u16(at + 10));
    for (uint32_t p = at + 12; p < end;) {
        if (p + 4 > end) return problem("|SYSTEM: truncated record header");
        uint32_t type = u16(p), size = u16(p + 2);
        if (p + 4 + size > end) return problem("|SYSTEM: record " + num(type) + " runs past the end");
        if (type == 1) title = str(p + 4, p + 4 + size);
        else if (type == 2) copyright = str(p + 4, p + 4 + size);
        else if (type == 3) {
            if (size != 4) problem("|SYSTEM: contents record is not 4 bytes");
            hasContents = true;
            contents = u32(p + 4);
        }
        if ((type == 1 || type == 2) && (size == 0 || u8(p + 4 + size - 1) != 0))
            problem("|SYSTEM: string record " + num(type) + " is not terminated");
        p += 4 + size;
    }
    return true;
}

bool HelpFile::readFont() {
    InternalFile f;
    if (!findFile("|FONT", &f)) return problem("no |FONT");
    uint32_t at = f.offset + 9;
    uint32_t faces = u16(at), descriptors = u16(at + 2), faceOff = u16(at + 4), descOff = u16(at + 6);
    if (faces == 0 || descOff < faceOff || descOff + descriptors * 11 != f.used)
        return problem("|FONT: header does not match its size");
    uint32_t faceLen = (descOff - faceOff) / faces;
    for (uint32_t i = 0; i < descriptors; ++i) {
        uint32_t d = at + descOff + i * 11;
        Font font;
        font.attributes = static_cast<uint8_t>(u8(d));
        font.halfPoints = static_cast<uint8_t>(u8(d + 1));
        font.family = static_cast<uint8_t>(u8(d + 2));
        uint32_t face = u16(d + 3);
        if (face >= faces) problem("|FONT: descriptor " + num(i) + " names a missing face");
        else font.face = str(at + faceOff + face * faceLen, at + faceOff + (face + 1) * faceLen);
        fonts.push_back(font);
    }
    return true;
}

void HelpFile::readParagraph(uint32_t pos, const uint8_t* rec, uint32_t size1, uint32_t size2,
                             Paragraph* para) {
    const std::string where = "record " + hex(pos) + ": ";
    para->pos = pos;
    Cursor c{rec + 21, rec + 21 + size1};
    int32_t restSize = c.compressedLong();
    uint32_t textLength = c.compressedUShort();
    if (textLength != size2) problem(where + "text length field differs from LinkData2's size");
    if (restSize != static_cast<int32_t>(c.end - c.p)) problem(where + "LinkData1 size field is wrong");
    if (c.byte() != 0) problem(where + "first paragraph byte is not 0");
    if (c.byte() != 0x80) problem(where + "second paragraph byte is not 0x80");
    c.word();  // paragraph id
    uint32_t bits = c.word();
    para->bits = static_cast<uint16_t>(bits);
    if (bits & ~0x0F7Fu) problem(where + "unknown paragraph bits " + hex(bits));
    if (bits & 0x0001) c.compressedLong();
    for (uint32_t b = 0x0002; b <= 0x0040; b <<= 1)
        if (bits & b) c.compressedShort();
    if (bits & 0x0100) {
        c.byte();
        c.word();
    }
    if (bits & 0x0200) {
        int n = c.compressedShort();
        if (n < 0 || n > 32) problem(where + "bad tab stop count");
        for (int i = 0; i < n && !c.bad; ++i)
            if (c.compressedUShort() & 0x4000) c.compressedUShort();
    }

    const char* text = reinterpret_cast<const char*>(rec + size1 + 21);
    uint32_t t = 0;
    Segment seg;
    Link link;
    bool inLink = false, ended = false;
    while (!ended) {
        uint32_t start = t;
        while (t < size2 && text[t]) ++t;
        if (t >= size2) {
            problem(where + "text runs out before the end command");
            break;
        }
        std::string piece(text + start, t - start);
        ++t;
        seg.text += piece;
        para->text += piece;
        if (inLink) link.text += piece;
        uint32_t cmd = c.byte();
        if (c.bad) {
            problem(where + "commands run out before the text");
            break;
        }
        auto newSegment = [&]() {
            if (!seg.text.empty()) para->segments.push_back(seg);
            seg.text.clear();
        };
        switch (cmd) {
        case 0xFF:
            ended = true;
            break;
        case 0x80:
            newSegment();
            seg.font = static_cast<int>(c.word());
            if (seg.font >= static_cast<int>(fonts.size())) problem(where + "font " + num(seg.font) + " does not exist");
            break;
        case 0x81:
            para->text += "\n";
            break;
        case 0x82:
            para->text += "\n";
            break;
        case 0x83:
            para->text += "\t";
            seg.text += "\t";
            break;
        case 0xE2: case 0xE3: case 0xE6: case 0xE7:
            if (inLink) problem(where + "jump inside a jump");
            newSegment();
            link = Link();
            link.hash = c.dword();
            link.start = static_cast<uint32_t>(para->text.size());
            inLink = true;
            seg.link = true;
            break;
        case 0x89:
            if (!inLink) problem(where + "end of a jump that was not started");
            newSegment();
            para->links.push_back(link);
            inLink = false;
            seg.link = false;
            break;
        default:
            problem(where + "unexpected command " + hex(cmd));
            ended = true;
        }
    }
    if (!seg.text.empty()) para->segments.push_back(seg);
    if (inLink) problem(where + "jump not ended");
    if (t != size2) problem(where + "text left after the end command");
    if (c.p != c.end) problem(where + "commands left after the end command");
    // The record's closing end-of-paragraph is not part of the text.
    if (!para->text.empty() && para->text.back() == '\n') para->text.pop_back();
}

bool HelpFile::readTopic() {
    InternalFile f;
    if (!findFile("|TOPIC", &f)) return problem("no |TOPIC");
    if (minor <= 16 || flags != 0) return problem("only uncompressed 3.1 files are read");
    const uint8_t* topic = data_.data() + f.offset + 9;
    const uint32_t size = f.used;
    topicBlocks = (size + kBlockSize - 1) / kBlockSize;
    if (size % kBlockSize) problem("|TOPIC is not a whole number of blocks");

    struct Pending {
        size_t topic;
        uint32_t scroll, next;
    };
    std::vector<Pending> headers;
    std::vector<uint32_t> headerPos;
    uint32_t pos = 12, prev = kNone, lastHeader = 0, chars = 0;
    int64_t block = -1;
    for (uint32_t count = 0; pos != kNone; ++count) {
        if (count > 100000) return problem("|TOPIC chain does not end");
        uint32_t b = (pos - 12) >> 14, inBlock = (pos - 12) & 0x3FFF;
        uint32_t base = b * kBlockSize + 12 + inBlock;
        if (pos < 12 || b >= topicBlocks || inBlock >= kBlockSize - 12 || base + 21 > size)
            return problem("TOPICPOS " + hex(pos) + " lies outside |TOPIC");
        if (b != block) {
            if (static_cast<int64_t>(b) != block + 1) problem("TOPICPOS " + hex(pos) + " skips a block");
            const uint8_t* h = topic + b * kBlockSize;
            uint32_t hLast = h[0] | h[1] << 8 | h[2] << 16 | static_cast<uint32_t>(h[3]) << 24;
            uint32_t hFirst = h[4] | h[5] << 8 | h[6] << 16 | static_cast<uint32_t>(h[7]) << 24;
            uint32_t hHeader = h[8] | h[9] << 8 | h[10] << 16 | static_cast<uint32_t>(h[11]) << 24;
            if (hFirst != pos) problem("block " + num(b) + ": first record field is wrong");
            if (hLast != prev) problem("block " + num(b) + ": last record of the previous block is wrong");
            if (hHeader != lastHeader) problem("block " + num(b) + ": last topic header field is wrong");
            block = b;
            chars = 0;
        }
        const uint8_t* rec = topic + base;
        auto u32 = [&](int at) {
            return rec[at] | rec[at + 1] << 8 | rec[at + 2] << 16 | static_cast<uint32_t>(rec[at + 3]) << 24;
        };
        uint32_t blockSize = u32(0), len2 = u32(4), recPrev = u32(8), next = u32(12), len1 = u32(16);
        uint8_t type = rec[20];
        if (recPrev != prev) problem("record " + hex(pos) + ": previous record field is wrong");
        if (len1 < 21 || blockSize < len1 || blockSize - len1 != len2)
            return problem("record " + hex(pos) + ": sizes are inconsistent");
        if (base + blockSize > (b + 1) * kBlockSize)
            return problem("record " + hex(pos) + " runs past the end of its block");
        uint32_t offset = b * 0x8000 + chars;
        if (type == 0x02) {
            if (len1 - 21 != 28) problem("record " + hex(pos) + ": topic header is not 28 bytes");
            headerPos.push_back(pos);
            if (next == kNone) {  // the empty record that closes the chain
                if (len2 != 0) problem("closing record has a title");
            } else {
                Topic t;
                t.pos = pos;
                t.offset = offset;
                t.number = u32(21 + 12);
                t.title.assign(reinterpret_cast<const char*>(rec + len1), len2);
                headers.push_back({topics.size(), u32(21 + 20), u32(21 + 24)});
                topics.push_back(t);
            }
            lastHeader = pos;
        } else if (type == 0x20) {
            if (topics.empty()) return problem("text record before the first topic header");
            Paragraph para;
            readParagraph(pos, rec, len1 - 21, len2, &para);
            topics.back().paragraphs.push_back(para);
            chars += len2;
        } else {
            problem("record " + hex(pos) + " has the unknown type " + hex(type));
        }
        prev = pos;
        pos = next;
    }
    if (headerPos.size() != topics.size() + 1) problem("the chain does not end with a closing record");
    for (size_t h = 0; h < headers.size(); ++h) {
        const Topic& t = topics[headers[h].topic];
        if (headers[h].next != headerPos[h + 1]) problem("topic \"" + t.title + "\": next topic field is wrong");
        uint32_t first = t.paragraphs.empty() ? kNone : t.paragraphs[0].pos;
        if (headers[h].scroll != first) problem("topic \"" + t.title + "\": scrolling region field is wrong");
    }
    return true;
}

}  // namespace hlpread
