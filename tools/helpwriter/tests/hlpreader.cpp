// Reader of Windows Help files for the tests; see hlpreader.h.
#include "hlpreader.h"

#include <cstring>

namespace hlpread {

namespace {

const uint32_t kNone = 0xFFFFFFFF;
const uint32_t kBlockSize = 4096;
const uint32_t kTreeHeader = 38;

std::string Num(uint32_t v) { return std::to_string(v); }

std::string Hex(uint32_t v) {
    char buf[16];
    snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

// A cursor over topic record data with the format's compressed numbers.
struct Cursor {
    const uint8_t* p;
    const uint8_t* end;
    bool bad = false;

    uint32_t Byte() {
        if (p >= end) {
            bad = true;
            return 0;
        }
        return *p++;
    }
    uint32_t Word() {
        uint32_t lo = Byte();
        return lo | (Byte() << 8);
    }
    uint32_t Dword() {
        uint32_t lo = Word();
        return lo | (Word() << 16);
    }
    uint32_t CompressedUShort() {
        if (p < end && (*p & 1)) return Word() / 2;
        return Byte() / 2;
    }
    int CompressedShort() {
        if (p < end && (*p & 1)) return static_cast<int>(Word() / 2) - 0x4000;
        return static_cast<int>(Byte() / 2) - 0x40;
    }
    int32_t CompressedLong() {
        if (p < end && (*p & 1)) return static_cast<int32_t>(Dword() / 2) - 0x40000000;
        return static_cast<int32_t>(Word() / 2) - 0x4000;
    }
};

}  // namespace

uint32_t Hash(const std::string& name) {
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

std::string Topic::Text() const {
    std::string s;
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        if (i) s += "\n";
        s += paragraphs[i].text;
    }
    return s;
}

bool HelpFile::Problem(const std::string& what) {
    problems.push_back(what);
    return false;
}

uint32_t HelpFile::U8(uint32_t at) const { return at < data_.size() ? data_[at] : 0; }
uint32_t HelpFile::U16(uint32_t at) const { return U8(at) | (U8(at + 1) << 8); }
uint32_t HelpFile::U32(uint32_t at) const { return U16(at) | (U16(at + 2) << 16); }

std::string HelpFile::Str(uint32_t at, uint32_t end) const {
    std::string s;
    while (at < end && at < data_.size() && data_[at]) s.push_back(static_cast<char>(data_[at++]));
    return s;
}

bool HelpFile::ReadTree(const InternalFile& file, Tree* tree) {
    uint32_t start = file.offset + 9;
    if (file.used < kTreeHeader || !Fits(start, file.used))
        return Problem("B+ tree " + file.name + " is shorter than its header");
    if (U16(start) != 0x293B) return Problem("B+ tree " + file.name + " has a bad magic");
    tree->start = start;
    tree->end = start + file.used;
    tree->pageSize = static_cast<uint16_t>(U16(start + 4));
    tree->root = static_cast<uint16_t>(U16(start + 26));
    tree->pages = static_cast<uint16_t>(U16(start + 30));
    tree->levels = static_cast<uint16_t>(U16(start + 32));
    tree->entries = U32(start + 34);
    if (U16(start + 22) != 0 || U16(start + 28) != 0xFFFF)
        Problem("B+ tree " + file.name + ": fixed header fields are wrong");
    if (tree->pageSize == 0 || tree->levels == 0 || tree->root >= tree->pages)
        return Problem("B+ tree " + file.name + ": bad page size, levels or root");
    if (kTreeHeader + static_cast<uint32_t>(tree->pages) * tree->pageSize != file.used)
        return Problem("B+ tree " + file.name + ": " + Num(tree->pages) + " pages do not fill its " +
                       Num(file.used) + " bytes");
    return true;
}

template <typename F>
bool HelpFile::WalkLeaves(const Tree& tree, F entry) {
    uint32_t pages = tree.start + kTreeHeader;
    uint32_t page = tree.root;
    for (int level = 1; level < tree.levels; ++level) page = U16(pages + page * tree.pageSize + 4);
    uint32_t prev = 0xFFFF, total = 0;
    for (uint32_t walked = 0; page != 0xFFFF; ++walked) {
        if (page >= tree.pages || walked >= tree.pages) return Problem("B+ tree leaf chain is broken");
        uint32_t at = pages + page * tree.pageSize;
        uint32_t unused = U16(at), count = U16(at + 2);
        if (U16(at + 4) != prev) Problem("B+ tree leaf " + Num(page) + " names the wrong previous page");
        uint32_t p = at + 8, limit = at + tree.pageSize;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t n = entry(p, limit);
            if (n == 0) return Problem("B+ tree leaf " + Num(page) + " has a bad entry");
            p += n;
        }
        if (limit - p != unused) Problem("B+ tree leaf " + Num(page) + ": free byte count is wrong");
        total += count;
        prev = page;
        page = U16(at + 6);
    }
    if (total != tree.entries)
        Problem("B+ tree holds " + Num(total) + " entries, its header says " + Num(tree.entries));
    return true;
}

bool HelpFile::FindFile(const std::string& name, InternalFile* file) const {
    const Tree& t = dir_;
    uint32_t pages = t.start + kTreeHeader;
    uint32_t page = t.root;
    for (int level = 1; level < t.levels; ++level) {
        uint32_t at = pages + page * t.pageSize;
        uint32_t count = U16(at + 2), p = at + 6, limit = at + t.pageSize;
        uint32_t child = U16(at + 4);
        for (uint32_t i = 0; i < count; ++i) {
            std::string key = Str(p, limit);
            p += static_cast<uint32_t>(key.size()) + 1;
            uint32_t next = U16(p);
            p += 2;
            if (strcmp(key.c_str(), name.c_str()) > 0) break;
            child = next;
        }
        page = child;
    }
    uint32_t at = pages + page * t.pageSize;
    uint32_t count = U16(at + 2), p = at + 8, limit = at + t.pageSize;
    for (uint32_t i = 0; i < count; ++i) {
        std::string key = Str(p, limit);
        p += static_cast<uint32_t>(key.size()) + 1;
        uint32_t offset = U32(p);
        p += 4;
        if (key == name) {
            if (!Fits(offset, 9)) return false;
            file->name = key;
            file->offset = offset;
            file->used = U32(offset + 4);
            return true;
        }
    }
    return false;
}

bool HelpFile::LookupContext(uint32_t hash, uint32_t* offset) const {
    if (!haveContext_) return false;
    const Tree& t = context_;
    int32_t want = static_cast<int32_t>(hash);
    uint32_t pages = t.start + kTreeHeader;
    uint32_t page = t.root;
    for (int level = 1; level < t.levels; ++level) {
        uint32_t at = pages + page * t.pageSize;
        uint32_t count = U16(at + 2), child = U16(at + 4);
        for (uint32_t i = 0; i < count; ++i) {
            int32_t key = static_cast<int32_t>(U32(at + 6 + i * 6));
            if (key > want) break;
            child = U16(at + 6 + i * 6 + 4);
        }
        page = child;
    }
    uint32_t at = pages + page * t.pageSize;
    uint32_t count = U16(at + 2);
    for (uint32_t i = 0; i < count; ++i) {
        if (static_cast<int32_t>(U32(at + 8 + i * 8)) == want) {
            *offset = U32(at + 8 + i * 8 + 4);
            return true;
        }
    }
    return false;
}

const Topic* HelpFile::TopicAtOffset(uint32_t offset) const {
    for (const Topic& t : topics)
        if (t.offset == offset) return &t;
    return nullptr;
}

const Topic* HelpFile::TopicForMap(int32_t id) const {
    for (const auto& m : ctxomap)
        if (m.first == id) return TopicAtOffset(m.second);
    return nullptr;
}

bool HelpFile::Load(const std::vector<uint8_t>& data) {
    *this = HelpFile();
    data_ = data;
    if (data_.size() < 16 || U32(0) != 0x00035F3F) return Problem("not a help file (magic)");
    if (U32(12) != data_.size())
        Problem("header gives the file size " + Num(U32(12)) + ", the file has " + Num(static_cast<uint32_t>(data_.size())));
    if (U32(8) != kNone) Problem("the file has a free list");
    InternalFile dirFile;
    dirFile.name = "directory";
    dirFile.offset = U32(4);
    if (!Fits(dirFile.offset, 9)) return Problem("directory start lies outside the file");
    dirFile.used = U32(dirFile.offset + 4);
    if (U32(dirFile.offset) < dirFile.used + 9) Problem("directory: reserved space below its size");
    if (!ReadTree(dirFile, &dir_)) return false;
    if (U16(dir_.start + 2) != 0x0402 || dir_.pageSize != 0x400)
        Problem("directory: flags or page size differ from a help file's");

    std::string last;
    bool ok = WalkLeaves(dir_, [&](uint32_t p, uint32_t limit) -> uint32_t {
        std::string name = Str(p, limit);
        uint32_t n = static_cast<uint32_t>(name.size()) + 5;
        if (p + n > limit) return 0;
        InternalFile f;
        f.name = name;
        f.offset = U32(p + name.size() + 1);
        if (!files.empty() && strcmp(last.c_str(), name.c_str()) >= 0)
            Problem("directory: " + name + " is out of order");
        last = name;
        if (!Fits(f.offset, 9)) {
            Problem("directory: " + name + " lies outside the file");
        } else {
            f.used = U32(f.offset + 4);
            if (U32(f.offset) < f.used + 9 || !Fits(f.offset + 9, f.used))
                Problem("file header of " + name + " is inconsistent");
        }
        files.push_back(f);
        return n;
    });
    if (!ok) return false;

    if (!ReadSystem()) return false;
    if (!ReadFont()) return false;
    if (!ReadTopic()) return false;

    InternalFile f;
    if (FindFile("|CONTEXT", &f) && ReadTree(f, &context_)) {
        haveContext_ = true;
        WalkLeaves(context_, [&](uint32_t p, uint32_t limit) -> uint32_t {
            if (p + 8 > limit) return 0;
            if (!contexts.empty() && static_cast<int32_t>(contexts.back().first) >= static_cast<int32_t>(U32(p)))
                Problem("|CONTEXT: hash " + Hex(U32(p)) + " is out of order");
            contexts.push_back({U32(p), U32(p + 4)});
            return 8;
        });
    } else {
        Problem("no usable |CONTEXT");
    }
    Tree titleTree;
    if (FindFile("|TTLBTREE", &f) && ReadTree(f, &titleTree)) {
        WalkLeaves(titleTree, [&](uint32_t p, uint32_t limit) -> uint32_t {
            std::string s = Str(p + 4, limit);
            if (p + 5 + s.size() > limit) return 0;
            if (!titles.empty() && titles.back().first >= U32(p)) Problem("|TTLBTREE: out of order");
            titles.push_back({U32(p), s});
            return 5 + static_cast<uint32_t>(s.size());
        });
    } else {
        Problem("no usable |TTLBTREE");
    }
    if (FindFile("|CTXOMAP", &f) && f.used >= 2) {
        uint32_t n = U16(f.offset + 9);
        if (2 + n * 8 != f.used) Problem("|CTXOMAP size does not match its entry count");
        for (uint32_t i = 0; i < n && 2 + i * 8 + 8 <= f.used; ++i)
            ctxomap.push_back({static_cast<int32_t>(U32(f.offset + 11 + i * 8)), U32(f.offset + 15 + i * 8)});
    }
    return true;
}

bool HelpFile::ReadSystem() {
    InternalFile f;
    if (!FindFile("|SYSTEM", &f)) return Problem("no |SYSTEM");
    uint32_t at = f.offset + 9, end = at + f.used;
    if (f.used < 12 || U16(at) != 0x036C) return Problem("|SYSTEM has a bad header");
    minor = static_cast<uint16_t>(U16(at + 2));
    major = static_cast<uint16_t>(U16(at + 4));
    date = U32(at + 6);
    flags = static_cast<uint16_t>(U16(at + 10));
    for (uint32_t p = at + 12; p < end;) {
        if (p + 4 > end) return Problem("|SYSTEM: truncated record header");
        uint32_t type = U16(p), size = U16(p + 2);
        if (p + 4 + size > end) return Problem("|SYSTEM: record " + Num(type) + " runs past the end");
        if (type == 1) title = Str(p + 4, p + 4 + size);
        else if (type == 2) copyright = Str(p + 4, p + 4 + size);
        else if (type == 3) {
            if (size != 4) Problem("|SYSTEM: contents record is not 4 bytes");
            hasContents = true;
            contents = U32(p + 4);
        }
        if ((type == 1 || type == 2) && (size == 0 || U8(p + 4 + size - 1) != 0))
            Problem("|SYSTEM: string record " + Num(type) + " is not terminated");
        p += 4 + size;
    }
    return true;
}

bool HelpFile::ReadFont() {
    InternalFile f;
    if (!FindFile("|FONT", &f)) return Problem("no |FONT");
    uint32_t at = f.offset + 9;
    uint32_t faces = U16(at), descriptors = U16(at + 2), faceOff = U16(at + 4), descOff = U16(at + 6);
    if (faces == 0 || descOff < faceOff || descOff + descriptors * 11 != f.used)
        return Problem("|FONT: header does not match its size");
    uint32_t faceLen = (descOff - faceOff) / faces;
    for (uint32_t i = 0; i < descriptors; ++i) {
        uint32_t d = at + descOff + i * 11;
        Font font;
        font.attributes = static_cast<uint8_t>(U8(d));
        font.halfPoints = static_cast<uint8_t>(U8(d + 1));
        font.family = static_cast<uint8_t>(U8(d + 2));
        uint32_t face = U16(d + 3);
        if (face >= faces) Problem("|FONT: descriptor " + Num(i) + " names a missing face");
        else font.face = Str(at + faceOff + face * faceLen, at + faceOff + (face + 1) * faceLen);
        fonts.push_back(font);
    }
    return true;
}

void HelpFile::ReadParagraph(uint32_t pos, const uint8_t* rec, uint32_t size1, uint32_t size2,
                             Paragraph* para) {
    const std::string where = "record " + Hex(pos) + ": ";
    para->pos = pos;
    Cursor c{rec + 21, rec + 21 + size1};
    int32_t restSize = c.CompressedLong();
    uint32_t textLength = c.CompressedUShort();
    if (textLength != size2) Problem(where + "text length field differs from LinkData2's size");
    if (restSize != static_cast<int32_t>(c.end - c.p)) Problem(where + "LinkData1 size field is wrong");
    if (c.Byte() != 0) Problem(where + "first paragraph byte is not 0");
    if (c.Byte() != 0x80) Problem(where + "second paragraph byte is not 0x80");
    c.Word();  // paragraph id
    uint32_t bits = c.Word();
    para->bits = static_cast<uint16_t>(bits);
    if (bits & ~0x0F7Fu) Problem(where + "unknown paragraph bits " + Hex(bits));
    if (bits & 0x0001) c.CompressedLong();
    for (uint32_t b = 0x0002; b <= 0x0040; b <<= 1)
        if (bits & b) c.CompressedShort();
    if (bits & 0x0100) {
        c.Byte();
        c.Word();
    }
    if (bits & 0x0200) {
        int n = c.CompressedShort();
        if (n < 0 || n > 32) Problem(where + "bad tab stop count");
        for (int i = 0; i < n && !c.bad; ++i)
            if (c.CompressedUShort() & 0x4000) c.CompressedUShort();
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
            Problem(where + "text runs out before the end command");
            break;
        }
        std::string piece(text + start, t - start);
        ++t;
        seg.text += piece;
        para->text += piece;
        if (inLink) link.text += piece;
        uint32_t cmd = c.Byte();
        if (c.bad) {
            Problem(where + "commands run out before the text");
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
            seg.font = static_cast<int>(c.Word());
            if (seg.font >= static_cast<int>(fonts.size())) Problem(where + "font " + Num(seg.font) + " does not exist");
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
            if (inLink) Problem(where + "jump inside a jump");
            newSegment();
            link = Link();
            link.hash = c.Dword();
            link.start = static_cast<uint32_t>(para->text.size());
            inLink = true;
            seg.link = true;
            break;
        case 0x89:
            if (!inLink) Problem(where + "end of a jump that was not started");
            newSegment();
            para->links.push_back(link);
            inLink = false;
            seg.link = false;
            break;
        default:
            Problem(where + "unexpected command " + Hex(cmd));
            ended = true;
        }
    }
    if (!seg.text.empty()) para->segments.push_back(seg);
    if (inLink) Problem(where + "jump not ended");
    if (t != size2) Problem(where + "text left after the end command");
    if (c.p != c.end) Problem(where + "commands left after the end command");
    // The record's closing end-of-paragraph is not part of the text.
    if (!para->text.empty() && para->text.back() == '\n') para->text.pop_back();
}

