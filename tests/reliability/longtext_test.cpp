// Long texts: every helper that builds a path or a message, given inputs that
// reach and pass 259 characters and outputs of every capacity around them,
// writes nothing past its output (which ends at an inaccessible page), reads
// nothing past its inputs (which end there too), and never gives a path that
// names another file than the one asked for: it cuts messages, and fails on paths.
#include <gtest/gtest.h>
#include <stdio.h>
#include <limits.h>
#include <regex>
#include <string>
#include "boxcatcher.h"
#include "common/errors.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/text.h"
#include "guard.h"
#include "table.h"
#include "resources/resource.h"
#include "shell/selfremove.h"
#include "shell/setupapp.h"
#include "testutil.h"
#include "ui/background.h"
#include "ui/progress.h"
#include "ui/wizard.h"

namespace {
const size_t kLengths[] = {0,   1,   2,   29,  30,  100, 257,  258,  259,  260,  261,  262,  300,
                           499, 500, 501, 519, 520, 521, 1000, 1022, 1023, 1024, 1025, 1500, 3000};
const size_t kCapacities[] = {1,   2,   3,   10,  100,  258,  259,  260, 261,
                              262, 300, 400, 500, 1000, 1024, 1025, 2000};

// Inputs and outputs placed against guard pages; counts every check made.
class Guarded {
public:
    Guarded() : in_(16 * 1024), out_(16 * 1024), hits_(guardHits()) {}
    // An output of exactly capacity bytes, filled with a byte that no helper writes.
    char* out(size_t capacity) {
        char* p = reinterpret_cast<char*>(out_.tail(capacity));
        memset(p, 0x7F, capacity);
        return p;
    }
    // A terminated input whose terminator is the last readable byte.
    const char* text(const std::string& s) {
        char* p = reinterpret_cast<char*>(in_.tail(s.size() + 1));
        memcpy(p, s.c_str(), s.size() + 1);
        return p;
    }
    // Nothing touched a guard page or the bytes in front of the output.
    bool clean() {
        ++checks;
        bool ok = guardHits() == hits_ && out_.untouchedBefore();
        hits_ = guardHits();
        return ok;
    }
    static long long checks;

private:
    GuardedArena in_;
    GuardedArena out_;
    LONG hits_;
};
long long Guarded::checks = 0;

std::string letters(size_t n, char first = 'a') {
    std::string s(n, ' ');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(first + i % 26);
    return s;
}

// Whether out is terminated within capacity and is a prefix of full.
bool terminatedPrefix(const char* out, size_t capacity, const std::string& full) {
    size_t n = boundedLength(out, capacity);
    return n < capacity && full.compare(0, n, out, n) == 0 && n <= full.size();
}

std::string windowsFolderText() { return windowsFolder(); }

// Failures of one kind in a loop: counted, the first one kept to be shown.
struct Misses {
    int n = 0;
    std::string first;
    void add(const std::string& what) {
        if (n++ == 0) first = what;
    }
};

}  // namespace

TEST(LongTexts, CopyAppendAndFormatCutWithinTheirCapacity) {
    TableRow row("long texts: text helpers", "copyText, appendToText, formatText, boundedLength",
                 "cut, never past");
    Guarded g;
    for (size_t capacity : kCapacities)
        for (size_t length : kLengths) {
            std::string input = letters(length);
            const char* text = g.text(input);
            char* out = g.out(capacity);
            bool whole = copyText(out, capacity, text);
            ASSERT_TRUE(g.clean()) << "copyText " << length << " into " << capacity;
            EXPECT_EQ(whole, length < capacity);
            EXPECT_EQ(input.substr(0, capacity - 1), out);

            for (size_t before : {size_t(0), capacity / 2, capacity - 1}) {
                out = g.out(capacity);
                memset(out, 'x', before);
                out[before] = '\0';
                whole = appendToText(out, capacity, text);
                ASSERT_TRUE(g.clean()) << "appendToText " << length << " after " << before;
                EXPECT_EQ(whole, before + length < capacity);
                EXPECT_EQ((std::string(before, 'x') + input).substr(0, capacity - 1), out);
            }
            // An output without a terminator is repaired, not read past.
            out = g.out(capacity);
            memset(out, 'y', capacity);
            EXPECT_FALSE(appendToText(out, capacity, text));
            ASSERT_TRUE(g.clean());
            EXPECT_EQ(capacity - 1, strlen(out));

            out = g.out(capacity);
            whole = formatText(out, capacity, "<%s|%s>", text, text);
            ASSERT_TRUE(g.clean()) << "formatText " << length << " into " << capacity;
            std::string full = "<" + input + "|" + input + ">";
            EXPECT_TRUE(terminatedPrefix(out, capacity, full));
            // Whole only when all of it is there: the formatter's 1024-character
            // limit counts as a cut too.
            EXPECT_EQ(whole, full == out) << length << " into " << capacity;
            row.count += 6;
        }
    for (size_t length : kLengths) {
        std::string input = letters(length);
        EXPECT_EQ(length < 400 ? length : 400, boundedLength(g.text(input), 400));
        ASSERT_TRUE(g.clean());
    }
}

