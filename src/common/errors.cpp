#include "common/errors.h"
#include "common/dynlib.h"
#include "common/messages.h"
#include "common/text.h"
#include "resources/resource.h"
#include <wininet.h>

bool reportProblem(const char* text) {
    char message[400];
    copyText(message, sizeof message, text);
    // An unattended run's showMessage writes the line itself.
    if (!messagesGoToReport()) appendReportLine(message);
    showMessage(message, MB_ICONERROR, 0);
    return false;
}

bool reportErrorById(UINT id, const char* argument) {
    char format[kTextCapacity];
    loadText(format, id);
    char message[1000];
    formatText(message, sizeof message, format, argument);
    // 707 and 708 would follow a failed internet call; 712 follows the check of
    // a header read from the program's own resources, after no internet call.
    if (id == IDS_NO_INTERNET || id == IDS_NO_INTERNET_FILE || id == IDS_BAD_HEADER)
        appendInternetErrorDetail(message, sizeof message, id != IDS_BAD_HEADER);
    return reportProblem(message);
}

void appendInternetErrorDetail(char* text, size_t capacity, bool afterInternetCall) {
    DWORD code = GetLastError();
    char systemText[256] = "";
    // The internet library is loaded only for this detail.
    const InternetLibrary* internet = internetLibrary();
    HMODULE wininet = internetModule();
    // No arguments are passed: a text with inserts must keep them as they are.
    if (!wininet ||
        !FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, wininet, code,
                        0, systemText, sizeof systemText, NULL))
        systemText[0] = '\0';
    systemText[sizeof systemText - 1] = '\0';
    char detail[200];
    formatText(detail, sizeof detail, "error code: %d\nMessage: %s\n", static_cast<int>(code),
               systemText);
    // An extended error comes with the server's response: the detail is added
    // only together with it (or with why it could not be had).
    char* response = NULL;
    char note[100] = "";
    const char* extra = note;
    if (code == ERROR_INTERNET_EXTENDED_ERROR) {
        // The library's last response is that of the thread's last internet call,
        // whatever it was: without a call of this failure's own there is no answer to show.
        if (!afterInternetCall || !internet) return;
        DWORD serverError = 0;
        DWORD length = 0;
        internet->InternetGetLastResponseInfoA(&serverError, NULL, &length);
        if (length == 0) return;
        // One more byte than the response's length, so that the text is always terminated.
        DWORD room = length + 1;
        response = static_cast<char*>(LocalAlloc(LPTR, room));
        DWORD fetched = room;
        if (response && internet->InternetGetLastResponseInfoA(&serverError, response, &fetched)) {
            response[room - 1] = '\0';
            extra = response;
        } else {
            formatText(note, sizeof note,
                       response ? "Can't get internet error. Error %d"
                                : "Can't alloc msg memory. Error %d",
                       static_cast<int>(GetLastError()));
        }
    }
    appendToText(text, capacity, detail);
    appendToText(text, capacity, extra);
    if (response) LocalFree(response);
}
