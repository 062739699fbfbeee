// The saver's settings, kept per user in the registry.
#pragma once
#include <windows.h>

// HKEY_CURRENT_USER key; each setting is a REG_DWORD value of its own.
extern const char kSettingsKey[];

enum SparkDensity : DWORD { SparksFew = 0, SparksNormal = 1, SparksMany = 2 };
enum ColourScheme : DWORD { ColoursMidnight = 0, ColoursClassic = 1, ColoursDusk = 2 };

const DWORD kSpeedMin = 1;
const DWORD kSpeedMax = 10;

struct SaverSettings {
    DWORD speed;      // kSpeedMin..kSpeedMax, 5 is the designed pace
    DWORD sparks;     // SparkDensity
    DWORD colours;    // ColourScheme
    DWORD showTitle;  // 0 or 1
    DWORD showLogo;   // 0 or 1
};

SaverSettings defaultSettings();
// Reads every value on its own: a missing value, one of another type or size, or
// one out of its range gives that setting its default and leaves the others.
SaverSettings loadSettings();
bool saveSettings(const SaverSettings& settings);
