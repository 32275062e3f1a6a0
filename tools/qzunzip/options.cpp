// options.cpp -- reading the command line.
#include "options.h"

#include <ctype.h>

namespace qzunzip {

const char kUsage[] =
    "usage: qzunzip [switches] ARCHIVE [DESTDIR/] [SPEC ...]\n"
    "\n"
    "Extracts, tests or lists the entries of ARCHIVE that the specifications\n"
    "select (default *.*; a wildcard pattern reaches into subdirectories).\n"
    "DESTDIR must end with '/' to be taken as the destination.\n"
    "\n"
    "Extraction switches (passed to the library):\n"
    "  -d          keep the directories of entry names and create them\n"
    "  -o / -o-    overwrite existing files without asking / never\n"
    "  -n          extract new files, and existing ones only if newer\n"
    "  -f          freshen: only existing files, and only if newer\n"
    "  -t          test the entries (decode and check the CRC), write nothing\n"
    "  -s:PASSWORD:  the password, between two equal delimiters\n"
    "  -jHRSN      do not restore the hidden, read-only, system, 0x80 attributes\n"
    "  -$          restore volume labels\n"
    "  -r+ / -r-   make read-only files writable before replacing / never replace them\n"
    "  -.d         keep drive prefixes of entry names\n"
    "  -.l         take long names from the extended-name block\n"
    "  -.v / -.ve  replace a file when the entry's file version is newer / not older\n"
    "  -.o         skip files that can be neither removed nor replaced\n"
    "\n"
    "qzunzip's own options:\n"
    "  -v          list the entries (an '*' after the method: encrypted)\n"
    "  -z          print the archive comment\n"
    "  -x SPEC     leave out the entries SPEC selects (may be repeated)\n"
    "  -q          quiet: only warnings and errors\n"
    "  --unsafe-paths  also extract entries whose names leave the destination\n"
    "  --contract  read the archive as the DOS-era contract says (no extension mode)\n"
    "  --help      this text\n"
    "\n"
    "Exit status: 0 success, 1 entries skipped, 2 damaged or unreadable archive,\n"
    "3 bad switches, 4 cancelled, 5 other system errors.\n";

namespace {

bool isOwn(const std::string &arg, char letter) {
    return arg.size() == 2 && tolower((unsigned char)arg[1]) == letter;
}

bool endsWithSeparator(const std::string &arg) {
    if (arg.empty())
        return false;
    char last = arg.back();
#ifdef _WIN32
    return last == '/' || last == '\\' || last == ':';
#else
    return last == '/' || last == '\\';
#endif
}

}  // namespace

Options parseArguments(const std::vector<std::string> &args) {
    Options o;
    std::vector<std::string> positional;
    bool switchesEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (switchesEnd || a.size() < 2 || a[0] != '-') {
            positional.push_back(a);
        } else if (a == "--") {
            switchesEnd = true;
        } else if (a == "--help") {
            o.help = true;
        } else if (a == "--unsafe-paths") {
            o.unsafePaths = true;
        } else if (a == "--contract") {
            o.contract = true;
        } else if (a.compare(0, 2, "--") == 0) {
            o.error = "unknown option " + a;
        } else if (isOwn(a, 'v')) {
            o.list = true;
        } else if (isOwn(a, 'z')) {
            o.comment = true;
        } else if (isOwn(a, 'q')) {
            o.quiet = true;
        } else if (isOwn(a, 'x')) {
            if (i + 1 == args.size())
                o.error = "-x needs a specification";
            else
                o.excludes.push_back(args[++i]);
        } else {
            o.switches.push_back(a);
        }
    }
    if (o.help)
        return o;
    if (positional.empty()) {
        if (o.error.empty())
            o.error = "no archive given";
        return o;
    }
    o.archive = positional[0];
    for (size_t i = 1; i < positional.size(); ++i) {
        if (i == 1 && endsWithSeparator(positional[i]))
            o.destination = positional[i];
        else
            o.specs.push_back(positional[i]);
    }
    return o;
}

std::string commandString(const Options &options) {
    std::string s;
    for (const std::string &sw : options.switches) {
        if (!s.empty())
            s += ' ';
        s += sw;
    }
    return s;
}

SwitchesSeen scanSwitches(const std::string &command) {
    SwitchesSeen seen;
    const size_t n = command.size();
    size_t i = 0;
    auto upper = [&](size_t k) { return k < n ? (char)toupper((unsigned char)command[k]) : '\0'; };
    while (i < n) {
        if (command[i] != '-' && command[i] != '/') {
            ++i;
            continue;
        }
        const char letter = upper(i + 1);
        i += 2;
        switch (letter) {
        case 'D': seen.dirs = true; break;
        case 'T': seen.test = true; break;
        case '.':
            if (upper(i) == 'D')
                seen.keepDrive = true;
            if (upper(i) == 'V' && upper(i + 1) == 'E')
                ++i;
            ++i;
            break;
        case 'S': {
            // The password runs to the next copy of its delimiter; a "-d"
            // inside it is no switch.
            size_t close = i < n ? command.find(command[i], i + 1) : std::string::npos;
            i = close == std::string::npos ? n : close + 1;
            break;
        }
        case 'J':
            while (i < n && command[i] != ' ')
                ++i;
            break;
        case 'O':
        case 'R':
            if (i < n && (command[i] == '-' || command[i] == '+'))
                ++i;
            break;
        default: break;
        }
    }
    return seen;
}

}  // namespace qzunzip
