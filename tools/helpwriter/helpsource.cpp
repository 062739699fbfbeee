// Parser of our help source format (.hsrc).
//
// THE HELP SOURCE FORMAT
//
// A help source is a plain text file, ASCII or UTF-8. Every character must
// exist in Windows-1252, the code page the help file is written in; others
// are refused. Tabs count as blanks; other control characters are refused.
//
//   # comment         A line whose first character is '#' is ignored.
//
//   @title TEXT       The help file's title: the help window's caption.
//                     Optional (the first topic's title is used), once.
//   @copyright TEXT   Copyright notice shown by the viewer. Optional, once.
//   @date YYYY-MM-DD  Generation date stored in the file. Optional, once;
//                     without it the date is 0. The output never depends on
//                     the clock: the same source gives the same bytes.
//
//   @topic NAME TITLE Starts a topic. NAME is its context name: 1 to 255
//                     letters, digits, '_' or '.', unique regardless of case
//                     (WinHelp looks names up case-folded). TITLE is shown as
//                     the topic's heading and in the viewer's history. The
//                     first topic is the contents topic, opened by default.
//   @map NUMBER       Inside a topic: the number a program passes to WinHelp
//                     with HELP_CONTEXT to open it. 1 to 2147483647, unique,
//                     at most one per topic.
//
// Any other line is text and belongs to the topic above it:
//   - Consecutive text lines form a paragraph, joined with one blank; an
//     empty line ends the paragraph. Leading and trailing blanks of a line
//     do not count.
//   - A line starting with "- " starts a bulleted paragraph, one starting
//     with a number of one or two digits, a dot and a blank ("3. ") a
//     numbered step; the lines below continue the item until an empty line
//     or the next item.
//   - **text** shows text in bold. A bold run must end in its paragraph.
//   - [text](NAME) is a jump: text is the hotspot, NAME the context name of
//     the topic it opens. Jump text is plain (no ** inside).
//   - \c stands for the character c itself, for a literal "\*", "\[", "\\",
//     or "\-", "\@", "\#" and "12\. " at the start of a line.
//
// Errors (each reported with its line; the writer then produces no file):
// text before the first @topic, unknown directives, bad or duplicate context
// names and map numbers, two names with the same hash, a bold run or a jump
// not closed in its paragraph, a jump to an unknown topic, a malformed date,
// and characters outside Windows-1252.
#include "helpsource.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace helpwriter {

namespace {

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

std::string lower(const std::string& s) {
    std::string r = s;
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return r;
}

// Windows-1252 bytes 0x80..0x9F and the Unicode characters they stand for
// (0 where the code page leaves the byte undefined).
const uint16_t kCp1252High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

// Converts one UTF-8 line to Windows-1252. On failure names the problem.
bool toWindows1252(const std::string& in, std::string* out, std::string* problem) {
    out->clear();
    size_t i = 0;
    while (i < in.size()) {
        unsigned char c = static_cast<unsigned char>(in[i]);
        uint32_t cp;
        size_t len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            len = 4;
        } else {
            *problem = "the text is not valid UTF-8";
            return false;
        }
        if (i + len > in.size()) {
            *problem = "the text is not valid UTF-8";
            return false;
        }
        for (size_t k = 1; k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(in[i + k]);
            if ((cc & 0xC0) != 0x80) {
                *problem = "the text is not valid UTF-8";
                return false;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        i += len;
        if (cp == '\t') {
            out->push_back(' ');
        } else if (cp < 0x20 || cp == 0x7F) {
            *problem = "control character in the text";
            return false;
        } else if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out->push_back(static_cast<char>(cp));
        } else {
            int found = -1;
            for (int k = 0; k < 32; ++k)
                if (kCp1252High[k] != 0 && kCp1252High[k] == cp) found = k;
            if (found < 0) {
                char buf[64];
                snprintf(buf, sizeof buf, "character U+%04X has no Windows-1252 form",
                         static_cast<unsigned>(cp));
                *problem = buf;
                return false;
            }
            out->push_back(static_cast<char>(0x80 + found));
        }
    }
    return true;
}

bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Parses YYYY-MM-DD into seconds since 1970-01-01 (midnight UTC).
bool parseDate(const std::string& s, uint32_t* seconds) {
    if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
    for (size_t i = 0; i < s.size(); ++i)
        if (i != 4 && i != 7 && (s[i] < '0' || s[i] > '9')) return false;
    int y = atoi(s.substr(0, 4).c_str());
    int m = atoi(s.substr(5, 2).c_str());
    int d = atoi(s.substr(8, 2).c_str());
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    // 2105 is the last whole year a 32-bit unsigned count of seconds reaches.
    if (y < 1970 || y > 2105 || m < 1 || m > 12) return false;
    int inMonth = kDays[m - 1] + (m == 2 && isLeapYear(y) ? 1 : 0);
    if (d < 1 || d > inMonth) return false;
    uint32_t days = 0;
    for (int yy = 1970; yy < y; ++yy) days += isLeapYear(yy) ? 366 : 365;
    for (int mm = 1; mm < m; ++mm) days += kDays[mm - 1] + (mm == 2 && isLeapYear(y) ? 1 : 0);
    days += static_cast<uint32_t>(d - 1);
    *seconds = days * 86400u;
    return true;
}

struct SourceLine {
    std::string text;  // Windows-1252, trimmed
    int line;
};

class Parser {
public:
    Parser(HelpSource* out, std::vector<Diagnostic>* errors) : out_(out), errors_(errors) {}

