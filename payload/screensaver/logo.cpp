#include "logo.h"
#include "resource.h"
#include "surface.h"
#include <ole2.h>
#include <olectl.h>
#include <string.h>

namespace {

// Takes a copy of the resource bytes in movable global memory, which is what a
// stream over global memory needs; the resource itself stays read-only.
HGLOBAL copyLogoResource(HINSTANCE instance, DWORD* size) {
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(IDG_LOGO), "RES_GIF");
    if (!found) return NULL;
    DWORD bytes = SizeofResource(instance, found);
    HGLOBAL loaded = LoadResource(instance, found);
    const void* data = loaded ? LockResource(loaded) : NULL;
    if (!data || bytes == 0) return NULL;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!block) return NULL;
    void* target = GlobalLock(block);
    if (!target) {
        GlobalFree(block);
        return NULL;
    }
    memcpy(target, data, bytes);
    GlobalUnlock(block);
    *size = bytes;
    return block;
}

IPicture* openLogoPicture(HINSTANCE instance) {
    DWORD size = 0;
    HGLOBAL block = copyLogoResource(instance, &size);
    if (!block) return NULL;
    IStream* stream = NULL;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream)) || !stream) {
        GlobalFree(block);
        return NULL;
    }
    IPicture* picture = NULL;
    if (FAILED(OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture,
                              reinterpret_cast<void**>(&picture))))
        picture = NULL;
    stream->Release();  // frees the block as well
    return picture;
}

bool renderOnto(IPicture* picture, PixelSurface& surface, DWORD background) {
    surface.fill(background);
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    picture->get_Width(&width);
    picture->get_Height(&height);
    if (width <= 0 || height <= 0) return false;
    // The picture's y axis runs upwards: start at its bottom edge with a negative extent.
    HRESULT result = picture->Render(surface.dc, 0, 0, surface.width, surface.height, 0, height,
                                     width, -height, NULL);
    GdiFlush();
    return SUCCEEDED(result);
}

}  // namespace

bool loadLogo(HINSTANCE instance, int size, LogoPixels* logo) {
    logo->size = 0;
    logo->colour = NULL;
    logo->alpha = NULL;
    if (size <= 0) return false;
    // Reading a GIF may start COM objects (Wine decodes through them); balance the call.
    HRESULT com = CoInitialize(NULL);
    IPicture* picture = openLogoPicture(instance);
    bool ok = false;
    PixelSurface onBlack, onWhite;
    bool surfaces = onBlack.create(size, size);
    surfaces = onWhite.create(size, size) && surfaces;
    size_t count = static_cast<size_t>(size) * static_cast<size_t>(size);
    if (picture && surfaces && renderOnto(picture, onBlack, 0) &&
        renderOnto(picture, onWhite, 0xFFFFFF)) {
        logo->colour = static_cast<DWORD*>(allocateZeroed(count * sizeof(DWORD)));
        logo->alpha = static_cast<BYTE*>(allocateZeroed(count));
        if (logo->colour && logo->alpha) {
            // Drawn over black a pixel gives alpha x colour; over white it gives that plus
            // (1 - alpha) x white. The difference is the transparency.
            for (size_t i = 0; i < count; ++i) {
                int black = static_cast<int>((onBlack.pixels[i] >> 8) & 255);
                int white = static_cast<int>((onWhite.pixels[i] >> 8) & 255);
                logo->alpha[i] = static_cast<BYTE>(clampInt(255 - (white - black), 0, 255));
                logo->colour[i] = onBlack.pixels[i] & 0xFFFFFF;
            }
            logo->size = size;
            ok = true;
        }
    }
    onBlack.destroy();
    onWhite.destroy();
    if (picture) picture->Release();
    if (SUCCEEDED(com)) CoUninitialize();
    if (!ok) freeLogo(logo);
    return ok;
}

void freeLogo(LogoPixels* logo) {
    freeMemory(logo->colour);
    freeMemory(logo->alpha);
    logo->colour = NULL;
    logo->alpha = NULL;
    logo->size = 0;
}
