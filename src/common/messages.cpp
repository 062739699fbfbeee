#include "common/messages.h"
#include "common/text.h"

HINSTANCE moduleInstance = NULL;

namespace {
const MessageHost* host = NULL;
}  // namespace

void setMessageHost(const MessageHost* running) { host = running; }

bool messagesGoToReport() { return host && host->unattended(); }

void appendReportLine(const char* text) {
    if (host) host->report(text);
}

void noteChange(const char* what, const char* where) {
    if (!host) return;
    char line[2 * MAX_PATH];
    formatText(line, sizeof line, "%s %s", what, where);
    host->note(line);
}

bool loadModuleResource(LPCSTR name, LPCSTR type, const BYTE** bytes, DWORD* size,
                        HGLOBAL* handle) {
    HRSRC found = FindResourceA(moduleInstance, name, type);
    if (!found) return false;
    *size = SizeofResource(moduleInstance, found);
    *handle = LoadResource(moduleInstance, found);
    if (!*handle) return false;
    *bytes = static_cast<const BYTE*>(LockResource(*handle));
    return *bytes != NULL && *size != 0;
}

void loadText(char* out, UINT id) {
    out[0] = '\0';
    if (LoadStringA(moduleInstance, id, out, kTextCapacity) <= 0) out[0] = '\0';
}

void appendText(char* text, UINT id, size_t capacity) {
    char loaded[kTextCapacity];
    loadText(loaded, id);
    appendToText(text, capacity, loaded);
}

bool isYesAnswer(UINT buttonFlags, int answer) {
    return buttonFlags == MB_YESNO && answer == IDYES;
}

bool showMessage(const char* text, UINT iconFlags, UINT buttonFlags) {
    // Nobody watches an unattended run: what it would say goes into the report.
    if (messagesGoToReport()) {
        appendReportLine(text);
        return false;
    }
    HWND owner = host ? host->owner() : NULL;
    int answer = MessageBoxA(owner, text, "Installer", iconFlags | buttonFlags);
    return isYesAnswer(buttonFlags, answer);
}

bool showMessageById(UINT id, UINT iconFlags, UINT buttonFlags) {
    char text[kTextCapacity];
    loadText(text, id);
    return showMessage(text, iconFlags, buttonFlags);
}
