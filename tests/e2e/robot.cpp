// robot: drives a Windows GUI program from beside it, the way a user would,
// and prints what it sees, one line per fact, for a test script to grep.
//
//   robot.exe "COMMAND ..." "COMMAND ..."   each argument is one command
//   robot.exe < script                      no arguments: one command a line
//
// A command is words separated by blanks; "double quotes" group blanks, with
// \" \\ \n \t inside them. Most words are KEY=VALUE (KEY~=VALUE: contains,
// KEY!=VALUE: differs). Lines starting with # are comments.
//
// Top-level window selectors (SEL): class= title= text= (a message box's
// message) exe= pid= hwnd= visible=1|0|any; pid and hwnd take = and !=.
// Waiting commands match visible windows unless visible= says otherwise; list
// matches any. Every wait ends after timeout=MS (default 5000, changed by
// "timeout MS").
//
//   window SEL [timeout=MS]     wait for a window; it becomes the current window
//   msgbox [SEL] [timeout=MS]   wait for a message box; it becomes current
//   gone [SEL] [timeout=MS]     wait until the current window (or all of SEL) is
//                               gone; the window current before it is current again
//   absent SEL [for=MS] [while=EXE]  fail if a matching window is seen within MS
//                               (default 0); with while=, the watch ends early once
//                               a process EXE has run and is gone
//   list [SEL]                  print every matching top-level window
//   control id=N|ctlclass=C     print a control of the current window; in a
//                               property sheet the current page is searched first
//   assert [id=N] PROP=V ...    check properties of the current window or a control
//   wait [id=N] PROP=V ... [timeout=MS]   poll until the properties hold
//   press id=N|BUTTON [force]   post WM_COMMAND/BN_CLICKED to the button's parent;
//                               BUTTON: ok cancel abort retry ignore yes no close
//   click id=N [force]          post BM_CLICK to a button (check boxes toggle)
//   sheet back|next|finish|cancel [force]  post PSM_PRESSBUTTON to the current sheet
//   keys KEY ...                foreground the window and type: enter esc tab space
//                               up down left right home end f1..f12, alt+X ctrl+X
//                               shift+X, or "literal text"
//   move X Y [W H] | show max|min|restore|hide | close | front
//   send [id=N] MSG [WPARAM [LPARAM]] [result=R]   send a message and print its
//                               result; MSG is a number or a name below, a
//                               parameter a number or "dc" (the robot's screen
//                               DC); result= fails unless the answer is R.
//                               Names: WM_CLOSE WM_ERASEBKGND WM_GETTEXTLENGTH
//                               WM_SYSCOMMAND SC_CLOSE WM_WINDOWPOSCHANGING
//                               PBM_GETPOS PBM_GETRANGE
//   sendin [id=N] MSG [WPARAM [LPARAM]] [pos=X,Y,W,H,FLAGS] [result=R] [after=F]
//                               the same, sent by the window's own thread (the
//                               probe library, put there by a message hook): "dc"
//                               is then the window's own DC, and pos= passes a
//                               WINDOWPOS as lParam, whose flags are printed
//                               after the call (after= checks them)
//   kill                        end the current window's process (TerminateProcess)
//   resource file=WINPATH type=T name=N [data=WINPATH]   replace a resource of an
//                               executable with a file's bytes, or delete it
//                               (all its languages) without data=
//   sleep MS | echo TEXT | timeout MS
//
// Properties (printed and checked): hwnd pid exe class title text id visible
// enabled checked owner maximized minimized foreground rect=L,T,R,B client=W,H
// origin=X,Y (a top-level window's client area on the screen); a
// message box adds text (its message), icon (error question warning
// information none unknown) and buttons (left to right, e.g. yes,no).
//
// Exit code: 0 when every command held, 1 when an expectation failed (after a
// "FAIL ..." line and a list of the visible windows), 2 for a bad command.
#include <windows.h>
#include <commctrl.h>
#include "fixtures/probe.h"
#include <tlhelp32.h>
#include <algorithm>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const int kMaxWords = 40;
const int kWordCap = 1024;
const int kTextCap = 4096;
const int kPropCap = 24;
const int kPollMs = 20;
const UINT kQueryMs = 1000;  // a busy program gets this long to answer a query

int defaultTimeout = 5000;

// Every time limit is multiplied by the harness's speed factor, ZELTO_SLOWDOWN
// per cent (tests/e2e/lib.sh measures it; 100 when not set).
int scaled(int ms) {
  static int percent = 0;
  if (!percent) {
    char text[16];
    DWORD n = GetEnvironmentVariableA("ZELTO_SLOWDOWN", text, sizeof text);
    percent = n > 0 && n < sizeof text ? atoi(text) : 0;
    if (percent < 100) percent = 100;
  }
  return (int)(((long long)ms * percent + 99) / 100);
}
HWND current = NULL;
HWND previous = NULL;  // current before the last window or msgbox; back after gone

// ---------------------------------------------------------------- output

void say(const char* format, ...) {
  char line[3 * kTextCap];
  va_list args;
  va_start(args, format);
  _vsnprintf(line, sizeof line - 2, format, args);
  va_end(args);
  line[sizeof line - 2] = '\0';
  strcat(line, "\n");
  fputs(line, stdout);
  fflush(stdout);
}

// Copies text into out as one printable word: quotes, backslashes and
// control characters escaped, so that every fact stays on one line.
void quote(const char* text, char* out, size_t cap) {
  size_t n = 0;
  if (cap < 3) { if (cap) out[0] = '\0'; return; }
  out[n++] = '"';
  for (const unsigned char* p = (const unsigned char*)text; *p && n + 6 < cap; ++p) {
    if (*p == '"' || *p == '\\') { out[n++] = '\\'; out[n++] = (char)*p; }
    else if (*p == '\n') { out[n++] = '\\'; out[n++] = 'n'; }
    else if (*p == '\r') { out[n++] = '\\'; out[n++] = 'r'; }
    else if (*p == '\t') { out[n++] = '\\'; out[n++] = 't'; }
    else if (*p < 32) n += (size_t)_snprintf(out + n, cap - n, "\\x%02x", *p);
    else out[n++] = (char)*p;
  }
  out[n++] = '"';
  out[n] = '\0';
}

void copyText(char* out, size_t cap, const char* text) {
  if (!cap) return;
  strncpy(out, text, cap - 1);
  out[cap - 1] = '\0';
}

// ---------------------------------------------------------------- commands

struct Word {
  char key[64];   // empty for a bare word
  char op;        // '=', '~' (contains), '!' (differs), 0 for a bare word
  char value[kWordCap];
};

struct Command {
  int count;
  Word words[kMaxWords];
};

