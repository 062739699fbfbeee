// The three download mirror sites of the maker.
#pragma once

struct MirrorSite {
    const char* host;
    const char* path;
    const char* displayName;
};
extern const MirrorSite kMirrorSites[3];
// Remainders 0-2, 3-5 and 6-8 of the number modulo 9 choose sites 0, 1 and 2.
int mirrorIndexFor(int randomNumber);
