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
// its writer lets go. A "*" folder in PATH (C:\windows\Temp\*\zelto.sc_)
// stands for any folder there, such as one an installer makes for its run.
// Prints "held PATH" once the file is open and "released"
// at the end; exit code 1 when the file could not be opened.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// Opens path, or the first match of its "*" folder.
HANDLE openMatch(const char* path, DWORD share, char* opened, size_t capacity) {
  const char* star = strstr(path, "\\*\\");
  if (!star) {
    snprintf(opened, capacity, "%s", path);
    return CreateFileA(path, GENERIC_READ, share, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  }
  char pattern[MAX_PATH];
  snprintf(pattern, sizeof pattern, "%.*s\\*", (int)(star - path), path);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  HANDLE file = INVALID_HANDLE_VALUE;
  if (search == INVALID_HANDLE_VALUE) return file;
  DWORD error = ERROR_FILE_NOT_FOUND;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || found.cFileName[0] == '.') continue;
    snprintf(opened, capacity, "%.*s\\%s%s", (int)(star - path), path, found.cFileName, star + 2);
    file = CreateFileA(opened, GENERIC_READ, share, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD reason = GetLastError();
    if (file == INVALID_HANDLE_VALUE && reason != ERROR_FILE_NOT_FOUND) error = reason;
  } while (file == INVALID_HANDLE_VALUE && FindNextFileA(search, &found));
  FindClose(search);
  if (file == INVALID_HANDLE_VALUE) SetLastError(error);
  return file;
}

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
  char opened[MAX_PATH];
  for (;;) {
    file = openMatch(path, share, opened, sizeof opened);
    if (file != INVALID_HANDLE_VALUE) break;
    DWORD error = GetLastError();
    if (GetTickCount() - start >= waitMs) {
      printf("cannot open %s: error %lu\n", path, (unsigned long)error);
      return 1;
    }
    // While the file is missing there is time to spare; once it exists, its
    // writer is about to close it and the next attempt must come at once.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) Sleep(1);
  }
  printf("held %s\n", opened);
  fflush(stdout);
  Sleep(holdMs);
  CloseHandle(file);
  printf("released\n");
  fflush(stdout);
  return 0;
}