TEST(LongPaths, JoinsAndTrailingBackslashesFailRatherThanCut) {
    TableRow row("long texts: paths", "joinPath, ensureTrailingBackslash", "fail, never cut");
    Guarded g;
    for (size_t folderLength : kLengths)
        for (size_t nameLength : kLengths) {
            std::string folder = "C:\\" + letters(folderLength) + "\\";
            std::string name = letters(nameLength, 'A');
            char* out = g.out(MAX_PATH);
            bool ok = joinPath(out, g.text(folder), name.c_str());
            ASSERT_TRUE(g.clean());
            bool fits = folder.size() + name.size() < MAX_PATH;
            EXPECT_EQ(fits, ok) << folder.size() << "+" << name.size();
            EXPECT_EQ(fits ? folder + name : std::string(), out);
            ++row.count;
        }
    for (size_t capacity : kCapacities)
        for (size_t length : {capacity - 1, capacity > 1 ? capacity - 2 : 0}) {
            std::string path = letters(length);
            char* out = g.out(capacity);
            memcpy(out, path.c_str(), length + 1);
            bool ok = ensureTrailingBackslash(out, capacity);
            ASSERT_TRUE(g.clean());
            bool room = length + 1 < capacity;
            EXPECT_EQ(room || (length && path.back() == '\\'), ok);
            EXPECT_EQ(ok ? (length == 0 || path.back() != '\\' ? path + "\\" : path) : path, out);
            ++row.count;
        }
}

// A path whose folder does not fit a path buffer has no folder to give: the
// answer must not be one of its ancestors, which names another folder.
TEST(LongPaths, FolderOfAPathIsItsOwnFolderOrNone) {
    TableRow row("long texts: paths", "folderOfPath, folders of 200 to 300 characters",
                 "own folder or none");
    Guarded g;
    Misses wrong;
    for (size_t folderLength = 200; folderLength <= 300; ++folderLength) {
        std::string folder = "C:\\top\\" + letters(folderLength - 8) + "\\";  // folderLength chars
        for (size_t nameLength : {size_t(1), size_t(12), size_t(60)}) {
            std::string path = folder + letters(nameLength, 'A');
            char* out = g.out(MAX_PATH);
            bool ok = folderOfPath(g.text(path), out);
            ASSERT_TRUE(g.clean());
            if (ok ? folder != out : *out != '\0')
                wrong.add("the folder of a path of " + std::to_string(path.size()) +
                          " characters whose folder has " + std::to_string(folder.size()) +
                          " came back as \"" + out + "\"");
            if (!ok && folder.size() < MAX_PATH)
                wrong.add("a folder of " + std::to_string(folder.size()) +
                          " characters was refused");
            ++row.count;
        }
    }
    EXPECT_EQ(0, wrong.n) << wrong.first;
}

// The last part of a path is given whole, or not at all; a part cut to fit the
// buffer names another file.
TEST(LongPaths, LastComponentIsNeverCut) {
    TableRow row("long texts: paths", "splitLastComponent, parts of 250 to 300 characters",
                 "whole or none");
    Guarded g;
    Misses wrong;
    for (size_t length = 250; length <= 300; ++length) {
        std::string last = letters(length);
        std::string path = "C:\\folder\\" + last;
        std::vector<char> buffer(path.begin(), path.end());
        buffer.push_back('\0');
        char* out = g.out(MAX_PATH);
        splitLastComponent(buffer.data(), out);
        ASSERT_TRUE(g.clean());
        std::string got = out;
        if (got != last && !got.empty())
            wrong.add("a last part of " + std::to_string(length) + " characters came back as " +
                      std::to_string(got.size()));
        ++row.count;
    }
    EXPECT_EQ(0, wrong.n) << wrong.first;
}

