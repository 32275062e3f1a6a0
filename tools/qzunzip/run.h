// run.h -- one invocation of qzunzip: open the archive, walk its directory,
// list, test or extract, and turn the outcome into unzip's exit status.
#ifndef QZUNZIP_RUN_H
#define QZUNZIP_RUN_H

#include <stdint.h>

#include "console.h"
#include "options.h"

namespace qzunzip {

enum ExitStatus {
    kExitOk = 0,
    kExitWarning = 1,         // some entries skipped, or names changed to stay inside
    kExitDamaged = 2,         // a damaged archive or entry (bad CRC)
    kExitSevere = 3,          // severe damage, or a failure of the system
    kExitNotFound = 9,        // the archive is not there, or is no ZIP archive
    kExitOptions = 10,        // bad options or switches
    kExitNoMatch = 11,        // a name matched no entry
    kExitOverlap = 12,        // entries overlap: a zip bomb
    kExitDiskFull = 50,
    kExitEndOfArchive = 51,
    kExitInterrupted = 80,
    kExitUnsupported = 81,    // every problem an unsupported method or encryption
    kExitPassword = 82,       // every problem a missing or incorrect password
};

// The exit status of a result code that ended an open or a run.
ExitStatus exitStatusOf(int16_t result);

int runQzunzip(const Options &options, const Terminal &terminal);

}  // namespace qzunzip

#endif
