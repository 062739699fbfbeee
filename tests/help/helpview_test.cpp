// Drives the system's help viewer (Wine's winhlp32 under test) with a help
// file that zeltohelp wrote, and checks what the viewer shows against what
// the file holds (read with the tests' own reader, hlpreader.cpp).
//
//   helpview_test MODE HELPFILE
//     contents  the viewer opens the file, from its command line and through
//               WinHelpA(HELP_CONTENTS), and shows the contents topic under
//               the file's title
//     context   WinHelpA(HELP_CONTEXT, n) shows the topic of every number n
//     jumps     starting at the contents topic, every jump of every reached
//               topic is clicked and must show its target; every topic must
//               be reached
//     all       the three above
//
// The viewer runs in another process: the test finds its window by class,
// reads the text of its rich edit control with WM_GETTEXT, asks it where a
// character is drawn (EM_POSFROMCHAR, the form that returns the point) and
// clicks there with posted mouse messages. Prints one line per check and
// returns 0 when all passed.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "hlpreader.h"

namespace {

const char kViewerClass[] = "MS_WINHELP";
const DWORD kStartTimeoutMs = 30000;
const DWORD kTopicTimeoutMs = 8000;

int g_failures = 0;
HWND g_owner = NULL;
char g_helpPath[MAX_PATH];
hlpread::HelpFile g_help;

void ok(const std::string& what) { printf("ok: %s\n", what.c_str()); }

void fail(const std::string& what) {
    printf("FAIL: %s\n", what.c_str());
    ++g_failures;
}

// A Unix path from CTest names the same file on Wine's Z: drive.
void toWindowsPath(const char* in, char* out, size_t capacity) {
    if (in[0] == '/') {
        _snprintf(out, capacity, "Z:%s", in);
        out[capacity - 1] = '\0';
        for (char* p = out; *p; ++p)
            if (*p == '/') *p = '\\';
    } else {
        lstrcpynA(out, in, static_cast<int>(capacity));
    }
}

bool readWholeFile(const char* path, std::vector<uint8_t>* data) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD size = GetFileSize(file, NULL);
    bool ok = size != INVALID_FILE_SIZE;
    if (ok) {
        data->resize(size);
        DWORD got = 0;
        ok = size == 0 || (ReadFile(file, &(*data)[0], size, &got, NULL) && got == size);
    }
    CloseHandle(file);
    return ok;
}

HWND findViewer() { return FindWindowA(kViewerClass, NULL); }

HWND waitForViewer(DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND viewer = findViewer();
        if (viewer && IsWindowVisible(viewer)) return viewer;
        if (GetTickCount() - start > timeoutMs) return viewer;
        Sleep(50);
    }
}

BOOL CALLBACK findRichEdit(HWND child, LPARAM param) {
    char cls[64];
    if (GetClassNameA(child, cls, sizeof cls) > 0 && _strnicmp(cls, "RichEdit", 8) == 0) {
        *reinterpret_cast<HWND*>(param) = child;
        return FALSE;
    }
    return TRUE;
}

HWND textWindow(HWND viewer) {
    HWND rich = NULL;
    if (viewer) EnumChildWindows(viewer, findRichEdit, reinterpret_cast<LPARAM>(&rich));
    return rich;
}

