// crypt.h -- CRC-32 and the traditional PKWARE cipher, as the library uses them.
//
// There is one key state in the library.  The exported cipher functions, the
// password check and the decryption inside the decoders all advance it, so
// only one encrypted stream can be processed at a time.
#ifndef QZ_CRYPT_CRYPT_H
#define QZ_CRYPT_CRYPT_H

#include <stddef.h>
#include <stdint.h>

namespace qz {
namespace crypt {

// The reflected CRC-32 table (polynomial 0xEDB88320), constant data.
extern const uint32_t kCrcTable[256];

// Continues the CRC register over len bytes; no preset, no final inversion.
uint32_t crc32(const uint8_t *data, size_t len, uint32_t crc);

// The same by the byte tables alone, whatever the processor offers (crc32
// folds long runs with carry-less multiplication where it can); for tests.
uint32_t crc32Portable(const uint8_t *data, size_t len, uint32_t crc);

// Sets the initial keys and feeds the password bytes to them.
void initKeys(const uint8_t *password, size_t len);

// Deciphers (or enciphers) len bytes in place, advancing the key state.
void decrypt(uint8_t *data, size_t len);
void encrypt(uint8_t *data, size_t len);

// The 12-byte encryption header of an entry in front of its data.
enum { kHeaderBytes = 12 };

}  // namespace crypt
}  // namespace qz

#endif