// Splits a command into words; answers false for an unbalanced quote.
bool parseCommand(const char* line, Command& command) {
  command.count = 0;
  const char* p = line;
  while (*p) {
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
    if (!*p) break;
    if (command.count == kMaxWords) return false;
    char raw[kWordCap];
    size_t n = 0;
    bool quoted = false;
    bool sawQuote = false;
    while (*p && (quoted || (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n'))) {
      char c = *p++;
      if (c == '"') { quoted = !quoted; sawQuote = true; continue; }
      if (quoted && c == '\\' && *p) {
        c = *p++;
        if (c == 'n') c = '\n';
        else if (c == 't') c = '\t';
      } else if (!sawQuote && c == '=') {
        // Mark the first unquoted '=' so that a quoted '=' in a value stays text.
        c = '\x01';
      }
      if (n + 1 < sizeof raw) raw[n++] = c;
    }
    if (quoted) return false;
    raw[n] = '\0';
    Word& word = command.words[command.count++];
    char* equals = strchr(raw, '\x01');
    if (equals) {
      *equals = '\0';
      for (char* q = equals + 1; *q; ++q) if (*q == '\x01') *q = '=';
      size_t keyLength = strlen(raw);
      word.op = '=';
      if (keyLength && (raw[keyLength - 1] == '~' || raw[keyLength - 1] == '!')) {
        word.op = raw[keyLength - 1];
        raw[keyLength - 1] = '\0';
      }
      copyText(word.key, sizeof word.key, raw);
      copyText(word.value, sizeof word.value, equals + 1);
    } else {
      word.key[0] = '\0';
      word.op = 0;
      copyText(word.value, sizeof word.value, raw);
    }
  }
  return true;
}

const Word* findWord(const Command& command, const char* key) {
  for (int i = 1; i < command.count; ++i)
    if (command.words[i].op && lstrcmpiA(command.words[i].key, key) == 0) return &command.words[i];
  return NULL;
}

bool hasBareWord(const Command& command, const char* value) {
  for (int i = 1; i < command.count; ++i)
    if (!command.words[i].op && lstrcmpiA(command.words[i].value, value) == 0) return true;
  return false;
}

int intWord(const Command& command, const char* key, int fallback) {
  const Word* word = findWord(command, key);
  return word ? (int)strtol(word->value, NULL, 0) : fallback;
}

// ---------------------------------------------------------------- window facts

// Text of a window of another process: WM_GETTEXT (marshalled across
// processes, and right for edit controls); a program too busy to answer gets
// the text that the window manager keeps.
void windowText(HWND window, char* out, int cap) {
  out[0] = '\0';
  DWORD_PTR copied = 0;
  if (SendMessageTimeoutA(window, WM_GETTEXT, (WPARAM)cap, (LPARAM)out, SMTO_ABORTIFHUNG,
                          (UINT)scaled(kQueryMs), &copied)) {
    out[cap - 1] = '\0';
    return;
  }
  GetWindowTextA(window, out, cap);
}

// Walks the running processes for the one with this id, or (pid 0) this file
// name; answers whether one was found, with its file name in out. Without a
// list of processes every answer is "found" and the name is "?".
bool findProcess(DWORD pid, const char* exe, char* out, size_t cap) {
  copyText(out, cap, "?");
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return true;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Process32First(snapshot, &entry); more && !found;
       more = Process32Next(snapshot, &entry)) {
    const char* base = strrchr(entry.szExeFile, '\\');
    base = base ? base + 1 : entry.szExeFile;
    found = pid ? entry.th32ProcessID == pid : lstrcmpiA(base, exe) == 0;
    if (found) copyText(out, cap, base);
  }
  CloseHandle(snapshot);
  return found;
}

bool isClass(HWND window, const char* name) {
  char className[256];
  if (!GetClassNameA(window, className, sizeof className)) return false;
  return lstrcmpiA(className, name) == 0;
}

struct ChildSearch {
  int id;
  const char* className;
  HWND found;
};

BOOL CALLBACK findChildProc(HWND child, LPARAM param) {
  ChildSearch* search = (ChildSearch*)param;
  if (search->id >= 0 && GetDlgCtrlID(child) != search->id) return TRUE;
  if (search->className && !isClass(child, search->className)) return TRUE;
  search->found = child;
  return FALSE;
}

HWND findChild(HWND parent, int id, const char* className) {
  ChildSearch search = {id, className, NULL};
  EnumChildWindows(parent, findChildProc, (LPARAM)&search);
  return search.found;
}

// The current page of a property sheet, or NULL for any other window.
HWND currentPage(HWND window) {
  if (!isClass(window, "#32770")) return NULL;
  DWORD_PTR page = 0;
  if (!SendMessageTimeoutA(window, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_ABORTIFHUNG,
                           (UINT)scaled(kQueryMs), &page))
    return NULL;
  HWND pageWindow = (HWND)page;
  return pageWindow && IsWindow(pageWindow) && IsChild(window, pageWindow) ? pageWindow : NULL;
}

// A control of a window by id or class. A sheet's own buttons share ids with
// page controls (Help is 9), so the current page is searched first.
HWND findControl(HWND window, int id, const char* className) {
  HWND page = currentPage(window);
  HWND found = page ? findChild(page, id, className) : NULL;
  return found ? found : findChild(window, id, className);
}

// A message box: a dialog with the message static (id 0xFFFF) and buttons.
bool isMessageBox(HWND window) {
  return isClass(window, "#32770") && GetDlgItem(window, 0xFFFF) &&
         findChild(window, -1, "Button") && !currentPage(window);
}

// Which standard icon a message box shows. Icon handles of another process
// cannot be read, so the icon's pixels on the screen are compared with each
// standard icon drawn on the same background.
const char* iconKindOnce(HWND box) {
  HWND icon = NULL;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (isClass(child, "Static") && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      icon = child;
      break;
    }
  }
  if (!icon || !IsWindowVisible(icon)) return "none";
  RECT rect;
  GetWindowRect(icon, &rect);
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0 || width > 128 || height > 128) return "unknown";

  static const struct { LPCSTR id; const char* name; } kinds[] = {
      {IDI_HAND, "error"}, {IDI_QUESTION, "question"},
      {IDI_EXCLAMATION, "warning"}, {IDI_ASTERISK, "information"}};
  const char* best = "unknown";
  HDC screen = GetDC(NULL);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info;
  memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* seenBits = NULL;
  void* drawnBits = NULL;
  HBITMAP seen = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &seenBits, NULL, 0);
  HBITMAP drawn = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &drawnBits, NULL, 0);
  if (memory && seen && drawn) {
    HGDIOBJ old = SelectObject(memory, seen);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    const DWORD* seenPixels = (const DWORD*)seenBits;
    const DWORD* drawnPixels = (const DWORD*)drawnBits;
    DWORD background = seenPixels[0] & 0xFFFFFF;
    int bestDiff = width * height / 20 + 1;  // at most 5% of the pixels may differ
    for (size_t k = 0; k < sizeof kinds / sizeof kinds[0]; ++k) {
      SelectObject(memory, drawn);
      HBRUSH brush = CreateSolidBrush(RGB(background >> 16 & 0xFF, background >> 8 & 0xFF,
                                          background & 0xFF));
      RECT all = {0, 0, width, height};
      FillRect(memory, &all, brush);
      DeleteObject(brush);
      DrawIconEx(memory, 0, 0, LoadIconA(NULL, kinds[k].id), width, height, 0, NULL, DI_NORMAL);
      GdiFlush();
      int diff = 0;
      for (int i = 0; i < width * height; ++i) {
        DWORD a = seenPixels[i], b = drawnPixels[i];
        for (int shift = 0; shift < 24; shift += 8) {
          int d = (int)(a >> shift & 0xFF) - (int)(b >> shift & 0xFF);
          if (d > 24 || d < -24) { ++diff; break; }
        }
      }
      if (diff < bestDiff) { bestDiff = diff; best = kinds[k].name; }
    }
    SelectObject(memory, old);
  }
  if (seen) DeleteObject(seen);
  if (drawn) DeleteObject(drawn);
  if (memory) DeleteDC(memory);
  ReleaseDC(NULL, screen);
  return best;
}

