// stopwatch: times one step of a Windows GUI program from beside it, for the
// benchmark (run.sh). It starts the program or presses its button itself, so
// that the start of the step and the sight of its end are read off one clock
// in one process, and polls every millisecond (the robot polls every 20 ms).
//
//   stopwatch [-t MS] [-b CLASS] page ID EXE [ARGS...]
//                                             start EXE; wait for a wizard page:
//                                             a visible top-level dialog with a
//                                             visible child dialog (the page) and a
//                                             visible child control ID (Next: 12324
//                                             in a property sheet, 1 in NSIS); with
//                                             -b, also time the first complete paint
//                                             of the backdrop, the top-level window
//                                             of class CLASS (see Backdrop below)
//   stopwatch [-t MS] box TEXT EXE [ARGS...]  start EXE; wait for a message box
//                                             whose message contains TEXT
//   stopwatch [-t MS] press ID TEXT           press button ID (a child of a visible
//                                             top-level dialog, enabled); wait for a
//                                             message box whose message contains TEXT
//
// Prints "ms=ELAPSED pid=PID" (milliseconds, three decimals; with -b
// "ms=ELAPSED backdrop=ELAPSED pid=PID") and exits 0; on
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

// The backdrop's first complete paint, seen from outside as the user sees it:
// the screen's pixels. Once the window of the class is visible, every poll
// copies every 16th row of its client area (BitBlt from the window's context,
// which Wine reads back from the X server: what is on the screen, not what the
// program has drawn into its own buffer), keeps a hash of each piece of 64
// pixels of those rows, and notes the bounds of the program's other visible
// top-level windows (its checking window, then the wizard). The pieces under
// those windows are left out of every comparison.
//
// Both kinds of installer paint the backdrop and then open their checking
// window. The picture the backdrop shows once the program's first other window
// is up, and which no longer changes (the same in two polls in a row), is the
// backdrop complete; what changes later is not its first paint (ours adds the
// package's date to its edition line after the check). The first complete
// paint is the first poll that shows that picture. Seen before it, under Wine:
// a black window (mapped, nothing on the screen yet), and at times half a
// gradient (a copy taken while the picture went to the screen).
// A poll costs 48 small copies at 1024x768 (a whole copy, 3 MB read back, took
// 10 to 30 ms and slowed the installer it watched), the same for every
// installer timed; the first poll comes once the window is visible, and the
// last when the page shows.
class Backdrop {
 public:
  explicit Backdrop(const char* windowClass)
      : class_(windowClass), window_(NULL), process_(0), screen_(NULL), memory_(NULL),
        bitmap_(NULL), previous_(NULL), pixels_(NULL), width_(0), height_(0), tiles_(0),
        polls_(0), capacity_(0), hashes_(NULL), polls_info_(NULL) {
    memset(&rect_, 0, sizeof rect_);
  }
  ~Backdrop() { release(); }

  // One look: the window, once visible, and a copy of its client area.
  void poll() {
    if (!class_) return;
    if (!window_) {
      HWND window = FindWindowA(class_, NULL);
      if (window && !exists_) exists_ = now();
      if (!window || !IsWindowVisible(window)) return;
      visible_ = now();
      window_ = window;
      GetWindowThreadProcessId(window_, &process_);
    }
    RECT rect;
    POINT origin = {0, 0};
    if (!GetClientRect(window_, &rect) || !ClientToScreen(window_, &origin)) return;
    OffsetRect(&rect, origin.x, origin.y);
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    // A window that moves or changes size starts the record again.
    if (!EqualRect(&rect, &rect_) && !start(rect)) return;
    if (polls_ >= capacity_) return;
    Poll& poll = polls_info_[polls_];
    poll.time = now();
    if (!grab(hashes_ + polls_ * tiles_)) return;
    poll.cover = otherWindows();
    ++polls_;
  }

  // Once the page shows: more polls until the picture has settled (or for
  // half a second at most), when it had not yet.
  void settle() {
    double deadline = now() + 500;
    while (polls_ > 0 && polls_ < capacity_ && settled() < 0 && now() < deadline) {
      Sleep(1);
      poll();
    }
  }

  // The time of the first complete paint, from begin; -1 when none was seen.
  double firstComplete(double begin) const {
    int settled = this->settled();
    if (settled < 0) return -1;
    for (int p = 0; p <= settled; ++p)
      if (same(p, settled)) return polls_info_[p].time - begin;
    return -1;
  }