// The viewer's text with line ends as "\n" and without trailing blank lines.
std::string shownText(HWND rich) {
    std::string text;
    if (!rich) return text;
    LRESULT length = SendMessageA(rich, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return text;
    std::vector<char> buf(static_cast<size_t>(length) + 1, '\0');
    LRESULT got = SendMessageA(rich, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(&buf[0]));
    if (got < 0) got = 0;
    for (LRESULT i = 0; i < got && i < length; ++i) {
        char c = buf[static_cast<size_t>(i)];
        if (c == '\r') {
            text.push_back('\n');
            if (i + 1 < got && buf[static_cast<size_t>(i) + 1] == '\n') ++i;
        } else {
            text.push_back(c);
        }
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

std::string viewerCaption(HWND viewer) {
    char buf[512] = "";
    if (viewer) GetWindowTextA(viewer, buf, sizeof buf);
    return buf;
}

std::string quote(const std::string& s) {
    std::string q = "\"";
    for (char c : s) q += c == '\n' ? std::string("\\n") : c == '\t' ? std::string("\\t") : std::string(1, c);
    return q + "\"";
}

// Waits until the viewer shows exactly this topic's text.
bool waitForTopic(const hlpread::Topic& topic, const std::string& what) {
    std::string want = topic.text(), shown;
    DWORD start = GetTickCount();
    do {
        shown = shownText(textWindow(findViewer()));
        if (shown == want) {
            ok(what + " shows \"" + topic.title + "\"");
            return true;
        }
        Sleep(50);
    } while (GetTickCount() - start < kTopicTimeoutMs);
    fail(what + ": expected the topic \"" + topic.title + "\", the viewer shows " +
         quote(shown.substr(0, 300)));
    return false;
}

// WinHelpA starts the viewer when none runs; a viewer still starting up can
// make the first call miss its window, so that call is repeated once the
// window is there.
bool callWinHelp(UINT command, ULONG_PTR data) {
    if (WinHelpA(g_owner, g_helpPath, command, data)) return true;
    if (!waitForViewer(kStartTimeoutMs)) return false;
    return WinHelpA(g_owner, g_helpPath, command, data) != FALSE;
}

void quitViewer(bool complain) {
    HWND viewer = findViewer();
    if (!viewer) return;
    WinHelpA(g_owner, g_helpPath, HELP_QUIT, 0);
    DWORD start = GetTickCount();
    while (findViewer() && GetTickCount() - start < 5000) Sleep(50);
    viewer = findViewer();
    if (viewer) {
        // A viewer that ignores the request must not outlive the test.
        DWORD pid = 0;
        GetWindowThreadProcessId(viewer, &pid);
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (process) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
        if (complain) fail("the viewer did not close on HELP_QUIT");
    }
}

// The contents topic; NULL, after a failure that says so, when the file names none.
const hlpread::Topic* contentsTopic() {
    const hlpread::Topic* contents = g_help.topicAtOffset(g_help.contents);
    if (!contents) fail("the file names no contents topic");
    return contents;
}

const hlpread::Topic* linkTarget(const hlpread::Link& link) {
    uint32_t offset = 0;
    if (!g_help.lookupContext(link.hash, &offset)) return NULL;
    return g_help.topicAtOffset(offset);
}

void checkContents() {
    const hlpread::Topic* contents = contentsTopic();
    if (!contents) return;

    // As a double click on the file does: the viewer with the file's name,
    // whose caption shows the file's title.
    char command[MAX_PATH + 32];
    _snprintf(command, sizeof command, "winhlp32.exe \"%s\"", g_helpPath);
    command[sizeof command - 1] = '\0';
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        fail("cannot start winhlp32.exe");
    } else {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        HWND viewer = waitForViewer(kStartTimeoutMs);
        if (!viewer) {
            fail("winhlp32 with the file on its command line opened no window");
        } else {
            waitForTopic(*contents, "winhlp32 with the file on its command line");
            std::string caption = viewerCaption(viewer);
            if (caption.compare(0, g_help.title.size(), g_help.title) == 0)
                ok("the viewer's caption starts with the title \"" + g_help.title + "\"");
            else
                fail("the viewer's caption " + quote(caption) + " does not start with the title \"" +
                     g_help.title + "\"");
        }
        quitViewer(true);
    }

    // As the screen saver's Help button does. (Wine's viewer, started by
    // WinHelpA without a file, keeps its plain caption, so only the text is
    // checked here.)
    if (!callWinHelp(HELP_CONTENTS, 0)) {
        fail("WinHelpA(HELP_CONTENTS) failed");
        return;
    }
    HWND viewer = waitForViewer(kStartTimeoutMs);
    if (!viewer || !IsWindowVisible(viewer)) {
        fail("WinHelpA(HELP_CONTENTS) showed no viewer window");
        return;
    }
    waitForTopic(*contents, "WinHelpA(HELP_CONTENTS)");
}

void checkContextNumbers() {
    if (g_help.ctxomap.empty()) fail("the file has no context numbers");
    for (const auto& entry : g_help.ctxomap) {
        const hlpread::Topic* topic = g_help.topicForMap(entry.first);
        std::string what = "WinHelpA(HELP_CONTEXT, " + std::to_string(entry.first) + ")";
        if (!topic) {
            fail(what + ": the number leads to no topic in the file");
            continue;
        }
        if (!callWinHelp(HELP_CONTEXT, static_cast<ULONG_PTR>(entry.first))) {
            fail(what + " failed");
            continue;
        }
        waitForTopic(*topic, what);
    }
}

// Clicks the hotspot that starts at character cp of the shown text.
bool clickAt(HWND rich, uint32_t cp) {
    for (int attempt = 0; attempt < 40; ++attempt) {
        RECT client;
        GetClientRect(rich, &client);
        // Without a point structure in wParam the control answers with the
        // point itself (the form that works across processes).
        LRESULT packed = SendMessageA(rich, EM_POSFROMCHAR, cp + 1, 0);
        int x = static_cast<short>(LOWORD(packed)), y = static_cast<short>(HIWORD(packed));
        if (y < 0) {
            SendMessageA(rich, EM_SCROLL, SB_PAGEUP, 0);
        } else if (y + 6 >= client.bottom) {
            SendMessageA(rich, EM_SCROLL, SB_PAGEDOWN, 0);
        } else {
            LPARAM at = MAKELPARAM(x + 1, y + 5);
            PostMessageA(rich, WM_MOUSEMOVE, 0, at);
            PostMessageA(rich, WM_LBUTTONDOWN, MK_LBUTTON, at);
            PostMessageA(rich, WM_LBUTTONUP, 0, at);
            return true;
        }
        Sleep(20);
    }
    return false;
}

// Shows a topic: the contents topic, then the jumps of its path.
struct Step {
    const hlpread::Topic* from;
    size_t paragraph, link;
};

bool showTopic(const hlpread::Topic& topic, const std::vector<Step>& path);

// Clicks one jump of the shown topic and waits for its target.
bool followJump(const Step& step, const hlpread::Topic& target, bool report) {
    HWND rich = textWindow(findViewer());
    const hlpread::Topic& from = *step.from;
    uint32_t cp = 0;
    for (size_t p = 0; p < step.paragraph; ++p) cp += static_cast<uint32_t>(from.paragraphs[p].text.size()) + 1;
    const hlpread::Link& link = from.paragraphs[step.paragraph].links[step.link];
    cp += link.start;
    std::string what = "the jump \"" + link.text + "\" in \"" + from.title + "\"";
    if (!rich || !clickAt(rich, cp)) {
        fail(what + ": no place to click");
        return false;
    }
    if (report) return waitForTopic(target, what);
    std::string want = target.text();
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kTopicTimeoutMs) {
        if (shownText(textWindow(findViewer())) == want) return true;
        Sleep(50);
    }
    fail(what + " did not lead back to \"" + target.title + "\"");
    return false;
}

bool showTopic(const hlpread::Topic& topic, const std::vector<Step>& path) {
    if (!callWinHelp(HELP_CONTENTS, 0)) {
        fail("WinHelpA(HELP_CONTENTS) failed");
        return false;
    }
    const hlpread::Topic* contents = contentsTopic();
    std::string want = contents->text();
    DWORD start = GetTickCount();
    while (shownText(textWindow(findViewer())) != want) {
        if (GetTickCount() - start > kTopicTimeoutMs) {
            fail("the contents topic did not come back");
            return false;
        }
        Sleep(50);
    }
    for (size_t i = 0; i < path.size(); ++i) {
        const hlpread::Topic& next =
            i + 1 < path.size() ? *path[i + 1].from : topic;
        if (!followJump(path[i], next, false)) return false;
    }
    return true;
}

void checkJumps() {
    const hlpread::Topic* contents = contentsTopic();
    if (!contents) return;
    // Breadth first from the contents topic; each topic remembers the jumps
    // that lead to it, so that it can be shown again before each of its jumps.
    std::vector<const hlpread::Topic*> queue(1, contents);
    std::vector<std::vector<Step>> paths(1);
    std::set<const hlpread::Topic*> reached;
    reached.insert(contents);
    size_t jumps = 0;
    for (size_t q = 0; q < queue.size(); ++q) {
        const hlpread::Topic& topic = *queue[q];
        for (size_t p = 0; p < topic.paragraphs.size(); ++p) {
            for (size_t l = 0; l < topic.paragraphs[p].links.size(); ++l) {
                const hlpread::Link& link = topic.paragraphs[p].links[l];
                const hlpread::Topic* target = linkTarget(link);
                if (!target) {
                    fail("the jump \"" + link.text + "\" in \"" + topic.title + "\" leads nowhere in the file");
                    continue;
                }
                if (!showTopic(topic, paths[q])) return;
                Step step = {&topic, p, l};
                ++jumps;
                if (!followJump(step, *target, true)) continue;
                if (reached.insert(target).second) {
                    queue.push_back(target);
                    paths.push_back(paths[q]);
                    paths.back().push_back(step);
                }
            }
        }
    }
    for (const hlpread::Topic& t : g_help.topics)
        if (!reached.count(&t)) fail("the topic \"" + t.title + "\" cannot be reached by jumps from the contents");
    if (reached.size() == g_help.topics.size())
        ok("all " + std::to_string(reached.size()) + " topics reached through " + std::to_string(jumps) + " jumps");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        printf("usage: helpview_test contents|context|jumps|all HELPFILE\n");
        return 2;
    }
    std::string mode = argv[1];
    char source[MAX_PATH];
    toWindowsPath(argv[2], source, sizeof source);

    std::vector<uint8_t> data;
    if (!readWholeFile(source, &data)) {
        printf("FAIL: cannot read %s\n", source);
        return 1;
    }
    g_help.load(data);
    for (const std::string& problem : g_help.problems) fail("reader: " + problem);
    if (g_failures) return 1;

    // The viewer gets its own copy under the installed name.
    char folder[MAX_PATH];
    DWORD n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n >= sizeof folder) lstrcpynA(folder, "C:\\", sizeof folder);
    _snprintf(g_helpPath, sizeof g_helpPath, "%sZeltohlp_%lu.Hlp", folder, GetCurrentProcessId());
    g_helpPath[sizeof g_helpPath - 1] = '\0';
    if (!CopyFileA(source, g_helpPath, FALSE)) {
        printf("FAIL: cannot copy the help file to %s\n", g_helpPath);
        return 1;
    }

    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "ZeltoHelpViewTest";
    RegisterClassA(&wc);
    g_owner = CreateWindowA(wc.lpszClassName, "help test", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, NULL, NULL,
                            wc.hInstance, NULL);

    quitViewer(false);  // a viewer left over from an earlier run would answer first
    if (mode == "contents" || mode == "all") checkContents();
    if (mode == "context" || mode == "all") checkContextNumbers();
    if (mode == "jumps" || mode == "all") checkJumps();
    if (mode != "contents" && mode != "context" && mode != "jumps" && mode != "all") fail("unknown mode " + mode);
    quitViewer(true);

    if (g_owner) DestroyWindow(g_owner);
    DeleteFileA(g_helpPath);
    printf("%s: %d failure(s)\n", mode.c_str(), g_failures);
    return g_failures ? 1 : 0;
}