// A box that has only just appeared may not have painted its icon yet on a
// busy machine: read again for up to two seconds before calling it unknown.
const char* iconKind(HWND box) {
  const char* kind = iconKindOnce(box);
  for (int i = 0; i < 2000 / kPollMs && !strcmp(kind, "unknown") && IsWindow(box); ++i) {
    Sleep(kPollMs);
    kind = iconKindOnce(box);
  }
  return kind;
}

const struct { int id; const char* name; } kButtons[] = {
    {IDOK, "ok"}, {IDCANCEL, "cancel"}, {IDABORT, "abort"}, {IDRETRY, "retry"},
    {IDIGNORE, "ignore"}, {IDYES, "yes"}, {IDNO, "no"}, {8, "close"}, {9, "help"},
    {10, "tryagain"}, {11, "continue"}};

const char* buttonName(int id) {
  for (size_t i = 0; i < sizeof kButtons / sizeof kButtons[0]; ++i)
    if (kButtons[i].id == id) return kButtons[i].name;
  return NULL;
}

int buttonId(const char* name) {
  for (size_t i = 0; i < sizeof kButtons / sizeof kButtons[0]; ++i)
    if (lstrcmpiA(kButtons[i].name, name) == 0) return kButtons[i].id;
  return -1;
}

// The visible buttons of a message box, left to right, as "yes,no".
void boxButtons(HWND box, char* out, size_t cap) {
  HWND buttons[16];
  int count = 0;
  for (HWND child = GetWindow(box, GW_CHILD); child && count < 16;
       child = GetWindow(child, GW_HWNDNEXT))
    if (isClass(child, "Button") && IsWindowVisible(child)) buttons[count++] = child;
  std::stable_sort(buttons, buttons + count, [](HWND a, HWND b) {
    RECT ra, rb;
    return GetWindowRect(a, &ra) && GetWindowRect(b, &rb) && ra.left < rb.left;
  });
  out[0] = '\0';
  for (int i = 0; i < count; ++i) {
    char name[32];
    const char* known = buttonName(GetDlgCtrlID(buttons[i]));
    if (known) copyText(name, sizeof name, known);
    else _snprintf(name, sizeof name, "%d", GetDlgCtrlID(buttons[i]));
    name[sizeof name - 1] = '\0';
    if (i) strncat(out, ",", cap - strlen(out) - 1);
    strncat(out, name, cap - strlen(out) - 1);
  }
}

struct Prop {
  char name[16];
  char value[kTextCap];
};

struct Props {
  int count;
  Prop items[kPropCap];
};

void addProp(Props& props, const char* name, const char* format, ...) {
  if (props.count == kPropCap) return;
  Prop& prop = props.items[props.count++];
  copyText(prop.name, sizeof prop.name, name);
  va_list args;
  va_start(args, format);
  _vsnprintf(prop.value, sizeof prop.value, format, args);
  va_end(args);
  prop.value[sizeof prop.value - 1] = '\0';
}

// Everything the robot can tell about a window or a control.
void collectProps(HWND window, bool control, Props& props) {
  props.count = 0;
  char text[kTextCap];
  char className[256] = "";
  GetClassNameA(window, className, sizeof className);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  addProp(props, "hwnd", "0x%08lx", (unsigned long)(UINT_PTR)window);
  if (control) addProp(props, "id", "%d", GetDlgCtrlID(window));
  addProp(props, "pid", "%lu", (unsigned long)pid);
  if (!control) {
    char exe[MAX_PATH];
    findProcess(pid, NULL, exe, sizeof exe);
    addProp(props, "exe", "%s", exe);
  }
  addProp(props, "class", "%s", className);
  windowText(window, text, sizeof text);
  addProp(props, control ? "text" : "title", "%s", text);
  addProp(props, "visible", "%d", IsWindowVisible(window) ? 1 : 0);
  addProp(props, "enabled", "%d", IsWindowEnabled(window) ? 1 : 0);
  if (control && lstrcmpiA(className, "Button") == 0) {
    DWORD_PTR state = 0;
    SendMessageTimeoutA(window, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, (UINT)scaled(kQueryMs), &state);
    addProp(props, "checked", "%d", (int)state);
  }
  if (!control) {
    addProp(props, "owner", "0x%08lx", (unsigned long)(UINT_PTR)GetWindow(window, GW_OWNER));
    addProp(props, "maximized", "%d", IsZoomed(window) ? 1 : 0);
    addProp(props, "minimized", "%d", IsIconic(window) ? 1 : 0);
    addProp(props, "foreground", "%d", GetForegroundWindow() == window ? 1 : 0);
  }
  RECT rect = {0, 0, 0, 0};  // stays empty when the window has just gone
  GetWindowRect(window, &rect);
  addProp(props, "rect", "%ld,%ld,%ld,%ld", rect.left, rect.top, rect.right, rect.bottom);
  SetRectEmpty(&rect);
  GetClientRect(window, &rect);
  addProp(props, "client", "%ld,%ld", rect.right - rect.left, rect.bottom - rect.top);
  if (!control) {
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    addProp(props, "origin", "%ld,%ld", origin.x, origin.y);
  }
  if (!control && isMessageBox(window)) {
    windowText(GetDlgItem(window, 0xFFFF), text, sizeof text);
    addProp(props, "text", "%s", text);
    addProp(props, "icon", "%s", iconKind(window));
    boxButtons(window, text, sizeof text);
    addProp(props, "buttons", "%s", text);
  }
}

const char* propValue(const Props& props, const char* name) {
  for (int i = 0; i < props.count; ++i)
    if (lstrcmpiA(props.items[i].name, name) == 0) return props.items[i].value;
  // title and text name the same thing on windows and controls.
  if (lstrcmpiA(name, "text") == 0) return propValue(props, "title");
  if (lstrcmpiA(name, "title") == 0 && propValue(props, "id")) return propValue(props, "text");
  return NULL;
}

