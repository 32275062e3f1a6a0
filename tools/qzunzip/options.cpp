// options.cpp -- reading the command line.
#include "options.h"

namespace qzunzip {

const char kUsage[] =
    "usage: qzunzip [-options] ARCHIVE[.zip] [NAME ...] [-x NAME ...] [-d DIR]\n"
    "\n"
    "Extracts the entries of ARCHIVE (or ARCHIVE.zip) that the names select, all\n"
    "of them by default, keeping their directories.  Names match as in unzip:\n"
    "'*' (also across '/'), '?' and [...] are wildcards.\n"
    "\n"
    "  -l  list the entries (length, date, time, name)\n"
    "  -v  list verbosely (also method, packed size, ratio, CRC); alone, the version\n"
    "  -t  test the entries: decode them and check their CRC, write nothing\n"
    "  -p  extract to standard output, with no other output there\n"
    "  -z  print the archive comment\n"
    "  -o  overwrite existing files without asking\n"
    "  -n  never overwrite existing files\n"
    "  -f  freshen: only files that exist, when the entry is newer\n"
    "  -u  update: new files, and existing ones when the entry is newer\n"
    "  -j  junk paths: every file straight into the destination\n"
    "  -C  match names case-insensitively\n"
    "  -q  quieter (-qq: quieter still)\n"
    "  -P PASSWORD   the password of encrypted entries (else asked on the terminal)\n"
    "  -x NAME ...   leave out the entries these names select\n"
    "  -d DIR        extract into DIR, created when missing\n"
    "  -h, --help    this text;  --version  the version\n"
    "  --contract    read the archive as the DOS-era contract says (no extension mode)\n"
    "  --switches \"STRING\"  hand the library this command string as it stands\n"
    "\n"
    "Exit status: 0 success, 1 some entries skipped, 2 damaged archive, 3 severe\n"
    "damage, 9 archive not found, 10 bad options, 11 no matching names, 12 entries\n"
    "overlap (a zip bomb), 50 disk full, 51 unexpected end of archive,\n"
    "80 interrupted, 81 unsupported compression or encryption, 82 no correct password.\n";

const char kVersion[] = "qzunzip " QZUNZIP_VERSION " (QZUNPACK)\n";

namespace {

// Takes the value of -P or -d: the rest of the cluster, or the next argument.
bool takeValue(const std::vector<std::string> &args, size_t *i, size_t *k, std::string *value) {
    const std::string &a = args[*i];
    if (*k + 1 < a.size()) {
        *value = a.substr(*k + 1);
    } else if (*i + 1 < args.size()) {
        *value = args[++*i];
    } else {
        return false;
    }
    *k = a.size();
    return true;
}

void setAction(Options &o, Action a) {
    if (o.action != Action::kExtract && o.action != a)
        o.error = "choose one of -l, -v, -t, -p, -z";
    o.action = a;
}

}  // namespace

Options parseArguments(const std::vector<std::string> &args) {
    Options o;
    std::vector<std::string> positional;
    bool optionsEnd = false, excluding = false, zFlag = false;
    for (size_t i = 0; i < args.size() && o.error.empty(); ++i) {
        const std::string &a = args[i];
        if (optionsEnd || a.size() < 2 || a[0] != '-') {
            (excluding ? o.excludes : positional).push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
        } else if (a == "--help") {
            o.action = Action::kHelp;
        } else if (a == "--version") {
            o.action = Action::kVersion;
        } else if (a == "--contract") {
            o.contract = true;
        } else if (a == "--switches") {
            if (i + 1 == args.size())
                o.error = "--switches needs a command string";
            else
                o.switches = args[++i];
            o.haveSwitches = true;
        } else if (a[1] == '-') {
            o.error = "unknown option " + a;
        }
        for (size_t k = 1; a[1] != '-' && k < a.size() && o.error.empty(); ++k) {
            switch (a[k]) {
            case 'l': setAction(o, Action::kList); break;
            case 'v': setAction(o, Action::kVerboseList); break;
            case 't': setAction(o, Action::kTest); break;
            case 'p': setAction(o, Action::kPipe); break;
            case 'z': zFlag = true; break;
            case 'o': o.existing = Existing::kReplace; break;
            case 'n': o.existing = Existing::kKeep; break;
            case 'f': o.freshen = true; break;
            case 'u': o.update = true; break;
            case 'j': o.junkPaths = true; break;
            case 'C': o.foldCase = true; break;
            case 'q': ++o.quiet; break;
            case 'h': o.action = Action::kHelp; break;
            case 'x': excluding = true; break;
            case 'P':
                o.havePassword = takeValue(args, &i, &k, &o.password);
                if (!o.havePassword)
                    o.error = "-P needs a password";
                break;
            case 'd':
                if (!takeValue(args, &i, &k, &o.destination) || o.destination.empty())
                    o.error = "-d needs a directory";
                break;
            default: o.error = std::string("unknown option -") + a[k]; break;
            }
        }
    }
    if (zFlag) {
        if (o.action == Action::kList || o.action == Action::kVerboseList)
            o.comment = true;
        else
            setAction(o, Action::kComment);
    }
    // As unzip: -v alone tells the version.
    if (o.action == Action::kVerboseList && positional.empty() && o.error.empty())
        o.action = Action::kVersion;
    if (o.action == Action::kHelp || o.action == Action::kVersion || !o.error.empty())
        return o;
    if (o.freshen && o.update)
        o.error = "choose one of -f and -u";
    else if (positional.empty())
        o.error = "no archive given";
    else
        o.archive = positional[0];
    positional.erase(positional.begin(), positional.begin() + (positional.empty() ? 0 : 1));
    o.names = positional;
    return o;
}

}  // namespace qzunzip
