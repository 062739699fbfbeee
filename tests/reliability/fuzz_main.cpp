// The fuzz program: generated update headers fed to the package check and
// generated install logs fed to the removal pass, each input ending where an
// inaccessible page begins. Prints what it tried and every check that failed;
// exit code 0 only when no check failed.
//   reliability_fuzz [seed]
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "boxcatcher.h"
#include "fuzz.h"
#include "guard.h"
#include "shell/setupapp.h"

namespace {
const uint64_t kDefaultSeed = 20001228;
}

std::string hexDump(const BYTE* bytes, size_t size, size_t limit) {
    std::string out;
    char two[4];
    for (size_t i = 0; i < size && i < limit; ++i) {
        wsprintfA(two, "%02x", bytes[i]);
        out += two;
    }
    if (size > limit) out += "...";
    return out;
}

std::string quoted(const char* text, size_t size) {
    std::string out = "\"";
    char code[8];
    for (size_t i = 0; i < size; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c < 32 || c >= 127) {
            wsprintfA(code, "\\x%02x", c);
            out += code;
        } else
            out += static_cast<char>(c);
    }
    return out + "\"";
}

Tally::Count& Tally::find(std::vector<Count>& list, const std::string& name) {
    for (Count& c : list)
        if (c.name == name) return c;
    list.push_back(Count{name, 0, {}, 0, 0, 0});
    return list.back();
}

void Tally::tried(const char* kind) {
    current_ = &find(kinds_, kind);
    ++current_->n;
    caseFailed_ = false;
}
void Tally::skipped(const char* kind) { ++find(kinds_, kind).skipped; }
void Tally::spent(const char* kind, long long us) { find(kinds_, kind).us += us; }

long long microseconds() {
    static LARGE_INTEGER frequency = {};
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart * 1000000 / frequency.QuadPart;
}

void Tally::fail(const char* check, const std::string& detail) {
    Count& c = find(checks_, check);
    ++c.n;
    if (current_ && !caseFailed_) ++current_->failed;
    caseFailed_ = true;
    if (c.examples.size() < 3) c.examples.push_back(detail);
}

void Tally::note(const char* what, long long count) { find(notes_, what).n += count; }

long long Tally::sum(const std::vector<Count>& list, long long Count::*field, const char* prefix) {
    long long n = 0;
    for (const Count& c : list)
        if (c.name.compare(0, strlen(prefix), prefix) == 0) n += c.*field;
    return n;
}
long long Tally::failures(const char* prefix) const { return sum(checks_, &Count::n, prefix); }
long long Tally::total() const { return sum(kinds_, &Count::n, ""); }
long long Tally::totalSkipped() const { return sum(kinds_, &Count::skipped, ""); }

bool Tally::enough() const {
    if (kinds_.empty()) return false;
    for (const Count& c : kinds_)
        if (c.n < kMinInputsPerKind) return false;
    return true;
}

void Tally::print(LONG hits) const {
    printf("%s: %lld inputs, %lld more drawn but skipped when their time was spent\n",
           family_.c_str(), total(), totalSkipped());
    for (const Count& c : kinds_) {
        printf("  %-48s %8lld  %6lld ms  %lld failed", c.name.c_str(), c.n, c.us / 1000, c.failed);
        if (c.skipped) printf(", %lld skipped", c.skipped);
        if (c.n < kMinInputsPerKind) printf(", TOO FEW (at least %d)", kMinInputsPerKind);
        printf("\n");
        std::string result = c.failed ? std::to_string(c.failed) + " inputs failed a check"
                                      : std::string("every check held after every input");
        printf("@table|%s|%s|%lld|%s\n", family_.c_str(), c.name.c_str(), c.n, result.c_str());
    }
    printf("@table|%s|reads or writes past an input (guard page)|%ld|%s\n", family_.c_str(), hits,
           hits ? "FAULT" : "none");
    for (const Count& c : notes_) {
        printf("  %-48s %8lld\n", c.name.c_str(), c.n);
        printf("@table|%s|%s|%lld|\n", family_.c_str(), c.name.c_str(), c.n);
    }
    if (kinds_.empty()) printf("FAILED: no input was tried\n");
    if (checks_.empty()) {
        printf("  every check held after every input\n");
        return;
    }
    for (const Count& c : checks_) {
        printf("FAILED %s: %lld inputs\n", c.name.c_str(), c.n);
        printf("@table|%s|check failed: %s|%lld|FAILED\n", family_.c_str(), c.name.c_str(), c.n);
        for (const std::string& e : c.examples) printf("    %s\n", e.c_str());
    }
}

int main(int argc, char** argv) {
    setvbuf(stdout, NULL, _IONBF, 0);
    uint64_t seed = argc > 1 ? _strtoui64(argv[1], NULL, 10) : kDefaultSeed;
    printf("seed %llu (run again with: reliability_fuzz %llu)\n",
           static_cast<unsigned long long>(seed), static_cast<unsigned long long>(seed));
    installGuardWatch();
    TestApp app;
    reportUndeletable = false;  // the removal pass must not stop for message boxes
    DWORD start = GetTickCount();

    Rng headerRng(seed);
    Tally headers("update headers");
    fuzzHeaders(headerRng, headers);
    DWORD headerMs = GetTickCount() - start;
    LONG headerHits = guardHits();
    headers.print(headerHits);
    printf("  (%lu ms)\n", headerMs);

    Rng logRng(seed ^ 0x5A5A5A5A5A5A5A5AULL);
    Tally logs("install logs");
    bool prepared = false;
    // A box would be a fault: count it, and answer it.
    auto boxes = boxesDuring([&] { prepared = fuzzLogs(logRng, logs); });
    if (!boxes.empty()) logs.fail("no message box during the removal pass", boxes[0].text);
    DWORD logMs = GetTickCount() - start - headerMs;
    LONG hits = guardHits();
    logs.print(hits - headerHits);
    printf("  (%lu ms)\n", logMs);
    printf("accesses past an input: %ld\n", hits);
    const struct {
        const char* what;
        long long n;
    } lost[] = {
        {"canary files outside the scratch folder deleted or changed", logs.failures("L3")},
        {"files deleted whose name the log does not spell", logs.failures("L2")},
        {"listed files left behind", logs.failures("L4")},
        {"removals that answered success with a listed file left", logs.failures("L5")},
        {"files in use deleted", logs.failures("L6")},
    };
    for (const auto& l : lost)
        printf("@table|nothing lost (install logs)|%s|%lld|%s\n", l.what, l.n,
               l.n ? "FAILED" : "none");
    bool ok = prepared && hits == 0 && headers.failures("") == 0 && logs.failures("") == 0 &&
              headers.enough() && logs.enough();
    printf("%s (seed %llu, %lld inputs, %lld skipped, %lu ms)\n", ok ? "PASSED" : "FAILED",
           static_cast<unsigned long long>(seed), headers.total() + logs.total(),
           headers.totalSkipped() + logs.totalSkipped(), GetTickCount() - start);
    return ok ? 0 : 1;
}
