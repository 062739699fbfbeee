// Host tests of the help writer: what it writes is read back by the
// independent reader (hlpreader.cpp) and compared with the source.
//   helpwriter_test                 the built-in cases
//   helpwriter_test FILE.hsrc       also checks that FILE builds into a help
//                                   file whose contents topic jumps to every topic
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "helpsource.h"
#include "hlpreader.h"
#include "hlpwriter.h"

using helpwriter::Diagnostic;
using helpwriter::HelpSource;

namespace {

int gFailures = 0;

#define CHECK(cond)                                                                \
    do {                                                                           \
        if (!(cond)) {                                                             \
            fprintf(stderr, "%s:%d: CHECK failed: %s\n", __FILE__, __LINE__, #cond); \
            ++gFailures;                                                          \
        }                                                                          \
    } while (0)

#define CHECK_EQ(a, b)                                                                         \
    do {                                                                                       \
        auto va = (a);                                                                         \
        auto vb = (b);                                                                         \
        if (!(va == vb)) {                                                                     \
            fprintf(stderr, "%s:%d: CHECK_EQ failed: %s == %s\n", __FILE__, __LINE__, #a, #b); \
            ++gFailures;                                                                      \
        }                                                                                      \
    } while (0)

// Parses and writes; the diagnostics go to errors, or are printed without it.
bool build(const std::string& text, std::vector<uint8_t>* file, HelpSource* source = nullptr,
           std::vector<Diagnostic>* errors = nullptr) {
    HelpSource localSource;
    HelpSource* src = source ? source : &localSource;
    std::vector<Diagnostic> printed;
    std::vector<Diagnostic>* e = errors ? errors : &printed;
    bool ok = helpwriter::parseHelpSource(text, src, e) && helpwriter::writeHelpFile(*src, file, e);
    for (const Diagnostic& d : printed) fprintf(stderr, "  line %d: %s\n", d.line, d.message.c_str());
    return ok;
}

// Loads with the reader and reports every structural problem it found.
bool read(const std::vector<uint8_t>& file, hlpread::HelpFile* help) {
    bool ok = help->load(file);
    for (const std::string& p : help->problems) fprintf(stderr, "  reader: %s\n", p.c_str());
    return ok && help->problems.empty();
}

bool buildAndRead(const std::string& text, HelpSource* source, hlpread::HelpFile* help) {
    std::vector<uint8_t> file;
    return build(text, &file, source) && read(file, help);
}

const hlpread::Topic* topicNamed(const hlpread::HelpFile& help, const std::string& name) {
    uint32_t offset;
    if (!help.lookupContext(hlpread::hash(name), &offset)) return nullptr;
    return help.topicAtOffset(offset);
}

// Every context name, number, title and jump of a source must come back
// from the written file through the directory, |CONTEXT, |CTXOMAP and
// |TTLBTREE.
void checkAgainstSource(const HelpSource& src, const hlpread::HelpFile& help) {
    CHECK_EQ(help.topics.size(), src.topics.size());
    CHECK_EQ(help.titles.size(), src.topics.size());
    CHECK_EQ(help.contexts.size(), src.topics.size());
    CHECK(help.hasContents);
    CHECK_EQ(help.contents, help.topics[0].offset);
    for (size_t i = 0; i < src.topics.size() && i < help.topics.size(); ++i) {
        const helpwriter::Topic& want = src.topics[i];
        const hlpread::Topic& got = help.topics[i];
        CHECK_EQ(got.title, want.title);
        CHECK_EQ(got.number, static_cast<uint32_t>(i));
        CHECK(topicNamed(help, want.name) == &got);
        CHECK_EQ(help.titles[i].first, got.offset);
        CHECK_EQ(help.titles[i].second, want.title);
        if (want.mapId) CHECK(help.topicForMap(want.mapId) == &got);
        CHECK_EQ(got.paragraphs.size(), want.paragraphs.size());
        for (size_t p = 0; p < want.paragraphs.size() && p < got.paragraphs.size(); ++p) {
            std::vector<std::string> targets;
            for (const helpwriter::TextRun& run : want.paragraphs[p].runs)
                if (!run.target.empty()) targets.push_back(run.target);
            const std::vector<hlpread::Link>& links = got.paragraphs[p].links;
            CHECK_EQ(links.size(), targets.size());
            for (size_t l = 0; l < links.size() && l < targets.size(); ++l) {
                uint32_t offset = 0;
                CHECK(help.lookupContext(links[l].hash, &offset));
                const hlpread::Topic* target = help.topicAtOffset(offset);
                CHECK(target != nullptr && target == topicNamed(help, targets[l]));
            }
        }
    }
}

const char kSample[] =
    "# A sample with every construct of the format\n"
    "@title Sample Help\n"
    "@copyright Copyright 2000 Somebody\n"
    "@date 2000-12-28\n"
    "@topic contents Sample Contents\n"
    "@map 100\n"
    "Welcome. This line and\n"
    "  this one form **one paragraph** with\n"
    "a [jump to Setup](setup) and [another](Other.Topic_2).\n"
    "\n"
    "- First **item**\n"
    "  continued here.\n"
    "- Second item, see [setup](SETUP).\n"
    "12. A numbered step\n"
    "\n"
    "12\\. is no step here.\n"
    "\n"
    "Escapes: \\*\\* and \\[x\\] and a lone * star.\n"
    "@topic setup Setting It Up\n"
    "@map 200\n"
    "Text of the setup topic. Back to [contents](contents).\n"
    "@topic Other.Topic_2 Caf\xC3\xA9 \xE2\x80\x93 other\n"
    "Short.\n";

void testRoundTrip() {
    HelpSource src;
    hlpread::HelpFile help;
    CHECK(buildAndRead(kSample, &src, &help));
    CHECK_EQ(help.topics.size(), 3u);
    if (help.topics.size() != 3) return;

    // The directory lists exactly the internal files, and a search of its
    // tree finds each where its leaf says.
    const char* names[] = {"|CONTEXT", "|CTXOMAP", "|FONT", "|SYSTEM", "|TOPIC", "|TTLBTREE"};
    CHECK_EQ(help.files.size(), sizeof names / sizeof names[0]);
    for (size_t i = 0; i < help.files.size(); ++i) {
        CHECK_EQ(help.files[i].name, std::string(names[i]));
        hlpread::InternalFile found;
        CHECK(help.findFile(names[i], &found));
        CHECK_EQ(found.offset, help.files[i].offset);
    }
    hlpread::InternalFile none;
    CHECK(!help.findFile("|KWBTREE", &none));

    CHECK_EQ(help.minor, 21);
    CHECK_EQ(help.major, 1);
    CHECK_EQ(help.flags, 0);
    CHECK_EQ(help.date, 977961600u);  // 2000-12-28 00:00 UTC
    CHECK_EQ(help.title, std::string("Sample Help"));
    CHECK_EQ(help.copyright, std::string("Copyright 2000 Somebody"));
    CHECK_EQ(help.fonts.size(), 3u);
    for (size_t i = 0; i < help.fonts.size(); ++i) {
        CHECK_EQ(help.fonts[i].face, std::string("Arial"));
        CHECK_EQ(help.fonts[i].attributes, i == 0 ? 0 : 1);  // text, bold, heading
    }
    checkAgainstSource(src, help);

    // Text, fonts and jumps as the viewer will show them.
    const hlpread::Topic& contents = help.topics[0];
    CHECK_EQ(contents.paragraphs.size(), 7u);
    if (contents.paragraphs.size() != 7) return;
    CHECK_EQ(contents.paragraphs[0].text, std::string("Sample Contents"));
    CHECK_EQ(contents.paragraphs[0].segments[0].font, 2);
    CHECK_EQ(contents.paragraphs[1].text,
             std::string("Welcome. This line and this one form one paragraph with a jump to Setup and another."));
    const std::vector<hlpread::Segment>& segs = contents.paragraphs[1].segments;
    bool boldFound = false;
    for (const hlpread::Segment& s : segs) {
        if (s.text == "one paragraph") {
            boldFound = true;
            CHECK_EQ(s.font, 1);
        } else {
            CHECK_EQ(s.font, 0);
        }
        if (s.text == "jump to Setup" || s.text == "another") CHECK(s.link);
    }
    CHECK(boldFound);
    CHECK_EQ(contents.paragraphs[1].links.size(), 2u);
    CHECK_EQ(contents.paragraphs[1].links[0].text, std::string("jump to Setup"));
    CHECK_EQ(contents.paragraphs[2].text, std::string("\x95\tFirst item continued here."));
    CHECK_EQ(contents.paragraphs[3].text, std::string("\x95\tSecond item, see setup."));
    CHECK(contents.paragraphs[2].bits & 0x0200);  // bullets carry their tab stop
    CHECK_EQ(contents.paragraphs[4].text, std::string("12.\tA numbered step"));
    CHECK_EQ(contents.paragraphs[5].text, std::string("12. is no step here."));
    CHECK_EQ(contents.paragraphs[6].text, std::string("Escapes: ** and [x] and a lone * star."));
    CHECK_EQ(help.topics[2].title, std::string("Caf\xE9 \x96 other"));  // UTF-8 became Windows-1252

    // A viewer finds a topic from its offset by taking the last topic header
    // at or before it: offsets must rise through the file.
    for (size_t i = 1; i < help.topics.size(); ++i) CHECK(help.topics[i].offset > help.topics[i - 1].offset);
}

// A source big enough for many topic blocks: TOPICPOS and TOPICOFFSET must
// stay right past the first block, where their block parts come into play.
std::string manyBlocksSource(int topics) {
    std::string s = "@title Blocks\n";
    std::string filler;
    for (int i = 0; i < 12; ++i) filler += "Some words that fill the paragraph with text. ";
    for (int t = 0; t < topics; ++t) {
        std::string name = "topic" + std::to_string(t);
        s += "@topic " + name + " Topic number " + std::to_string(t) + "\n";
        s += "@map " + std::to_string(1000 + t) + "\n";
        s += filler + "\n\n";
        s += "Go [forward](topic" + std::to_string((t + 1) % topics) + ") or [back](topic" +
             std::to_string((t + topics - 1) % topics) + ").\n\n";
        s += "- " + filler + "**bold end**\n\n";
    }
    return s;
}

void testManyBlocks() {
    HelpSource src;
    hlpread::HelpFile help;
    CHECK(buildAndRead(manyBlocksSource(40), &src, &help));
    CHECK(help.topicBlocks >= 10);
    checkAgainstSource(src, help);
    // Topics start in many different blocks, and not always at a block's start.
    std::set<uint32_t> blocks;
    bool midBlock = false;
    for (const hlpread::Topic& t : help.topics) {
        blocks.insert(t.offset >> 15);
        CHECK_EQ(t.offset >> 15, (t.pos - 12) >> 14);  // both name the same block
        if ((t.offset & 0x7FFF) != 0) midBlock = true;
    }
    CHECK(blocks.size() >= 10);
    CHECK(midBlock);
}

// Trees of more than one page: |CONTEXT and |TTLBTREE with many topics.
void testLargeTrees() {
    std::string s = "@title Trees\n";
    for (int t = 0; t < 800; ++t)
        s += "@topic t" + std::to_string(t) + "_name Title of topic " + std::to_string(t) + "\nx\n";
    HelpSource src;
    hlpread::HelpFile help;
    CHECK(buildAndRead(s, &src, &help));
    checkAgainstSource(src, help);
    // Signed order: some hashes are negative as 32-bit numbers.
    bool negative = false;
    for (const auto& c : help.contexts) negative = negative || static_cast<int32_t>(c.first) < 0;
    CHECK(negative);
}

// The directory tree with twelve thousand names (three levels of 1 KB pages):
// every name is found by searching from the root.
void testDirectoryTree() {
    const int kFiles = 12000;
    std::vector<std::string> names;
    for (int i = 0; i < kFiles; ++i) {
        char buf[16];
        snprintf(buf, sizeof buf, "|F%05d", i);
        names.push_back(buf);
    }
    std::vector<uint8_t> file(16, 0);
    std::vector<helpwriter::BTreeEntry> entries;
    for (const std::string& n : names) {
        uint32_t off = static_cast<uint32_t>(file.size());
        uint8_t header[9] = {9, 0, 0, 0, 0, 0, 0, 0, 4};
        file.insert(file.end(), header, header + 9);
        helpwriter::BTreeEntry e;
        e.key.assign(n.begin(), n.end());
        e.key.push_back(0);
        e.leaf = e.key;
        for (int b = 0; b < 4; ++b) e.leaf.push_back(static_cast<uint8_t>(off >> (8 * b)));
        entries.push_back(e);
    }
    std::vector<uint8_t> tree = helpwriter::buildBTree(0x0402, 0x0400, "z4", entries);
    CHECK_EQ(tree[32] | tree[33] << 8, 3);  // levels
    uint32_t dir = static_cast<uint32_t>(file.size());
    uint32_t used = static_cast<uint32_t>(tree.size());
    uint8_t header[9] = {0, 0, 0, 0, 0, 0, 0, 0, 4};
    for (int b = 0; b < 4; ++b) {
        header[b] = static_cast<uint8_t>((used + 9) >> (8 * b));
        header[4 + b] = static_cast<uint8_t>(used >> (8 * b));
    }
    file.insert(file.end(), header, header + 9);
    file.insert(file.end(), tree.begin(), tree.end());
    uint32_t fields[4] = {0x00035F3F, dir, 0xFFFFFFFF, static_cast<uint32_t>(file.size())};
    for (int f = 0; f < 4; ++f)
        for (int b = 0; b < 4; ++b) file[f * 4 + b] = static_cast<uint8_t>(fields[f] >> (8 * b));

    hlpread::HelpFile help;
    help.load(file);  // stops at the missing |SYSTEM, after the directory
    CHECK_EQ(help.problems.size(), 1u);
    CHECK_EQ(help.files.size(), names.size());
    for (size_t i = 0; i < names.size(); i += 7) {
        hlpread::InternalFile f;
        CHECK(help.findFile(names[i], &f));
        CHECK_EQ(f.offset, 16 + 9 * static_cast<uint32_t>(i));
    }
    hlpread::InternalFile f;
    CHECK(help.findFile(names.back(), &f));
    CHECK(!help.findFile("|F99999", &f));
    CHECK(!help.findFile("|A", &f));
}

void testContextHash() {
    struct Known {
        const char* name;
        uint32_t hash;
    };
    // Worked out from the hash definition: h = h * 43 + value(c), mod 2^32.
    const Known kKnown[] = {{"a", 17}, {"ab", 749}, {"x_1.0", 137788006},
                            {"second", 923692292}, {"third", 125032711}};
    for (const Known& k : kKnown) {
        CHECK_EQ(helpwriter::contextHash(k.name), k.hash);
        CHECK_EQ(hlpread::hash(k.name), k.hash);
    }
    CHECK_EQ(helpwriter::contextHash("Contents"), helpwriter::contextHash("CONTENTS"));
    // Long names wrap around 32 bits; both formulations must agree there too.
    const char* kLong[] = {"zeltohelp_contents_topic_number_one", "Z9.9_ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789",
                           "dvolkgqx", "sacpirpf"};
    for (const char* n : kLong) CHECK_EQ(helpwriter::contextHash(n), hlpread::hash(n));
    CHECK_EQ(helpwriter::contextHash("dvolkgqx"), helpwriter::contextHash("sacpirpf"));
}

void testErrors() {
    struct Case {
        const char* source;
        int line;
        const char* fragment;
    };
    const Case kCases[] = {
        {"@topic a A\ntext\n\nsee [b](bb)\n", 4, "jump to unknown topic \"bb\""},
        {"@topic a A\n@topic b B\n\n\n@topic A Again\n", 5, "duplicate topic name \"A\" (first used on line 1)"},
        {"@topic a A\nfirst line\nsome **bold\nstill bold\n\nnext\n", 3, "bold text started with ** is not closed"},
        {"@topic a A\n**one** and **two\n", 2, "not closed"},
        {"@topic a A\nsee [here\n\n", 2, "not closed with ']'"},
        {"@topic a A\nsee [here] only\n", 2, "must be followed by (topic name)"},
        {"@topic a A\nsee [here](a\n", 2, "not closed with ')'"},
        {"@topic a A\n[**x**](a)\n", 2, "** inside jump text"},
        {"@topic a A\n[](a)\n", 2, "has no text"},
        {"@topic a A\n[x](a b)\n", 2, "bad topic name"},
        {"@title T\nloose text\n@topic a A\n", 2, "text before the first @topic"},
        {"@topic bad-name Title\n", 1, "bad topic name \"bad-name\""},
        {"@topic a\n", 1, "needs a name and a title"},
        {"@topic a A\n@map 5\n@topic b B\n@map 5\n", 4, "map number 5 is already used on line 2"},
        {"@topic a A\n@map 5\n@map 6\n", 3, "second @map"},
        {"@map 5\n@topic a A\n", 1, "@map outside a topic"},
        {"@topic a A\n@map 0\n", 2, "@map needs a number"},
        {"@topic a A\n@map 2147483648\n", 2, "@map needs a number"},
        {"@date 2001-02-29\n@topic a A\n", 1, "@date needs a date"},
        {"@title One\n@title Two\n@topic a A\n", 2, "second @title (the first is on line 1)"},
        {"@topic a A\n@include x\n", 2, "unknown directive @include"},
        {"@topic a A\nZhe \xD0\x96\n", 2, "U+0416 has no Windows-1252 form"},
        {"@topic a A\nbad \xC3(\n", 2, "not valid UTF-8"},
        {"@topic a A\nbell \x07\n", 2, "control character"},
        {"@topic dvolkgqx A\n@topic sacpirpf B\n", 2, "same hash as \"dvolkgqx\" on line 1"},
        {"# only a comment\n", 1, "no @topic"},
    };
    for (const Case& c : kCases) {
        HelpSource src;
        std::vector<Diagnostic> errors;
        bool ok = helpwriter::parseHelpSource(c.source, &src, &errors);
        bool found = false;
        for (const Diagnostic& d : errors) found = found || (d.line == c.line && d.message.find(c.fragment) != std::string::npos);
        if (ok || !found) {
            fprintf(stderr, "error case on line %d (\"%s\") not reported; got:\n", c.line, c.fragment);
            for (const Diagnostic& d : errors) fprintf(stderr, "  line %d: %s\n", d.line, d.message.c_str());
        }
        CHECK(!ok && found);
    }

    // Every error of a source is reported, each with its own line.
    {
        HelpSource src;
        std::vector<Diagnostic> errors;
        CHECK(!helpwriter::parseHelpSource("@topic a A\n[x](nope)\n\n**open\n@topic a B\n", &src, &errors));
        CHECK_EQ(errors.size(), 3u);
        if (errors.size() == 3) {
            CHECK_EQ(errors[0].line, 2);
            CHECK_EQ(errors[1].line, 4);
            CHECK_EQ(errors[2].line, 5);
        }
    }

    // Texts at the help format's limits are written; one character more is
    // refused with the directive's line, and nothing is written.
    {
        const std::string title(helpwriter::kMaxTopicTitle, 'T');
        const std::string system(helpwriter::kMaxSystemText, 'S');
        const struct {
            std::string source;
            bool ok;
        } kLimits[] = {
            {"@topic a " + title + "\n", true},
            {"@topic a " + title + "T\n", false},
            {"@topic a A\n@topic b " + title + "T\n", false},
            {"@title " + system + "\n@copyright " + system + "\n@topic a A\n", true},
            {"@title " + system + "S\n@topic a A\n", false},
            {"@copyright " + system + "S\n@topic a A\n", false},
        };
        for (const auto& c : kLimits) {
            std::vector<Diagnostic> errors;
            std::vector<uint8_t> file;
            CHECK_EQ(build(c.source, &file, nullptr, &errors), c.ok);
            if (!c.ok)
                CHECK(errors.size() == 1 && errors[0].message.find("holds at most") != std::string::npos &&
                      errors[0].line == (c.source.find("@topic b") != std::string::npos ? 2 : 1));
            CHECK_EQ(file.empty(), !c.ok);
        }
    }

    // The writer refuses a paragraph that cannot fit a topic block, naming
    // the paragraph's first line.
    {
        std::string s = "@topic a A\nshort\n\n";
        for (int i = 0; i < 100; ++i) s += "a line of forty-something characters here\n";
        HelpSource src;
        std::vector<Diagnostic> errors;
        CHECK(helpwriter::parseHelpSource(s, &src, &errors));
        std::vector<uint8_t> file;
        CHECK(!helpwriter::writeHelpFile(src, &file, &errors));
        CHECK(errors.size() == 1 && errors[0].line == 4 && errors[0].message.find("too long") != std::string::npos);
        CHECK(file.empty());
    }
}

void testDeterminism() {
    std::vector<uint8_t> a, b, c;
    CHECK(build(kSample, &a));
    CHECK(build(kSample, &b));
    CHECK(a == b);
    // Another date changes the four date bytes of |SYSTEM and nothing else.
    std::string other = kSample;
    other.replace(other.find("2000-12-28"), 10, "2001-01-05");
    CHECK(build(other, &c));
    hlpread::HelpFile help;
    CHECK(read(a, &help));
    hlpread::InternalFile sys;
    CHECK(help.findFile("|SYSTEM", &sys));
    CHECK_EQ(a.size(), c.size());
    size_t differing = 0;
    for (size_t i = 0; i < a.size() && i < c.size(); ++i) {
        if (a[i] == c[i]) continue;
        ++differing;
        CHECK(i >= sys.offset + 9 + 6 && i < sys.offset + 9 + 10);
    }
    CHECK(differing > 0);
}

// The product's help source: builds cleanly, and its contents topic jumps
// to every other topic.
void testSourceFile(const char* path) {
    std::string text;
    FILE* f = fopen(path, "rb");
    CHECK(f != nullptr);
    if (!f) return;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    fclose(f);
    HelpSource src;
    hlpread::HelpFile help;
    CHECK(buildAndRead(text, &src, &help));
    if (help.topics.empty()) return;
    checkAgainstSource(src, help);
    std::set<uint32_t> linked;
    for (const hlpread::Paragraph& p : help.topics[0].paragraphs)
        for (const hlpread::Link& l : p.links) {
            uint32_t o = 0;
            CHECK(help.lookupContext(l.hash, &o));
            linked.insert(o);
        }
    for (size_t i = 1; i < help.topics.size(); ++i) {
        if (!linked.count(help.topics[i].offset))
            fprintf(stderr, "contents has no jump to \"%s\"\n", help.topics[i].title.c_str());
        CHECK(linked.count(help.topics[i].offset) == 1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    testContextHash();
    testRoundTrip();
    testManyBlocks();
    testLargeTrees();
    testDirectoryTree();
    testErrors();
    testDeterminism();
    for (int i = 1; i < argc; ++i) testSourceFile(argv[i]);
    if (gFailures) {
        fprintf(stderr, "%d check(s) failed\n", gFailures);
        return 1;
    }
    printf("all help writer checks passed\n");
    return 0;
}
