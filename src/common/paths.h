// Path and file helpers, and the destination folder kinds of installed files.
#pragma once
#include <windows.h>

enum DirKind : SHORT {
    DirBase = 0,     // the kept Windows folder
    DirWindows = 1,  // the Windows folder, asked afresh
    DirSystem = 2,
    DirCursors = 3,
    DirMedia = 4,
};

// Where pattern first stands in text, counted from 1; 0 when nowhere. Case-blind
// by the rule of common/textcase.h.
int findTextNoCase(const char* text, const char* pattern);
// The same search over a text of known length that need not be terminated.
int findTextNoCaseN(const char* text, int length, const char* pattern);
bool folderOfPath(const char* path, char* out);
bool fileExists(const char* path);
// Appends "\\" when missing; false when the buffer has no room for it.
bool ensureTrailingBackslash(char* path, size_t capacity);
// The next character of a path in the ANSI code page (a double-byte character
// is one), and the last backslash, NULL when there is none. Every helper here
// that looks for a backslash steps by character: in code pages 932, 936, 949
// and 950 a character's second byte may be that of "\\".
const char* nextPathChar(const char* p);
const char* lastBackslash(const char* path);
// Test hook: the code page whose double-byte characters the helpers step over
// (CP_ACP, the system's, by default).
void setPathCodePageForTest(UINT codePage);
// False (and last empty) when there is no backslash or the last part does not fit.
bool splitLastComponent(char* path, char* last);
const char* windowsFolder();
// dirKindFolder gives "\" for an unknown kind, and answers false for it.
// The following build paths into MAX_PATH buffers. A path that would not fit is
// never cut into the name of another file: out is left empty and false returned.
bool dirKindFolder(SHORT kind, char* out);
bool joinPath(char* out, const char* folder, const char* name);
// The full path of the module's file; empty and false when it does not fit.
bool modulePath(HINSTANCE module, char* out);
bool copyFileWritable(const char* source, const char* destination);
// The program's own file, opened to read and shared for reading only: while the
// handle is open nobody can write, rename or delete the file. The NT family
// finds it through the wide functions, so that a folder named outside the ANSI
// code page still leads to it; path gets a name of it in the code page (the long
// one where it converts exactly, else the short one), empty when there is none.
// INVALID_HANDLE_VALUE when the file cannot be opened.
HANDLE openModuleFile(HINSTANCE module, char* path);
// Reads an open file from its start to its end in blocks, handing each (the last
// one empty) to take; false when a read fails or take answers false.
bool readOpenFile(HANDLE file, bool (*take)(void* context, const BYTE* bytes, DWORD count),
                  void* context);
// Writes destination anew with the whole content of an open file, read from its
// start; a destination that could not be written whole is deleted.
bool copyOpenFile(HANDLE source, const char* destination);
// The blocks in which whole files are read: a 10 MB file takes 160 reads, and
// any heap has room for one.
const DWORD kFileBlockSize = 64 * 1024;
bool deleteFileWritable(const char* path);
bool clearReadOnly(const char* path);
// Opens a file to write at its end (made when missing, shared with nobody);
// INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE openForAppend(const char* path);
// Writes the whole text; a full disk writes less than asked, which counts as failure.
bool writeWholeText(HANDLE file, const char* text);
// The short form of an existing path into a MAX_PATH buffer; empty and false when
// there is none or it does not fit, so that a cut path is never compared or used.
bool shortPathOf(const char* path, char* out);

// Test hook: forget the kept Windows folder.
void resetWindowsFolderForTest();
int windowsFolderQueriesForTest();
// Names an existing file (or a folder, which goes once it is empty; with or
// without its closing backslash) for deletion when Windows next starts: on the NT family
// through MoveFileExA, on 9x through the [rename] section of "wininit.ini".
// False when the system offers neither or refuses (the NT family wants
// administrator rights for it).
bool deleteAtRestart(const char* path);
// Takes back what deleteAtRestart named for an existing file (a file installed
// again before the restart must survive it); true when nothing of it stays.
bool cancelRestartDeletion(const char* path);
// Adds (add) or takes out "NUL=shortPath" in the [rename] section of the given
// ini file, keeping every other entry; the line is never there twice.
bool editWininitDeletes(const char* iniPath, const char* shortPath, bool add);
