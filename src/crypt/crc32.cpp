// crc32.cpp -- the ZIP CRC-32 (reflected polynomial 0xEDB88320).
//
// The register is continued as it is given: no preset and no final
// inversion, which are the caller's (start from 0xFFFFFFFF, complement the
// last result).  The table is constant data shared with the cipher.  Eight
// bytes are added per step with eight derived tables ("slicing"), and on
// x86 processors with carry-less multiplication 64 bytes per step by
// folding; all give the same register as the byte-at-a-time form.
#include "crypt/crypt.h"

// On 32-bit Windows a caller may declare the result as a 64-bit integer and
// read EDX:EAX; the export is therefore defined as returning a 64-bit value
// whose high half is zero.  The header's 32-bit declaration is kept out of
// the way for this file only.
#if defined(_WIN32) && defined(__i386__)
#define QzCrc32A QzCrc32A_declared
#include "qzunpack.h"
#undef QzCrc32A
#else
#include "qzunpack.h"
#endif

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace qz {
namespace crypt {

// The byte-at-a-time table: entry n is the register after shifting n right
// eight times, applying the polynomial whenever a 1 bit falls out.
constexpr uint32_t kCrcTable[256] = {
    0x00000000, 0x77073096, 0xEE0E612C, 0x990951BA, 0x076DC419, 0x706AF48F,
    0xE963A535, 0x9E6495A3, 0x0EDB8832, 0x79DCB8A4, 0xE0D5E91E, 0x97D2D988,
    0x09B64C2B, 0x7EB17CBD, 0xE7B82D07, 0x90BF1D91, 0x1DB71064, 0x6AB020F2,
    0xF3B97148, 0x84BE41DE, 0x1ADAD47D, 0x6DDDE4EB, 0xF4D4B551, 0x83D385C7,
    0x136C9856, 0x646BA8C0, 0xFD62F97A, 0x8A65C9EC, 0x14015C4F, 0x63066CD9,
    0xFA0F3D63, 0x8D080DF5, 0x3B6E20C8, 0x4C69105E, 0xD56041E4, 0xA2677172,
    0x3C03E4D1, 0x4B04D447, 0xD20D85FD, 0xA50AB56B, 0x35B5A8FA, 0x42B2986C,
    0xDBBBC9D6, 0xACBCF940, 0x32D86CE3, 0x45DF5C75, 0xDCD60DCF, 0xABD13D59,
    0x26D930AC, 0x51DE003A, 0xC8D75180, 0xBFD06116, 0x21B4F4B5, 0x56B3C423,
    0xCFBA9599, 0xB8BDA50F, 0x2802B89E, 0x5F058808, 0xC60CD9B2, 0xB10BE924,
    0x2F6F7C87, 0x58684C11, 0xC1611DAB, 0xB6662D3D, 0x76DC4190, 0x01DB7106,
    0x98D220BC, 0xEFD5102A, 0x71B18589, 0x06B6B51F, 0x9FBFE4A5, 0xE8B8D433,
    0x7807C9A2, 0x0F00F934, 0x9609A88E, 0xE10E9818, 0x7F6A0DBB, 0x086D3D2D,
    0x91646C97, 0xE6635C01, 0x6B6B51F4, 0x1C6C6162, 0x856530D8, 0xF262004E,
    0x6C0695ED, 0x1B01A57B, 0x8208F4C1, 0xF50FC457, 0x65B0D9C6, 0x12B7E950,
    0x8BBEB8EA, 0xFCB9887C, 0x62DD1DDF, 0x15DA2D49, 0x8CD37CF3, 0xFBD44C65,
    0x4DB26158, 0x3AB551CE, 0xA3BC0074, 0xD4BB30E2, 0x4ADFA541, 0x3DD895D7,
    0xA4D1C46D, 0xD3D6F4FB, 0x4369E96A, 0x346ED9FC, 0xAD678846, 0xDA60B8D0,
    0x44042D73, 0x33031DE5, 0xAA0A4C5F, 0xDD0D7CC9, 0x5005713C, 0x270241AA,
    0xBE0B1010, 0xC90C2086, 0x5768B525, 0x206F85B3, 0xB966D409, 0xCE61E49F,
    0x5EDEF90E, 0x29D9C998, 0xB0D09822, 0xC7D7A8B4, 0x59B33D17, 0x2EB40D81,
    0xB7BD5C3B, 0xC0BA6CAD, 0xEDB88320, 0x9ABFB3B6, 0x03B6E20C, 0x74B1D29A,
    0xEAD54739, 0x9DD277AF, 0x04DB2615, 0x73DC1683, 0xE3630B12, 0x94643B84,
    0x0D6D6A3E, 0x7A6A5AA8, 0xE40ECF0B, 0x9309FF9D, 0x0A00AE27, 0x7D079EB1,
    0xF00F9344, 0x8708A3D2, 0x1E01F268, 0x6906C2FE, 0xF762575D, 0x806567CB,
    0x196C3671, 0x6E6B06E7, 0xFED41B76, 0x89D32BE0, 0x10DA7A5A, 0x67DD4ACC,
    0xF9B9DF6F, 0x8EBEEFF9, 0x17B7BE43, 0x60B08ED5, 0xD6D6A3E8, 0xA1D1937E,
    0x38D8C2C4, 0x4FDFF252, 0xD1BB67F1, 0xA6BC5767, 0x3FB506DD, 0x48B2364B,
    0xD80D2BDA, 0xAF0A1B4C, 0x36034AF6, 0x41047A60, 0xDF60EFC3, 0xA867DF55,
    0x316E8EEF, 0x4669BE79, 0xCB61B38C, 0xBC66831A, 0x256FD2A0, 0x5268E236,
    0xCC0C7795, 0xBB0B4703, 0x220216B9, 0x5505262F, 0xC5BA3BBE, 0xB2BD0B28,
    0x2BB45A92, 0x5CB36A04, 0xC2D7FFA7, 0xB5D0CF31, 0x2CD99E8B, 0x5BDEAE1D,
    0x9B64C2B0, 0xEC63F226, 0x756AA39C, 0x026D930A, 0x9C0906A9, 0xEB0E363F,
    0x72076785, 0x05005713, 0x95BF4A82, 0xE2B87A14, 0x7BB12BAE, 0x0CB61B38,
    0x92D28E9B, 0xE5D5BE0D, 0x7CDCEFB7, 0x0BDBDF21, 0x86D3D2D4, 0xF1D4E242,
    0x68DDB3F8, 0x1FDA836E, 0x81BE16CD, 0xF6B9265B, 0x6FB077E1, 0x18B74777,
    0x88085AE6, 0xFF0F6A70, 0x66063BCA, 0x11010B5C, 0x8F659EFF, 0xF862AE69,
    0x616BFFD3, 0x166CCF45, 0xA00AE278, 0xD70DD2EE, 0x4E048354, 0x3903B3C2,
    0xA7672661, 0xD06016F7, 0x4969474D, 0x3E6E77DB, 0xAED16A4A, 0xD9D65ADC,
    0x40DF0B66, 0x37D83BF0, 0xA9BCAE53, 0xDEBB9EC5, 0x47B2CF7F, 0x30B5FFE9,
    0xBDBDF21C, 0xCABAC28A, 0x53B39330, 0x24B4A3A6, 0xBAD03605, 0xCDD70693,
    0x54DE5729, 0x23D967BF, 0xB3667A2E, 0xC4614AB8, 0x5D681B02, 0x2A6F2B94,
    0xB40BBE37, 0xC30C8EA1, 0x5A05DF1B, 0x2D02EF8D,
};


namespace {

// --- the maths ------------------------------------------------------------------
//
// The register is a polynomial over GF(2) in reflected order (bit 0 is the
// highest power).  Adding one byte b is
//     crc = (crc >> 8) ^ kCrcTable[(crc ^ b) & 0xFF],
// the naive form (crcBytes below).  Its step is linear, so eight bytes can be
// added at once: XOR the first four into the register, then the register's
// four bytes and the next four data bytes each contribute, independently, the
// register that their byte value would leave after being followed by k zero
// bytes, where k is the number of bytes that come after it in the group of
// eight.  Table k holds that register for every byte value:
//     slice[0][n] = kCrcTable[n]
//     slice[k][n] = (slice[k-1][n] >> 8) ^ kCrcTable[slice[k-1][n] & 0xFF]
// (one more zero byte).  Eight lookups and XORs replace eight dependent byte
// steps.  The tables are computed by the compiler from kCrcTable.

struct Slices {
    uint32_t t[8][256];
    constexpr Slices() : t() {
        for (uint32_t n = 0; n < 256; ++n)
            t[0][n] = kCrcTable[n];
        for (uint32_t k = 1; k < 8; ++k)
            for (uint32_t n = 0; n < 256; ++n)
                t[k][n] = (t[k - 1][n] >> 8) ^ kCrcTable[t[k - 1][n] & 0xFF];
    }
};
constexpr Slices kSlices;

// The table is the reflected CRC-32 of polynomial 0xEDB88320, and the slices
// follow from it: checked here at compile time.
constexpr bool tableIsTheCrc() {
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t r = n;
        for (int i = 0; i < 8; ++i)
            r = (r >> 1) ^ (r & 1 ? 0xEDB88320u : 0);
        if (kCrcTable[n] != r)
            return false;
    }
    return true;
}
static_assert(tableIsTheCrc(), "kCrcTable must be the CRC-32 table");
static_assert(kSlices.t[1][1] == ((0x77073096u >> 8) ^ kCrcTable[0x96]), "slice 1 adds one zero byte");

inline uint32_t crcBytes(const uint8_t *p, size_t n, uint32_t crc) {
    while (n--)
        crc = (crc >> 8) ^ kCrcTable[(crc ^ *p++) & 0xFF];
    return crc;
}

inline uint32_t load32(const uint8_t *p) {
    // Little-endian by construction, whatever the machine.
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}


inline uint32_t crcSliced(const uint8_t *data, size_t len, uint32_t crc) {
    // Bytes one at a time up to an 8-byte boundary, then eight at a time,
    // then the rest.  (load32 compiles to a plain load on little-endian
    // machines.)
    while (len != 0 && (reinterpret_cast<uintptr_t>(data) & 7) != 0) {
        crc = (crc >> 8) ^ kCrcTable[(crc ^ *data++) & 0xFF];
        --len;
    }
    const auto &t = kSlices.t;
    while (len >= 8) {
        uint32_t lo = crc ^ load32(data);
        uint32_t hi = load32(data + 4);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        data += 8;
        len -= 8;
    }
    return crcBytes(data, len, crc);
}

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define QZ_CRC_CLMUL 1

// --- carry-less multiplication ----------------------------------------------------
//
// Processors with PCLMULQDQ multiply 64-bit polynomials over GF(2), which
// lets the CRC fold 16 bytes at a time instead of eating them.  A 16-byte
// lane, read as a little-endian 128-bit number, is the polynomial whose bit
// j is the coefficient of x^(127-j) (the message's first bit is its highest
// power, as for the register).  Its low 64 bits are a polynomial H times
// x^64, its high 64 bits a polynomial L, so moving the lane D bits further
// along the message (multiplying by x^D) gives, modulo P,
//     H * (x^(63+D) mod P) * x  +  L * (x^(D-1) mod P) * x.
// With both constants written as 64-bit numbers whose bit j is the
// coefficient of x^(63-j), the carry-less product of two such numbers has
// bit k for x^(126-k), which the factor x turns into the lane's own
// x^(127-k): so each half is one PCLMULQDQ, and the two products and the
// lane D bits later are simply XORed.  Folding never changes the remainder
// modulo P; at the end one lane is left, and the CRC (from register 0) of
// its 16 bytes is the CRC of everything folded into it.  The register to
// continue from is XORed into the first four bytes, as the byte step does.

// x^n mod P, P = x^32 + ... (0x104C11DB7, the unreflected polynomial), as
// a number whose bit m is the coefficient of x^m.
constexpr uint64_t powerModP(uint32_t n) {
    uint64_t r = 1;
    for (uint32_t i = 0; i < n; ++i) {
        r <<= 1;
        if (r & (uint64_t(1) << 32))
            r ^= 0x104C11DB7u;
    }
    return r;
}

// The same polynomial (degree below 32) with x^m at bit 63 - m.
constexpr uint64_t reflect64(uint64_t poly) {
    uint64_t r = 0;
    for (uint32_t m = 0; m < 32; ++m)
        if (poly & (uint64_t(1) << m))
            r |= uint64_t(1) << (63 - m);
    return r;
}

struct FoldConstants {
    uint64_t forH, forL;
};
constexpr FoldConstants foldConstants(uint32_t bits) {
    return {reflect64(powerModP(63 + bits)), reflect64(powerModP(bits - 1))};
}
constexpr FoldConstants kFold512 = foldConstants(512);  // four lanes ahead
constexpr FoldConstants kFold128 = foldConstants(128);  // the next lane

// The powers are taken modulo the polynomial of the byte table: x^32 mod P
// is P without its top term, and reflected it is the table's entry 128 (one
// 1 bit at the top of a byte, shifted out after eight steps).
static_assert(powerModP(32) == 0x04C11DB7u, "x^32 mod P");
static_assert((reflect64(powerModP(32)) >> 32) == kCrcTable[128], "the byte table's polynomial");

// Moves lane along by the distance of k's constants and adds next to it.
__attribute__((target("pclmul,sse2")))
inline __m128i fold(__m128i lane, __m128i k, __m128i next) {
    __m128i h = _mm_clmulepi64_si128(lane, k, 0x00);  // H (low half) times forH
    __m128i l = _mm_clmulepi64_si128(lane, k, 0x11);  // L (high half) times forL
    return _mm_xor_si128(_mm_xor_si128(h, l), next);
}

__attribute__((target("pclmul,sse2")))
uint32_t crcClmul(const uint8_t *data, size_t len, uint32_t crc) {
    // len >= 64
    const __m128i k512 = _mm_set_epi64x(static_cast<long long>(kFold512.forL), static_cast<long long>(kFold512.forH));
    const __m128i k128 = _mm_set_epi64x(static_cast<long long>(kFold128.forL), static_cast<long long>(kFold128.forH));
    const __m128i *p = reinterpret_cast<const __m128i *>(data);
    __m128i x0 = _mm_xor_si128(_mm_loadu_si128(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = _mm_loadu_si128(p + 1), x2 = _mm_loadu_si128(p + 2), x3 = _mm_loadu_si128(p + 3);
    p += 4;
    len -= 64;
    while (len >= 64) {
        x0 = fold(x0, k512, _mm_loadu_si128(p));
        x1 = fold(x1, k512, _mm_loadu_si128(p + 1));
        x2 = fold(x2, k512, _mm_loadu_si128(p + 2));
        x3 = fold(x3, k512, _mm_loadu_si128(p + 3));
        p += 4;
        len -= 64;
    }
    x0 = fold(x0, k128, x1);
    x0 = fold(x0, k128, x2);
    x0 = fold(x0, k128, x3);
    while (len >= 16) {
        x0 = fold(x0, k128, _mm_loadu_si128(p));
        ++p;
        len -= 16;
    }
    uint8_t lane[16];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(lane), x0);
    crc = crcSliced(lane, sizeof lane, 0);
    return crcSliced(reinterpret_cast<const uint8_t *>(p), len, crc);
}

bool haveClmul() {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    return (c & bit_PCLMUL) != 0 && (d & bit_SSE2) != 0;
}
#endif

}  // namespace

uint32_t crc32(const uint8_t *data, size_t len, uint32_t crc) {
#if defined(QZ_CRC_CLMUL)
    // Asked once; the answer does not change while the process runs.  A
    // plain word, not a guarded local static: the guard would tie the DLL
    // to a threads runtime, and two threads asking at once store the same.
    static int clmul = -1;
    if (len >= 256) {
        if (clmul < 0)
            clmul = haveClmul() ? 1 : 0;
        if (clmul)
            return crcClmul(data, len, crc);
    }
#endif
    return crcSliced(data, len, crc);
}

uint32_t crc32Portable(const uint8_t *data, size_t len, uint32_t crc) { return crcSliced(data, len, crc); }

}  // namespace crypt
}  // namespace qz

#if defined(_WIN32) && defined(__i386__)
QZ_API(uint64_t) QzCrc32A(const void *buffer, uint32_t length, uint32_t crc)
#else
QZ_API(uint32_t) QzCrc32A(const void *buffer, uint32_t length, uint32_t crc)
#endif
{
    if (length == 0)
        return crc;
    return qz::crypt::crc32(static_cast<const uint8_t *>(buffer), length, crc);
}