  // For a look at the method (STOPWATCH_TRACE): each poll's time, the tiles
  // changed since the poll before, and the other windows' bounds.
  void trace(double begin) const {
    fprintf(stderr, "window %8.3f visible %8.3f\n", exists_ - begin, visible_ - begin);
    for (int p = 0; p < polls_; ++p) {
      int changed = 0;
      for (int t = 0; p && t < tiles_; ++t)
        if (hashes_[p * tiles_ + t] != hashes_[(p - 1) * tiles_ + t]) ++changed;
      const RECT& c = polls_info_[p].cover;
      fprintf(stderr, "poll %8.3f changed %3d cover %ld,%ld,%ld,%ld\n", polls_info_[p].time - begin,
              changed, c.left, c.top, c.right, c.bottom);
    }
  }

  // The rows' picture: 32 bits a pixel, top row first.
  BITMAPINFOHEADER header() const {
    BITMAPINFOHEADER info;
    memset(&info, 0, sizeof info);
    info.biSize = sizeof info;
    info.biWidth = width_;
    info.biHeight = -height_;
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    return info;
  }

  // Trace mode: the rows just copied, as C:\bench\grabN.bmp (N the poll).
  void save() const {
    char name[64];
    _snprintf(name, sizeof name, "C:\\bench\\grab%d.bmp", polls_ - 1);
    FILE* f = fopen(name, "wb");
    if (!f) return;
    BITMAPFILEHEADER file;
    BITMAPINFOHEADER info = header();
    memset(&file, 0, sizeof file);
    DWORD bytes = width_ * height_ * 4;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + bytes;
    fwrite(&file, sizeof file, 1, f);
    fwrite(&info, sizeof info, 1, f);
    fwrite(pixels_, bytes, 1, f);
    fclose(f);
  }

 private:
  static const int kTile = 64;   // the width of a piece of a row
  static const int kStrip = 16;  // the distance of the rows copied
  static const int kHashWords = 4 << 20;  // 16 MB of tile hashes at most

  struct Poll {
    double time;
    RECT cover;  // the other windows' bounds, in client coordinates
  };

  struct Others {
    DWORD process;
    HWND backdrop;
    RECT bounds;
  };

  static BOOL CALLBACK addWindow(HWND window, LPARAM data) {
    Others* others = reinterpret_cast<Others*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    RECT rect;
    if (window != others->backdrop && process == others->process && IsWindowVisible(window) &&
        GetWindowRect(window, &rect) && rect.right > rect.left && rect.bottom > rect.top)
      UnionRect(&others->bounds, &others->bounds, &rect);
    return TRUE;
  }

  RECT otherWindows() const {
    Others others = {process_, window_, {0, 0, 0, 0}};
    EnumWindows(addWindow, reinterpret_cast<LPARAM>(&others));
    OffsetRect(&others.bounds, -rect_.left, -rect_.top);
    return others.bounds;
  }

  // The settled picture: from the first poll that saw another window, the
  // first that equals the poll before it; -1 when there is none yet.
  int settled() const {
    for (int p = 1; p < polls_; ++p)
      if (!IsRectEmpty(&polls_info_[p].cover) && same(p, p - 1)) return p;
    return -1;
  }

  // Whether polls a and b show the same picture outside both polls' other windows.
  bool same(int a, int b) const {
    RECT cover;
    UnionRect(&cover, &polls_info_[a].cover, &polls_info_[b].cover);
    int across = (width_ + kTile - 1) / kTile;
    for (int t = 0; t < tiles_; ++t) {
      RECT tile = {t % across * kTile, t / across * kStrip + kStrip / 2, 0, 0};
      tile.right = tile.left + kTile;
      tile.bottom = tile.top + 1;
      RECT common;
      if (IntersectRect(&common, &tile, &cover)) continue;
      if (hashes_[a * tiles_ + t] != hashes_[b * tiles_ + t]) return false;
    }
    return true;
  }

