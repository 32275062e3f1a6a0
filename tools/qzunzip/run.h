// run.h -- one invocation of qzunzip: open the archive, walk its directory,
// list it or extract from it, and turn the outcome into an exit status.
#ifndef QZUNZIP_RUN_H
#define QZUNZIP_RUN_H

#include <stdint.h>

#include "console.h"
#include "options.h"

namespace qzunzip {

enum ExitStatus {
    kExitOk = 0,
    kExitSkipped = 1,    // entries were skipped or left out, or none was selected
    kExitArchive = 2,    // the archive is damaged or cannot be read
    kExitSwitches = 3,   // bad switches or arguments
    kExitCancelled = 4,  // Ctrl-C, or a question answered with quit
    kExitSystem = 5,     // other failures of the system
};

// The exit status of a result code that ended an open or a run.
ExitStatus exitStatusOf(int16_t result);

int runQzunzip(const Options &options, const Terminal &terminal);

}  // namespace qzunzip

#endif
