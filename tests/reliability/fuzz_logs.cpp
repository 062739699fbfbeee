// Install logs: random bytes, lines without CR LF or with a lone CR or LF, NUL
// bytes, lines of every length up to and past 260, every log of 0 to 4 bytes
// over the bytes that matter, corrupted lines next to real files, and files in
// use or read-only. Each log is handed to the removal pass as its content, at
// the very end of a writable page. The lines name files in a scratch folder;
// canary files elsewhere must survive, and a folder that does not exist must
// stay so.
#include <stdio.h>
#include <string.h>
#include "common/paths.h"
#include "fuzz.h"
#include "guard.h"
#include "shell/setupapp.h"

namespace {
const char kScratch[] = "C:\\relscratch\\";
const char kWorkFolder[] = "C:\\relscratch\\cwd\\";  // the current folder: relative names land here
const char kCanaryFolder[] = "C:\\relcanary\\";
const char kCanary[] = "C:\\relcanary\\canary.txt";
const char kReadOnlyCanary[] = "C:\\relcanary\\readonly.txt";
const char kAbsentFolder[] = "C:\\relabsent\\";
const char kLower[] = "abcdefghijklmnopqrstuvwxyz0123456789";
enum { kLongFolderLength = 100 };

struct ScratchFile {
    std::string path;
    bool locked;  // held open without sharing during the pass
    bool readOnly;
    bool folder;  // a folder where the log expects a file
    HANDLE held;
};

struct LogCase {
    std::string content;
    std::vector<ScratchFile> files;
    bool touchesOutside;  // the log spells a path outside the scratch folder
};

std::string longFolder() {
    return std::string(kScratch) + std::string(kLongFolderLength, 'd') + "\\";
}

// A path of exactly length characters naming a file of the scratch folder
// (relative to the current folder when shorter than the folder's own name).
std::string pathOfLength(Rng& rng, size_t length, const char* stem) {
    std::string base = kScratch;
    std::string name;
    if (length < base.size() + 2) {
        base.clear();
    } else if (length > base.size() + 200) {
        base = longFolder();
    }
    size_t n = length - base.size();
    name = stem;
    while (name.size() < n) name += rng.letter(kLower);
    name.resize(n);
    return base + name;
}

std::string randomName(Rng& rng, int lo, int hi) {
    std::string s;
    int n = rng.range(lo, hi);
    for (int i = 0; i < n; ++i) s += rng.letter(kLower);
    return s;
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool makeFile(const std::string& path, const char* content) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD n = 0;
    WriteFile(f, content, lstrlenA(content), &n, NULL);
    CloseHandle(f);
    return true;
}

void removeTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = folder + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(path + "\\");
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

std::string fullPath(const std::string& path) {
    char full[1024] = "";
    char* part = NULL;
    DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, &part);
    return n > 0 && n < sizeof full ? std::string(full) : path;
}

bool samePath(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// What a log names. Whole lines (for what must be removed when the update
// header lists them too): the text between CR LF pairs (the last may lack its
// CR LF), without the CRs and blanks at its end, with no CR, LF or NUL left
// inside, and a full path as the installer writes them, taken as it is spelled. Words (for what may be removed at all): every run of bytes
// without CR, LF or NUL, trailing blanks dropped, so that a line cut short at
// a stray byte still counts as naming its first part.
std::string trimmed(std::string text, const char* drop) {
    while (!text.empty() && text.back() != '\0' && strchr(drop, text.back())) text.pop_back();
    return text;
}

std::vector<std::string> listedLines(const std::string& content) {
    std::vector<std::string> listed;
    size_t start = 0;
    for (;;) {
        size_t end = content.find("\r\n", start);
        bool last = end == std::string::npos;
        if (last) end = content.size();
        std::string line = trimmed(content.substr(start, end - start), " \r");
        bool clean = line.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
        if (clean && line.size() >= 3 && line[1] == ':' && line[2] == '\\')
            listed.push_back(line);
        if (last) break;
        start = end + 2;
    }
    return listed;
}

std::vector<std::string> namedWords(const std::string& content) {
    std::vector<std::string> words;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find_first_of(std::string("\r\n\0", 3), start);
        if (end == std::string::npos) end = content.size();
        std::string word = trimmed(content.substr(start, end - start), " ");
        if (!word.empty()) words.push_back(fullPath(word));
        start = end + 1;
    }
    return words;
}

