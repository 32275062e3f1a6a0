// effname.cpp -- Qz4EffectiveFileName: the name the library uses for an
// entry whose extra field carries an extended-name block ("TH" id, data
// "Vw" and the OEM name).  Without such a block it is the stored name with
// forward slashes.  An extended name longer than 259 bytes is cut to 259;
// the block is never read past the end of the extra field.
#include "archive/archive.h"

using namespace qz::archive;

namespace {

// Offset of the extended name in the extra field and its length, or false.
// A block is looked at while its id, size and the "Vw" mark are in the field.
bool findExtendedName(const uint8_t *extra, uint32_t length, uint32_t *at, uint32_t *bytes) {
    uint32_t room = 0;
    const uint8_t *block = findExtraBlock(extra, length, 7, [&](const uint8_t *b, uint32_t left) {
        room = left;
        return b[0] == 'T' && b[1] == 'H' && b[4] == 'V' && b[5] == 'w';
    });
    if (!block)
        return false;
    uint32_t dataSize = extraBlockDataSize(block);
    uint32_t n = dataSize >= 2 ? dataSize - 2 : 0;
    *at = (uint32_t)(block - extra) + 6;
    *bytes = n < room - 6 ? n : room - 6;
    return true;
}

}  // namespace

QZ_API(void) Qz4EffectiveFileName(char *name, const void *extra, uint16_t extraLength,
                                  char *destination) {
    if (!destination)
        return;
    uint32_t at = 0, bytes = 0;
    if (!extra || extraLength == 0 || !findExtendedName((const uint8_t *)extra, extraLength, &at, &bytes)) {
        if (!name) {
            destination[0] = 0;
            return;
        }
        qz::replaceChar(name, '\\', '/');
        if (destination != name)
            lstrcpynA(destination, name, kNameBytes);
        return;
    }

    char copied[kNameBytes];
    if (bytes > kNameBytes - 1)
        bytes = kNameBytes - 1;
    const uint8_t *src = (const uint8_t *)extra + at;
    for (uint32_t i = 0; i < bytes; ++i)
        copied[i] = (char)src[i];
    copied[bytes] = 0;

    char result[kNameBytes];
    const char *from = copied;
    if (copied[0] == '\\' || copied[0] == '/')
        ++from;
    lstrcpynA(result, from, kNameBytes);
    qz::replaceChar(result, '\\', '/');
    qz::oemToAnsi(result, destination);
}
