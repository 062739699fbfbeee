// holdfile: keeps a file open the way another running program would, so that
// a scenario can meet a file in use.
//
//   holdfile.exe PATH MS [share=none|rw] [wait=MS]
//
// Opens PATH for reading (it must exist), keeps it open for MS milliseconds,
// closes it and exits 0. share=none (the default) lets no other open in,
// so copying or deleting the file fails; share=rw lets others read and write
// it but not delete it. wait=MS keeps trying for that long while the file is
// missing or refused, so that a copy still being written is caught as soon as
// its writer lets go. Prints "held PATH" once the file is open and "released"
// at the end; exit code 1 when the file could not be opened.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: holdfile PATH MS [share=none|rw] [wait=MS]\n");
    return 2;
  }
  const char* path = argv[1];
  DWORD holdMs = (DWORD)strtoul(argv[2], NULL, 10);
  DWORD share = 0;
  DWORD waitMs = 0;
  for (int i = 3; i < argc; ++i) {
    if (!strcmp(argv[i], "share=rw")) share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    else if (!strcmp(argv[i], "share=none")) share = 0;
    else if (!strncmp(argv[i], "wait=", 5)) waitMs = (DWORD)strtoul(argv[i] + 5, NULL, 10);
    else {
      fprintf(stderr, "holdfile: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  DWORD start = GetTickCount();
  HANDLE file;
  for (;;) {
    file = CreateFileA(path, GENERIC_READ, share, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) break;
    DWORD error = GetLastError();
    if (GetTickCount() - start >= waitMs) {
      printf("cannot open %s: error %lu\n", path, (unsigned long)error);
      return 1;
    }
    // While the file is missing there is time to spare; once it exists, its
    // writer is about to close it and the next attempt must come at once.
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) Sleep(1);
  }
  printf("held %s\n", path);
  fflush(stdout);
  Sleep(holdMs);
  CloseHandle(file);
  printf("released\n");
  fflush(stdout);
  return 0;
}