void printProps(const char* kind, const Props& props) {
  char line[3 * kTextCap];
  size_t n = (size_t)_snprintf(line, sizeof line, "%s", kind);
  for (int i = 0; i < props.count && n < sizeof line; ++i) {
    char value[2 * kTextCap];
    const char* v = props.items[i].value;
    bool plain = *v && !strpbrk(v, " \"\\\t\r\n");
    if (plain && strcmp(props.items[i].name, "title") && strcmp(props.items[i].name, "text"))
      copyText(value, sizeof value, v);
    else
      quote(v, value, sizeof value);
    int added = _snprintf(line + n, sizeof line - n, " %s=%s", props.items[i].name, value);
    if (added < 0 || (size_t)added >= sizeof line - n) break;  // cut at the buffer's end
    n += (size_t)added;
  }
  line[sizeof line - 1] = '\0';
  say("%s", line);
}

void printWindow(const char* kind, HWND window, bool control) {
  static Props props;
  collectProps(window, control, props);
  printProps(kind, props);
}

bool matches(const char* actual, char op, const char* expected) {
  if (!actual) return false;
  if (op == '~') return strstr(actual, expected) != NULL;
  bool same = strcmp(actual, expected) == 0;
  return op == '!' ? !same : same;
}

// ---------------------------------------------------------------- selecting

bool isSelectorKey(const char* key) {
  static const char* const keys[] = {"class", "title", "text", "exe", "pid", "hwnd", "visible"};
  for (size_t i = 0; i < sizeof keys / sizeof keys[0]; ++i)
    if (lstrcmpiA(key, keys[i]) == 0) return true;
  return false;
}

bool hasSelector(const Command& command) {
  for (int i = 1; i < command.count; ++i)
    if (command.words[i].op && isSelectorKey(command.words[i].key)) return true;
  return false;
}

// Does a top-level window match every selector word of the command?
bool selects(HWND window, const Command& command, bool visibleByDefault) {
  bool visibleChecked = false;
  for (int i = 1; i < command.count; ++i) {
    const Word& word = command.words[i];
    if (!word.op || !isSelectorKey(word.key)) continue;
    if (lstrcmpiA(word.key, "visible") == 0) {
      visibleChecked = true;
      if (lstrcmpiA(word.value, "any") == 0) continue;
      if ((IsWindowVisible(window) ? 1 : 0) != atoi(word.value)) return false;
      continue;
    }
    char actual[kTextCap];
    if (lstrcmpiA(word.key, "class") == 0) {
      if (!GetClassNameA(window, actual, sizeof actual)) return false;
      if (word.op == '=' ? lstrcmpiA(actual, word.value) != 0 : !matches(actual, word.op, word.value))
        return false;
    } else if (lstrcmpiA(word.key, "title") == 0) {
      windowText(window, actual, sizeof actual);
      if (!matches(actual, word.op, word.value)) return false;
    } else if (lstrcmpiA(word.key, "text") == 0) {
      HWND message = GetDlgItem(window, 0xFFFF);  // the message of a message box
      if (!message) return false;
      windowText(message, actual, sizeof actual);
      if (!matches(actual, word.op, word.value)) return false;
    } else if (lstrcmpiA(word.key, "hwnd") == 0) {
      bool same = (UINT_PTR)window == (UINT_PTR)strtoul(word.value, NULL, 16);
      if ((word.op == '!') == same) return false;
    } else {
      DWORD pid = 0;
      GetWindowThreadProcessId(window, &pid);
      if (lstrcmpiA(word.key, "pid") == 0) {
        bool same = pid == (DWORD)strtoul(word.value, NULL, 0);
        if ((word.op == '!') == same) return false;
      } else {
        findProcess(pid, NULL, actual, sizeof actual);
        bool same = lstrcmpiA(actual, word.value) == 0;
        if (word.op == '~' ? !strstr(actual, word.value) : (word.op == '!') == same) return false;
      }
    }
  }
  return visibleChecked || !visibleByDefault || IsWindowVisible(window);
}

struct Enumeration {
  const Command* command;
  bool visibleByDefault;
  bool boxesOnly;
  HWND found[256];
  int count;
};

BOOL CALLBACK enumProc(HWND window, LPARAM param) {
  Enumeration* e = (Enumeration*)param;
  if (e->count < 256 && selects(window, *e->command, e->visibleByDefault) &&
      (!e->boxesOnly || isMessageBox(window)))
    e->found[e->count++] = window;
  return TRUE;
}

void enumerate(Enumeration& e, const Command& command, bool visibleByDefault, bool boxesOnly) {
  e.command = &command;
  e.visibleByDefault = visibleByDefault;
  e.boxesOnly = boxesOnly;
  e.count = 0;
  EnumWindows(enumProc, (LPARAM)&e);
}

void listVisible(const char* kind) {
  Command none;
  none.count = 1;
  static Enumeration e;
  enumerate(e, none, true, false);
  for (int i = 0; i < e.count; ++i) printWindow(kind, e.found[i], false);
}

// Reports a failed expectation with what was on the screen; the exit code says the rest.
int fail(const char* format, ...) {
  char line[kTextCap];
  va_list args;
  va_start(args, format);
  _vsnprintf(line, sizeof line, format, args);
  va_end(args);
  line[sizeof line - 1] = '\0';
  say("FAIL %s", line);
  listVisible("seen");
  return 1;
}

int usage(const char* what, const char* command) {
  say("ERROR %s: %s", what, command);
  return 2;
}

// ---------------------------------------------------------------- keys

struct KeyName { const char* name; BYTE vk; };
const KeyName kKeys[] = {
    {"enter", VK_RETURN}, {"esc", VK_ESCAPE}, {"tab", VK_TAB}, {"space", VK_SPACE},
    {"up", VK_UP}, {"down", VK_DOWN}, {"left", VK_LEFT}, {"right", VK_RIGHT},
    {"home", VK_HOME}, {"end", VK_END}, {"backspace", VK_BACK}, {"delete", VK_DELETE}};

void tap(BYTE vk, bool down) { keybd_event(vk, (BYTE)MapVirtualKeyA(vk, 0), down ? 0 : KEYEVENTF_KEYUP, 0); }

void pressKey(BYTE vk, bool shift, bool ctrl, bool alt) {
  if (shift) tap(VK_SHIFT, true);
  if (ctrl) tap(VK_CONTROL, true);
  if (alt) tap(VK_MENU, true);
  tap(vk, true);
  tap(vk, false);
  if (alt) tap(VK_MENU, false);
  if (ctrl) tap(VK_CONTROL, false);
  if (shift) tap(VK_SHIFT, false);
  Sleep(10);
}

