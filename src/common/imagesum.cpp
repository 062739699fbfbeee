#include "common/imagesum.h"
#include "common/paths.h"

namespace {
bool addBlock(void* sum, const BYTE* bytes, DWORD count) {
    static_cast<ImageSum*>(sum)->add(bytes, count);
    return true;
}
}  // namespace

bool imageFileIntact(HANDLE file) {
    ImageSum sum;
    return readOpenFile(file, addBlock, &sum) && sum.fieldSeen() && sum.stored() != 0 &&
           sum.stored() == sum.checksum();
}
