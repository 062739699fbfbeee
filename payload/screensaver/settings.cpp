#include "settings.h"

const char kSettingsKey[] = "Software\\Ostrell Zuvak\\Zelto 2000";

namespace {

struct SettingRule {
    const char* name;
    DWORD SaverSettings::*field;
    DWORD minimum;
    DWORD maximum;
};

const SettingRule kRules[] = {
    {"Speed", &SaverSettings::speed, kSpeedMin, kSpeedMax},
    {"Sparks", &SaverSettings::sparks, SparksFew, SparksMany},
    {"Colours", &SaverSettings::colours, ColoursMidnight, ColoursDusk},
    {"ShowTitle", &SaverSettings::showTitle, 0, 1},
    {"ShowLogo", &SaverSettings::showLogo, 0, 1},
};

}  // namespace

SaverSettings defaultSettings() {
    SaverSettings s;
    s.speed = 5;
    s.sparks = SparksNormal;
    s.colours = ColoursMidnight;
    s.showTitle = 1;
    s.showLogo = 1;
    return s;
}

SaverSettings loadSettings() {
    SaverSettings s = defaultSettings();
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return s;
    for (const SettingRule& rule : kRules) {
        // Room for more than a DWORD, so that a longer value is seen as too long
        // instead of failing with ERROR_MORE_DATA alone.
        BYTE data[8] = {0};
        DWORD size = sizeof data;
        DWORD type = REG_NONE;
        if (RegQueryValueExA(key, rule.name, NULL, &type, data, &size) != ERROR_SUCCESS) continue;
        if (type != REG_DWORD || size != sizeof(DWORD)) continue;
        DWORD value = *reinterpret_cast<DWORD*>(data);
        if (value < rule.minimum || value > rule.maximum) continue;
        s.*rule.field = value;
    }
    RegCloseKey(key);
    return s;
}

bool saveSettings(const SaverSettings& settings) {
    HKEY key = NULL;
    if (RegCreateKeyA(HKEY_CURRENT_USER, kSettingsKey, &key) != ERROR_SUCCESS) return false;
    bool ok = true;
    for (const SettingRule& rule : kRules) {
        DWORD value = settings.*rule.field;
        if (RegSetValueExA(key, rule.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                           sizeof value) != ERROR_SUCCESS)
            ok = false;
    }
    RegCloseKey(key);
    return ok;
}
