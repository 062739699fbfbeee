// The exit codes of both programs, in one table: the program answers them, its
// string table and help box say what each means, the winget manifest lists them
// (tools/winget), and the README's table for administrators shows them (a test
// compares it with this one). The codes are the system's own and Windows
// Installer's, so that "net helpmsg CODE" explains each and deployment tools act
// on them without being told.
//
// X(name, code, text id, winget's answer or "" for none, what the code says)
// The text ids follow the string table's other ids (resource.h); the winget
// answers are the manifest schema's ReturnResponse names.
#pragma once

#define ZELTO_EXIT_CODES(X)                                                                   \
    X(ExitSuccess, 0, 1176, "", "everything installed or removed")                            \
    X(ExitRestartNeeded, 3010, 1177, "rebootRequiredToFinish",                                \
      "done, but a file goes only when Windows restarts")                                     \
    X(ExitInProgress, 1618, 1178, "installInProgress", "another setup program is running")     \
    X(ExitCancelled, 1602, 1179, "cancelledByUser", "cancelled by the user")                   \
    X(ExitNoRights, 740, 1180, "", "no administrator rights")                                 \
    X(ExitFileInUse, 32, 1181, "fileInUse", "a file still in use after the retries")          \
    X(ExitDamaged, 1620, 1182, "contactSupport", "the package damaged or incomplete")          \
    X(ExitDiskFull, 112, 1183, "diskFull", "the disk full")                                    \
    X(ExitBadSwitch, 1639, 1184, "invalidParameter",                                          \
      "a switch the program does not know, or a log file that cannot be made")                \
    X(ExitFailed, 1603, 1185, "", "any other failure")

#ifdef __cplusplus
#define ZELTO_EXIT_NAME(name, code, id, response, text) name = code,
enum ExitCode { ZELTO_EXIT_CODES(ZELTO_EXIT_NAME) };
#undef ZELTO_EXIT_NAME
#endif
