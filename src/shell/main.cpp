// Program entry of Zelto 2000 Setup.
#include "common/dynlib.h"
#include "engine/systemsettings.h"
#include "shell/selfremove.h"
#include "shell/setupapp.h"

int WINAPI WinMain(HINSTANCE module, HINSTANCE, LPSTR commandLine, int) {
#ifdef ZELTO_TEST_WITHOUT_RIGHTS
    // A test-only build: the system answers as to a user without administrator rights.
    setAdministratorRightsForTest(0);
#endif
    moduleInstance = module;
    reportUndeletable = true;
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
    releaseSystemLibraries();
    if (selfDelete) removeSelf();
    return code;
}

// The program starts here, without a C run-time start-up: nothing of the
// program needs one (no static constructors, no C run-time state), and the
// system's C run-time library is loaded only when a function of it is wanted.
// Before anything loads a library, the search for libraries leaves out the
// program's own folder (see restrictLibrarySearch). The command line given on
// is the one after the program's own name.
extern "C" void __cdecl zeltoStart() {
    restrictLibrarySearch();
    const char* line = commandArguments(GetCommandLineA());
    ExitProcess(WinMain(GetModuleHandleA(NULL), NULL, const_cast<LPSTR>(line), SW_SHOWDEFAULT));
}

// The deleting destructor of the application object needs an operator delete;
// the object lives on the process heap (createSetupApp), so that is where it goes back.
void operator delete(void* memory) { HeapFree(GetProcessHeap(), 0, memory); }
void operator delete(void* memory, size_t) { HeapFree(GetProcessHeap(), 0, memory); }

// The memory and string functions the compiler and the program call, in place
// of the C run-time's.
// They stay whatever the whole-program optimisation sees: the code generator
// may call them after it.
extern "C" {
__attribute__((used)) void* __cdecl memcpy(void* target, const void* source, size_t count) {
    void* result = target;
    __asm__ volatile("rep movsb" : "+D"(target), "+S"(source), "+c"(count) : : "memory");
    return result;
}

__attribute__((used)) void* __cdecl memset(void* target, int value, size_t count) {
    void* result = target;
    __asm__ volatile("rep stosb" : "+D"(target), "+c"(count) : "a"(value) : "memory");
    return result;
}

int __cdecl memcmp(const void* left, const void* right, size_t count) {
    const unsigned char* a = static_cast<const unsigned char*>(left);
    const unsigned char* b = static_cast<const unsigned char*>(right);
    for (; count; --count, ++a, ++b)
        if (*a != *b) return *a - *b;
    return 0;
}
}
