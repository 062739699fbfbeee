#include "common/messages.h"
#include "common/text.h"
#include "shell/setupapp.h"

void loadText(char* out, UINT id) {
    out[0] = '\0';
    HINSTANCE module = setupApp ? setupApp->instance : moduleInstance;
    if (LoadStringA(module, id, out, kTextCapacity) <= 0) out[0] = '\0';
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
    if (setupApp && setupApp->unattended) {
        setupApp->appendInstallReport(text);
        return false;
    }
    HWND owner = setupApp ? setupApp->mainWindow : NULL;
    int answer = MessageBoxA(owner, text, "Installer", iconFlags | buttonFlags);
    return isYesAnswer(buttonFlags, answer);
}

bool showMessageById(UINT id, UINT iconFlags, UINT buttonFlags) {
    char text[kTextCapacity];
    loadText(text, id);
    return showMessage(text, iconFlags, buttonFlags);
}
