// parse_fuzz.cpp -- the command-string parser on arbitrary bytes.
//
// Input: the first byte picks the dialect (bit 0), the rest is the command
// string, handed over in a heap block of exactly its length plus the NUL so
// that AddressSanitizer sees any read past it; the parser's own reading is
// bounded by its 128-byte work buffer on the stack.  Checked: the result is
// one of the parser's codes, the parse place is -1 unless a syntax error
// was reported and then lies within the string (or one past its end), the
// password is terminated inside its buffer, no bit outside the option flag
// word is set, and the caller's string is unchanged.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "frame/frame.h"
#include "qzunpack.h"

namespace {

const uint32_t kKnownBits = OPT_DIRS | OPT_STRIP_H | OPT_STRIP_S | OPT_STRIP_R | OPT_STRIP_N |
                            OPT_OVERWRITE | OPT_NO_OVERWRITE | OPT_TEST | OPT_FRESHEN |
                            OPT_NEWER | OPT_PASSWORD | OPT_LABEL | OPT_CLEAR_READONLY |
                            OPT_KEEP_DRIVE | OPT_VERSION_SAME | OPT_VERSION_NEWER |
                            OPT_LONG_NAMES | OPT_KEEP_READONLY | OPT_SKIP_LOCKED;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    Qz4SetParseType(data[0] & 1);
    ++data;
    --size;
    // The command string stops at the first NUL of the input.
    const size_t length = strnlen(reinterpret_cast<const char *>(data), size);
    char *command = static_cast<char *>(malloc(length + 1));
    memcpy(command, data, length);
    command[length] = '\0';
    char *before = static_cast<char *>(malloc(length + 1));
    memcpy(before, command, length + 1);

    char password[qz::frame::kPasswordBytes];
    memset(password, 'x', sizeof password);
    uint32_t flags = 0;
    const int16_t result = qz::frame::parse(command, &flags, password);
    const int16_t place = Qz4GetParsePlace();

    if (result != QZ_OK && result != QZ_ERR_SWITCH && result != QZ_ERR_SWITCH_CONFLICT &&
        result != QZ_TOO_LONG)
        abort();
    if ((result == QZ_TOO_LONG) != (length >= 128)) abort();
    if (result == QZ_ERR_SWITCH || result == QZ_ERR_SWITCH_CONFLICT) {
        if (place < 0 || static_cast<size_t>(place) > length + 1) abort();
    } else if (place != -1) {
        abort();
    }
    if (memchr(password, '\0', sizeof password) == nullptr) abort();
    if (flags & ~kKnownBits) abort();
    if (result == QZ_OK && (flags & (OPT_FRESHEN | OPT_NEWER)) &&
        (flags & (OPT_OVERWRITE | OPT_NO_OVERWRITE)))
        abort();
    if ((flags & OPT_PASSWORD) == 0 && password[0] != '\0') abort();
    if (memcmp(before, command, length + 1) != 0) abort();

    free(before);
    free(command);
    Qz4SetParseType(0);
    return 0;
}
