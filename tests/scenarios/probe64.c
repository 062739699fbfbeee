/* probe64: the screen saver setting as a 64-bit program sees it, the way the
 * system process that starts screen savers on 64-bit Windows does (its file
 * system is not redirected as a 32-bit program's is). Built as a 64-bit
 * Windows program.
 *
 *   probe64.exe saver        one line per setting: "desktop VALUE" (the user's
 *                            Control Panel\Desktop SCRNSAVE.EXE), "ini VALUE"
 *                            (system.ini [boot]), each followed by a line
 *                            "found" or "missing": whether the file the value
 *                            names is there for this program
 *   probe64.exe set VALUE    writes VALUE to both, as the Screen Saver dialog
 *                            of 64-bit Windows does
 *
 * The first line is "bits N", the width of a pointer in bits. Exit code 0 when
 * the settings could be read or written, 1 otherwise. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static const char kDesktop[] = "Control Panel\\Desktop";

static void show(const char* kind, const char* value) {
  DWORD attributes = value[0] ? GetFileAttributesA(value) : INVALID_FILE_ATTRIBUTES;
  printf("%s %s\n%s\n", kind, value,
         attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)
             ? "found" : "missing");
}

int main(int argc, char** argv) {
  printf("bits %u\n", (unsigned)(sizeof(void*) * 8));
  HKEY key;
  if (argc == 2 && strcmp(argv[1], "saver") == 0) {
    char value[MAX_PATH + 1] = "";
    DWORD size = MAX_PATH, type = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktop, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
      return 1;
    LONG r = RegQueryValueExA(key, "SCRNSAVE.EXE", NULL, &type, (BYTE*)value, &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || type != REG_SZ) value[0] = '\0';
    value[size < MAX_PATH ? size : MAX_PATH] = '\0';
    show("desktop", value);
    GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "", value, sizeof value, "system.ini");
    show("ini", value);
    return 0;
  }
  if (argc == 3 && strcmp(argv[1], "set") == 0) {
    if (RegCreateKeyA(HKEY_CURRENT_USER, kDesktop, &key) != ERROR_SUCCESS) return 1;
    LONG r = RegSetValueExA(key, "SCRNSAVE.EXE", 0, REG_SZ, (const BYTE*)argv[2],
                            (DWORD)strlen(argv[2]) + 1);
    RegCloseKey(key);
    return r == ERROR_SUCCESS &&
                   WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", argv[2], "system.ini")
               ? 0 : 1;
  }
  fprintf(stderr, "usage: probe64 saver | probe64 set VALUE\n");
  return 1;
}
