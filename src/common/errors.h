// Reported problems: an error box and a dated line in the install report.
#pragma once
#include <windows.h>

bool reportProblem(const char* text);
bool reportErrorById(UINT id, const char* argument);
// Appends the explanation of the last error from the internet library's messages.
// text holds capacity characters; the detail is cut to fit. The server's last
// response is added only afterInternetCall: when the failure followed one.
void appendInternetErrorDetail(char* text, size_t capacity, bool afterInternetCall);
