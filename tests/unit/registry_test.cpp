#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "boxcatcher.h"
#include "engine/systemsettings.h"
#include "shell/setupapp.h"
#include "testutil.h"

namespace {
bool readValue(HKEY root, const char* key, const char* name, DWORD* type, std::string* data) {
    HKEY k;
    if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return false;
    char buffer[600];
    DWORD size = sizeof buffer;
    LONG r = RegQueryValueExA(k, name, NULL, type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(k);
    if (r != ERROR_SUCCESS) return false;
    data->assign(buffer, size);
    return true;
}
std::string iniValue() {
    char value[MAX_PATH] = "missing";
    GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "missing", value, sizeof value, "system.ini");
    return value;
}
}  // namespace

TEST(RegistryValues, WritingDeletingAndTheDefaultValue) {
    DWORD type = 0;
    std::string data;
    DWORD one = 1;
    ASSERT_TRUE(writeRegistryValue("Software\\ZeltoTest\\Numbers\\Mark", &one, 7));
    ASSERT_TRUE(readValue(HKEY_CURRENT_USER, "Software\\ZeltoTest\\Numbers", "Mark", &type, &data));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(std::string("\x01\x00\x00\x00", 4), data);

    ASSERT_TRUE(writeRegistryValue("Software\\ZeltoTest\\Whole", "default text", 1));
    ASSERT_TRUE(readValue(HKEY_CURRENT_USER, "Software\\ZeltoTest\\Whole", "", &type, &data));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(std::string("default text\0", 13), data);
    ASSERT_TRUE(writeRegistryValue("Software\\ZeltoTest\\Machine", "machine text", 3));
    ASSERT_TRUE(readValue(HKEY_LOCAL_MACHINE, "Software\\ZeltoTest\\Machine", "", &type, &data));
    EXPECT_EQ(std::string("machine text\0", 13), data);
    // A code outside the table writes text under the classes root, the path whole.
    ASSERT_TRUE(writeRegistryValue("ZeltoTest\\Unknown", "other text", 12));
    ASSERT_TRUE(readValue(HKEY_CLASSES_ROOT, "ZeltoTest\\Unknown", "", &type, &data));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(std::string("other text\0", 11), data);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, "ZeltoTest\\Unknown");
    RegDeleteKeyA(HKEY_CLASSES_ROOT, "ZeltoTest");

    EXPECT_TRUE(deleteRegistryValue("Software\\ZeltoTest\\Nowhere\\", "Mark", false));
    EXPECT_TRUE(deleteRegistryValue("Software\\ZeltoTest\\Numbers\\", "Mark", false));
    // Deleted already: a value that is not there is no failure to delete.
    EXPECT_TRUE(deleteRegistryValue("Software\\ZeltoTest\\Numbers", "Mark", false));
    std::string tooLong(300, 'k');
    EXPECT_FALSE(writeRegistryValue(tooLong.c_str(), "x", 2));
}

TEST(RegistryValues, CommandLinesQuoteOnlyPathsThatNeedIt) {
    char out[40];
    ASSERT_TRUE(formatCommandLine(out, sizeof out, "C:\\WINDOWS\\vmbUninst.exe", "UNINSTALL"));
    EXPECT_STREQ("C:\\WINDOWS\\vmbUninst.exe UNINSTALL", out);
    ASSERT_TRUE(formatCommandLine(out, sizeof out, "C:\\Setup\\Zelto2000Setup.exe", NULL));
    EXPECT_STREQ("C:\\Setup\\Zelto2000Setup.exe", out);
    for (const char* folder : {"My Files", "a&b", "100%", "x^y", "(z)", "p;q", "t\tu", "a=b"}) {
        std::string program = std::string("C:\\") + folder + "\\s.exe";
        ASSERT_TRUE(formatCommandLine(out, sizeof out, program.c_str(), "UNINSTALL")) << folder;
        EXPECT_EQ("\"" + program + "\" UNINSTALL", std::string(out));
    }
    // quoted, the line no longer fits: nothing rather than a cut command
    EXPECT_FALSE(formatCommandLine(out, 22, "C:\\a b\\s.exe", "UNINSTALL"));
    EXPECT_STREQ("", out);
}