TEST(LongPaths, FolderKindsNameTheirFolderOrFail) {
    TableRow row("long texts: paths", "dirKindFolder, 5 kinds and 5 unknown ones",
                 "own folder or failure");
    Guarded g;
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string windows = windowsFolderText();
    const struct {
        SHORT kind;
        std::string folder;
    } known[] = {{DirBase, windows},
                 {DirWindows, windows},
                 {DirSystem, std::string(system) + "\\"},
                 {DirCursors, windows + "cursors\\"},
                 {DirMedia, windows + "media\\"}};
    for (const auto& k : known) {
        char* out = g.out(MAX_PATH);
        EXPECT_TRUE(dirKindFolder(k.kind, out));
        ASSERT_TRUE(g.clean());
        EXPECT_STREQ(k.folder.c_str(), out);
        ++row.count;
    }
    // A kind that names no folder gives the lone backslash, and answers false so
    // that no path is built on it: it must not turn into the root of the current drive.
    for (SHORT kind : {SHORT(-1), SHORT(5), SHORT(7), SHORT(100), SHORT(SHRT_MIN)}) {
        char* out = g.out(MAX_PATH);
        bool ok = dirKindFolder(kind, out);
        ASSERT_TRUE(g.clean());
        EXPECT_FALSE(ok) << "folder kind " << kind << " gave \"" << out << "\"";
        EXPECT_STREQ("\\", out) << "folder kind " << kind;
        ++row.count;
    }
}

// Temporary and destination paths name exactly the entry's file, or fail.
TEST(LongPaths, TemporaryAndDestinationPathsNameTheWholeName) {
    TableRow row("long texts: paths", "tempPathFor, destinationPath, names of 1 to 300 characters",
                 "whole name or failure");
    Guarded g;
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string temp = windowsFolderText() + "Temp\\";
    Misses wrong;
    for (size_t length : {size_t(1), size_t(28), size_t(29), size_t(30), size_t(31), size_t(60),
                          size_t(259), size_t(260), size_t(300)}) {
        std::string name = letters(length);
        FileEntry entry;
        memset(&entry, 0, sizeof entry);
        entry.dirKind = DirSystem;
        copyText(entry.sourceName, sizeof entry.sourceName, "zelto.sc_");
        copyText(entry.destName, sizeof entry.destName, "Zelto 2000.Scr");
        char* out = g.out(MAX_PATH);
        bool ok = tempPathFor(entry, out, g.text(name));
        ASSERT_TRUE(g.clean());
        if (ok ? temp + name != out : *out != '\0')
            wrong.add("a name of " + std::to_string(length) + " characters gave \"" + out + "\"");
        ++row.count;
    }
    EXPECT_EQ(0, wrong.n) << wrong.first;
    for (size_t length = 1; length < kEntryNameSize; ++length) {
        FileEntry entry;
        memset(&entry, 0, sizeof entry);
        entry.dirKind = DirSystem;
        std::string name = letters(length);
        copyText(entry.sourceName, sizeof entry.sourceName, name.c_str());
        copyText(entry.destName, sizeof entry.destName, name.c_str());
        char* out = g.out(MAX_PATH);
        ASSERT_TRUE(tempPathFor(entry, out));
        EXPECT_EQ(temp + name, out);
        out = g.out(MAX_PATH);
        ASSERT_TRUE(destinationPath(entry, out));
        EXPECT_EQ(std::string(system) + "\\" + name, out);
        ASSERT_TRUE(g.clean());
        row.count += 2;
    }
}

