// entries.h -- what qzunzip learns from the central directory before it
// extracts: the entries, which of them the names select (as unzip matches
// them), the names made safe, archives whose entries overlap, and the
// directories it makes itself.
//
// Names are in the library's ANSI code page with '/' between components,
// as the enumeration hands them out.
#ifndef QZUNZIP_ENTRIES_H
#define QZUNZIP_ENTRIES_H

#include <stdint.h>

#include <set>
#include <string>
#include <vector>

#include "qzunpack.h"
#include "qzunpack_ext.h"

namespace qzunzip {

struct ArchiveEntry {
    std::string name;
    QzEntryRecord record;
    uint64_t size = 0, packed = 0;   // whole, also beyond the record's 32-bit fields
    uint64_t offset = 0;             // of the local header
    uint32_t disk = 0;
    bool isDirectory() const { return !name.empty() && name.back() == '/'; }
    bool encrypted() const { return (record.flags & 1) != 0; }
};

// Walks the central directory; 0, or the enumeration's error.
int16_t readDirectory(QzHandle archive, std::vector<ArchiveEntry> *entries);

// unzip's wildcards: '*' any run of characters ('/' included), '?' one
// character, "[a-z]" one of a set ("[!...]" or "[^...]" none of it), and
// '\' takes the next character as it is.
bool wildMatch(const char *name, const char *pattern, bool foldCase);

// The names and exclusions of the command line over the entry names.
class NameFilter {
public:
    NameFilter(std::vector<std::string> names, std::vector<std::string> excludes, bool foldCase);
    bool selects(const std::string &name);
    // The names that selected no entry so far.
    std::vector<std::string> unmatched() const;

private:
    std::vector<std::string> names_, excludes_;
    std::vector<bool> used_;
    bool foldCase_;
};

// The name with what would leave the destination taken out: a drive
// prefix, leading separators, and "." and ".." components.  `removed` says
// what was taken out, for the warning ("" when the name was safe).
std::string safeName(const std::string &name, std::string *removed);

// The names of two entries whose local headers and data overlap, joined by
// " and ", or "" when none do: an archive built to expand far beyond its
// size by pointing entries at the same data.
std::string overlappingEntries(const std::vector<ArchiveEntry> &entries);

// A specification list of these names, quoted where needed.
std::string specList(const std::vector<std::string> &specs);

// A destination as a prefix of paths: with a '/' at its end unless it is
// empty or ends in a separator or ':'.
std::string asFolder(std::string destination);

// Makes directories below a destination, each once: those known to be
// there are remembered, so a tree costs one mkdir per directory.
class DirectoryMaker {
public:
    explicit DirectoryMaker(std::string destination);
    // destination + name and the directories above it; false when one could
    // not be made.
    bool make(const std::string &name);
    // The path of a name below the destination.
    std::string path(const std::string &name) const;

private:
    std::string destination_;
    std::set<std::string> made_;
};

}  // namespace qzunzip

#endif
