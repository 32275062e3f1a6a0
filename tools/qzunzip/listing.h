// listing.h -- qzunzip -l, -v and -z: the entries of the central directory
// and the archive comment, in unzip's columns.
#ifndef QZUNZIP_LISTING_H
#define QZUNZIP_LISTING_H

#include <stdint.h>

#include <ostream>
#include <string>
#include <vector>

#include "entries.h"

namespace qzunzip {

// The method column: "Stored", "Defl:N" (normal, X maximum, F fast, S super
// fast), "BZip2", ..., "Unk:NNN".
std::string methodName(const QzEntryRecord &record);

// One line per entry, then the totals: length, date, time and name, and
// verbosely also method, packed size, ratio and CRC.
void printListing(std::ostream &out, const std::vector<const ArchiveEntry *> &entries, bool verbose);

// The archive comment, read with Qz4ZipComment; 0 or its error (the
// warning -18 when the comment was cut).
int16_t printComment(std::ostream &out, QzHandle archive);

}  // namespace qzunzip

#endif