// One key word: a name, modifiers joined with '+', or a single character.
bool typeKey(const char* keyName) {
  bool shift = false, ctrl = false, alt = false;
  for (;;) {
    if (_strnicmp(keyName, "shift+", 6) == 0) { shift = true; keyName += 6; }
    else if (_strnicmp(keyName, "ctrl+", 5) == 0) { ctrl = true; keyName += 5; }
    else if (_strnicmp(keyName, "alt+", 4) == 0) { alt = true; keyName += 4; }
    else break;
  }
  for (size_t i = 0; i < sizeof kKeys / sizeof kKeys[0]; ++i) {
    if (lstrcmpiA(keyName, kKeys[i].name) == 0) {
      pressKey(kKeys[i].vk, shift, ctrl, alt);
      return true;
    }
  }
  if ((keyName[0] == 'f' || keyName[0] == 'F') && keyName[1] >= '1' && keyName[1] <= '9') {
    int n = atoi(keyName + 1);
    if (n >= 1 && n <= 12) { pressKey((BYTE)(VK_F1 + n - 1), shift, ctrl, alt); return true; }
  }
  if (keyName[0] && !keyName[1]) {
    SHORT scan = VkKeyScanA(keyName[0]);
    if (scan == -1) return false;
    pressKey(LOBYTE(scan), shift || (HIBYTE(scan) & 1), ctrl || (HIBYTE(scan) & 2),
             alt || (HIBYTE(scan) & 4));
    return true;
  }
  return false;
}

// ---------------------------------------------------------------- messages and resources

const struct { const char* name; UINT value; } kMessages[] = {
    {"WM_CLOSE", WM_CLOSE}, {"WM_ERASEBKGND", WM_ERASEBKGND},
    {"WM_GETTEXTLENGTH", WM_GETTEXTLENGTH}, {"WM_SYSCOMMAND", WM_SYSCOMMAND},
    {"SC_CLOSE", SC_CLOSE}, {"WM_WINDOWPOSCHANGING", WM_WINDOWPOSCHANGING},
    {"PBM_GETPOS", PBM_GETPOS}, {"PBM_GETRANGE", PBM_GETRANGE}};

// A message or parameter word: a name from the table, a number, or "dc".
bool messageValue(const char* word, HDC screen, UINT_PTR* value) {
  if (lstrcmpiA(word, "dc") == 0) { *value = (UINT_PTR)screen; return true; }
  for (size_t i = 0; i < sizeof kMessages / sizeof kMessages[0]; ++i)
    if (lstrcmpiA(word, kMessages[i].name) == 0) { *value = kMessages[i].value; return true; }
  char* end = NULL;
  *value = (UINT_PTR)strtoul(word, &end, 0);
  return end != word && *end == '\0';
}

// One resource of an executable, copied out so that the file can be rewritten.
struct ResourceCopy {
  char type[64];  // "#N" for an integer id
  char name[64];
  WORD language;
  DWORD size;
  void* bytes;
};

struct ResourceList {
  HMODULE image;
  ResourceCopy items[96];
  int count;
  bool full;
};

void resourceWord(LPCSTR id, char* out, size_t cap) {
  if (IS_INTRESOURCE(id)) _snprintf(out, cap, "#%u", (unsigned)(UINT_PTR)id);
  else _snprintf(out, cap, "%s", id);
  out[cap - 1] = '\0';
}

// "#101" names the integer id 101: the find functions read it so, but the
// update functions would take it for a name of four letters.
LPCSTR resourceId(const char* word) {
  if (word[0] == '#' && word[1] >= '0' && word[1] <= '9')
    return MAKEINTRESOURCEA((WORD)strtoul(word + 1, NULL, 10));
  return word;
}

BOOL CALLBACK languageProc(HMODULE image, LPCSTR type, LPCSTR name, WORD language,
                           LONG_PTR param) {
  ResourceList* list = (ResourceList*)param;
  if (list->count == (int)(sizeof list->items / sizeof list->items[0])) {
    list->full = true;
    return FALSE;
  }
  HRSRC found = FindResourceExA(image, type, name, language);
  HGLOBAL loaded = found ? LoadResource(image, found) : NULL;
  const void* bytes = loaded ? LockResource(loaded) : NULL;
  DWORD size = found ? SizeofResource(image, found) : 0;
  if (!bytes) return TRUE;
  ResourceCopy& copy = list->items[list->count];
  copy.bytes = HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
  if (!copy.bytes) { list->full = true; return FALSE; }
  memcpy(copy.bytes, bytes, size);
  copy.size = size;
  copy.language = language;
  resourceWord(type, copy.type, sizeof copy.type);
  resourceWord(name, copy.name, sizeof copy.name);
  ++list->count;
  return TRUE;
}

BOOL CALLBACK nameProc(HMODULE image, LPCSTR type, LPSTR name, LONG_PTR param) {
  EnumResourceLanguagesA(image, type, name, languageProc, param);
  return !((ResourceList*)param)->full;
}

BOOL CALLBACK typeProc(HMODULE image, LPSTR type, LONG_PTR param) {
  EnumResourceNamesA(image, type, nameProc, param);
  return !((ResourceList*)param)->full;
}

// Replaces a resource of an executable that is not running with a file's
// bytes, or deletes it without data; the scenarios make faulty copies of the
// program under test this way. Wine's UpdateResourceA cannot delete, so the
// whole resource section is written anew from copies of the other resources.
int editResource(const char* file, const char* type, const char* name, const char* data,
                 char* why, size_t cap) {
  static ResourceList list;
  list.count = 0;
  list.full = false;
  list.image = LoadLibraryExA(file, NULL, LOAD_LIBRARY_AS_DATAFILE);
  if (!list.image) { _snprintf(why, cap, "cannot load %s", file); return 1; }
  EnumResourceTypesA(list.image, typeProc, (LONG_PTR)&list);
  FreeLibrary(list.image);

  void* bytes = NULL;
  DWORD size = 0;
  int result = 0;
  bool present = false;
  for (int i = 0; i < list.count; ++i)
    present = present || (lstrcmpiA(list.items[i].type, type) == 0 &&
                          lstrcmpiA(list.items[i].name, name) == 0);
  if (list.full) {
    _snprintf(why, cap, "%s has too many resources", file);
    result = 1;
  } else if (!data && !present) {
    _snprintf(why, cap, "%s has no resource %s %s", file, type, name);
    result = 1;
  } else if (data) {
    HANDLE input = CreateFileA(data, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    size = input != INVALID_HANDLE_VALUE ? GetFileSize(input, NULL) : INVALID_FILE_SIZE;
    bytes = size != INVALID_FILE_SIZE ? HeapAlloc(GetProcessHeap(), 0, size ? size : 1) : NULL;
    DWORD got = 0;
    if (!bytes || !ReadFile(input, bytes, size, &got, NULL) || got != size) {
      _snprintf(why, cap, "cannot read %s", data);
      result = 1;
    }
    if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
  }

  HANDLE update = result ? NULL : BeginUpdateResourceA(file, TRUE);
  if (!result && !update) {
    _snprintf(why, cap, "cannot open %s for resource updates (error %lu)", file, GetLastError());
    result = 1;
  }
  if (update) {
    bool ok = true, seen = false;
    for (int i = 0; i < list.count && ok; ++i) {
      const ResourceCopy& copy = list.items[i];
      bool target = lstrcmpiA(copy.type, type) == 0 && lstrcmpiA(copy.name, name) == 0;
      if (target && (seen || !data)) continue;  // one language keeps the new data
      seen = seen || target;
      ok = UpdateResourceA(update, resourceId(copy.type), resourceId(copy.name), copy.language,
                           target ? bytes : copy.bytes, target ? size : copy.size) != 0;
    }
    if (ok && data && !seen)
      ok = UpdateResourceA(update, resourceId(type), resourceId(name),
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), bytes, size) != 0;
    if (!EndUpdateResourceA(update, !ok) || !ok) {
      _snprintf(why, cap, "could not write the resources of %s (error %lu)", file,
                GetLastError());
      result = 1;
    }
  }
  for (int i = 0; i < list.count; ++i) HeapFree(GetProcessHeap(), 0, list.items[i].bytes);
  if (bytes) HeapFree(GetProcessHeap(), 0, bytes);
  return result;
}

