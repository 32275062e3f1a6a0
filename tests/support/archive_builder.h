// archive_builder.h -- writes the archives the tests read, byte by byte: plain
// ZIP archives, self-extracting files, QZVW archives and volume sets, spanned
// sets and directory-first volumes.  Deflated data comes from an encoder of
// its own (fixed Huffman codes, greedy matches), so no suite needs zlib.
// Encryption uses the library's cipher over a fixed encryption header, so
// that every wrong password fails the check byte.  Names are stored as given.
#ifndef QZ_TEST_ARCHIVE_BUILDER_H
#define QZ_TEST_ARCHIVE_BUILDER_H

#include <stdint.h>

#include <string>
#include <vector>

namespace qztest {

// CRC-32 of the ZIP format, computed here as an independent reference.
uint32_t crc32(const std::string &data);
// One extra-field block: id, 16-bit size, data; the extended-name block ("TH", "Vw" and the name).
std::string extraBlock(uint16_t id, const std::string &data);
std::string extendedNameBlock(const std::string &name);

struct Entry {
    std::string name;                // stored name (OEM bytes, '\' allowed)
    std::string data;                // uncompressed content
    uint16_t method = 0;             // 8 deflated; any other: data stored raw under that id
    std::string password;            // non-empty: encrypted with the traditional cipher
    std::string extra;               // extra field, in both headers
    std::string comment;
    uint16_t flags = 0;              // general-purpose flags (bit 0 follows the password)
    uint8_t host = 0;                // high byte of "version made by"
    uint32_t externalAttributes = 0x20;
    uint16_t dosTime = 0x6C21;       // 13:33:02
    uint16_t dosDate = 0x5A8F;       // 2025-04-15
    bool overrideCrc = false;        // store crc instead of the data's CRC
    uint32_t crc = 0;
    bool overrideHeaderCrc = false;  // end the encryption header with headerCrc's high bytes
    uint32_t headerCrc = 0;

    Entry() = default;
    Entry(std::string n, std::string d, uint16_t m = 0) : name(std::move(n)), data(std::move(d)), method(m) {}
};

// An entry's local header with its data, and its central header (disk 0, offset 0).
struct WrittenEntry {
    std::string local, central;
};
WrittenEntry writeEntry(const Entry &e);

std::string endRecord(uint16_t thisDisk, uint16_t dirDisk, uint16_t entriesHere, uint16_t entriesTotal,
                      uint32_t dirSize, uint32_t dirOffset, const std::string &comment);

// The archive comment, bytes in front of the first local header (offsets
// count them), bytes after the end record and its comment.
std::string buildZip(const std::vector<Entry> &entries, const std::string &comment = "",
                     const std::string &prefix = "", const std::string &trailer = "");
// A 64-byte "MZ" stub (with "PKLITE" at offset 30) in front of the archive.
std::string buildSfx(const std::vector<Entry> &entries, bool pklite, const std::string &comment = "");
// QZVW of kind 1, 2 or 3: the 12-byte header, the fixed records, the variable
// parts, then the entries (disk number start 1).  A set: volume k holds the
// entries of perVolume[k-1], volume 1 also the header and the directory.
std::vector<std::string> buildQzvwSet(uint16_t kind, const std::vector<std::vector<Entry>> &perVolume);
inline std::string buildQzvw(uint16_t kind, const std::vector<Entry> &entries) {
    return buildQzvwSet(kind, {entries})[0];
}
// A spanned set: marker, entries and directory cut into volumes of volumeSize
// bytes, the end record added to the last one (a comment moves it from the
// last 22 bytes, and the set can no longer be opened).
std::vector<std::string> buildSpanned(const std::vector<Entry> &entries, uint32_t volumeSize,
                                      const std::string &comment = "");
// The central directory at offset 0, then the entries and the end record.
std::string buildDirFirst(const std::vector<Entry> &entries, const std::string &comment = "");

bool writeFile(const std::string &path, const std::string &bytes);
std::string readFile(const std::string &path);

}  // namespace qztest

#endif
