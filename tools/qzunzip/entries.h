// entries.h -- what qzunzip learns from the central directory before it
// extracts: the entries, which of them the specifications select, and the
// include and exclude lists it hands to the library.
//
// Two kinds of entries are kept out of the library's run:
//
// - Directory entries (names ending in '/').  Writers on other hosts than
//   MS-DOS store Unix modes in the external attributes, which the
//   enumeration reports as 0, so the library would take "docs/" for a file
//   and fail to create it.  qzunzip creates these directories itself (with
//   -d).  An exclusion cannot name them alone: a pattern that fits the
//   empty name part of "docs/" is "*" at heart and so reaches into every
//   directory below.  Instead every include pattern that fits the empty
//   name gets a '?' in front ("*.*" becomes "?*.*"), which fits the same
//   names except the empty one.
// - Entries whose names would leave the destination: a ".." component, or
//   with -.d a drive or root prefix.  They are left out with a warning by
//   exact exclusions (their names, without wildcards).
//
// Names are in the library's ANSI code page with '/' between components,
// as the enumeration hands them out.
#ifndef QZUNZIP_ENTRIES_H
#define QZUNZIP_ENTRIES_H

#include <stdint.h>

#include <string>
#include <vector>

#include "qzunpack.h"
#include "qzunpack_ext.h"

namespace qzunzip {

struct ArchiveEntry {
    std::string name;
    QzEntryRecord record;
    uint64_t size = 0, packed = 0;   // whole, also beyond the record's 32-bit fields
    bool isDirectory() const { return !name.empty() && name.back() == '/'; }
    bool encrypted() const { return (record.flags & 1) != 0; }
};

// Walks the central directory; 0, or the enumeration's error.
int16_t readDirectory(QzHandle archive, std::vector<ArchiveEntry> *entries);

// The specifications of one list (ANSI), and whether an entry fits them
// the way the library's selection does: a pattern with a wildcard reaches
// into the directories below its own, and an exclusion without a directory
// applies by name in every directory.
class Selection {
public:
    Selection(std::vector<std::string> includes, std::vector<std::string> excludes);
    bool selects(const std::string &name) const;

private:
    struct Spec {
        std::string dir;      // with its trailing '/', or empty
        std::string pattern;  // "*" when the specification names no file
    };
    static Spec split(const std::string &spec);
    static bool fits(const std::string &dir, const std::string &name, const Spec &s, bool exclusion);
    std::vector<Spec> includes_, excludes_;
};

// The length of a drive ("C:") or UNC ("//server/share") prefix of a name.
size_t drivePrefixLength(const std::string &name);

// True when the name would put a file outside the destination: a component
// of dots and blanks with two or more dots (Windows drops trailing dots and
// blanks, so ".. " and "..." count as ".."), or, when the drive is kept, a
// drive or root prefix.
bool leavesDestination(const std::string &name, bool keepDrive);

// A specification list of these specifications, quoted where needed.
std::string specList(const std::vector<std::string> &specs);

// The specification with a '?' in front of a pattern that fits the empty
// name ("*", "*.", "*.*" or none), so that it no longer selects directory
// entries; others are returned unchanged.
std::string withoutDirectoryEntries(const std::string &spec);

// What one extraction run needs.
struct Plan {
    std::string include;                   // for the library
    std::string exclude;                   // for the library
    std::vector<std::string> directories;  // directory entries to create (ANSI names)
    std::vector<std::string> unsafe;       // names left out as unsafe
    size_t selected = 0;                   // entries the specifications select
    size_t directoryEntries = 0;           // of them, safe directory entries
};

struct PlanRequest {
    std::vector<std::string> specs;     // ANSI; empty means *.*
    std::vector<std::string> excludes;  // ANSI
    bool dirs = false, test = false, keepDrive = false, unsafePaths = false;
};

Plan makePlan(const std::vector<ArchiveEntry> &entries, const PlanRequest &request);

// Creates the directory at destination + name (drive prefix of the name
// removed) and those above it; false when one could not be made.
bool makeDirectory(const std::string &destination, const std::string &name);

}  // namespace qzunzip

#endif
