// The product logo, a GIF among the saver's resources, read into pixels.
#pragma once
#include <windows.h>

struct LogoPixels {
    int size;        // the logo is square: size by size pixels
    DWORD* colour;   // premultiplied by alpha, 0x00RRGGBB
    BYTE* alpha;     // 0 transparent .. 255 opaque
};

// Reads the logo at the given size. False when there is no logo resource or the
// system cannot read GIF pictures; the scene is then drawn without it.
bool loadLogo(HINSTANCE instance, int size, LogoPixels* logo);
void freeLogo(LogoPixels* logo);
