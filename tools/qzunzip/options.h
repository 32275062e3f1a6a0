// options.h -- the command line of qzunzip.
//
//   qzunzip [switches] ARCHIVE [DESTDIR/] [SPEC ...]
//
// Arguments that begin with '-' are switches, wherever they stand, up to a
// lone "--".  qzunzip keeps its own (-v, -z, -x SPEC, -q, --help,
// --unsafe-paths, --contract); every other switch belongs to the library and goes, in
// the order given, into the command string of the extraction.  The first
// argument after the archive that ends with a separator ('/', '\', or ':'
// on Windows) is the destination; every other one is a specification.
#ifndef QZUNZIP_OPTIONS_H
#define QZUNZIP_OPTIONS_H

#include <string>
#include <vector>

namespace qzunzip {

struct Options {
    std::vector<std::string> switches;  // the library's, as typed
    std::vector<std::string> excludes;  // -x SPEC
    std::vector<std::string> specs;     // empty: every entry
    std::string archive;
    std::string destination;            // empty: the current directory
    bool list = false;                  // -v
    bool comment = false;               // -z
    bool quiet = false;                 // -q
    bool unsafePaths = false;           // --unsafe-paths
    bool contract = false;              // --contract: the extension mode stays off
    bool help = false;                  // --help
    std::string error;                  // a usage error, or empty
};

Options parseArguments(const std::vector<std::string> &args);

// The library switches joined into one command string.
std::string commandString(const Options &options);

// The switches of a command string that qzunzip acts on itself.  The
// library remains the judge of the syntax; a string it refuses ends the run
// before anything is done with these.
struct SwitchesSeen {
    bool dirs = false;       // -d
    bool test = false;       // -t
    bool keepDrive = false;  // -.d
};
SwitchesSeen scanSwitches(const std::string &command);

extern const char kUsage[];

}  // namespace qzunzip

#endif
