// stopwatch: times one step of a Windows GUI program from beside it, for the
// benchmark (run.sh). It starts the program or presses its button itself, so
// that the start of the step and the sight of its end are read off one clock
// in one process, and polls every millisecond (the robot polls every 20 ms).
//
//   stopwatch [-t MS] page ID EXE [ARGS...]   start EXE; wait for a wizard page:
//                                             a visible top-level dialog with a
//                                             visible child dialog (the page) and a
//                                             visible child control ID (Next: 12324
//                                             in a property sheet, 1 in NSIS)
//   stopwatch [-t MS] box TEXT EXE [ARGS...]  start EXE; wait for a message box
//                                             whose message contains TEXT
//   stopwatch [-t MS] press ID TEXT           press button ID (a child of a visible
//                                             top-level dialog, enabled); wait for a
//                                             message box whose message contains TEXT
//
// Prints "ms=ELAPSED pid=PID" (milliseconds, three decimals) and exits 0; on
// a timeout (default 60000 ms) prints "timeout" and exits 1; 2 for bad usage.
// The started program keeps running when the stopwatch ends.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

LARGE_INTEGER frequency;

double now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// What a search looks for among the top-level dialogs, and what it found.
struct Search {
  enum Kind { kPage, kBox, kButton } kind;
  int id;
  const char* text;
  HWND found;
  HWND button;
};

// Whether a top-level dialog is what the search looks for. Only direct
// children are looked at (the sheet's and NSIS's buttons and pages are), and
// only dialogs are listed (FindWindowExA filters by class in one call): each
// poll asks Wine's server as little as it can, since every question queues
// behind the installer's own calls to the same server.
bool matches(HWND window, Search& search) {
  if (!IsWindowVisible(window)) return false;
  HWND message = GetDlgItem(window, 0xFFFF);  // a message box's message
  if (search.kind == Search::kBox) {
    if (!message) return false;
    char text[1024] = "";
    // For another process's window this reads the stored text: no message is
    // sent, so a busy program cannot hold the stopwatch up.
    GetWindowTextA(message, text, sizeof text);
    return strstr(text, search.text) != NULL;
  }
  if (message) return false;
  HWND button = GetDlgItem(window, search.id);
  if (!button || !IsWindowVisible(button)) return false;
  if (search.kind == Search::kButton) {
    if (!IsWindowEnabled(button)) return false;
  } else {
    // A page is a visible dialog inside the wizard's dialog.
    HWND page = NULL;
    do {
      page = FindWindowExA(window, page, "#32770", NULL);
    } while (page && !IsWindowVisible(page));
    if (!page) return false;
  }
  search.button = button;
  return true;
}

HWND find(Search& search) {
  search.found = NULL;
  for (HWND window = FindWindowExA(NULL, NULL, "#32770", NULL); window;
       window = FindWindowExA(NULL, window, "#32770", NULL)) {
    if (matches(window, search)) {
      search.found = window;
      break;
    }
  }
  return search.found;
}

// Polls every millisecond until the search finds its window or the time is up.
bool waitFor(Search& search, double deadline) {
  while (!find(search)) {
    if (now() > deadline) return false;
    Sleep(1);
  }
  return true;
}

// Starts the program with its arguments, each quoted when it holds a blank.
bool start(int argc, char** argv, DWORD* pid) {
  char commandLine[2048] = "";
  size_t used = 0;
  for (int i = 0; i < argc; ++i) {
    bool quote = strchr(argv[i], ' ') != NULL;
    int n = _snprintf(commandLine + used, sizeof commandLine - used, "%s%s%s%s",
                      i ? " " : "", quote ? "\"" : "", argv[i], quote ? "\"" : "");
    if (n < 0 || static_cast<size_t>(n) >= sizeof commandLine - used) return false;
    used += static_cast<size_t>(n);
  }
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
    return false;
  *pid = process.dwProcessId;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

int usage() {
  fputs("usage: stopwatch [-t MS] page ID EXE [ARGS...] | box TEXT EXE [ARGS...] | press ID TEXT\n",
        stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QueryPerformanceFrequency(&frequency);
  double limit = 60000;
  int at = 1;
  if (at + 1 < argc && !strcmp(argv[at], "-t")) {
    limit = atof(argv[at + 1]);
    at += 2;
  }
  if (argc - at < 3) return usage();
  const char* verb = argv[at];
  Search search;
  memset(&search, 0, sizeof search);
  DWORD pid = 0;
  double begin;
  if (!strcmp(verb, "page") || !strcmp(verb, "box")) {
    if (!strcmp(verb, "page")) {
      search.kind = Search::kPage;
      search.id = atoi(argv[at + 1]);
    } else {
      search.kind = Search::kBox;
      search.text = argv[at + 1];
    }
    begin = now();
    if (!start(argc - at - 2, argv + at + 2, &pid)) {
      fprintf(stderr, "stopwatch: cannot start %s (error %lu)\n", argv[at + 2], GetLastError());
      return 1;
    }
  } else if (!strcmp(verb, "press") && argc - at == 3) {
    Search button;
    memset(&button, 0, sizeof button);
    button.kind = Search::kButton;
    button.id = atoi(argv[at + 1]);
    if (!find(button)) {
      fprintf(stderr, "stopwatch: no visible dialog with an enabled button %d\n", button.id);
      return 1;
    }
    search.kind = Search::kBox;
    search.text = argv[at + 2];
    GetWindowThreadProcessId(button.found, &pid);
    begin = now();
    PostMessageA(GetParent(button.button), WM_COMMAND, MAKEWPARAM(button.id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button.button));
  } else {
    return usage();
  }
  if (!waitFor(search, begin + limit)) {
    puts("timeout");
    return 1;
  }
  double elapsed = now() - begin;
  GetWindowThreadProcessId(search.found, &pid);
  printf("ms=%.3f pid=%lu\n", elapsed, pid);
  return 0;
}
