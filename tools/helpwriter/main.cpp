// zeltohelp SOURCE OUT: compiles a help source (.hsrc, see helpsource.cpp)
// into a Windows Help file. Errors go to stderr as "SOURCE:LINE: error: ...";
// then nothing is written and the exit code is 1 (2 for I/O failures).
#include <cstdio>
#include <string>
#include <vector>

#include "helpsource.h"
#include "hlpwriter.h"

namespace {

bool readTextFile(const char* path, std::string* text) {
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    char buf[8192];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text->append(buf, n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

bool writeBinaryFile(const char* path, const std::vector<uint8_t>& data) {
    FILE* f = fopen(path, "wb");
    if (!f) return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = fclose(f) == 0 && ok;
    if (!ok) remove(path);
    return ok;
}

void report(const char* source, const std::vector<helpwriter::Diagnostic>& errors) {
    for (const helpwriter::Diagnostic& d : errors)
        fprintf(stderr, "%s:%d: error: %s\n", source, d.line, d.message.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: zeltohelp SOURCE.hsrc OUT.hlp\n");
        return 2;
    }
    std::string text;
    if (!readTextFile(argv[1], &text)) {
        fprintf(stderr, "zeltohelp: cannot read %s\n", argv[1]);
        return 2;
    }
    helpwriter::HelpSource source;
    std::vector<helpwriter::Diagnostic> errors;
    if (!helpwriter::parseHelpSource(text, &source, &errors)) {
        report(argv[1], errors);
        return 1;
    }
    std::vector<uint8_t> file;
    if (!helpwriter::writeHelpFile(source, &file, &errors)) {
        report(argv[1], errors);
        return 1;
    }
    if (!writeBinaryFile(argv[2], file)) {
        fprintf(stderr, "zeltohelp: cannot write %s\n", argv[2]);
        return 2;
    }
    return 0;
}
