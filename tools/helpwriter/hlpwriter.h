// Writes a parsed help source as a Windows Help 3.1 file (.hlp).
#ifndef ZELTO_HELPWRITER_HLPWRITER_H
#define ZELTO_HELPWRITER_HLPWRITER_H

#include <cstdint>
#include <vector>

#include "helpsource.h"

namespace helpwriter {

// One entry of a B+ tree: its bytes in a leaf page, and the key bytes an
// index page holds for the first entry of a child page.
struct BTreeEntry {
    std::vector<uint8_t> leaf;
    std::vector<uint8_t> key;
};

// Builds a B+ tree (header and pages) over entries already in key order.
std::vector<uint8_t> buildBTree(uint16_t flags, uint16_t pageSize, const char* structure,
                                const std::vector<BTreeEntry>& entries);

// Builds the whole help file from a valid source. Fails (with diagnostics)
// only when a paragraph is too long to fit in one 4 KB topic block.
bool writeHelpFile(const HelpSource& source, std::vector<uint8_t>* out,
                   std::vector<Diagnostic>* errors);

}  // namespace helpwriter

#endif
