// Update headers: random bytes, every length from 0 to several records past
// the 30 that a slot holds, names of every length up to and past their fields
// with and without terminators, extreme sizes and time stamps, and mixes of
// sound and broken records. Each is read as the package check reads it: the
// records into the slot, then one install entry per accepted record.
#include <ctype.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include "common/paths.h"
#include "common/text.h"
#include "engine/package.h"
#include "fuzz.h"
#include "guard.h"
#include "resources/resource.h"
#include "shell/setupapp.h"

namespace {
const char kNameChars[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ._-~!#$%&'()+,;=@[]^`{}";
const LONG kNumbers[] = {
    0, 1, -1, LONG_MIN, LONG_MAX, LONG_MIN + 1, LONG_MAX - 1, 977984780, 98304, -977984780};
const char* const kDotNames[] = {".", "..", "...", ". .", " ", ".. ", " . "};
const char* const kDeviceNames[] = {"CON",  "nul",      "Aux",     "PRN",    "COM1",  "com9",
                                    "LPT1", "lpt3.scr", "NUL.txt", "con .x", "Clock$"};
enum { kMaxRecordsTried = 36 };  // several records past what a slot holds

enum RecordKind {
    Sound,          // must pass
    Renamed,        // zuvak.scr: passes and is renamed
    SourceUnended,  // no terminator in the 28 bytes
    DestUnended,    // no terminator in the 32 bytes
    DestTooLong,    // 30 or 31 characters: no room in an install entry
    SourceEmpty,
    DestEmpty,
    Separator,    // a \, / or : in a name
    RuleBroken,   // first record: the names differ before their last character
    DotName,      // names the folder or its parent
    DeviceName,   // names a device
    RandomBytes,  // anything
    kRecordKinds
};
bool refused(RecordKind k) { return k >= SourceUnended && k <= RuleBroken; }
bool unsafeKind(RecordKind k) { return k == DotName || k == DeviceName; }

// Whether a name written after a folder's backslash names a file in that
// folder: not the folder itself or its parent (the file functions drop
// trailing dots and blanks), and none of the names Windows reserves for
// devices (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9) in any case, alone
// or with an extension.
bool namesFileInFolder(const char* name) {
    std::string n(name);
    while (!n.empty() && (n.back() == '.' || n.back() == ' ')) n.pop_back();
    if (n.empty()) return false;
    std::string stem = n.substr(0, n.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    static const char* const reserved[] = {
        "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
        "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
    for (const char* r : reserved)
        if (stem == r) return false;
    return true;
}

void fillName(Rng& rng, char* field, size_t size, size_t length, bool garbageAfter) {
    for (size_t i = 0; i < length && i < size; ++i) field[i] = rng.letter(kNameChars);
    if (length >= size) return;
    field[length] = '\0';
    for (size_t i = length + 1; i < size; ++i)
        field[i] = garbageAfter ? static_cast<char>(rng.below(256)) : '\0';
}

void setText(char* field, size_t size, const char* text) {
    memset(field, 0, size);
    memcpy(field, text, strlen(text) < size ? strlen(text) : size);
}

void flipCase(Rng& rng, char* text) {
    for (; *text; ++text)
        if (rng.chance(30)) {
            if (*text >= 'a' && *text <= 'z')
                *text = static_cast<char>(*text - 32);
            else if (*text >= 'A' && *text <= 'Z')
                *text = static_cast<char>(*text + 32);
        }
}

LONG number(Rng& rng) {
    return rng.chance(60) ? rng.pick(kNumbers) : static_cast<LONG>(rng.next());
}

// A sound record for place index: both names usable, and for the first record
// the packed name is the installed name with its last character replaced.
void soundRecord(Rng& rng, HeaderRecord& r, int index) {
    for (;;) {
        memset(&r, 0, sizeof r);
        bool garbage = rng.chance(25);
        if (index == 0 && rng.chance(20)) {
            setText(r.sourceName, sizeof r.sourceName, "zelto.sc_");
            flipCase(rng, r.sourceName);
            fillName(rng, r.destName, sizeof r.destName, rng.range(1, 29), garbage);
        } else if (index == 0) {
            size_t n = rng.range(1, 27);
            fillName(rng, r.destName, sizeof r.destName, n, garbage);
            memcpy(r.sourceName, r.destName, n);
            r.sourceName[n - 1] = '_';
            r.sourceName[n] = '\0';
            flipCase(rng, r.sourceName);
        } else {
            fillName(rng, r.sourceName, sizeof r.sourceName, rng.range(1, 27), garbage);
            fillName(rng, r.destName, sizeof r.destName, rng.range(1, 29), garbage);
        }
        if (namesFileInFolder(r.sourceName) && namesFileInFolder(r.destName) &&
            lstrcmpiA(r.destName, "zuvak.scr") != 0)
            break;
    }
    r.uncompressedSize = number(rng);
    r.compressedSize = number(rng);
    r.timeStamp = number(rng);
}

void makeRecord(Rng& rng, HeaderRecord& r, int index, RecordKind kind) {
    soundRecord(rng, r, index);
    switch (kind) {
    case Sound:
        break;
    case Renamed:
        setText(r.destName, sizeof r.destName, "zuvak.scr");
        flipCase(rng, r.destName);
        if (index == 0) setText(r.sourceName, sizeof r.sourceName, "zuvak.sc_");
        break;
    case SourceUnended:
        fillName(rng, r.sourceName, sizeof r.sourceName, sizeof r.sourceName, false);
        break;
    case DestUnended:
        fillName(rng, r.destName, sizeof r.destName, sizeof r.destName, false);
        break;
    case DestTooLong:
        fillName(rng, r.destName, sizeof r.destName, rng.range(30, 31), rng.chance(50));
        break;
    case SourceEmpty:
        r.sourceName[0] = '\0';
        break;
    case DestEmpty:
        r.destName[0] = '\0';
        break;
    case Separator: {
        static const char separators[] = {'\\', '/', ':'};
        char* field = rng.chance(50) ? r.sourceName : r.destName;
        size_t n = strlen(field);
        field[rng.below(static_cast<uint32_t>(n))] = rng.pick(separators);
        break;
    }
    case RuleBroken:
        if (index == 0) {
            // abc.ex_ for abd.exe: a difference before the last character
            size_t n = rng.range(2, 27);
            fillName(rng, r.destName, sizeof r.destName, n, false);
            memcpy(r.sourceName, r.destName, n);
            r.sourceName[n - 1] = '_';
            r.sourceName[n] = '\0';
            size_t at = rng.below(static_cast<uint32_t>(n - 1));
            char c = r.destName[at];
            r.sourceName[at] = (c == 'q' || c == 'Q') ? 'x' : 'q';
            if (lstrcmpiA(r.sourceName, "zelto.sc_") == 0) r.sourceName[0] = 'y';
        }
        break;
    case DotName:
    case DeviceName: {
        const char* name = kind == DotName ? rng.pick(kDotNames) : rng.pick(kDeviceNames);
        if (index == 0) {
            // Keep the first record's name rule satisfied: only the name is wrong.
            setText(r.destName, sizeof r.destName, name);
            if (rng.chance(50))
                setText(r.sourceName, sizeof r.sourceName, "zelto.sc_");
            else
                setText(r.sourceName, sizeof r.sourceName, name);
        } else if (rng.chance(50)) {
            setText(r.destName, sizeof r.destName, name);
        } else {
            setText(r.sourceName, sizeof r.sourceName, name);
        }
        break;
    }
    case RandomBytes: {
        BYTE* bytes = reinterpret_cast<BYTE*>(&r);
        for (size_t i = 0; i < sizeof r; ++i)
            bytes[i] = rng.chance(15) ? 0 : static_cast<BYTE>(rng.below(256));
        break;
    }
    default:
        break;
    }
}

// What a header must give: 1 accepted, 0 refused, -1 either (left to other checks).
struct HeaderCase {
    std::vector<BYTE> bytes;
    int expect;
};

HeaderCase fromRecords(Rng& rng, const std::vector<RecordKind>& kinds, size_t tail) {
    HeaderCase c;
    c.bytes.resize(kinds.size() * sizeof(HeaderRecord) + tail);
    bool anyRefused = false;
    bool anyUnknown = false;
    for (size_t i = 0; i < kinds.size(); ++i) {
        HeaderRecord r;
        makeRecord(rng, r, static_cast<int>(i), kinds[i]);
        memcpy(&c.bytes[i * sizeof r], &r, sizeof r);
        RecordKind k = kinds[i];
        if (k == RuleBroken && i > 0) k = Sound;  // the name rule binds the first record only
        if (refused(k)) anyRefused = true;
        if (unsafeKind(k) || k == RandomBytes) anyUnknown = true;
    }
    for (size_t i = 0; i < tail; ++i)
        c.bytes[kinds.size() * sizeof(HeaderRecord) + i] = static_cast<BYTE>(rng.below(256));
    if (kinds.size() > kMaxRecords || anyRefused)
        c.expect = 0;
    else if (anyUnknown)
        c.expect = -1;
    else
        c.expect = 1;
    return c;
}

class HeaderRunner {
public:
    HeaderRunner(Tally& tally) : tally_(tally), slot_(setupApp->packages[0]), cases_(0) {
        char folder[MAX_PATH];
        dirKindFolder(DirSystem, folder);
        systemFolder_ = folder;
        tempFolder_ = std::string(windowsFolder()) + "Temp\\";
    }
    void run(const char* kind, const HeaderCase& c);

private:
    void fail(const char* check, const char* kind, const HeaderCase& c, const std::string& why);
    void checkPath(const char* check, const char* kind, const HeaderCase& c, const char* built,
                   bool ok, const std::string& folder, const char* name);
    Tally& tally_;
    PackageSlot& slot_;
    GuardedArena arena_;
    long long cases_;
    std::string systemFolder_;
    std::string tempFolder_;
};

const std::vector<BYTE>* dumping = NULL;
void dumpHeader() {
    if (dumping)
        fprintf(stderr, "header of %u bytes: %s\n", static_cast<unsigned>(dumping->size()),
                hexDump(dumping->data(), dumping->size(), 100000).c_str());
}

void HeaderRunner::fail(const char* check, const char* kind, const HeaderCase& c,
                        const std::string& why) {
    char head[160];
    wsprintfA(head, "header #%d (%s, %u bytes): ", static_cast<int>(cases_), kind,
              static_cast<unsigned>(c.bytes.size()));
    tally_.fail(check, head + why + "; bytes " + hexDump(c.bytes.data(), c.bytes.size(), 216));
}

void HeaderRunner::checkPath(const char* check, const char* kind, const HeaderCase& c,
                             const char* built, bool ok, const std::string& folder,
                             const char* name) {
    std::string expected = folder + name;
    if (!ok || expected != built) {
        fail(check, kind, c,
             std::string("built ") + quoted(built, strlen(built)) + " for " +
                 quoted(name, strlen(name)));
        return;
    }
    char full[1024] = "";
    char* part = NULL;
    DWORD n = GetFullPathNameA(built, sizeof full, full, &part);
    bool inFolder = n > folder.size() && n < sizeof full &&
                    CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, full,
                                   static_cast<int>(folder.size()), folder.c_str(),
                                   static_cast<int>(folder.size())) == CSTR_EQUAL &&
                    strchr(full + folder.size(), '\\') == NULL;
    if (!inFolder || !namesFileInFolder(name))
        fail(check, kind, c,
             std::string("name ") + quoted(name, strlen(name)) + " leads to " +
                 quoted(full, strlen(full)) + ", not to a file in " + folder);
}

void HeaderRunner::run(const char* kind, const HeaderCase& c) {
    ++cases_;
    tally_.tried(kind);
    KindTimer timer = {tally_, kind, microseconds()};
    const DWORD size = static_cast<DWORD>(c.bytes.size());
    BYTE* input = arena_.tail(size);
    if (size) memcpy(input, c.bytes.data(), size);
    dumping = &c.bytes;
    LONG hitsBefore = guardHits();

    // As the package check does it: records into the slot, then the install list.
    slot_.resetPackage();
    UINT error = slot_.readHeaderRecords(input, size);
    if (error == 0)
        for (int i = 0; i < slot_.sourceCount; ++i) {
            const HeaderRecord& r = slot_.sourceRecords[i];
            slot_.addInstallEntry(r.sourceName, r.destName, slot_.dirKind, r.timeStamp,
                                  r.compressedSize, r.uncompressedSize);
        }

    if (guardHits() != hitsBefore)
        fail("H9 nothing is read past the header", kind, c, "guard page");
    const int sources = slot_.sourceCount;
    const int entries = slot_.installCount;
    char why[200];
    if (sources < 0 || sources > kMaxRecords || entries < 0 || entries > sources) {
        wsprintfA(why, "sourceCount %d, installCount %d", sources, entries);
        fail("H1 0 <= sourceCount <= 30, installCount <= sourceCount", kind, c, why);
        return;
    }
    DWORD count = size / kHeaderRecordSize;
    bool consistent =
        (error == 0 && static_cast<DWORD>(sources) == count && count <= kMaxRecords) ||
        (error == static_cast<UINT>(IDS_BAD_HEADER) && sources == 0);
    if (!consistent) {
        wsprintfA(why, "answer %u with sourceCount %d for %lu records", error, sources, count);
        fail("H2 a header is taken whole or refused whole", kind, c, why);
    }
    if (c.expect == 1 && error != 0)
        fail("H3 a well-formed header is accepted", kind, c, "refused");
    if (c.expect == 0 && error == 0) fail("H4 a malformed header is refused", kind, c, "accepted");

    LONGLONG compressed = 0, uncompressed = 0;
    LONG newest = 0;
    for (int i = 0; i < entries; ++i) {
        const FileEntry& e = slot_.installEntries[i];
        const HeaderRecord& r = slot_.sourceRecords[i];
        compressed += e.compressedSize;
        uncompressed += r.uncompressedSize;
        if (e.timeStamp > newest) newest = e.timeStamp;
        if (e.compressedSize != r.compressedSize || e.timeStamp != r.timeStamp)
            fail("H5 totals and the newest time equal the entries", kind, c,
                 "entry differs from its record");
    }
    if (compressed != slot_.compressedTotal || uncompressed != slot_.uncompressedTotal ||
        newest != slot_.newestTime) {
        char numbers[200];
        wsprintfA(numbers, "newest %ld (entries say %ld)", slot_.newestTime, newest);
        fail("H5 totals and the newest time equal the entries", kind, c, numbers);
    }

    for (int i = 0; i < sources; ++i) {
        const HeaderRecord& r = slot_.sourceRecords[i];
        size_t ns = boundedLength(r.sourceName, sizeof r.sourceName);
        size_t nd = boundedLength(r.destName, sizeof r.destName);
        if (ns == 0 || ns >= sizeof r.sourceName || nd == 0 || nd >= kEntryNameSize)
            fail("H6 every name is terminated within its field and not empty", kind, c,
                 "record name of " + std::to_string(ns) + "/" + std::to_string(nd) + " characters");
        HeaderRecord read;
        memcpy(&read, c.bytes.data() + i * sizeof read, sizeof read);
        bool renamed = lstrcmpiA(read.destName, "zuvak.scr") == 0;
        if (renamed) {
            if (strcmp(r.destName, "Ostrell Zuvak.scr") != 0)
                fail("H7 records are kept as read, zuvak.scr renamed", kind, c, "not renamed");
            memcpy(read.destName, r.destName, sizeof read.destName);
        }
        if (memcmp(&read, &r, sizeof r) != 0)
            fail("H7 records are kept as read, zuvak.scr renamed", kind, c,
                 "record " + std::to_string(i) + " changed");
    }
    for (int i = 0; i < entries; ++i) {
        const FileEntry& e = slot_.installEntries[i];
        const HeaderRecord& r = slot_.sourceRecords[i];
        if (boundedLength(e.sourceName, kEntryNameSize) >= kEntryNameSize ||
            boundedLength(e.destName, kEntryNameSize) >= kEntryNameSize ||
            strcmp(e.sourceName, r.sourceName) != 0 || strcmp(e.destName, r.destName) != 0 ||
            e.dirKind != slot_.dirKind) {
            fail("H6 every name is terminated within its field and not empty", kind, c,
                 "install entry " + std::to_string(i) + " differs from its record");
            continue;
        }
        char built[MAX_PATH];
        bool ok = destinationPath(e, built);
        checkPath("H8 installed and temporary files are named in their own folders", kind, c, built,
                  ok, systemFolder_, e.destName);
        ok = tempPathFor(e, built);
        checkPath("H8 installed and temporary files are named in their own folders", kind, c, built,
                  ok, tempFolder_, e.sourceName);
    }
    dumping = NULL;
}

std::vector<RecordKind> soundKinds(size_t n) { return std::vector<RecordKind>(n, Sound); }
}  // namespace

void fuzzHeaders(Rng& rng, Tally& tally) {
    HeaderRunner runner(tally);
    setCaseLabel("update headers");
    setCrashDump(dumpHeader);
    const size_t longest = (kMaxRecordsTried + 1) * kHeaderRecordSize;

    // Every length from 0 to several records past 30, sound records throughout.
    for (int pass = 0; pass < 4; ++pass)
        for (size_t size = 0; size < longest; ++size) {
            size_t n = size / kHeaderRecordSize;
            HeaderCase c = fromRecords(rng, soundKinds(n), size % kHeaderRecordSize);
            runner.run("every length 0 to 2663 bytes", c);
        }

    // Names of every length up to and past their fields, with and without a
    // terminator, in the first record and in a later one.
    for (int place = 0; place < 2; ++place)
        for (int garbage = 0; garbage < 2; ++garbage)
            for (size_t ns = 0; ns <= 28; ++ns)
                for (size_t nd = 0; nd <= 32; ++nd) {
                    HeaderCase c = fromRecords(rng, soundKinds(place + 1), 0);
                    HeaderRecord r;
                    memcpy(&r, &c.bytes[place * sizeof r], sizeof r);
                    char base[40];
                    fillName(rng, base, sizeof base, 33, false);
                    memset(r.sourceName, 0, sizeof r.sourceName);
                    memset(r.destName, 0, sizeof r.destName);
                    memcpy(r.destName, base, nd);
                    memcpy(r.sourceName, base, ns);
                    if (garbage) {
                        for (size_t i = ns + 1; i < sizeof r.sourceName; ++i) r.sourceName[i] = 'g';
                        for (size_t i = nd + 1; i < sizeof r.destName; ++i) r.destName[i] = 'g';
                    }
                    memcpy(&c.bytes[place * sizeof r], &r, sizeof r);
                    bool fits = ns >= 1 && ns <= 27 && nd >= 1 && nd <= 29;
                    // The first record's names share their first characters: the
                    // name rule holds when the lengths are equal, or both are 1.
                    bool rule = place == 1 || ns == nd;
                    bool safe = namesFileInFolder(std::string(base, ns).c_str()) &&
                                namesFileInFolder(std::string(base, nd).c_str());
                    c.expect = !fits || !rule ? 0 : (safe ? 1 : -1);
                    runner.run("names of every length 0 to 28/32", c);
                }

    // Sizes and time stamps at their extremes, in sound records.
    runSliced(tally, runner, "extreme sizes and time stamps", kHeaderSliceMs, 6000, [&](int) {
        return fromRecords(rng, soundKinds(rng.range(1, kMaxRecords)), 0);
    });

    // Sound headers of 1 to 30 records, with a tail of 0 to 71 bytes.
    runSliced(tally, runner, "sound records, renames", kHeaderSliceMs, 15000, [&](int) {
        std::vector<RecordKind> kinds = soundKinds(rng.range(1, kMaxRecords));
        if (rng.chance(20)) kinds[rng.below(static_cast<uint32_t>(kinds.size()))] = Renamed;
        return fromRecords(rng, kinds, rng.below(kHeaderRecordSize));
    });

    // Mixes of sound and broken records, 0 to 36 of them.
    runSliced(tally, runner, "mixed sound and broken records", kHeaderSliceMs, 40000, [&](int) {
        std::vector<RecordKind> kinds(rng.range(0, kMaxRecordsTried));
        for (RecordKind& k : kinds)
            k = rng.chance(65) ? Sound : static_cast<RecordKind>(rng.below(kRecordKinds));
        return fromRecords(rng, kinds, rng.chance(70) ? 0 : rng.below(kHeaderRecordSize));
    });

    // Random bytes of every length up to 37 records, zeros more frequent
    // than chance so that names end now and then.
    runSliced(tally, runner, "random bytes", kHeaderSliceMs, 26000, [&](int) {
        HeaderCase c;
        c.bytes.resize(rng.below(static_cast<uint32_t>(longest)));
        static const int kZeroShares[] = {0, 5, 15, 40};
        int zeros = rng.pick(kZeroShares);
        for (BYTE& b : c.bytes) b = rng.chance(zeros) ? 0 : static_cast<BYTE>(rng.below(256));
        c.expect = c.bytes.size() / kHeaderRecordSize > kMaxRecords ? 0 : -1;
        return c;
    });
    setCrashDump(NULL);
}