// Runs a probe request in the thread of the target window: the probe library
// is hooked into that thread and woken by a posted message. Fills why on failure.
bool probeInside(ProbeRequest& order, DWORD timeout, char* why, size_t cap) {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
  char* slash = n && n < sizeof path ? strrchr(path, '\\') : NULL;
  if (!slash || (size_t)(slash - path) + 16 >= sizeof path) {
    _snprintf(why, cap, "no path of the robot");
    return false;
  }
  strcpy(slash + 1, "robotprobe.dll");
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                      sizeof(ProbeRequest), PROBE_MAPPING);
  ProbeRequest* shared = mapping ? (ProbeRequest*)MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0,
                                                                sizeof(ProbeRequest))
                                 : NULL;
  HANDLE done = CreateEventA(NULL, TRUE, FALSE, PROBE_DONE_EVENT);
  HMODULE library = LoadLibraryA(path);
  HOOKPROC hook = library ? (HOOKPROC)(void*)GetProcAddress(library, PROBE_HOOK_NAME) : NULL;
  DWORD thread = GetWindowThreadProcessId(order.target, NULL);
  HHOOK hooked = NULL;
  bool ok = false;
  if (!shared || !done || !hook) {
    _snprintf(why, cap, "cannot set up the probe %s (error %lu)", path, GetLastError());
  } else {
    *shared = order;
    shared->done = 0;
    ResetEvent(done);
    hooked = SetWindowsHookExA(WH_GETMESSAGE, hook, library, thread);
    if (!hooked) {
      _snprintf(why, cap, "cannot hook thread %lu (error %lu)", thread, GetLastError());
    } else if (!PostMessageA(order.target, RegisterWindowMessageA(PROBE_MESSAGE), 0, 0)) {
      _snprintf(why, cap, "cannot post the probe message (error %lu)", GetLastError());
    } else if (WaitForSingleObject(done, timeout) != WAIT_OBJECT_0 || !shared->done) {
      _snprintf(why, cap, "the window's thread did not run the probe within %lu ms", timeout);
    } else {
      order = *shared;
      ok = true;
    }
  }
  why[cap - 1] = '\0';
  if (hooked) UnhookWindowsHookEx(hooked);
  if (library) FreeLibrary(library);
  if (done) CloseHandle(done);
  if (shared) UnmapViewOfFile(shared);
  if (mapping) CloseHandle(mapping);
  return ok;
}

// ---------------------------------------------------------------- running

HWND targetOf(const Command& command, const char* line, int* error) {
  *error = 0;
  if (!current || !IsWindow(current)) {
    *error = fail("no current window for: %s", line);
    return NULL;
  }
  const Word* id = findWord(command, "id");
  const Word* ctlclass = findWord(command, "ctlclass");
  if (!id && !ctlclass) return current;
  HWND control = findControl(current, id ? (int)strtol(id->value, NULL, 0) : -1,
                             ctlclass ? ctlclass->value : NULL);
  if (!control) *error = fail("no control %s%s in the current window: %s", id ? "id=" : "class=",
                              id ? id->value : ctlclass->value, line);
  return control;
}

// Checks the PROP=VALUE words of an assert or wait; fills why on a mismatch.
bool propsHold(HWND target, bool control, const Command& command, char* why, size_t cap) {
  static Props props;
  collectProps(target, control, props);
  for (int i = 1; i < command.count; ++i) {
    const Word& word = command.words[i];
    if (!word.op || lstrcmpiA(word.key, "id") == 0 || lstrcmpiA(word.key, "ctlclass") == 0 ||
        lstrcmpiA(word.key, "timeout") == 0)
      continue;
    const char* actual = propValue(props, word.key);
    if (!matches(actual, word.op, word.value)) {
      char shown[2 * kTextCap];
      quote(actual ? actual : "(none)", shown, sizeof shown);
      _snprintf(why, cap, "%s is %s, expected %s%s\"%s\"", word.key, shown, word.key,
                word.op == '=' ? "=" : word.op == '~' ? "~=" : "!=", word.value);
      why[cap - 1] = '\0';
      return false;
    }
  }
  return true;
}

// One command being run: what its verb's handler reads. The verbs that work on
// the current window or one of its controls find their target first.
struct Call {
  const Command& command;
  const char* line;
  const char* verb;
  int timeout;
  DWORD start;
  HWND target;
  bool control;  // the target is a control of the current window
  int error;
  static Enumeration e;

  // The bare words after the verb of send and sendin: the message and up to two
  // parameters, "0" when not given. Returns 0, or what the verb returns on a misuse.
  int messageWords(const char* words[3]) {
    words[0] = NULL;
    words[1] = words[2] = "0";
    int count = 0;
    char what[48];
    for (int i = 1; i < command.count; ++i) {
      if (command.words[i].op) continue;
      if (count == 3) {
        _snprintf(what, sizeof what, "%s MSG [WPARAM [LPARAM]]", verb);
        return usage(what, line);
      }
      words[count++] = command.words[i].value;
    }
    if (count) return 0;
    _snprintf(what, sizeof what, "%s needs a message", verb);
    return usage(what, line);
  }

  int doWindow() {
    bool box = !strcmp(verb, "msgbox");
    if (!box && !hasSelector(command)) return usage("window needs a selector", line);
    for (;;) {
      enumerate(e, command, true, box);
      if (e.count) {
        if (e.found[0] != current) previous = current;
        current = e.found[0];
        printWindow(verb, current, false);
        return 0;
      }
      if ((int)(GetTickCount() - start) >= timeout)
        return fail("timeout after %d ms: %s", timeout, line);
      Sleep(kPollMs);
    }
  }

  int doGone() {
    bool selector = hasSelector(command);
    if (!selector && !current) return usage("gone needs a selector or a current window", line);
    for (;;) {
      bool present = false;
      if (selector) {
        enumerate(e, command, true, false);
        present = e.count > 0;
      } else {
        present = IsWindow(current) && IsWindowVisible(current);
      }
      if (!present) {
        if (!selector && previous && IsWindow(previous)) current = previous;
        say("gone after %lu ms", (unsigned long)(GetTickCount() - start));
        return 0;
      }
      if ((int)(GetTickCount() - start) >= timeout)
        return fail("still there after %d ms: %s", timeout, line);
      Sleep(kPollMs);
    }
  }

