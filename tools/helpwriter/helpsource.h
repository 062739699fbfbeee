// The help source: what the parser reads from a .hsrc file and the writer
// turns into a Windows Help file. The format is described in helpsource.cpp.
#ifndef ZELTO_HELPWRITER_HELPSOURCE_H
#define ZELTO_HELPWRITER_HELPSOURCE_H

#include <cstdint>
#include <string>
#include <vector>

namespace helpwriter {

// A stretch of paragraph text with one look: plain or bold, and either
// ordinary text or the hotspot of a jump to another topic.
struct TextRun {
    std::string text;    // Windows-1252 bytes
    bool bold = false;
    std::string target;  // context name of the jump target; empty if no jump
    int line = 0;        // source line where the run starts
};

// A list item starts with its marker (a bullet or a step number) and a tab
// to the indent where its text runs.
enum class ParagraphKind { Heading, Body, ListItem };

struct Paragraph {
    ParagraphKind kind = ParagraphKind::Body;
    std::string marker;  // list items: "\x95" (bullet) or "1." and so on
    std::vector<TextRun> runs;
    int line = 0;
};

struct Topic {
    std::string name;    // context name, as written
    std::string title;   // Windows-1252
    int32_t mapId = 0;   // number for HELP_CONTEXT; 0 if the topic has none
    int line = 0;        // line of the @topic directive
    std::vector<Paragraph> paragraphs;  // the first one is the heading
};

struct HelpSource {
    std::string title;       // help file title, Windows-1252
    std::string copyright;   // may be empty
    uint32_t date = 0;       // seconds since 1970-01-01 UTC; 0 if not given
    std::vector<Topic> topics;  // topics[0] is the contents topic
};

// The longest texts the help format holds, in Windows-1252 bytes. A topic's
// title goes whole into one 2 KB leaf page of the title tree, after the
// page's 8-byte header and the topic's 4-byte offset, with its terminator.
// The help file's title and copyright are |SYSTEM records whose 16-bit size
// counts the terminator.
const size_t kMaxTopicTitle = 0x800 - 8 - 4 - 1;
const size_t kMaxSystemText = 0xFFFF - 1;

struct Diagnostic {
    int line = 0;
    std::string message;
};

// Parses a whole source text. Returns true if it is valid; otherwise fills
// errors with every problem found, each naming its line, and out is unusable.
bool parseHelpSource(const std::string& text, HelpSource* out, std::vector<Diagnostic>* errors);

// The hash under which WinHelp 3.1 and later look up a context name: case
// folded, computed over the characters a context name may hold.
uint32_t contextHash(const std::string& name);

// True if name is a usable context name: 1..255 letters, digits, '_' or '.'.
bool isValidContextName(const std::string& name);

}  // namespace helpwriter

#endif
