// lzexpand_test PACKED OUT [PACKED OUT]...: expands each packed file with the
// system's LZ functions, exactly as the installer does (LZOpenFileA for
// reading and for creating, LZCopy, LZClose), and prints one line per file:
// the packed file's name and LZCopy's result. The exit code is 1 when a file
// could not be opened or LZCopy reported an error (a negative result).
#include <windows.h>
#include <lzexpand.h>

#include <cstdio>

static long expand(const char* packed, const char* out) {
    OFSTRUCT src_info, dst_info;
    char src_name[MAX_PATH], dst_name[MAX_PATH];
    lstrcpynA(src_name, packed, sizeof src_name);
    lstrcpynA(dst_name, out, sizeof dst_name);
    INT src = LZOpenFileA(src_name, &src_info, OF_READ);
    if (src < 0) return src;
    INT dst = LZOpenFileA(dst_name, &dst_info, OF_CREATE);
    if (dst < 0) {
        LZClose(src);
        return dst;
    }
    LONG copied = LZCopy(src, dst);
    LZClose(src);
    LZClose(dst);
    return copied;
}

int main(int argc, char** argv) {
    if (argc < 3 || argc % 2 != 1) {
        std::fprintf(stderr, "usage: lzexpand_test PACKED OUT [PACKED OUT]...\n");
        return 2;
    }
    int result = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        long copied = expand(argv[i], argv[i + 1]);
        std::printf("%s %ld\n", argv[i], copied);
        if (copied < 0) result = 1;
    }
    std::fflush(stdout);
    return result;
}