TEST(LongTexts, DeleteBatchIsWholeOrEmpty) {
    TableRow row("long texts: messages", "formatDeleteBatch, paths of 1 to 600 characters",
                 "whole or empty");
    Guarded g;
    const size_t lengths[] = {1, 100, 200, 258, 259, 260, 300, 519, 520, 600};
    for (size_t programLength : lengths)
        for (size_t batchLength : {size_t(10), size_t(259), size_t(300)})
            for (int percents : {0, 1, 100})
                for (size_t capacity :
                     {size_t(100), size_t(500), size_t(1000), size_t(2000), size_t(8000)}) {
                    std::string program = "C:\\" + letters(programLength - 1);
                    for (int i = 0; i < percents && i < static_cast<int>(program.size()) - 3; ++i)
                        program[3 + i] = '%';
                    std::string batch = "C:\\" + letters(batchLength - 1, 'A');
                    std::string p2, b2;
                    for (char c : program) p2 += c == '%' ? "%%" : std::string(1, c);
                    for (char c : batch) b2 += c == '%' ? "%%" : std::string(1, c);
                    std::string full;
                    for (const char* count : {"2", "3", "5", "9"})
                        full += "del \"" + p2 + "\"\r\nif not exist \"" + p2 +
                                "\" goto Done\r\n\"C:\\W\\ping.exe\" -n " + count +
                                " 127.0.0.1 >nul\r\n";
                    full += "del \"" + p2 + "\"\r\n:Done\r\ndel \"" + b2 + "\"\r\n";
                    char* out = g.out(capacity);
                    bool ok = formatDeleteBatch(out, capacity, g.text(program), batch.c_str(),
                                                "C:\\W\\ping.exe");
                    ASSERT_TRUE(g.clean());
                    EXPECT_EQ(ok ? full : std::string(), out);
                    // Text that fits the output is always made.
                    EXPECT_EQ(full.size() < capacity, ok);
                    ++row.count;
                }
}

TEST(LongTexts, DatesProgressAndSummaryStayInTheirOutputs) {
    TableRow row("long texts: messages", "appendDate, formatProgressText, formatFinishSummary",
                 "cut, never past");
    Guarded g;
    const std::regex date("\\d{1,2}/\\d{1,2}/\\d{2}");
    const time_t times[] = {LONG_MIN, -1, 0, 1, 977984780, 2000000000, LONG_MAX};
    for (time_t t : times)
        for (size_t capacity :
             {size_t(1), size_t(2), size_t(5), size_t(9), size_t(20), size_t(300)})
            for (size_t before : {size_t(0), capacity / 2, capacity - 1}) {
                char* out = g.out(capacity);
                memset(out, 'e', before);
                out[before] = '\0';
                appendDate(t, out, capacity);
                ASSERT_TRUE(g.clean()) << "appendDate " << static_cast<long long>(t);
                size_t n = boundedLength(out, capacity);
                ASSERT_LT(n, capacity);
                ASSERT_GE(n, before);
                EXPECT_EQ(std::string(before, 'e'), std::string(out, before));
                std::string added(out + before);
                if (capacity == 300 && before < 200 && t >= 0)
                    EXPECT_TRUE(std::regex_match(added, date)) << added;
                ++row.count;
            }
    const LONG values[] = {0, 1, 999, 1000, 15000, -1, -1500, LONG_MAX, LONG_MIN};
    for (LONG elapsed : values)
        for (LONG percent : values)
            for (size_t capacity = 1; capacity <= 24; ++capacity) {
                char* out = g.out(capacity);
                formatProgressText(out, capacity, elapsed, percent);
                ASSERT_TRUE(g.clean());
                char full[64];
                if (elapsed != 0)
                    sprintf(full, "%d.%03d seconds", static_cast<int>(elapsed / 1000),
                            static_cast<int>(elapsed % 1000));
                else
                    sprintf(full, "%d%%", static_cast<int>(percent));
                EXPECT_TRUE(terminatedPrefix(out, capacity, full));
                if (strlen(full) < capacity) EXPECT_STREQ(full, out);
                ++row.count;
            }
    for (int activate = 0; activate < 2; ++activate)
        for (size_t capacity = 1; capacity <= 200; ++capacity) {
            char* out = g.out(capacity);
            formatFinishSummary(out, capacity, activate != 0);
            ASSERT_TRUE(g.clean());
            char whole[500];
            formatFinishSummary(whole, sizeof whole, activate != 0);
            EXPECT_TRUE(terminatedPrefix(out, capacity, whole));
            ++row.count;
        }
}

