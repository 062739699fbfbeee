// A window handle bound to an object with seven virtual operations.
#pragma once
#include <windows.h>

class WindowObject {
public:
    HWND mainWindow;
    HINSTANCE instance;

    explicit WindowObject(HINSTANCE module) : mainWindow(NULL), instance(module) {}
    virtual ~WindowObject() {}

    virtual void onCreate() = 0;
    virtual LRESULT close(INT_PTR result);
    virtual LRESULT drawItem(DRAWITEMSTRUCT* item);
    virtual LRESULT measureItem(MEASUREITEMSTRUCT* item);
    virtual LRESULT command(WPARAM wParam, UINT code, LPARAM lParam);
    virtual LRESULT notify(int controlId, NMHDR* header);
    virtual LRESULT windowMessage(UINT message, WPARAM wParam, LPARAM lParam);
};
