#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "boxcatcher.h"
#include "common/registry.h"
#include "engine/systemsettings.h"
#include "shell/setupapp.h"
#include "testutil.h"

namespace {
// A value as "TYPE:BYTES"; "" when it is missing.
std::string value(HKEY root, const char* key, const char* name) {
    HKEY k;
    if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return "";
    char buffer[600];
    DWORD size = sizeof buffer, type = 0;
    LONG r = RegQueryValueExA(k, name, NULL, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(k);
    return r == ERROR_SUCCESS ? std::to_string(type) + ":" + std::string(buffer, size) : "";
}
// The same for a text with its terminator, and for a number.
std::string sz(const std::string& text) { return std::to_string(REG_SZ) + ":" + text + '\0'; }
std::string dword(DWORD n) {
    return std::to_string(REG_DWORD) + ":" + std::string(reinterpret_cast<const char*>(&n), 4);
}
std::string iniValue() {
    char value[MAX_PATH] = "missing";
    GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "missing", value, sizeof value, "system.ini");
    return value;
}
}  // namespace

TEST(RegistryValues, WritingDeletingAndTheDefaultValue) {
    DWORD one = 1;
    ASSERT_TRUE(writeRegistryValue("Software\\ZeltoTest\\Numbers\\Mark", &one, 7));
    EXPECT_EQ(dword(1), value(HKEY_CURRENT_USER, "Software\\ZeltoTest\\Numbers", "Mark"));
    ASSERT_TRUE(writeRegistryValue("Software\\ZeltoTest\\Whole", "default text", 1));
    EXPECT_EQ(sz("default text"), value(HKEY_CURRENT_USER, "Software\\ZeltoTest\\Whole", ""));
    ASSERT_TRUE(writeRegistryValue("Software\\ZeltoTest\\Machine", "machine text", 3));
    EXPECT_EQ(sz("machine text"), value(HKEY_LOCAL_MACHINE, "Software\\ZeltoTest\\Machine", ""));
    // A code outside the table writes text under the classes root, the path whole.
    ASSERT_TRUE(writeRegistryValue("ZeltoTest\\Unknown", "other text", 12));
    EXPECT_EQ(sz("other text"), value(HKEY_CLASSES_ROOT, "ZeltoTest\\Unknown", ""));
    RegDeleteKeyA(HKEY_CLASSES_ROOT, "ZeltoTest\\Unknown");
    RegDeleteKeyA(HKEY_CLASSES_ROOT, "ZeltoTest");

    EXPECT_TRUE(deleteRegistryValue("Software\\ZeltoTest\\Nowhere\\", "Mark", false));
    EXPECT_TRUE(deleteRegistryValue("Software\\ZeltoTest\\Numbers\\", "Mark", false));
    // Deleted already: a value that is not there is no failure to delete.
    EXPECT_TRUE(deleteRegistryValue("Software\\ZeltoTest\\Numbers", "Mark", false));
    std::string tooLong(300, 'k');
    EXPECT_FALSE(writeRegistryValue(tooLong.c_str(), "x", 2));

    // Every code's root, value-name split and type; codes outside 1 to 8 alike.
    const struct {
        HKEY root;
        bool split;
        DWORD type;
    } rules[10] = {{HKEY_CLASSES_ROOT, false, REG_SZ}, {HKEY_CURRENT_USER, false, REG_SZ},
                   {HKEY_CURRENT_USER, true, REG_SZ},  {HKEY_LOCAL_MACHINE, false, REG_SZ},
                   {HKEY_LOCAL_MACHINE, true, REG_SZ}, {HKEY_USERS, false, REG_SZ},
                   {HKEY_USERS, true, REG_SZ},         {HKEY_CURRENT_USER, true, REG_DWORD},
                   {HKEY_LOCAL_MACHINE, true, REG_DWORD}, {HKEY_CLASSES_ROOT, false, REG_SZ}};
    for (int code = 0; code < 10; ++code) {
        RegValueRule rule = regValueRule(code);
        EXPECT_TRUE(rule.root == rules[code].root && rule.pathEndsInValueName == rules[code].split &&
                    rule.type == rules[code].type)
            << "code " << code;
    }
    EXPECT_EQ(HKEY_CLASSES_ROOT, regValueRule(-1).root);
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
    const char* key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelto2000";
    std::string uninstaller = windowsPath("vmbUninst.exe");
    // What the list of installed programs shows: texts, and numbers (the size in KB
    // rounded up).
    const struct {
        const char* name;
        std::string value;
    } entry[] = {{"DisplayName", sz("Zelto 2000 ScreenSaver")},
                 {"UninstallString", sz(uninstaller + " UNINSTALL")},
                 {"QuietUninstallString", sz(uninstaller + " UNINSTALL /S")},
                 {"DisplayIcon", sz(uninstaller + ",0")},
                 {"DisplayVersion", sz("2.0")},
                 {"Publisher", sz("Ostrell Zuvak")},
                 {"EstimatedSize", dword(3)},
                 {"NoModify", dword(1)},
                 {"NoRepair", dword(1)}};
    for (const auto& v : entry)
        EXPECT_EQ(v.value, value(HKEY_LOCAL_MACHINE, key, v.name)) << v.name;
    // Removed, the entry takes its key along, unless another program put
    // something of its own there.
    HKEY opened = NULL;
    std::string comments = std::string(kUninstallKey) + "Comments";
    writeRegistryValue(comments.c_str(), "foreign", RegMachineText);
    deleteUninstallEntry();
    for (const auto& v : entry) EXPECT_EQ("", value(HKEY_LOCAL_MACHINE, key, v.name)) << v.name;
    EXPECT_NE("", value(HKEY_LOCAL_MACHINE, key, "Comments"));
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
    EXPECT_EQ(std::string::npos, pendingRenames().find("Zelto2000Setup.exe")) << pendingRenames();
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    EXPECT_EQ(sz(copy), value(HKEY_CURRENT_USER, runOnce, "vimbaInstall"));
    EXPECT_TRUE(readFile(copy) == readFile(self));
    setRunOnceEntry(setupApp, false);
    EXPECT_EQ(sz(""), value(HKEY_CURRENT_USER, runOnce, "vimbaInstall"));  // emptied, not deleted
    EXPECT_FALSE(fileExists(copy.c_str()));
    EXPECT_FALSE(setupApp->selfDeleteOnExit);
    // A copy that cannot be written is named by nobody, nor is the running file.
    writeFile(copy, "older");
    HANDLE held = CreateFileA(copy.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    setRunOnceEntry(setupApp, true);
    CloseHandle(held);
    EXPECT_EQ(sz(""), value(HKEY_CURRENT_USER, runOnce, "vimbaInstall"));
    // The uninstall run takes a left copy away and empties the value with it.
    writeRegistryValue("Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\vimbaInstall",
                       copy.c_str(), RegUserText);
    dropRetryInstall();
    EXPECT_FALSE(fileExists(copy.c_str()));
    EXPECT_EQ(sz(""), value(HKEY_CURRENT_USER, runOnce, "vimbaInstall"));

    DWORD one = 1;
    writeProductValue("Uninstalled", &one, 8);
    EXPECT_EQ(dword(1),
              value(HKEY_LOCAL_MACHINE, "Software\\Ostrell Zuvak\\vimbaTressil", "Uninstalled"));
    EXPECT_TRUE(deleteRegistryValue(kUninstallKey, "DisplayName", true));
    EXPECT_EQ("", value(HKEY_LOCAL_MACHINE, key, "DisplayName"));
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
    EXPECT_EQ(sz(shortPath), value(HKEY_CURRENT_USER, desktop, "SCRNSAVE.EXE"));
    EXPECT_EQ(sz("1"), value(HKEY_CURRENT_USER, desktop, "ScreenSaveActive"));

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
        EXPECT_EQ(sz(c.desktopAfter), value(HKEY_CURRENT_USER, desktop, "SCRNSAVE.EXE"))
            << c.desktop;
    }

    // Windows 9x reads "system.ini" alone: the registry is left as it is.
    setupApp->osKind = 2;
    EXPECT_TRUE(activateScreenSaver(setupApp));
    EXPECT_EQ(std::string(shortPath), iniValue());
    EXPECT_EQ(sz("mine.scr"), value(HKEY_CURRENT_USER, desktop, "SCRNSAVE.EXE"));
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