TEST(RegistryValues, UninstallEntryRunOnceAndUninstalledMark) {
    TestApp app;
    setupApp->installExpandedBytes = 2049;
    writeUninstallEntry();
    DWORD type = 0;
    std::string data;
    const char* key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelto2000";
    std::string uninstaller = windowsPath("vmbUninst.exe");
    // What the list of installed programs shows: texts, and numbers (the size in KB
    // rounded up).
    const struct {
        const char* name;
        DWORD type;
        std::string data;
    } entry[] = {{"DisplayName", REG_SZ, std::string("Zelto 2000 ScreenSaver\0", 23)},
                 {"UninstallString", REG_SZ, uninstaller + " UNINSTALL" + '\0'},
                 {"QuietUninstallString", REG_SZ, uninstaller + " UNINSTALL /S" + '\0'},
                 {"DisplayIcon", REG_SZ, uninstaller + ",0" + '\0'},
                 {"DisplayVersion", REG_SZ, std::string("2.0\0", 4)},
                 {"Publisher", REG_SZ, std::string("Ostrell Zuvak\0", 14)},
                 {"EstimatedSize", REG_DWORD, std::string("\x03\0\0\0", 4)},
                 {"NoModify", REG_DWORD, std::string("\x01\0\0\0", 4)},
                 {"NoRepair", REG_DWORD, std::string("\x01\0\0\0", 4)}};
    for (const auto& value : entry) {
        ASSERT_TRUE(readValue(HKEY_LOCAL_MACHINE, key, value.name, &type, &data)) << value.name;
        EXPECT_EQ(value.type, type) << value.name;
        EXPECT_EQ(value.data, data) << value.name;
    }
    // Removed, the entry takes its key along, unless another program put
    // something of its own there.
    HKEY opened = NULL;
    std::string comments = std::string(kUninstallKey) + "Comments";
    writeRegistryValue(comments.c_str(), "foreign", RegMachineText);
    deleteUninstallEntry();
    for (const auto& value : entry)
        EXPECT_FALSE(readValue(HKEY_LOCAL_MACHINE, key, value.name, &type, &data)) << value.name;
    EXPECT_TRUE(readValue(HKEY_LOCAL_MACHINE, key, "Comments", &type, &data));
    deleteRegistryValue(kUninstallKey, "Comments", true);
    writeUninstallEntry();
    deleteUninstallEntry();
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &opened));
    writeUninstallEntry();

    // The value names the program's copy in the Windows folder, byte for byte
    // the running file; clearing it deletes the copy.
    const char* runOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    std::string copy = windowsPath("Zelto2000Setup.exe");
    // An earlier copy that was held is named for deletion at the restart: the new
    // one is taken out of that list.
    writeFile(copy, "older");
    ASSERT_TRUE(deleteAtRestart(copy.c_str()));
    setRunOnceEntry(setupApp, true);
    char pending[4000] = "";
    DWORD size = sizeof pending - 2;
    HKEY session = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, &session) == ERROR_SUCCESS) {
        if (RegQueryValueExA(session, "PendingFileRenameOperations", NULL, NULL, (BYTE*)pending, &size))
            size = 0;
        RegCloseKey(session);
    }
    for (DWORD at = 0; at < size; at += strlen(pending + at) + 1)
        EXPECT_EQ(nullptr, strstr(pending + at, "Zelto2000Setup.exe")) << pending + at;
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    ASSERT_TRUE(readValue(HKEY_CURRENT_USER, runOnce, "vimbaInstall", &type, &data));
    EXPECT_EQ(copy, data.c_str());
    EXPECT_TRUE(readFile(copy) == readFile(self));
    setRunOnceEntry(setupApp, false);
    ASSERT_TRUE(readValue(HKEY_CURRENT_USER, runOnce, "vimbaInstall", &type, &data));
    EXPECT_EQ(std::string("\0", 1), data);  // emptied, not deleted
    EXPECT_FALSE(fileExists(copy.c_str()));
    EXPECT_FALSE(setupApp->selfDeleteOnExit);
    // A copy that cannot be written is named by nobody, nor is the running file.
    writeFile(copy, "older");
    HANDLE held = CreateFileA(copy.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    setRunOnceEntry(setupApp, true);
    CloseHandle(held);
    ASSERT_TRUE(readValue(HKEY_CURRENT_USER, runOnce, "vimbaInstall", &type, &data));
    EXPECT_EQ(std::string("\0", 1), data);
    // The uninstall run takes a left copy away and empties the value with it.
    writeRegistryValue("Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\vimbaInstall",
                       copy.c_str(), RegUserText);
    dropRetryInstall();
    EXPECT_FALSE(fileExists(copy.c_str()));
    ASSERT_TRUE(readValue(HKEY_CURRENT_USER, runOnce, "vimbaInstall", &type, &data));
    EXPECT_EQ(std::string("\0", 1), data);

    DWORD one = 1;
    writeProductValue("Uninstalled", &one, 8);
    ASSERT_TRUE(readValue(HKEY_LOCAL_MACHINE, "Software\\Ostrell Zuvak\\vimbaTressil", "Uninstalled",
                          &type, &data));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(4u, data.size());
    EXPECT_TRUE(deleteRegistryValue(kUninstallKey, "DisplayName", true));
    EXPECT_FALSE(readValue(HKEY_LOCAL_MACHINE, key, "DisplayName", &type, &data));
}

