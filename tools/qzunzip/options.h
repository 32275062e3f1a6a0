// options.h -- the command line of qzunzip, the one unzip users know:
//
//   qzunzip [-options] ARCHIVE[.zip] [NAME ...] [-x NAME ...] [-d DIR]
//
// Options are single letters that combine ("-qo"); -P and -d take the next
// argument (or the rest of their own: "-Psecret", "-dout").  After the
// archive come names; -x starts the list of names to leave out, and -d DIR
// may stand anywhere.  "--" ends the options.  The library's own switches
// stay reachable through --switches "STRING" (handed over as it stands) and
// --contract (the extension mode off).
#ifndef QZUNZIP_OPTIONS_H
#define QZUNZIP_OPTIONS_H

#include <string>
#include <vector>

namespace qzunzip {

enum class Action { kExtract, kList, kVerboseList, kTest, kPipe, kComment, kHelp, kVersion };

// What to do with files that are there already.
enum class Existing {
    kAsk,       // ask on the terminal; keep the file without one
    kReplace,   // -o
    kKeep,      // -n
};

struct Options {
    Action action = Action::kExtract;
    Existing existing = Existing::kAsk;
    bool freshen = false;               // -f: only files that are there, when the entry is newer
    bool update = false;                // -u: new files, and those the entry is newer than
    bool junkPaths = false;             // -j
    bool foldCase = false;              // -C
    bool comment = false;               // -z with a listing
    int quiet = 0;                      // -q, -qq
    bool havePassword = false;          // -P
    std::string password;
    std::string archive;
    std::string destination;            // -d DIR; empty: the current directory
    std::vector<std::string> names;     // empty: every entry
    std::vector<std::string> excludes;  // -x
    bool contract = false;              // --contract
    bool haveSwitches = false;          // --switches
    std::string switches;
    std::string error;                  // a usage error, or empty
};

Options parseArguments(const std::vector<std::string> &args);

extern const char kUsage[];
extern const char kVersion[];

}  // namespace qzunzip

#endif
