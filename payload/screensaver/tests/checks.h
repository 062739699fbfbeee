// The groups of checks that the robot runs.
#pragma once
#include <windows.h>

void checkCommandLines();
void checkPasswordFlag();
void checkSettings();
// Both take the saver file loaded as data, for its title text and logo.
void checkScene(HINSTANCE saverResources);
void checkSaverWindow(HINSTANCE saverResources);

// Registry helpers shared by the groups.
void clearSettingsKey();
void writeBadSettings();
void writeDword(const char* name, DWORD value);
bool readDword(const char* name, DWORD* value);
// GDI objects of a process where the system counts them (0 where it does not).
DWORD gdiObjectsOf(HANDLE process);
