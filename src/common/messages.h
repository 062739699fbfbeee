// The program's module (its string-table texts and resources) and its message
// boxes (caption "Installer").
#pragma once
#include <windows.h>

enum { kTextCapacity = 260 };

// The program's module: its texts and resources are loaded from it.
extern HINSTANCE moduleInstance;
// Finds, loads and locks a resource of the module: true with its bytes, its size
// and the handle to free when it is there and not empty.
bool loadModuleResource(LPCSTR name, LPCSTR type, const BYTE** bytes, DWORD* size,
                        HGLOBAL* handle);

// What the messages need of the running program, which registers it: whether
// they go into the install report instead of boxes (an unattended run), the
// report itself, the window that owns a box, and the run's own log of changes.
// Without it: boxes, no owner, no log.
struct MessageHost {
    bool (*unattended)();
    bool (*report)(const char* text);
    HWND (*owner)();
    void (*note)(const char* text);
};
void setMessageHost(const MessageHost* running);
bool messagesGoToReport();
void appendReportLine(const char* text);
// A line for the run's log only: what was changed ("File removed:") and where.
void noteChange(const char* what, const char* where);

void loadText(char* out, UINT id);  // out holds kTextCapacity characters
// Appends the text of id to text, which holds capacity characters (cut when full).
void appendText(char* text, UINT id, size_t capacity);
bool showMessage(const char* text, UINT iconFlags, UINT buttonFlags);
bool showMessageById(UINT id, UINT iconFlags, UINT buttonFlags);
// The Yes/No rule of showMessage, on the box's answer.
bool isYesAnswer(UINT buttonFlags, int answer);