  bool start(const RECT& rect) {
    release();
    rect_ = rect;
    width_ = rect.right - rect.left;
    height_ = rect.bottom - rect.top;
    tiles_ = ((width_ + kTile - 1) / kTile) * ((height_ + kStrip / 2) / kStrip);
    capacity_ = kHashWords / tiles_;
    polls_ = 0;
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader = header();
    screen_ = GetDC(window_);
    memory_ = CreateCompatibleDC(screen_);
    void* bits = NULL;
    bitmap_ = CreateDIBSection(memory_, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    hashes_ = static_cast<DWORD*>(
        VirtualAlloc(NULL, kHashWords * sizeof(DWORD), MEM_COMMIT, PAGE_READWRITE));
    polls_info_ = static_cast<Poll*>(
        VirtualAlloc(NULL, capacity_ * sizeof(Poll), MEM_COMMIT, PAGE_READWRITE));
    if (!screen_ || !memory_ || !bitmap_ || !hashes_ || !polls_info_ || capacity_ < 1) {
      release();
      capacity_ = 0;
      return false;
    }
    pixels_ = static_cast<const DWORD*>(bits);
    previous_ = SelectObject(memory_, bitmap_);
    return true;
  }

  // Copies the rows kStrip / 2, that plus kStrip, ... (one BitBlt each: the
  // whole area would be 16 times the bytes to read back, and slowed the
  // installers it watched), and hashes each row in pieces kTile pixels wide.
  bool grab(DWORD* hashes) {
    int across = (width_ + kTile - 1) / kTile;
    for (int t = 0; t < tiles_; ++t) hashes[t] = 2166136261u;
    for (int y = kStrip / 2, strip = 0; y < height_; y += kStrip, ++strip) {
      if (!BitBlt(memory_, 0, y, width_, 1, screen_, 0, y, SRCCOPY)) return false;
      GdiFlush();
      const DWORD* row = pixels_ + y * width_;
      DWORD* rowHashes = hashes + strip * across;
      for (int x = 0; x < width_; ++x) {
        DWORD& h = rowHashes[x / kTile];
        h = (h ^ (row[x] & 0xFFFFFF)) * 16777619u;
      }
    }
    return true;
  }

  void release() {
    if (memory_ && previous_) SelectObject(memory_, previous_);
    if (bitmap_) DeleteObject(bitmap_);
    if (memory_) DeleteDC(memory_);
    if (screen_) ReleaseDC(window_, screen_);
    if (hashes_) VirtualFree(hashes_, 0, MEM_RELEASE);
    if (polls_info_) VirtualFree(polls_info_, 0, MEM_RELEASE);
    screen_ = memory_ = NULL;
    bitmap_ = NULL;
    previous_ = NULL;
    pixels_ = NULL;
    hashes_ = NULL;
    polls_info_ = NULL;
    polls_ = 0;
  }

  const char* class_;
  double exists_ = 0;
  double visible_ = 0;
  HWND window_;
  DWORD process_;
  RECT rect_;
  HDC screen_;
  HDC memory_;
  HBITMAP bitmap_;
  HGDIOBJ previous_;
  const DWORD* pixels_;
  int width_;
  int height_;
  int tiles_;
  int polls_;
  int capacity_;
  DWORD* hashes_;
  Poll* polls_info_;
};

// Polls every millisecond until the search finds its window or the time is up;
// each poll looks at the backdrop too, when there is one to time.
bool waitFor(Search& search, double deadline, Backdrop* backdrop) {
  for (;;) {
    if (backdrop) {
      backdrop->poll();
      if (getenv("STOPWATCH_TRACE")) backdrop->save();
    }
    if (find(search)) return true;
    if (now() > deadline) return false;
    Sleep(1);
  }
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
  fputs("usage: stopwatch [-t MS] [-b CLASS] page ID EXE [ARGS...] | box TEXT EXE [ARGS...] |"
        " press ID TEXT\n",
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
  const char* backdropClass = NULL;
  if (at + 1 < argc && !strcmp(argv[at], "-b")) {
    backdropClass = argv[at + 1];
    at += 2;
  }
  if (argc - at < 3) return usage();
  if (backdropClass && strcmp(argv[at], "page")) return usage();
  Backdrop backdrop(backdropClass);
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
  if (!waitFor(search, begin + limit, backdropClass ? &backdrop : NULL)) {
    puts("timeout");
    return 1;
  }
  double elapsed = now() - begin;
  GetWindowThreadProcessId(search.found, &pid);
  if (backdropClass) {
    backdrop.poll();  // the picture with the page shown
    backdrop.settle();
    double painted = backdrop.firstComplete(begin);
    if (getenv("STOPWATCH_TRACE")) backdrop.trace(begin);
    if (painted < 0) {
      puts("no backdrop");
      return 1;
    }
    printf("ms=%.3f backdrop=%.3f pid=%lu\n", elapsed, painted, pid);
  } else {
    printf("ms=%.3f pid=%lu\n", elapsed, pid);
  }
  return 0;
}
