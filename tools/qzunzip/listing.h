// listing.h -- qzunzip -v and -z: the entries of the central directory and
// the archive comment.
#ifndef QZUNZIP_LISTING_H
#define QZUNZIP_LISTING_H

#include <stdint.h>

#include <ostream>
#include <string>
#include <vector>

#include "entries.h"

namespace qzunzip {

// The method column: "Stored", "Defl:N" (normal, X maximum, F fast, S super
// fast), ..., with '*' after it for an encrypted entry.
std::string methodName(const QzEntryRecord &record);

// The MS-DOS attributes as six letters (r h s v d a) or dashes.  Entries made
// on other hosts come with attributes 0.
std::string attributeLetters(uint32_t attributes);

// One line per entry, then a total line.
void printListing(std::ostream &out, const std::vector<const ArchiveEntry *> &entries);

// The archive comment, read with Qz4ZipComment; 0 or its error (the
// warning -18 when the comment was cut).
int16_t printComment(std::ostream &out, QzHandle archive);

}  // namespace qzunzip

#endif