  int doAbsent() {
    if (!hasSelector(command)) return usage("absent needs a selector", line);
    int during = scaled(intWord(command, "for", 0));
    const Word* watched = findWord(command, "while");
    bool seen = false;
    for (;;) {
      bool ended = false;
      if (watched) {
        char name[MAX_PATH];
        bool runs = findProcess(0, watched->value, name, sizeof name);
        ended = seen && !runs;
        seen = seen || runs;
      }
      enumerate(e, command, true, false);
      if (e.count) {
        printWindow("present", e.found[0], false);
        return fail("window present: %s", line);
      }
      if (ended) {
        say("absent while %s ran, %lu ms", watched->value, (unsigned long)(GetTickCount() - start));
        return 0;
      }
      if ((int)(GetTickCount() - start) >= during) break;
      Sleep(kPollMs);
    }
    say("absent for %d ms", during);
    return 0;
  }

  int doList() {
    enumerate(e, command, false, false);
    for (int i = 0; i < e.count; ++i) printWindow("window", e.found[i], false);
    say("listed %d", e.count);
    return 0;
  }

  int doSleep() {
    Sleep(command.count > 1 ? (DWORD)atoi(command.words[1].value) : 0);
    return 0;
  }

  int doEcho() {
    char text[kTextCap] = "";
    for (int i = 1; i < command.count; ++i) {
      if (i > 1) strncat(text, " ", sizeof text - strlen(text) - 1);
      const Word& word = command.words[i];
      if (word.op) {
        strncat(text, word.key, sizeof text - strlen(text) - 1);
        strncat(text, word.op == '=' ? "=" : word.op == '~' ? "~=" : "!=",
                sizeof text - strlen(text) - 1);
      }
      strncat(text, word.value, sizeof text - strlen(text) - 1);
    }
    say("%s", text);
    return 0;
  }

  int doTimeout() {
    if (command.count < 2) return usage("timeout needs milliseconds", line);
    defaultTimeout = atoi(command.words[1].value);
    return 0;
  }

  int doResource() {
    const Word* file = findWord(command, "file");
    const Word* type = findWord(command, "type");
    const Word* name = findWord(command, "name");
    const Word* data = findWord(command, "data");
    if (!file || !type || !name) return usage("resource needs file=, type= and name=", line);
    char why[kTextCap] = "";
    if (editResource(file->value, type->value, name->value, data ? data->value : NULL, why,
                     sizeof why)) {
      why[sizeof why - 1] = '\0';
      return fail("%s: %s", why, line);
    }
    say("resource %s %s %s", type->value, name->value, data ? "set" : "deleted");
    return 0;
  }

  int doControl() {
    if (!control) return usage("control needs id= or ctlclass=", line);
    printWindow("control", target, true);
    return 0;
  }

  int doAssert() {
    char why[2 * kTextCap];
    bool poll = !strcmp(verb, "wait");
    for (bool first = true;; first = false) {
      // A control is looked up again each time: a sheet's page may have changed.
      if (control && !first) {
        HWND again = targetOf(command, line, &error);
        if (!again) return error;
        target = again;
      }
      if (!IsWindow(target)) return fail("window gone: %s", line);
      if (propsHold(target, control, command, why, sizeof why)) {
        printWindow(control ? "ok control" : "ok window", target, control);
        return 0;
      }
      if (!poll || (int)(GetTickCount() - start) >= timeout) {
        printWindow(control ? "control" : "window", target, control);
        return fail("%s%s: %s", poll ? "timeout: " : "", why, line);
      }
      Sleep(kPollMs);
    }
  }

  int doPress() {
    if (!control && command.count > 1 && !command.words[1].op) {
      int id = buttonId(command.words[1].value);
      if (id < 0) return usage("unknown button name", line);
      target = findControl(current, id, "Button");
      if (!target) return fail("no button %s: %s", command.words[1].value, line);
      control = true;
    }
    if (!control) return usage("press needs id= or a button name", line);
    if (!hasBareWord(command, "force") && !IsWindowEnabled(target))
      return fail("control %d is disabled: %s", GetDlgCtrlID(target), line);
    int id = GetDlgCtrlID(target);
    BOOL posted = !strcmp(verb, "click")
                      ? PostMessageA(target, BM_CLICK, 0, 0)
                      : PostMessageA(GetParent(target), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                     (LPARAM)target);
    if (!posted) return fail("could not post to control %d: %s", id, line);
    say("%s id=%d", !strcmp(verb, "click") ? "clicked" : "pressed", id);
    return 0;
  }

  int doSheet() {
    static const struct { const char* name; int button; int id; } kSheet[] = {
        {"back", PSBTN_BACK, 12323}, {"next", PSBTN_NEXT, 12324},
        {"finish", PSBTN_FINISH, 12325}, {"cancel", PSBTN_CANCEL, IDCANCEL}};
    const char* which = command.count > 1 ? command.words[1].value : "";
    for (size_t i = 0; i < sizeof kSheet / sizeof kSheet[0]; ++i) {
      if (lstrcmpiA(which, kSheet[i].name) != 0) continue;
      if (!currentPage(current)) return fail("not a property sheet: %s", line);
      // Only the sheet's own button, never a page control with the same id.
      HWND button = GetDlgItem(current, kSheet[i].id);
      if (!hasBareWord(command, "force") &&
          (!button || !IsWindowVisible(button) || !IsWindowEnabled(button)))
        return fail("sheet button %s is not available: %s", which, line);
      if (!PostMessageA(current, PSM_PRESSBUTTON, (WPARAM)kSheet[i].button, 0))
        return fail("could not post to the sheet: %s", line);
      say("sheet pressed %s", which);
      return 0;
    }
    return usage("sheet needs back, next, finish or cancel", line);
  }

  int doKeys() {
    SetForegroundWindow(current);
    Sleep(50);
    for (int i = 1; i < command.count; ++i) {
      const Word& word = command.words[i];
      if (word.op) return usage("keys takes key names or quoted text", line);
      if (typeKey(word.value)) continue;
      for (const char* c = word.value; *c; ++c) {
        char one[2] = {*c, 0};
        if (!typeKey(one)) return usage("cannot type a character", line);
      }
    }
    say("typed %d", command.count - 1);
    return 0;
  }

  int doMove() {
    if (command.count != 3 && command.count != 5) return usage("move X Y [W H]", line);
    int x = atoi(command.words[1].value), y = atoi(command.words[2].value);
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS;
    int w = 0, h = 0;
    if (command.count == 5) { w = atoi(command.words[3].value); h = atoi(command.words[4].value); }
    else flags |= SWP_NOSIZE;
    if (!SetWindowPos(target, NULL, x, y, w, h, flags)) return fail("could not move: %s", line);
    say("moved");
    return 0;
  }

