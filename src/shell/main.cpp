// Program entry of Zelto 2000 Setup.
#include "shell/selfremove.h"
#include "shell/setupapp.h"

int WINAPI WinMain(HINSTANCE module, HINSTANCE, LPSTR commandLine, int) {
    moduleInstance = module;
    setupApp = createSetupApp(module);
    if (!setupApp) return 0;
    setupApp->startUp(commandLine ? commandLine : "");
    if (!setupApp->running) {
        int code = setupApp->exitCode();
        destroySetupApp();
        return code;
    }
    MSG message;
    message.wParam = 0;
    // GetMessageA answers -1 on an invalid call; that ends the loop like WM_QUIT.
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    bool selfDelete = setupApp->selfDeleteOnExit;
    int code = setupApp->exitCode();
    destroySetupApp();
    if (selfDelete) removeSelf();
    return code;
}
