// Answers the message boxes that the code under test shows, from a second
// thread, and records what they said.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

struct CaughtBox {
    std::string caption;
    std::string text;
    UINT style;  // icon and buttons, read back from the box's controls
};

class BoxCatcher {
public:
    // answer: the button id to press (IDOK, IDYES, IDNO...).
    explicit BoxCatcher(int answer = IDOK);
    ~BoxCatcher();
    std::vector<CaughtBox> boxes();

private:
    static DWORD WINAPI run(void* self);
    HANDLE thread_;
    HANDLE stop_;
    DWORD ownerThread_;
    int answer_;
    CRITICAL_SECTION lock_;
    std::vector<CaughtBox> boxes_;
};

// A dialog window (a message box, a property sheet) that is showing.
bool isShownDialog(HWND window);

// The boxes shown while run() runs, each answered with answer.
template <typename Run> std::vector<CaughtBox> boxesDuring(Run run, int answer = IDOK) {
    BoxCatcher catcher(answer);
    run();
    return catcher.boxes();
}

// The process-wide application object for tests, with the test program's module.
struct TestApp {
    TestApp();
    ~TestApp();
};