bool among(const std::vector<std::string>& paths, const std::string& full) {
    for (const std::string& p : paths)
        if (samePath(p, full)) return true;
    return false;
}

class LogRunner {
public:
    explicit LogRunner(Tally& tally) : tally_(tally), cases_(0) {}
    bool prepare();
    void finish();
    void run(const char* kind, LogCase& c);

private:
    void fail(const char* check, const char* kind, const LogCase& c, const std::string& why);
    bool canariesIntact(std::string* why);
    Tally& tally_;
    GuardedArena arena_;
    long long cases_;
    DWORD canaryAttributes_[2];
};

const std::string* dumping = NULL;
void dumpLog() {
    if (dumping)
        fprintf(stderr, "log of %u bytes: %s\n", static_cast<unsigned>(dumping->size()),
                quoted(dumping->data(), dumping->size()).c_str());
}

bool LogRunner::prepare() {
    removeTree(kScratch);
    removeTree(kCanaryFolder);
    removeTree(kAbsentFolder);
    if (!CreateDirectoryA(kScratch, NULL) || !CreateDirectoryA(kWorkFolder, NULL) ||
        !CreateDirectoryA(longFolder().c_str(), NULL) || !CreateDirectoryA(kCanaryFolder, NULL) ||
        !makeFile(kCanary, "canary") || !makeFile(kReadOnlyCanary, "canary") ||
        !SetFileAttributesA(kReadOnlyCanary, FILE_ATTRIBUTE_READONLY) ||
        !SetCurrentDirectoryA(kWorkFolder)) {
        printf("cannot prepare the scratch folders (error %lu)\n", GetLastError());
        return false;
    }
    canaryAttributes_[0] = GetFileAttributesA(kCanary);
    canaryAttributes_[1] = GetFileAttributesA(kReadOnlyCanary);
    return true;
}

void LogRunner::finish() {
    SetCurrentDirectoryA("C:\\");
    removeTree(kScratch);
    removeTree(kCanaryFolder);
}

bool LogRunner::canariesIntact(std::string* why) {
    const char* canaries[2] = {kCanary, kReadOnlyCanary};
    bool intact = true;
    for (int i = 0; i < 2; ++i) {
        DWORD attributes = GetFileAttributesA(canaries[i]);
        if (attributes != canaryAttributes_[i]) {
            *why += std::string(canaries[i]) +
                    (attributes == INVALID_FILE_ATTRIBUTES ? " was deleted; " : " was changed; ");
            intact = false;
            makeFile(canaries[i], "canary");
            if (i == 1) SetFileAttributesA(canaries[i], FILE_ATTRIBUTE_READONLY);
            canaryAttributes_[i] = GetFileAttributesA(canaries[i]);
        }
    }
    if (GetFileAttributesA(kAbsentFolder) != INVALID_FILE_ATTRIBUTES) {
        *why += std::string(kAbsentFolder) + " appeared; ";
        removeTree(kAbsentFolder);
        intact = false;
    }
    return intact;
}

void LogRunner::fail(const char* check, const char* kind, const LogCase& c,
                     const std::string& why) {
    char head[120];
    wsprintfA(head, "log #%d (%s, %u bytes): ", static_cast<int>(cases_), kind,
              static_cast<unsigned>(c.content.size()));
    std::string shown = c.content.size() > 320 ? c.content.substr(0, 320) : c.content;
    tally_.fail(check, head + why + " in " + quoted(shown.data(), shown.size()) +
                           (c.content.size() > 320 ? "..." : ""));
}

