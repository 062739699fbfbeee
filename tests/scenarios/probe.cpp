// probe: the facts the scenarios need beyond what the robot prints.
//
//   probe.exe text TITLE ID FILE   the whole text of control ID of the top-level
//                                  window TITLE, written to FILE byte for byte
//                                  (the robot's lines stop at 4 KB)
//   probe.exe focus TITLE          the control that has the keyboard focus in
//                                  the thread of window TITLE: "focus id=N
//                                  class=C inside=1|0"
//   probe.exe watch MS             follows the progress window (a dialog with a
//                                  progress bar 1001) for up to MS: one line
//                                  "T title|item|text VALUE" per change, T in ms
//                                  since it appeared; ends when it goes
//   probe.exe bar                  the position of that progress bar: "bar N"
//                                  (asked by a message, so only while the
//                                  installer answers, as under a message box)
//   probe.exe answer MS            while the progress window is there (up to
//                                  MS), asks it every 100 ms for WM_NULL with a
//                                  1 s limit: "unanswered T" per miss, then
//                                  "answered N"
//   probe.exe short PATH           GetShortPathNameA of PATH
//   probe.exe long PATH            GetLongPathNameA of PATH
//   probe.exe run COMMAND          CreateProcessA of the command line as it
//                                  stands, as the shell starts a RunOnce value
//   probe.exe acp                  the ANSI code page: "acp N"
//   probe.exe wait COMMAND         the same, then waits for its end and prints
//                                  "exit N", N its whole exit code (a Linux
//                                  exit status keeps only the low 8 bits);
//                                  exits with it
//
// A copy under any other name is a bait: whatever its arguments, it creates
// the file NAME.ran beside itself (NAME its own file name) and exits.
//
// Exit code 0 when the fact could be had, 1 otherwise.

// The probe runs only under the test systems, and asks for facts that the
// oldest targets lack (the GUI thread state, long paths).
#undef WINVER
#undef _WIN32_WINNT
#define WINVER 0x0501
#define _WIN32_WINNT 0x0501
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const UINT kQueryMs = 5000;

HWND findTopLevel(const char* title) {
  HWND window = FindWindowA(NULL, title);
  if (!window) printf("no window titled \"%s\"\n", title);
  return window;
}

int controlText(const char* title, int id, const char* outPath) {
  HWND window = findTopLevel(title);
  if (!window) return 1;
  HWND control = GetDlgItem(window, id);
  if (!control) {
    printf("no control %d\n", id);
    return 1;
  }
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kQueryMs, &length)) {
    printf("no answer to WM_GETTEXTLENGTH\n");
    return 1;
  }
  char* text = (char*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, length + 1);
  if (!text) return 1;
  DWORD_PTR copied = 0;
  int result = 1;
  if (SendMessageTimeoutA(control, WM_GETTEXT, length + 1, (LPARAM)text, SMTO_ABORTIFHUNG,
                          kQueryMs, &copied)) {
    FILE* out = fopen(outPath, "wb");
    if (out) {
      size_t n = strlen(text);
      bool ok = fwrite(text, 1, n, out) == n;
      ok = fclose(out) == 0 && ok;
      if (ok) {
        printf("text length=%lu\n", (unsigned long)n);
        result = 0;
      }
    }
  }
  HeapFree(GetProcessHeap(), 0, text);
  return result;
}

int focus(const char* title) {
  HWND window = findTopLevel(title);
  if (!window) return 1;
  GUITHREADINFO info;
  memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, NULL), &info)) {
    printf("no thread information\n");
    return 1;
  }
  if (!info.hwndFocus) {
    printf("focus none\n");
    return 0;
  }
  char className[128] = "";
  GetClassNameA(info.hwndFocus, className, sizeof className);
  printf("focus id=%d class=%s inside=%d\n", GetDlgCtrlID(info.hwndFocus), className,
         IsChild(window, info.hwndFocus) ? 1 : 0);
  return 0;
}

struct ProgressSearch {
  HWND found;
};

BOOL CALLBACK findProgressProc(HWND window, LPARAM param) {
  char className[64] = "";
  HWND bar = GetDlgItem(window, 1001);
  if (IsWindowVisible(window) && bar && GetClassNameA(bar, className, sizeof className) &&
      !lstrcmpiA(className, "msctls_progress32")) {
    ((ProgressSearch*)param)->found = window;
    return FALSE;
  }
  return TRUE;
}

// The installer's progress window, waited for from start for up to limitMs;
// NULL (and a line saying so) when it does not come.
HWND waitForProgress(DWORD start, DWORD limitMs) {
  ProgressSearch search = {NULL};
  while (!search.found) {
    EnumWindows(findProgressProc, (LPARAM)&search);
    if (search.found) break;
    if (GetTickCount() - start >= limitMs) {
      printf("no progress window\n");
      return NULL;
    }
    Sleep(10);
  }
  return search.found;
}