  int doShow() {
    static const struct { const char* name; int code; } kShow[] = {
        {"max", SW_MAXIMIZE}, {"min", SW_MINIMIZE}, {"restore", SW_RESTORE},
        {"hide", SW_HIDE}, {"normal", SW_SHOWNORMAL}};
    const char* how = command.count > 1 ? command.words[1].value : "";
    for (size_t i = 0; i < sizeof kShow / sizeof kShow[0]; ++i) {
      if (lstrcmpiA(how, kShow[i].name) != 0) continue;
      ShowWindowAsync(target, kShow[i].code);
      say("shown %s", how);
      return 0;
    }
    return usage("show max|min|restore|hide|normal", line);
  }

  int doClose() {
    if (!PostMessageA(target, WM_CLOSE, 0, 0)) return fail("could not post WM_CLOSE: %s", line);
    say("closed");
    return 0;
  }

  int doKill() {
    // Ends the window's process the way a task manager does, and waits for it.
    DWORD pid = 0;
    GetWindowThreadProcessId(current, &pid);
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process) return fail("cannot open process %lu: %s", (unsigned long)pid, line);
    BOOL ended = TerminateProcess(process, 1) &&
                 WaitForSingleObject(process, (DWORD)timeout) == WAIT_OBJECT_0;
    CloseHandle(process);
    if (!ended) return fail("process %lu did not end: %s", (unsigned long)pid, line);
    say("killed pid=%lu", (unsigned long)pid);
    current = previous = NULL;
    return 0;
  }

  int doSendin() {
    const char* words[3];
    if (int misuse = messageWords(words)) return misuse;
    ProbeRequest order;
    ZeroMemory(&order, sizeof order);
    order.target = target;
    UINT_PTR values[3];
    for (int i = 0; i < 3; ++i)
      if (!messageValue(words[i], NULL, &values[i])) return usage("unknown message or parameter", line);
    order.message = (UINT)values[0];
    order.wparam = (WPARAM)values[1];
    order.lparam = (LPARAM)values[2];
    if (lstrcmpiA(words[1], "dc") == 0) order.argument = kProbeDc;
    const Word* pos = findWord(command, "pos");
    if (pos) {
      unsigned flags = 0;
      if (sscanf(pos->value, "%d,%d,%d,%d,%i", &order.x, &order.y, &order.cx, &order.cy,
                 (int*)&flags) != 5)
        return usage("pos=X,Y,W,H,FLAGS", line);
      order.flags = flags;
      order.argument = kProbeWindowPos;
    }
    char why[kTextCap];
    if (!probeInside(order, (DWORD)timeout, why, sizeof why)) return fail("%s: %s", why, line);
    if (pos) say("sent-inside %s result=%ld flags=0x%04x", words[0], (long)order.result, order.flags);
    else say("sent-inside %s result=%ld", words[0], (long)order.result);
    const Word* expected = findWord(command, "result");
    if (expected && (long)order.result != strtol(expected->value, NULL, 0))
      return fail("result %ld, expected %s: %s", (long)order.result, expected->value, line);
    const Word* after = findWord(command, "after");
    if (after && order.flags != (UINT)strtoul(after->value, NULL, 0))
      return fail("flags 0x%04x after the call, expected %s: %s", order.flags, after->value, line);
    return 0;
  }

  int doSend() {
    const char* words[3];
    if (int misuse = messageWords(words)) return misuse;
    HDC screen = GetDC(NULL);
    UINT_PTR values[3];
    bool known = true;
    for (int i = 0; i < 3; ++i) known = known && messageValue(words[i], screen, &values[i]);
    DWORD_PTR answer = 0;
    BOOL sent = known && SendMessageTimeoutA(target, (UINT)values[0], (WPARAM)values[1],
                                             (LPARAM)values[2], SMTO_ABORTIFHUNG,
                                             (UINT)timeout, &answer);
    ReleaseDC(NULL, screen);
    if (!known) return usage("unknown message or parameter", line);
    if (!sent) return fail("no answer to the message (error %lu): %s", GetLastError(), line);
    say("sent %s result=%ld", words[0], (long)answer);
    const Word* expected = findWord(command, "result");
    if (expected && (long)answer != strtol(expected->value, NULL, 0))
      return fail("result %ld, expected %s: %s", (long)answer, expected->value, line);
    return 0;
  }

  int doFront() {
    SetForegroundWindow(target);
    say("front %d", GetForegroundWindow() == target ? 1 : 0);
    return 0;
  }
};
Enumeration Call::e;

// The verbs, with the handler of each and whether it works on the current
// window or one of its controls.
const struct Verb {
  const char* name;
  int (Call::*handler)();
  bool onWindow;
} kVerbs[] = {
    {"window", &Call::doWindow, false}, {"msgbox", &Call::doWindow, false},
    {"gone", &Call::doGone, false}, {"absent", &Call::doAbsent, false},
    {"list", &Call::doList, false}, {"sleep", &Call::doSleep, false},
    {"echo", &Call::doEcho, false}, {"timeout", &Call::doTimeout, false},
    {"resource", &Call::doResource, false}, {"control", &Call::doControl, true},
    {"assert", &Call::doAssert, true}, {"wait", &Call::doAssert, true},
    {"press", &Call::doPress, true}, {"click", &Call::doPress, true},
    {"sheet", &Call::doSheet, true}, {"keys", &Call::doKeys, true},
    {"move", &Call::doMove, true}, {"show", &Call::doShow, true},
    {"close", &Call::doClose, true}, {"kill", &Call::doKill, true},
    {"sendin", &Call::doSendin, true}, {"send", &Call::doSend, true},
    {"front", &Call::doFront, true},
};

int run(const char* line) {
  static Command command;
  if (!parseCommand(line, command)) return usage("unbalanced quote", line);
  if (command.count == 0 || command.words[0].value[0] == '#') return 0;
  const char* verb = command.words[0].value;
  const Verb* found = NULL;
  for (size_t i = 0; !found && i < sizeof kVerbs / sizeof kVerbs[0]; ++i)
    if (!strcmp(verb, kVerbs[i].name)) found = &kVerbs[i];
  if (!found) return usage("unknown command", line);
  Call call = {command, line, verb, scaled(intWord(command, "timeout", defaultTimeout)), GetTickCount(),
               NULL, false, 0};
  if (found->onWindow) {
    call.target = targetOf(command, line, &call.error);
    if (!call.target) return call.error;
    call.control = call.target != current;
  }
  return (call.*found->handler)();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    for (int i = 1; i < argc; ++i) {
      int result = run(argv[i]);
      if (result) return result;
    }
    return 0;
  }
  static char line[kWordCap * 4];
  while (fgets(line, sizeof line, stdin)) {
    line[strcspn(line, "\r\n")] = '\0';
    int result = run(line);
    if (result) return result;
  }
  return 0;
}
