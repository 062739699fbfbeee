#include "cmdline.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

const char* skipBlanks(const char* p) {
    while (isBlank(*p)) ++p;
    return p;
}

const char* skipProgramName(const char* p) {
    p = skipBlanks(p);
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p && !isBlank(*p)) ++p;
    }
    return p;
}

// A window handle in decimal, as the display settings write it. Anything that is
// not a number, or does not fit 32 bits, is no window.
HWND parseWindow(const char* p) {
    p = skipBlanks(p);
    if (*p == ':') p = skipBlanks(p + 1);
    if (*p < '0' || *p > '9') return NULL;
    unsigned long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        unsigned long digit = static_cast<unsigned long>(*p - '0');
        if (value > (0xFFFFFFFFul - digit) / 10) return NULL;
        value = value * 10 + digit;
    }
    if (*p && !isBlank(*p)) return NULL;
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(value));
}

}  // namespace

SaverArgs parseSaverArgs(const char* commandLine) {
    SaverArgs args = {SaverMode::Settings, NULL, false};
    if (!commandLine) return args;
    const char* p = skipBlanks(skipProgramName(commandLine));
    if (*p == '/' || *p == '-') ++p;
    char letter = *p;
    if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
    // Only the first letter counts ("/save" is /s), as the display settings of every
    // Windows version have sent just one letter and a window.
    if (letter) ++p;
    switch (letter) {
    case 's':
        args.mode = SaverMode::FullScreen;
        break;
    case 'p':
    case 'l':
        args.mode = SaverMode::Preview;
        args.window = parseWindow(p);
        break;
    case 'a':
        args.mode = SaverMode::Password;
        args.window = parseWindow(p);
        break;
    case 'c':
        args.window = parseWindow(p);
        args.ownerFromForeground = args.window == NULL;
        break;
    default:
        break;
    }
    return args;
}