// The texts are read with GetWindowTextA, which for another process's window
// answers from the window manager's copy: the installer's long loops do not
// pump messages, yet their updates are seen at once.
int watchProgress(DWORD limitMs) {
  DWORD start = GetTickCount();
  HWND window = waitForProgress(start, limitMs);
  if (!window) return 1;
  DWORD appeared = GetTickCount();
  static const struct { int id; const char* name; } kParts[] = {
      {0, "title"}, {1002, "item"}, {1003, "text"}};
  char last[3][512] = {"\x01", "\x01", "\x01"};
  while (IsWindow(window) && GetTickCount() - start < limitMs) {
    for (int i = 0; i < 3; ++i) {
      char text[512] = "";
      HWND part = kParts[i].id ? GetDlgItem(window, kParts[i].id) : window;
      if (part) GetWindowTextA(part, text, sizeof text);
      if (strcmp(text, last[i]) != 0) {
        strcpy(last[i], text);
        printf("%lu %s %s\n", (unsigned long)(GetTickCount() - appeared), kParts[i].name, text);
        fflush(stdout);
      }
    }
    Sleep(10);
  }
  printf("%lu gone\n", (unsigned long)(GetTickCount() - appeared));
  return 0;
}

// Another program's question that the installer's thread must answer while
// it waits: a message sent to its window, with a time limit of one second.
int answerProgress(DWORD limitMs) {
  DWORD start = GetTickCount();
  HWND window = waitForProgress(start, limitMs);
  if (!window) return 1;
  DWORD appeared = GetTickCount();
  unsigned long answered = 0;
  while (IsWindow(window) && GetTickCount() - start < limitMs) {
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result))
      ++answered;
    else if (IsWindow(window))
      printf("unanswered %lu\n", (unsigned long)(GetTickCount() - appeared));
    fflush(stdout);
    Sleep(100);
  }
  printf("answered %lu\n", answered);
  return 0;
}

int barPosition() {
  ProgressSearch search = {NULL};
  EnumWindows(findProgressProc, (LPARAM)&search);
  if (!search.found) {
    printf("no progress window\n");
    return 1;
  }
  DWORD_PTR position = 0;
  if (!SendMessageTimeoutA(GetDlgItem(search.found, 1001), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG,
                           kQueryMs, &position)) {
    printf("no answer to PBM_GETPOS\n");
    return 1;
  }
  printf("bar %lu\n", (unsigned long)position);
  return 0;
}

int pathForm(bool shortForm, const char* path) {
  char out[MAX_PATH] = "";
  DWORD n = shortForm ? GetShortPathNameA(path, out, sizeof out)
                      : GetLongPathNameA(path, out, sizeof out);
  if (n == 0 || n >= sizeof out) {
    printf("no %s path for %s\n", shortForm ? "short" : "long", path);
    return 1;
  }
  printf("%s\n", out);
  return 0;
}

int run(const char* command, bool wait) {
  char line[1024];
  lstrcpynA(line, command, sizeof line);
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
    printf("not started: error %lu\n", GetLastError());
    return 1;
  }
  CloseHandle(process.hThread);
  printf("started %lu\n", process.dwProcessId);
  DWORD code = 0;
  if (wait) {
    fflush(stdout);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    printf("exit %lu\n", code);
  }
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

// A bait's trace: "<own path>.ran".
bool leaveTrace() {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(NULL, self, MAX_PATH - 4);
  if (n == 0 || n >= MAX_PATH - 4) return false;
  const char* name = strrchr(self, '\\');
  if (!lstrcmpiA(name ? name + 1 : self, "probe.exe")) return false;
  lstrcatA(self, ".ran");
  HANDLE f = CreateFileA(self, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (leaveTrace()) return 0;
  if (argc == 5 && !strcmp(argv[1], "text")) return controlText(argv[2], atoi(argv[3]), argv[4]);
  if (argc == 3 && !strcmp(argv[1], "focus")) return focus(argv[2]);
  if (argc == 3 && !strcmp(argv[1], "watch")) return watchProgress((DWORD)strtoul(argv[2], NULL, 10));
  if (argc == 3 && !strcmp(argv[1], "answer"))
    return answerProgress((DWORD)strtoul(argv[2], NULL, 10));
  if (argc == 2 && !strcmp(argv[1], "bar")) return barPosition();
  if (argc == 3 && !strcmp(argv[1], "short")) return pathForm(true, argv[2]);
  if (argc == 3 && !strcmp(argv[1], "long")) return pathForm(false, argv[2]);
  if (argc == 3 && !strcmp(argv[1], "run")) return run(argv[2], false);
  if (argc == 3 && !strcmp(argv[1], "wait")) return run(argv[2], true);
  if (argc == 2 && !strcmp(argv[1], "acp")) return printf("acp %u\n", GetACP()) < 0;
  fprintf(stderr, "usage: probe text TITLE ID FILE | focus TITLE | watch MS | answer MS | bar |"
                  " short PATH | long PATH | run COMMAND | wait COMMAND | acp\n");
  return 2;
}
