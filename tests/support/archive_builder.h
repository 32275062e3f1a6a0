// archive_builder.h -- writes the archives the tests read, byte by byte:
// plain ZIP archives (stored and deflated entries, extra fields, comments,
// foreign hosts, encrypted entries), self-extracting files, QZVW archives
// and volume sets, spanned sets and directory-first volumes.
//
// Deflated data comes from a small encoder of the builder's own (fixed
// Huffman codes with greedy matches, or stored blocks), so the suites need
// no zlib.  Encryption uses the library's exported cipher (QzInitKeys,
// QzEncryptData) over a fixed encryption header.  All names are stored as
// given (OEM bytes).
#ifndef QZ_TEST_ARCHIVE_BUILDER_H
#define QZ_TEST_ARCHIVE_BUILDER_H

#include <stdint.h>

#include <string>
#include <vector>

namespace qztest {

// CRC-32 of the ZIP format (preset and final inversion), computed by the
// builder itself as an independent reference.
uint32_t crc32(const std::string &data);

// Raw Deflate streams.
enum class Deflate { Fixed, Stored };
std::string deflate(const std::string &data, Deflate mode = Deflate::Fixed);

// One extra-field block: id, 16-bit size, data.
std::string extraBlock(uint16_t id, const std::string &data);
// The extended-name block: id "TH", data "Vw" and the name.
std::string extendedNameBlock(const std::string &name);

struct Entry {
    std::string name;               // stored name (OEM bytes, '\' allowed)
    std::string data;               // uncompressed content
    uint16_t method = 0;            // 0 stored, 8 deflated; any other: data stored raw under that id
    Deflate deflateMode = Deflate::Fixed;
    uint16_t flags = 0;             // general-purpose flag (bit 0 is set by a password)
    std::string password;           // non-empty: encrypt with the traditional cipher
    std::string extra;              // central directory extra field
    bool localExtraSame = true;     // the local header repeats the extra field
    std::string localExtra;         // used when localExtraSame is false
    std::string comment;            // entry comment
    uint8_t host = 0;               // high byte of "version made by" (0 = MS-DOS)
    uint8_t madeByVersion = 20;
    uint16_t versionNeeded = 20;
    uint32_t externalAttributes = 0x20;
    uint16_t internalAttributes = 0;
    uint16_t dosTime = 0x6C21;      // 13:33:02
    uint16_t dosDate = 0x5A8F;      // 2025-04-15
    // Overrides of what the builder computes (for damaged archives).
    bool overrideCrc = false;
    uint32_t crc = 0;
    bool overrideHeaderCrc = false;  // the CRC whose high bytes end the header
    uint32_t headerCrc = 0;

    Entry() = default;
    Entry(std::string n, std::string d, uint16_t m = 0) : name(std::move(n)), data(std::move(d)), method(m) {}
};

// An entry written out: its local header and data, and its central header
// (whose disk number and offset the layout writers fill in).
struct WrittenEntry {
    std::string local;      // local header, name, local extra, (header), data
    std::string central;    // central header with name, extra and comment
    uint32_t crc;
    uint32_t compressedSize;
};
WrittenEntry writeEntry(const Entry &e);
// Patches disk number start and local header offset of a central header.
void setCentralPlace(std::string &central, uint16_t disk, uint32_t offset);

std::string endRecord(uint16_t thisDisk, uint16_t dirDisk, uint16_t entriesHere, uint16_t entriesTotal,
                      uint32_t dirSize, uint32_t dirOffset, const std::string &comment);

struct ZipOptions {
    std::string comment;            // archive comment (up to 65,535 bytes)
    std::string prefix;             // bytes in front of the first local header (offsets count them)
    std::string trailer;            // bytes after the end record and its comment
};

// A plain archive: locals, central directory, end record.
std::string buildZip(const std::vector<Entry> &entries, const ZipOptions &options = {});

// A self-extracting file: an "MZ" stub of 64 bytes (with "PKLITE" at offset
// 30 when pklite is set) followed by the archive; offsets count from the
// start of the executable.
std::string buildSfx(const std::vector<Entry> &entries, bool pklite, const std::string &comment = "");

// A QZVW archive of kind 1, 2 or 3 in one file: the 12-byte header, the
// fixed records, the variable parts, then the entries' local headers and
// data.  Disk number start is 1 (the volume) for every entry.
std::string buildQzvw(uint16_t kind, const std::vector<Entry> &entries);

// A numbered QZVW volume set (kind 1 or 2): volume 1 holds the header, the
// directory and the entries of perVolume[0]; volume k the entries of
// perVolume[k-1], each entry's disk number start being k.
std::vector<std::string> buildQzvwSet(uint16_t kind, const std::vector<std::vector<Entry>> &perVolume);

// A spanned set: the spanning marker, the entries and the central directory
// as one stream cut into volumes of volumeSize bytes; the end record (with
// the archive comment) is added to the last volume.  With a comment the
// end record no longer fills the last 22 bytes, and the set cannot be opened.
std::vector<std::string> buildSpanned(const std::vector<Entry> &entries, uint32_t volumeSize,
                                      const std::string &comment = "");

// A directory-first volume in one file: the central directory at offset 0,
// then the entries, then the end record and the comment.
std::string buildDirFirst(const std::vector<Entry> &entries, const std::string &comment = "");

// Writes bytes to a host path; false on failure.
bool writeFile(const std::string &path, const std::string &bytes);
std::string readFile(const std::string &path);

}  // namespace qztest

#endif
