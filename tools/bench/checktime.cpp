// checktime FILE [RUNS]: times the installer's check of its own file (the
// imageFileIntact of build/win's core library, with the file's opening) on FILE, RUNS times (9 unless
// told); one line "intact=0|1 ms=..." per run, exit code 1 when FILE is not intact.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include "common/imagesum.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: checktime FILE [RUNS]\n");
        return 2;
    }
    int runs = argc > 2 ? atoi(argv[2]) : 9;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    for (int i = 0; i < runs; ++i) {
        QueryPerformanceCounter(&start);
        // Opened as the installer opens its own file, and timed with the open.
        HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0,
                                  NULL);
        bool intact = imageFileIntact(file);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        QueryPerformanceCounter(&end);
        printf("intact=%d ms=%.3f\n", intact ? 1 : 0,
               double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart));
        if (!intact) return 1;
    }
    return 0;
}