    void run(const std::string& text);

private:
    void error(int line, const std::string& message) { errors_->push_back({line, message}); }
    void handleLine(const std::string& raw, int line);
    void handleDirective(const std::string& s, int line);
    void startTopic(const std::string& rest, int line);
    void flushParagraph();
    void parseInline(const std::vector<SourceLine>& pieces, Paragraph* para);
    void resolveJumps();

    HelpSource* out_;
    std::vector<Diagnostic>* errors_;
    std::vector<SourceLine> pending_;      // lines of the paragraph being read
    ParagraphKind pendingKind_ = ParagraphKind::Body;
    std::string pendingMarker_;
    bool outsideReported_ = false;
    int titleLine_ = 0, copyrightLine_ = 0, dateLine_ = 0;
    std::map<std::string, int> nameLines_;                       // lower-case name -> line
    std::map<uint32_t, std::pair<std::string, int>> hashOwners_; // hash -> name, line
    std::map<int32_t, int> mapLines_;                            // map number -> line
    std::vector<int> mapLineOfTopic_;
};

void Parser::run(const std::string& text) {
    int line = 1;
    size_t start = 0;
    while (start <= text.size()) {
        size_t nl = text.find('\n', start);
        bool last = nl == std::string::npos;
        std::string raw = text.substr(start, last ? std::string::npos : nl - start);
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        if (!(last && raw.empty())) handleLine(raw, line);
        if (last) break;
        start = nl + 1;
        ++line;
    }
    flushParagraph();
    if (out_->topics.empty()) error(1, "the source has no @topic");
    if (out_->title.empty() && !out_->topics.empty()) out_->title = out_->topics[0].title;
    resolveJumps();
}

void Parser::handleLine(const std::string& raw, int line) {
    if (!raw.empty() && raw[0] == '#') return;
    std::string converted, problem;
    if (!toWindows1252(raw, &converted, &problem)) {
        error(line, problem);
        return;
    }
    std::string s = trim(converted);
    if (s.empty()) {
        flushParagraph();
        return;
    }
    if (s[0] == '@') {
        flushParagraph();
        handleDirective(s, line);
        return;
    }
    if (out_->topics.empty()) {
        if (!outsideReported_) error(line, "text before the first @topic");
        outsideReported_ = true;
        return;
    }
    size_t digits = 0;
    while (digits < s.size() && digits < 3 && s[digits] >= '0' && s[digits] <= '9') ++digits;
    bool bullet = s.size() >= 2 && s[0] == '-' && s[1] == ' ';
    bool step = digits >= 1 && digits <= 2 && s.size() > digits + 1 && s[digits] == '.' && s[digits + 1] == ' ';
    if (bullet || step) {
        flushParagraph();
        pendingKind_ = ParagraphKind::ListItem;
        pendingMarker_ = bullet ? std::string("\x95") : s.substr(0, digits + 1);
        pending_.push_back({trim(s.substr(bullet ? 2 : digits + 2)), line});
        return;
    }
    if (pending_.empty()) pendingKind_ = ParagraphKind::Body;
    pending_.push_back({s, line});
}

void Parser::handleDirective(const std::string& s, int line) {
    size_t sp = s.find(' ');
    std::string word = s.substr(0, sp);
    std::string rest = sp == std::string::npos ? std::string() : trim(s.substr(sp + 1));
    auto once = [&](int* seen, const char* what) {
        if (*seen) {
            error(line, std::string("second ") + what + " (the first is on line " +
                            std::to_string(*seen) + ")");
            return false;
        }
        *seen = line;
        return true;
    };
    auto fits = [&](const std::string& text, size_t most, const char* what) {
        if (text.size() <= most) return true;
        error(line, std::string(what) + " of " + std::to_string(text.size()) +
                        " characters; the help format holds at most " + std::to_string(most));
        return false;
    };
    if (word == "@title") {
        if (!once(&titleLine_, "@title")) return;
        if (rest.empty()) error(line, "@title needs a text");
        if (fits(rest, kMaxSystemText, "@title")) out_->title = rest;
    } else if (word == "@copyright") {
        if (!once(&copyrightLine_, "@copyright")) return;
        if (fits(rest, kMaxSystemText, "@copyright")) out_->copyright = rest;
    } else if (word == "@date") {
        if (!once(&dateLine_, "@date")) return;
        if (!parseDate(rest, &out_->date)) error(line, "@date needs a date YYYY-MM-DD (1970 to 2105)");
    } else if (word == "@topic") {
        startTopic(rest, line);
    } else if (word == "@map") {
        if (out_->topics.empty()) {
            error(line, "@map outside a topic");
            return;
        }
        Topic& topic = out_->topics.back();
        int& topicMapLine = mapLineOfTopic_.back();
        if (topicMapLine) {
            error(line, "second @map for topic \"" + topic.name + "\" (the first is on line " +
                            std::to_string(topicMapLine) + ")");
            return;
        }
        bool digits = !rest.empty() && rest.size() <= 10;
        for (char c : rest) digits = digits && c >= '0' && c <= '9';
        long long value = digits ? atoll(rest.c_str()) : 0;
        if (value < 1 || value > 2147483647LL) {
            error(line, "@map needs a number from 1 to 2147483647");
            return;
        }
        auto it = mapLines_.find(static_cast<int32_t>(value));
        if (it != mapLines_.end()) {
            error(line, "map number " + rest + " is already used on line " + std::to_string(it->second));
            return;
        }
        mapLines_[static_cast<int32_t>(value)] = line;
        topicMapLine = line;
        topic.mapId = static_cast<int32_t>(value);
    } else {
        error(line, "unknown directive " + word);
    }
}

void Parser::startTopic(const std::string& rest, int line) {
    size_t sp = rest.find(' ');
    std::string name = rest.substr(0, sp);
    std::string title = sp == std::string::npos ? std::string() : trim(rest.substr(sp + 1));
    // The topic is kept even when faulty, so that the text below it is checked too.
    Topic topic;
    topic.name = name;
    topic.title = title;
    topic.line = line;
    if (!isValidContextName(name)) {
        error(line, "bad topic name \"" + name + "\": use 1 to 255 letters, digits, '_' or '.'");
    } else {
        std::string key = lower(name);
        auto seen = nameLines_.find(key);
        if (seen != nameLines_.end()) {
            error(line, "duplicate topic name \"" + name + "\" (first used on line " +
                            std::to_string(seen->second) + ")");
        } else {
            nameLines_[key] = line;
            uint32_t hash = contextHash(name);
            auto owner = hashOwners_.find(hash);
            if (owner != hashOwners_.end())
                error(line, "topic name \"" + name + "\" has the same hash as \"" + owner->second.first +
                                "\" on line " + std::to_string(owner->second.second) + "; rename one");
            else
                hashOwners_[hash] = {name, line};
        }
    }
    if (title.empty()) error(line, "@topic needs a name and a title");
    if (title.size() > kMaxTopicTitle)
        error(line, "topic title of " + std::to_string(title.size()) +
                        " characters; the help format holds at most " + std::to_string(kMaxTopicTitle));
    Paragraph heading;
    heading.kind = ParagraphKind::Heading;
    heading.line = line;
    TextRun run;
    run.text = title;
    run.line = line;
    heading.runs.push_back(run);
    topic.paragraphs.push_back(heading);
    out_->topics.push_back(topic);
    mapLineOfTopic_.push_back(0);
}

void Parser::flushParagraph() {
    if (pending_.empty()) return;
    Paragraph para;
    para.kind = pendingKind_;
    para.marker = pendingKind_ == ParagraphKind::ListItem ? pendingMarker_ : std::string();
    para.line = pending_[0].line;
    parseInline(pending_, &para);
    if (!para.runs.empty()) out_->topics.back().paragraphs.push_back(para);
    pending_.clear();
    pendingKind_ = ParagraphKind::Body;
}

void Parser::parseInline(const std::vector<SourceLine>& pieces, Paragraph* para) {
    std::string s;
    std::vector<int> lines;  // source line of every character of s
    for (const SourceLine& piece : pieces) {
        if (piece.text.empty()) continue;
        if (!s.empty()) {
            s.push_back(' ');
            lines.push_back(piece.line);
        }
        s += piece.text;
        lines.insert(lines.end(), piece.text.size(), piece.line);
    }
    const size_t n = s.size();
    TextRun cur;
    bool bold = false;
    int boldLine = 0;
    auto flush = [&]() {
        if (!cur.text.empty()) {
            cur.bold = bold;
            para->runs.push_back(cur);
        }
        cur = TextRun();
    };
    auto append = [&](char c, int line) {
        if (cur.text.empty()) cur.line = line;
        cur.text.push_back(c);
    };
    size_t i = 0;
    while (i < n) {
        char c = s[i];
        if (c == '\\' && i + 1 < n) {
            append(s[i + 1], lines[i]);
            i += 2;
        } else if (c == '*' && i + 1 < n && s[i + 1] == '*') {
            flush();
            bold = !bold;
            boldLine = lines[i];
            i += 2;
        } else if (c == '[') {
            int line = lines[i];
            std::string text;
            size_t j = i + 1;
            bool bad = false;
            while (j < n && s[j] != ']') {
                if (s[j] == '\\' && j + 1 < n) {
                    text.push_back(s[j + 1]);
                    j += 2;
                    continue;
                }
                if (s[j] == '[' || (s[j] == '*' && j + 1 < n && s[j + 1] == '*')) {
                    error(lines[j], s[j] == '[' ? "'[' inside jump text (write \\[ for a bracket)"
                                                : "** inside jump text: jump text is plain");
                    bad = true;
                    break;
                }
                text.push_back(s[j]);
                ++j;
            }
            if (bad) return;
            if (j >= n) {
                error(line, "jump text opened with '[' is not closed with ']' in its paragraph "
                            "(write \\[ for a bracket)");
                return;
            }
            if (j + 1 >= n || s[j + 1] != '(') {
                error(line, "jump text [" + text + "] must be followed by (topic name)");
                return;
            }
            size_t k = j + 2;
            std::string name;
            while (k < n && s[k] != ')') name.push_back(s[k++]);
            if (k >= n) {
                error(line, "jump target opened with '(' is not closed with ')' in its paragraph");
                return;
            }
            name = trim(name);
            if (!isValidContextName(name)) {
                error(line, "bad topic name \"" + name + "\" in jump");
            } else if (trim(text).empty()) {
                error(line, "jump to \"" + name + "\" has no text");
            } else {
                flush();
                TextRun jump;
                jump.text = text;
                jump.bold = bold;
                jump.target = name;
                jump.line = line;
                para->runs.push_back(jump);
            }
            i = k + 1;
        } else {
            append(c, lines[i]);
            ++i;
        }
    }
    flush();
    if (bold) error(boldLine, "bold text started with ** is not closed in its paragraph");
}

void Parser::resolveJumps() {
    for (const Topic& topic : out_->topics)
        for (const Paragraph& para : topic.paragraphs)
            for (const TextRun& run : para.runs)
                if (!run.target.empty() && nameLines_.find(lower(run.target)) == nameLines_.end())
                    error(run.line, "jump to unknown topic \"" + run.target + "\"");
}

}  // namespace

bool isValidContextName(const std::string& name) {
    if (name.empty() || name.size() > 255) return false;
    for (char c : name) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                  c == '_' || c == '.';
        if (!ok) return false;
    }
    return true;
}

uint32_t contextHash(const std::string& name) {
    uint32_t hash = 0;
    for (char c : name) {
        uint32_t value = 0;
        if (c >= 'A' && c <= 'Z') value = static_cast<uint32_t>(c - 'A') + 17;
        else if (c >= 'a' && c <= 'z') value = static_cast<uint32_t>(c - 'a') + 17;
        else if (c >= '1' && c <= '9') value = static_cast<uint32_t>(c - '0');
        else if (c == '0') value = 10;
        else if (c == '.') value = 12;
        else if (c == '_') value = 13;
        if (value) hash = hash * 43 + value;  // wraps modulo 2^32, as WinHelp's does
    }
    return hash;
}

bool parseHelpSource(const std::string& text, HelpSource* out, std::vector<Diagnostic>* errors) {
    *out = HelpSource();
    errors->clear();
    Parser parser(out, errors);
    parser.run(text);
    std::stable_sort(errors->begin(), errors->end(),
                     [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
    return errors->empty();
}

}  // namespace helpwriter
