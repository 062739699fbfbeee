// Shared parts of the fuzz program: the generator, the tally of checks, and
// the two input families (update headers and install logs).
#pragma once
#include <windows.h>
#include <stdint.h>
#include <string>
#include <vector>

// splitmix64: the same numbers on every machine for a given seed.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t n) { return n ? static_cast<uint32_t>(next() % n) : 0; }
    int range(int lo, int hi) {
        return lo + static_cast<int>(below(static_cast<uint32_t>(hi - lo + 1)));
    }
    bool chance(int percent) { return below(100) < static_cast<uint32_t>(percent); }
    template <typename T, size_t N>
    const T& pick(const T (&items)[N]) {
        return items[below(N)];
    }
    // A character of a text, never its terminator.
    template <size_t N>
    char letter(const char (&text)[N]) {
        return text[below(N - 1)];
    }

private:
    uint64_t state_;
};

// Microseconds on the performance counter.
long long microseconds();

// Counts inputs per kind and failures per check; keeps the first few failures
// of each check with the input that caused them.
class Tally {
public:
    explicit Tally(const char* family) : family_(family), current_(NULL), caseFailed_(false) {}
    // Starts an input of a kind; failures until the next one are charged to it.
    void tried(const char* kind);
    void skipped(const char* kind);  // an input drawn but not run: its kind's time was spent
    void spent(const char* kind, long long us);  // time taken by the inputs of a kind
    void fail(const char* check, const std::string& detail);
    void note(const char* what, long long count = 1);  // injected faults, survivals
    // Failures of the checks whose names start with prefix ("" for all).
    long long failures(const char* prefix) const;
    long long total() const;
    long long totalSkipped() const;
    // Whether every kind ran at least kMinInputsPerKind inputs: a run that tried
    // (almost) nothing proves nothing, however busy the machine.
    bool enough() const;
    // A summary, and "@table|area|what|count|result" lines for the report.
    void print(LONG guardHits) const;

private:
    struct Count {
        std::string name;
        long long n;
        std::vector<std::string> examples;
        long long us;
        long long failed;  // inputs of this kind that failed a check
        long long skipped;
    };
    Count& find(std::vector<Count>& list, const std::string& name);
    // The field summed over the counts whose names start with prefix.
    static long long sum(const std::vector<Count>& list, long long Count::*field,
                         const char* prefix);
    std::string family_;
    std::vector<Count> kinds_;
    std::vector<Count> checks_;
    std::vector<Count> notes_;
    Count* current_;
    bool caseFailed_;
};

// The time that the generated inputs of one kind may take, so that a busy
// machine makes fewer of them rather than running out of time. Once it is
// spent, the rest are still drawn, so that a seed gives the same inputs on
// every machine, but not run: the tally counts them as skipped.
class TimeSlice {
public:
    TimeSlice(Tally& tally, const char* kind, DWORD ms)
        : tally_(tally), kind_(kind), ms_(ms), start_(GetTickCount()) {}
    bool spent() {
        if (GetTickCount() - start_ < ms_) return false;
        tally_.skipped(kind_);
        return true;
    }

private:
    Tally& tally_;
    const char* kind_;
    DWORD ms_;
    DWORD start_;
};

// Draws count inputs of a kind, make(i) the i-th, and runs them while the
// kind's time slice lasts.
template <typename Runner, typename Make>
void runSliced(Tally& tally, Runner& runner, const char* kind, DWORD ms, int count, Make make) {
    TimeSlice slice(tally, kind, ms);
    for (int i = 0; i < count; ++i) {
        auto c = make(i);
        if (!slice.spent()) runner.run(kind, c);
    }
}
enum { kHeaderSliceMs = 20000, kLogSliceMs = 40000, kMinInputsPerKind = 20 };

// Charges the time until the end of its scope to a kind of input.
struct KindTimer {
    Tally& tally;
    const char* kind;
    long long start;
    ~KindTimer() { tally.spent(kind, microseconds() - start); }
};


std::string hexDump(const BYTE* bytes, size_t size, size_t limit = 200);
std::string quoted(const char* text, size_t size);

void fuzzHeaders(Rng& rng, Tally& tally);
// Returns false when the scratch folders could not be prepared.
bool fuzzLogs(Rng& rng, Tally& tally);