TEST(ScreenSaverSetting, ActivationRestoringAndTheUninstallerCopy) {
    TestApp app;
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    std::string saver = std::string(system) + "\\Zelto 2000.Scr";
    HANDLE f = CreateFileA(saver.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    CloseHandle(f);

    WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", "other.scr", "system.ini");
    setupApp->componentActivate[0] = false;
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    std::string uninstaller = std::string(windows) + "\\vmbUninst.exe";
    DeleteFileA(uninstaller.c_str());
    EXPECT_TRUE(installUninstaller(setupApp));
    EXPECT_EQ("other.scr", iniValue());  // activation off leaves the setting alone
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(uninstaller.c_str()));

    // On the NT family the desktop setting names the saver too, and the
    // switch is kept for the next logon.
    const char* desktop = "Control Panel\\Desktop";
    writeRegistryValue("Control Panel\\Desktop\\ScreenSaveActive", "0", 2);
    setupApp->componentActivate[0] = true;
    setupApp->osKind = 5;
    EXPECT_TRUE(activateScreenSaver(setupApp));
    char shortPath[MAX_PATH];
    GetShortPathNameA(saver.c_str(), shortPath, MAX_PATH);
    EXPECT_EQ(std::string(shortPath), iniValue());
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(readValue(HKEY_CURRENT_USER, desktop, "SCRNSAVE.EXE", &type, &data));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_STREQ(shortPath, data.c_str());
    ASSERT_TRUE(readValue(HKEY_CURRENT_USER, desktop, "ScreenSaveActive", &type, &data));
    EXPECT_STREQ("1", data.c_str());

    // Only a setting that names the product's saver (short or long, any case)
    // is emptied; another saver chosen since stays chosen.
    std::string upperLong = saver;
    CharUpperA(&upperLong[0]);
    struct Case {
        const char* ini;
        const char* desktop;
        const char* iniAfter;
        const char* desktopAfter;
    } cases[] = {{"C:\\windows\\system32\\other.scr", "C:\\windows\\system32\\other.scr",
                  "C:\\windows\\system32\\other.scr", "C:\\windows\\system32\\other.scr"},
                 {shortPath, upperLong.c_str(), "", ""},
                 {upperLong.c_str(), "mine.scr", "", "mine.scr"}};
    for (const Case& c : cases) {
        WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", c.ini, "system.ini");
        writeRegistryValue("Control Panel\\Desktop\\SCRNSAVE.EXE", c.desktop, 2);
        restoreScreenSaver(setupApp);
        EXPECT_EQ(c.iniAfter, iniValue()) << c.ini;  // an emptied entry stays, "SCRNSAVE.EXE="
        ASSERT_TRUE(readValue(HKEY_CURRENT_USER, desktop, "SCRNSAVE.EXE", &type, &data));
        EXPECT_STREQ(c.desktopAfter, data.c_str()) << c.desktop;
    }

    // Windows 9x reads "system.ini" alone: the registry is left as it is.
    setupApp->osKind = 2;
    EXPECT_TRUE(activateScreenSaver(setupApp));
    EXPECT_EQ(std::string(shortPath), iniValue());
    ASSERT_TRUE(readValue(HKEY_CURRENT_USER, desktop, "SCRNSAVE.EXE", &type, &data));
    EXPECT_STREQ("mine.scr", data.c_str());
    deleteRegistryValue(desktop, "SCRNSAVE.EXE", false);
    DeleteFileA(saver.c_str());
    DeleteFileA(uninstaller.c_str());
}

// The copies the program may remove: the two names in the Windows folder, by
// their long or short (8.3) path, and nothing of the same name elsewhere.
TEST(WindowsFolderCopy, LongOrShortPathOnlyInTheWindowsFolder) {
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    std::string retry = std::string(windows) + "\\Zelto2000Setup.exe";
    CreateDirectoryA("C:\\Setup", NULL);
    const char* setupCopy = "C:\\Setup\\vmbUninst.exe";
    for (const std::string& path : {retry, std::string(setupCopy)}) {
        HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, f) << path;
        CloseHandle(f);
    }
    char shortRetry[MAX_PATH];
    ASSERT_NE(0u, GetShortPathNameA(retry.c_str(), shortRetry, MAX_PATH));
    ASSERT_STRNE(retry.c_str(), shortRetry);  // a name that is not 8.3 gets a short one
    std::string upper = retry;
    CharUpperA(&upper[0]);
    EXPECT_TRUE(isWindowsFolderCopy(retry.c_str()));
    EXPECT_TRUE(isWindowsFolderCopy(upper.c_str()));
    EXPECT_TRUE(isWindowsFolderCopy(shortRetry));
    EXPECT_TRUE(isWindowsFolderCopy((std::string(windows) + "\\VMBUNINST.EXE").c_str()));
    char shortSetup[MAX_PATH];
    ASSERT_NE(0u, GetShortPathNameA(setupCopy, shortSetup, MAX_PATH));
    for (const char* path : {setupCopy, static_cast<const char*>(shortSetup),
                             "C:\\windows\\system32\\vmbUninst.exe", "vmbUninst.exe",
                             "C:\\windows\\xvmbUninst.exe", ""})
        EXPECT_FALSE(isWindowsFolderCopy(path)) << path;
    DeleteFileA(retry.c_str());
    DeleteFileA(setupCopy);
    RemoveDirectoryA("C:\\Setup");
}
