// Counts of the process's GDI objects, USER objects and kernel handles, for
// leak checks. GetGuiResources answers 0 under Wine 8 and GetProcessHandleCount
// answers 0 as well, so each count has a second way that works there:
// - GDI: the process's GDI handle table (reached through the PEB, in the layout
//   Wine uses), every used entry confirmed by GetObjectType on its handle;
// - USER: every USER handle value probed as a window of this process
//   (IsWindow), a menu (IsMenu) and an icon or cursor (GetIconInfo);
// - handles: every handle value probed with GetHandleInformation.
// The leak tests first check that each count follows objects made and freed.
#pragma once
#include <windows.h>
#include <string>

struct ObjectCounts {
    int gdi;
    int gdiByType[16];  // by GetObjectType (OBJ_PEN 1 ... OBJ_COLORSPACE 14), table count only
    int user;
    int handles;
    const char* gdiMethod;
    const char* userMethod;
    const char* handleMethod;
};

ObjectCounts countObjects();
std::string describe(const ObjectCounts& counts);