TEST(LongTexts, InternetErrorDetailAndStringTableTexts) {
    TableRow row("long texts: messages", "appendInternetErrorDetail, loadText, appendText",
                 "cut, never past");
    TestApp app;
    LoadLibraryA("wininet.dll");
    Guarded g;
    for (DWORD code : {DWORD(0), DWORD(12007), DWORD(12999), DWORD(12003)})
        for (size_t capacity :
             {size_t(1), size_t(2), size_t(20), size_t(200), size_t(999), size_t(1000)})
            for (size_t before : {size_t(0), capacity / 2, capacity - 1, capacity}) {
                char* out = g.out(capacity);
                memset(out, 'm', capacity);  // before == capacity: no terminator at all
                if (before < capacity) out[before] = '\0';
                SetLastError(code);
                appendInternetErrorDetail(out, capacity, false);
                ASSERT_TRUE(g.clean()) << code << " " << capacity << " " << before;
                // A text without a terminator is the caller's fault: only the
                // guard pages are checked then.
                if (before == capacity) continue;
                size_t n = boundedLength(out, capacity);
                ASSERT_LT(n, capacity);
                size_t kept = before;
                EXPECT_EQ(std::string(kept, 'm'), std::string(out, kept < n ? kept : n));
                if (n > kept)
                    EXPECT_EQ(0,
                              strncmp(out + kept, "error code: ", n - kept < 12 ? n - kept : 12));
                ++row.count;
            }
    const UINT ids[] = {
        IDS_NO_INTERNET,  IDS_NO_INTERNET_FILE,  IDS_BAD_HEADER,      IDS_NO_HEADER,
        IDS_FILE_IN_USE,  IDS_NO_DOWNLOAD,       IDS_NO_INSTALL,      IDS_NO_REMOVE,
        IDS_INSTALLED,    IDS_LOOKING,           IDS_CLOSING_DIALOGS, IDS_CONNECTING,
        IDS_EDITION,      IDS_CONFIRM_UNINSTALL, IDS_UNINSTALLED,     IDS_UNINSTALL_AT_RESTART,
        IDS_UNINSTALLING, IDS_FILES_IN_USE,      IDS_INSTALLED_LINE,  IDS_NOT_INSTALLED,
        IDS_THANK_YOU};
    for (UINT id : ids) {
        char* loaded = g.out(kTextCapacity);
        loadText(loaded, id);
        ASSERT_TRUE(g.clean());
        std::string whole = loaded;
        EXPECT_FALSE(whole.empty()) << id;
        for (size_t capacity : {size_t(1), size_t(10), size_t(100), size_t(260), size_t(500)}) {
            char* out = g.out(capacity);
            out[0] = '\0';
            appendText(out, id, capacity);
            ASSERT_TRUE(g.clean());
            EXPECT_EQ(whole.substr(0, capacity - 1), out);
            ++row.count;
        }
    }
}

TEST(LongTexts, ErrorReportsAndReportLinesAreCutNotOverrun) {
    TableRow row("long texts: messages", "reportErrorById, appendInstallReport, texts of 0 to 3000",
                 "cut, never past");
    TestApp app;
    LoadLibraryA("wininet.dll");
    Guarded g;
    std::string report = windowsPath("zeltoInstall.txt");
    const UINT ids[] = {IDS_NO_DOWNLOAD, IDS_FILE_IN_USE, IDS_BAD_HEADER, IDS_NO_HEADER};
    for (UINT id : ids)
        for (size_t length :
             {size_t(0), size_t(259), size_t(260), size_t(400), size_t(1024), size_t(3000)}) {
            DeleteFileA(report.c_str());
            std::string argument = letters(length);
            char format[kTextCapacity];
            loadText(format, id);
            std::string full = format;
            size_t at = full.find("%s");
            ASSERT_NE(std::string::npos, at);
            full.replace(at, 2, argument);
            auto boxes = boxesDuring([&] {
                SetLastError(12003);  // no internet detail to add
                EXPECT_FALSE(reportErrorById(id, g.text(argument)));
            });
            ASSERT_TRUE(g.clean());
            ASSERT_EQ(1u, boxes.size());
            EXPECT_LT(boxes[0].text.size(), 400u);
            EXPECT_EQ(0u, full.compare(0, boxes[0].text.size(), boxes[0].text))
                << id << " " << length;
            std::string line = readFile(report);
            ASSERT_GE(line.size(), 20u);
            EXPECT_EQ(boxes[0].text + "\r\n", line.substr(18))
                << "the report line says what the box said";
            ++row.count;
        }
    for (size_t length : kLengths) {
        DeleteFileA(report.c_str());
        std::string text = letters(length);
        EXPECT_TRUE(setupApp->appendInstallReport(g.text(text)));
        ASSERT_TRUE(g.clean());
        std::string line = readFile(report);
        ASSERT_GE(line.size(), 20u);
        std::string said = line.substr(18, line.size() - 20);
        EXPECT_EQ("\r\n", line.substr(line.size() - 2));
        EXPECT_EQ(0u, text.compare(0, said.size(), said));
        EXPECT_GE(said.size(), length < 499 ? length : 499)
            << "texts up to 499 characters stay whole";
        ++row.count;
    }
    DeleteFileA(report.c_str());
}

