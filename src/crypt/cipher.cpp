// cipher.cpp -- the traditional PKWARE stream cipher and the generator of
// the encryption header.
//
// There is one key state, shared by the exports and the decoders; it is
// advanced with every plaintext byte, so encryption and decryption leave the
// same keys behind.
#include "crypt/crypt.h"

#include "platform/win32.h"
#include "qzunpack.h"

namespace qz {
namespace crypt {

namespace {

struct Keys {
    uint32_t k0, k1, k2;
};

Keys keys;   // all zero until the first initKeys

// The loops work on a copy of the keys in locals: written through the
// caller's byte pointer, the static keys would otherwise have to be stored
// and reloaded around every byte (a byte store may alias anything).
inline void update(Keys &k, uint8_t plain) {
    k.k0 = (k.k0 >> 8) ^ kCrcTable[(k.k0 ^ plain) & 0xFF];
    k.k1 = (k.k1 + (k.k0 & 0xFF)) * 134775813u + 1;
    k.k2 = (k.k2 >> 8) ^ kCrcTable[(k.k2 ^ (k.k1 >> 24)) & 0xFF];
}

inline uint8_t keystream(const Keys &k) {
    uint16_t t = (uint16_t)(k.k2 | 2);
    return (uint8_t)(((uint32_t)t * (uint32_t)(t ^ 1)) >> 8);
}

}  // namespace

void initKeys(const uint8_t *password, size_t len) {
    Keys k = {0x12345678u, 0x23456789u, 0x34567890u};
    for (size_t i = 0; i < len; i++)
        update(k, password[i]);
    keys = k;
}

void decrypt(uint8_t *data, size_t len) {
    Keys k = keys;
    for (size_t i = 0; i < len; i++) {
        uint8_t plain = data[i] ^ keystream(k);
        data[i] = plain;
        update(k, plain);
    }
    keys = k;
}

void encrypt(uint8_t *data, size_t len) {
    Keys k = keys;
    for (size_t i = 0; i < len; i++) {
        uint8_t plain = data[i];
        data[i] = plain ^ keystream(k);
        update(k, plain);
    }
    keys = k;
}

}  // namespace crypt
}  // namespace qz

// Only the low 16 bits of the length count.
QZ_API(void) QzInitKeys(const void *password, uint32_t length) {
    qz::crypt::initKeys(static_cast<const uint8_t *>(password), length & 0xFFFFu);
}

QZ_API(void) QzEncryptData(void *buffer, uint32_t count) {
    qz::crypt::encrypt(static_cast<uint8_t *>(buffer), count);
}

QZ_API(void) QzDecryptData(void *buffer, uint32_t count) {
    qz::crypt::decrypt(static_cast<uint8_t *>(buffer), count);
}

// Ten bytes of a small generator seeded from the clock's milliseconds, then
// the two high bytes of the CRC; byte 11 is what a reader checks.  The
// header stays plain text: the caller enciphers it.
QZ_API(void) QzInitHeader(uint8_t *header, uint32_t crc) {
    SYSTEMTIME now;
    GetSystemTime(&now);
    uint32_t seed = (uint16_t)(now.wMilliseconds ^ 0xFFFFu);
    for (int i = 0; i < 10; i++) {
        seed = (seed * 1255u + 6173u) % 29282u;
        header[i] = (uint8_t)seed;
    }
    header[10] = (uint8_t)(crc >> 16);
    header[11] = (uint8_t)(crc >> 24);
}