bool HelpFile::ReadTopic() {
    InternalFile f;
    if (!FindFile("|TOPIC", &f)) return Problem("no |TOPIC");
    if (minor <= 16 || flags != 0) return Problem("only uncompressed 3.1 files are read");
    const uint8_t* topic = data_.data() + f.offset + 9;
    const uint32_t size = f.used;
    topicBlocks = (size + kBlockSize - 1) / kBlockSize;
    if (size % kBlockSize) Problem("|TOPIC is not a whole number of blocks");

    struct Pending {
        size_t topic;
        uint32_t scroll, next;
    };
    std::vector<Pending> headers;
    std::vector<uint32_t> headerPos;
    uint32_t pos = 12, prev = kNone, lastHeader = 0, chars = 0;
    int64_t block = -1;
    for (uint32_t count = 0; pos != kNone; ++count) {
        if (count > 100000) return Problem("|TOPIC chain does not end");
        uint32_t b = (pos - 12) >> 14, inBlock = (pos - 12) & 0x3FFF;
        uint32_t base = b * kBlockSize + 12 + inBlock;
        if (pos < 12 || b >= topicBlocks || inBlock >= kBlockSize - 12 || base + 21 > size)
            return Problem("TOPICPOS " + Hex(pos) + " lies outside |TOPIC");
        if (b != block) {
            if (static_cast<int64_t>(b) != block + 1) Problem("TOPICPOS " + Hex(pos) + " skips a block");
            const uint8_t* h = topic + b * kBlockSize;
            uint32_t hLast = h[0] | h[1] << 8 | h[2] << 16 | static_cast<uint32_t>(h[3]) << 24;
            uint32_t hFirst = h[4] | h[5] << 8 | h[6] << 16 | static_cast<uint32_t>(h[7]) << 24;
            uint32_t hHeader = h[8] | h[9] << 8 | h[10] << 16 | static_cast<uint32_t>(h[11]) << 24;
            if (hFirst != pos) Problem("block " + Num(b) + ": first record field is wrong");
            if (hLast != prev) Problem("block " + Num(b) + ": last record of the previous block is wrong");
            if (hHeader != lastHeader) Problem("block " + Num(b) + ": last topic header field is wrong");
            block = b;
            chars = 0;
        }
        const uint8_t* rec = topic + base;
        auto u32 = [&](int at) {
            return rec[at] | rec[at + 1] << 8 | rec[at + 2] << 16 | static_cast<uint32_t>(rec[at + 3]) << 24;
        };
        uint32_t blockSize = u32(0), len2 = u32(4), recPrev = u32(8), next = u32(12), len1 = u32(16);
        uint8_t type = rec[20];
        if (recPrev != prev) Problem("record " + Hex(pos) + ": previous record field is wrong");
        if (len1 < 21 || blockSize < len1 || blockSize - len1 != len2)
            return Problem("record " + Hex(pos) + ": sizes are inconsistent");
        if (base + blockSize > (b + 1) * kBlockSize)
            return Problem("record " + Hex(pos) + " runs past the end of its block");
        uint32_t offset = b * 0x8000 + chars;
        if (type == 0x02) {
            if (len1 - 21 != 28) Problem("record " + Hex(pos) + ": topic header is not 28 bytes");
            headerPos.push_back(pos);
            if (next == kNone) {  // the empty record that closes the chain
                if (len2 != 0) Problem("closing record has a title");
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
            if (topics.empty()) return Problem("text record before the first topic header");
            Paragraph para;
            ReadParagraph(pos, rec, len1 - 21, len2, &para);
            topics.back().paragraphs.push_back(para);
            chars += len2;
        } else {
            Problem("record " + Hex(pos) + " has the unknown type " + Hex(type));
        }
        prev = pos;
        pos = next;
    }
    if (headerPos.size() != topics.size() + 1) Problem("the chain does not end with a closing record");
    for (size_t h = 0; h < headers.size(); ++h) {
        const Topic& t = topics[headers[h].topic];
        if (headers[h].next != headerPos[h + 1]) Problem("topic \"" + t.title + "\": next topic field is wrong");
        uint32_t first = t.paragraphs.empty() ? kNone : t.paragraphs[0].pos;
        if (headers[h].scroll != first) Problem("topic \"" + t.title + "\": scrolling region field is wrong");
    }
    return true;
}

}  // namespace hlpread
