// walk.cpp -- the walk over an archive's entries as both extraction paths
// make it, and the long-names choice an open archive keeps between runs.
#include "extract/extract.h"

namespace qz {
namespace extract {

void shareLongNames(archive::Archive *a, uint32_t *options) {
    if (*options & OPT_LONG_NAMES)
        a->flags |= archive::kFlagEffectiveNames;
    else if (a->flags & archive::kFlagEffectiveNames)
        *options |= OPT_LONG_NAMES;
}

int16_t walkEntries(archive::Archive *a, bool first, QzEntryRecord *record, char *name, void *extra,
                    char *comment) {
    // The extraction steps over an entry's headers by the stored name
    // length, so the walk keeps it even with effective names.
    archive::EntryBuffers out = {record, name, extra, kWorkBufferBytes, comment, kWorkBufferBytes};
    return archive::findEntry(a, first, out, true);
}

}  // namespace extract
}  // namespace qz
