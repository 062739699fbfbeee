// The system settings that belong to the product: its uninstall entry and the
// uninstaller's copy, the retry copy and its RunOnce value, the screen saver
// setting, and the rights check that decides whether any of them may be changed.
#pragma once
#include "common/registry.h"

class SetupApp;

bool writeProductValue(const char* valueName, const void* data, RegValueCode code);
// False when a value could not be written (or the uninstaller has no path).
bool writeUninstallEntry();
// Set: places the retry copy (unless the running program is that copy) and
// names it; empty when it cannot be placed. Cleared: empties the value and
// deletes the retry copy, or, when the running program is that copy, leaves
// its deletion to the program's exit (selfDeleteOnExit).
void setRunOnceEntry(SetupApp* app, bool set);
// For the uninstall run: a retry copy that a failed install left is deleted and
// the RunOnce value emptied, so that the next logon does not install again what
// was just removed. Nothing is touched when there is no such copy.
void dropRetryInstall();
// Removes both values of the product's uninstall entry; false when one stays.
bool deleteUninstallEntry();
// Activation writes "system.ini" and, on the NT family, the user's desktop setting.
bool activateScreenSaver(SetupApp* app);
// Empties those settings where they still name the product's screen saver.
void restoreScreenSaver(SetupApp* app);
// Copies the running program to the uninstaller's place, then writes the
// uninstall entry that starts it and activates the screen saver; a failure is
// reported (an error box and a report line) and answered false: the caller
// only stops. The screen saver's activation never fails it.
bool installUninstaller(SetupApp* app);
// Whether the process may change the system folder and the machine's settings:
// always on Windows 9x; on the NT family, whether its token is an
// administrator's (see registry.cpp for how the system is asked).
bool hasAdministratorRights(const SetupApp* app);
// Test hook: 0 or 1 answers the rights check without asking the system; -1 asks again.
void setAdministratorRightsForTest(int answer);
// After a run that installed no uninstaller: the uninstall entry goes again
// unless an uninstaller of an earlier installation is there to run.
void dropUninstallEntryWithoutUninstaller();

extern const char kUninstallKey[];
extern const char kProductKey[];
extern const char kRunOnceKey[];
extern const char kRunOnceValuePath[];
// The uninstaller's file name: its copy in the Windows folder runs the uninstall.
extern const char kUninstallerName[];
// Whether the program's path is that of the uninstaller's copy.
bool isUninstallerCopy(const char* programPath);
// The installer's own copy in the Windows folder, which a RunOnce value starts
// after a failed install: only administrators may change a file there.
extern const char kRetryInstallerName[];
// Whether the program's path is exactly one of the two copies the setup program
// places in the Windows folder (the uninstaller or the retry copy): the only
// files of its own that the program ever removes.
bool isWindowsFolderCopy(const char* programPath);