// What the log writer takes, the log reader removes again: a path of every
// length up to the longest a file can have is listed once and deleted at
// uninstall time, or refused when it is written.
TEST(LongPaths, EveryLoggedPathIsRemovedAgain) {
    TableRow row("long texts: paths", "install log round trip, paths of 200 to 262 characters",
                 "removed or refused");
    TestApp app;
    Guarded g;
    reportUndeletable = false;
    std::string log = windowsPath("zelto.log");
    const std::string folder = "C:\\rellong\\" + std::string(120, 'd') + "\\";
    CreateDirectoryA("C:\\rellong", NULL);
    CreateDirectoryA(folder.c_str(), NULL);
    Misses kept;
    for (size_t length = 200; length <= 262; ++length) {
        DeleteFileA(log.c_str());
        std::string path = folder + letters(length - folder.size());
        bool made = length < MAX_PATH;
        if (made) writeFile(path, "x");
        ASSERT_EQ(made, fileExists(path.c_str())) << length;
        bool listed = setupApp->appendInstallLog(g.text(path));
        setupApp->removableCount = 1;  // as if the update header gave this destination
        lstrcpynA(setupApp->removablePaths[0], path.c_str(), MAX_PATH);
        ASSERT_TRUE(g.clean());
        std::string content = readFile(log);
        if (listed)
            EXPECT_EQ(path + " \r\n", content);
        else
            EXPECT_TRUE(content == "<missing>" || content.empty());
        EXPECT_TRUE(listed || !made) << "a path of " << length << " characters is not listed";
        EXPECT_TRUE(boxesDuring([] { EXPECT_TRUE(setupApp->removeLoggedFiles()); }).empty());
        if (fileExists(path.c_str()))
            kept.add("a listed file with a path of " + std::to_string(length) +
                     " characters stays after the uninstall's removal answered true");
        EXPECT_FALSE(fileExists(log.c_str()));
        DeleteFileA(path.c_str());
        ++row.count;
    }
    EXPECT_EQ(0, kept.n) << kept.first;
    RemoveDirectoryA(folder.c_str());
    RemoveDirectoryA("C:\\rellong");
    DeleteFileA(log.c_str());
    reportUndeletable = true;
}

TEST(LongTexts, SearchesReadOnlyTheirText) {
    TableRow row("long texts: paths", "findTextNoCaseN over unterminated texts", "never past");
    Guarded g;
    for (size_t length : {size_t(0), size_t(1), size_t(259), size_t(260), size_t(300)})
        for (size_t patternLength :
             {size_t(0), size_t(1), size_t(5), size_t(259), size_t(260), size_t(301)}) {
            std::string text = letters(length);
            std::string pattern = text.substr(length > patternLength ? length - patternLength : 0);
            if (pattern.size() < patternLength)
                pattern += std::string(patternLength - pattern.size(), 'Q');
            // The text ends at the guard page without a terminator.
            char* unterminated = g.out(length ? length : 1);
            memcpy(unterminated, text.data(), length);
            int at = findTextNoCaseN(unterminated, static_cast<int>(length), pattern.c_str());
            ASSERT_TRUE(g.clean()) << length << " " << patternLength;
            bool inside = patternLength <= length;
            EXPECT_EQ(inside, at != 0) << length << " " << patternLength;
            ++row.count;
        }
}

// After all tests: every output and input above was checked against guard pages.
class GuardSummary : public ::testing::Environment {
public:
    void TearDown() override {
        printf(
            "@table|long texts|calls checked against guard pages (reads or writes past)|%lld|%s\n",
            Guarded::checks, guardHits() == 0 ? "0 accesses past" : "FAULT");
        EXPECT_EQ(0, guardHits());
    }
};
::testing::Environment* const guardSummary = ::testing::AddGlobalTestEnvironment(new GuardSummary);