void LogRunner::run(const char* kind, LogCase& c) {
    ++cases_;
    tally_.tried(kind);
    KindTimer timer = {tally_, kind, microseconds()};
    for (ScratchFile& f : c.files) {
        f.held = INVALID_HANDLE_VALUE;
        bool made = f.folder ? CreateDirectoryA(f.path.c_str(), NULL) != FALSE
                             : makeFile(f.path, "scratch");
        if (!made) {
            fail("L0 the scratch files can be made", kind, c, "cannot make " + f.path);
            continue;
        }
        if (f.readOnly) {
            SetFileAttributesA(f.path.c_str(), FILE_ATTRIBUTE_READONLY);
            tally_.note("read-only listed files (fault injected)");
        }
        if (f.locked) {
            f.held = CreateFileA(f.path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
            tally_.note("listed files in use (fault injected)");
        }
        if (f.folder) tally_.note("listed paths that are folders (fault injected)");
    }
    // The scratch files stand for the header's destinations.
    setupApp->removableCount = 0;
    for (ScratchFile& f : c.files)
        if (setupApp->removableCount < kMaxRecords)
            lstrcpynA(setupApp->removablePaths[setupApp->removableCount++], f.path.c_str(), MAX_PATH);
    std::vector<std::string> listed = listedLines(c.content);
    std::vector<std::string> words = namedWords(c.content);

    const DWORD size = static_cast<DWORD>(c.content.size());
    char* input = reinterpret_cast<char*>(arena_.tail(size));
    if (size) memcpy(input, c.content.data(), size);
    dumping = &c.content;
    LONG hitsBefore = guardHits();
    bool allRemoved = setupApp->removeLoggedLines(input, size);
    dumping = NULL;
    if (guardHits() != hitsBefore || !arena_.untouchedBefore())
        fail("L1 nothing is read or written outside the log", kind, c, "guard page or guard bytes");

    bool listedRemains = false;
    int lockedListed = 0;
    for (ScratchFile& f : c.files) {
        if (f.held != INVALID_HANDLE_VALUE) CloseHandle(f.held);
        std::string full = fullPath(f.path);
        bool isNamed = among(words, full);
        bool namedAbsolute = among(listed, f.path) && &f - &c.files[0] < kMaxRecords;
        bool present = exists(f.path);
        if (!present && !isNamed)
            fail("L2 no file is deleted whose name the log does not spell", kind, c,
                 "deleted " + f.path);
        if (present && namedAbsolute) {
            listedRemains = true;
            if (!f.locked && !f.folder)
                fail("L4 every file that a line spells and the header lists is deleted", kind, c, "kept " + f.path);
        }
        if (f.locked && !present)
            fail("L6 a file in use is kept and reported", kind, c, "deleted " + f.path);
        if (f.locked && present && namedAbsolute) ++lockedListed;
        if (!present && f.readOnly && isNamed) tally_.note("read-only listed files deleted");
        SetFileAttributesA(f.path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (f.folder)
            RemoveDirectoryA(f.path.c_str());
        else
            DeleteFileA(f.path.c_str());
    }
    if (allRemoved && listedRemains)
        fail("L5 success is reported only when every listed file is gone", kind, c,
             "answered true");
    if (!allRemoved && lockedListed)
        tally_.note("listed files in use kept, removal answered false", lockedListed);
    {
        std::string why;
        if (!canariesIntact(&why))
            fail("L3 nothing outside the scratch folder is touched", kind, c, why);
        else if (c.touchesOutside)
            tally_.note("logs spelling paths outside the scratch folder, canaries intact after");
    }
}

// One line of a structured log: its text, what it names, and how it ends.
std::string lineText(Rng& rng, LogCase& c, int* fileNumber) {
    int what = rng.below(100);
    if (what < 12) {
        ScratchFile f = {std::string(kScratch) + "f" + std::to_string((*fileNumber)++) + ".txt",
                         false, rng.chance(10), false, INVALID_HANDLE_VALUE};
        c.files.push_back(f);
        return f.path;
    }
    if (what < 70)
        return std::string(kScratch) + "m" + randomName(rng, 1, 40);  // most: absent files
    if (what < 78) {
        c.touchesOutside = true;
        return std::string(kAbsentFolder) + randomName(rng, 1, 20);
    }
    if (what < 88) {
        std::string junk;
        int n = rng.range(0, 40);
        static const char bytes[] = "C:\\relscratch\\ .\r\n\0\0abc";
        for (int i = 0; i < n; ++i) junk += bytes[rng.below(sizeof bytes - 1)];
        return junk;
    }
    if (what < 93) return randomName(rng, 1, 12);
    return pathOfLength(rng, rng.range(200, 320), "m");
}

std::string lineEnd(Rng& rng, bool last) {
    int what = rng.below(100);
    if (what < 80) return "\r\n";
    if (what < 85) return last ? "" : "\r\n";
    if (what < 89) return "\r";
    if (what < 93) return "\n";
    if (what < 97) return "\r\r\n";
    return "\n\r";
}

void corrupt(Rng& rng, std::string& line) {
    if (line.empty()) return;
    if (rng.chance(5)) line.insert(rng.below(static_cast<uint32_t>(line.size())), 1, '\0');
    if (rng.chance(3))
        line[rng.below(static_cast<uint32_t>(line.size()))] = static_cast<char>(rng.below(256));
}

LogCase structuredLog(Rng& rng) {
    LogCase c = {"", {}, false};
    int fileNumber = 0;
    int lines = rng.range(1, 8);
    for (int i = 0; i < lines; ++i) {
        std::string line = lineText(rng, c, &fileNumber);
        if (rng.chance(70)) line += ' ';
        corrupt(rng, line);
        c.content += line + lineEnd(rng, i == lines - 1);
    }
    return c;
}

// A damaged line end followed by a name that is one byte longer than a
// victim's path: a NUL inside a line, or a lone CR ending it, makes the pass
// step over the next byte, so that it would read the victim's path, which the
// log never spells. The victim is a canary outside the scratch folder or a
// scratch file that no line names.
LogCase attackLog(Rng& rng, int pattern) {
    LogCase c = {"", {}, false};
    std::string victim;
    int target = rng.below(3);
    if (target == 0)
        victim = kCanary;
    else if (target == 1)
        victim = kReadOnlyCanary;
    else {
        victim = std::string(kScratch) + "v" + randomName(rng, 1, 20) + ".txt";
        c.files.push_back(ScratchFile{victim, false, rng.chance(30), false, INVALID_HANDLE_VALUE});
    }
    c.touchesOutside = target < 2;
    int before = rng.range(0, 2);
    for (int i = 0; i < before; ++i)
        c.content += std::string(kScratch) + "m" + randomName(rng, 1, 30) + " \r\n";
    static const char leads[] = "Xx\\ 1";
    std::string damaged = std::string(kScratch) + "m" + randomName(rng, 1, 30);
    if (pattern == 0)
        damaged += std::string(1, '\0');  // a NUL inside the line
    else
        damaged += " \r";  // a lone CR at its end
    c.content += damaged + rng.letter(leads) + victim + " \r\n";
    int after = rng.range(0, 2);
    for (int i = 0; i < after; ++i)
        c.content += std::string(kScratch) + "m" + randomName(rng, 1, 30) + " \r\n";
    if (rng.chance(30)) c.content.pop_back();  // and sometimes no final LF
    return c;
}

// Listed files after a damaged line end: a CR CR LF, a NUL line or a lone CR
// before a line that names a file whole.
LogCase followerLog(Rng& rng) {
    LogCase c = {"", {}, false};
    static const char* const ends[] = {" \r\r\n", "\r\r\n", " \r", "\0\r\n", "\0\0\r\n"};
    int files = rng.range(2, 4);
    for (int i = 0; i < files; ++i) {
        std::string path = std::string(kScratch) + "f" + std::to_string(i) + randomName(rng, 1, 12);
        c.files.push_back(ScratchFile{path, false, false, false, INVALID_HANDLE_VALUE});
        const char* end = rng.pick(ends);
        size_t n = end[0] == '\0' ? (end[1] == '\0' ? 4 : 3) : strlen(end);
        c.content += path + std::string(end, n);
    }
    return c;
}

// Files in use, read-only files and folders among the listed paths.
LogCase faultLog(Rng& rng) {
    LogCase c = {"", {}, false};
    int files = rng.range(1, 4);
    for (int i = 0; i < files; ++i) {
        std::string path = std::string(kScratch) + "f" + std::to_string(i) + randomName(rng, 1, 12);
        int what = rng.below(4);
        c.files.push_back(ScratchFile{path, what == 0, what == 1, what == 2, INVALID_HANDLE_VALUE});
        c.content += path + " \r\n";
    }
    if (rng.chance(30)) c.content.resize(c.content.size() - 2);
    return c;
}
}  // namespace

bool fuzzLogs(Rng& rng, Tally& tally) {
    LogRunner runner(tally);
    if (!runner.prepare()) return false;
    setCaseLabel("install logs");
    setCrashDump(dumpLog);

    // Every log of 0 to 4 bytes over the bytes that steer the pass.
    static const char kTiny[] = {'\r', '\n', '\0', ' ', 'C', ':', '\\', 'a', '.'};
    const int symbols = sizeof kTiny;
    for (int length = 0; length <= 4; ++length) {
        int total = 1;
        for (int i = 0; i < length; ++i) total *= symbols;
        for (int code = 0; code < total; ++code) {
            LogCase c = {"", {}, false};
            for (int i = 0, rest = code; i < length; ++i, rest /= symbols)
                c.content += kTiny[rest % symbols];
            c.touchesOutside = true;
            runner.run("every log of 0 to 4 bytes", c);
        }
    }

    // A listed file of every path length from 1 to 300, alone or second, with
    // and without the writer's blank and CR LF.
    for (size_t length = 1; length <= 300; ++length)
        for (int form = 0; form < 4; ++form)
            for (int place = 0; place < 2; ++place) {
                LogCase c = {"", {}, false};
                std::string path = pathOfLength(rng, length, "w");
                if (length < MAX_PATH)
                    c.files.push_back(ScratchFile{path, false, false, false, INVALID_HANDLE_VALUE});
                if (place)
                    c.content = std::string(kScratch) + "m" + randomName(rng, 1, 20) + " \r\n";
                c.content += path + (form & 1 ? " " : "") + (form & 2 ? "\r\n" : "");
                runner.run("lines of every length 1 to 300", c);
            }

    // The generated kinds: how many of each, and the i-th input of the kind.
    const struct {
        const char* kind;
        int count;
        LogCase (*make)(Rng& rng, int i);
    } generated[] = {
        {"lines with lone CR/LF, NULs, long and short", 35000,
         [](Rng& r, int) { return structuredLog(r); }},
        {"damaged lines next to other files", 6000,
         [](Rng& r, int i) { return attackLog(r, i % 2); }},
        {"listed files after a damaged line end", 2000, [](Rng& r, int) { return followerLog(r); }},
        {"files in use, read-only, folders", 1500, [](Rng& r, int) { return faultLog(r); }},
    };
    for (const auto& g : generated)
        runSliced(tally, runner, g.kind, kLogSliceMs, g.count,
                  [&](int i) { return g.make(rng, i); });
    // Random bytes: from the whole byte range, and from the bytes of paths and line ends.
    static const char kPathBytes[] = "C:\\relscratch\\mfv.txt \r\n\r\n\0";
    runSliced(tally, runner, "random bytes", kLogSliceMs, 48000, [&](int) {
        LogCase c = {"", {}, rng.chance(5)};
        size_t n = rng.below(rng.chance(10) ? 1200 : 300);
        bool pathLike = rng.chance(60);
        for (size_t k = 0; k < n; ++k)
            c.content += pathLike ? kPathBytes[rng.below(sizeof kPathBytes - 1)]
                                  : static_cast<char>(rng.below(256));
        return c;
    });
    setCrashDump(NULL);
    runner.finish();
    return true;
}
