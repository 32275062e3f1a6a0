// run.cpp -- the course of one invocation.
#include "run.h"

#include <string>
#include <vector>

#include "entries.h"
#include "listing.h"
#include "qzunpack_ext.h"
#include "text.h"

namespace qzunzip {

ExitStatus exitStatusOf(int16_t result) {
    switch (result) {
    case QZ_OK: return kExitOk;
    case QZ_SKIPPED:
    case QZ_NO_MORE_ENTRIES: return kExitSkipped;
    case QZ_ERR_SWITCH:
    case QZ_ERR_SWITCH_CONFLICT: return kExitSwitches;
    case QZ_CANCELLED: return kExitCancelled;
    case QZ_ERR_LAYOUT:
    case QZ_ERR_NOT_ZIP:
    case QZ_ERR_METHOD:
    case QZ_ERR_READ:
    case QZ_TOO_LONG:
    case QZ_ERR_NOT_LOCATED:
    case QZ_ERR_NAME: return kExitArchive;
    default: return kExitSystem;
    }
}

namespace {

class Invocation {
public:
    Invocation(const Options &o, const Terminal &t) : o_(o), t_(t), console_(t, o.quiet) {}
    int run();

private:
    int fail(const std::string &what, int16_t result, ExitStatus status);
    bool toAnsi(const std::string &host, std::string *ansi, const char *what);
    int list(QzHandle archive, const std::vector<ArchiveEntry> &entries);
    int extract(QzHandle &archive, const std::vector<ArchiveEntry> &entries);
    int badSwitches(const std::string &command, int16_t result);

    const Options &o_;
    const Terminal &t_;
    Console console_;
    std::string archive_, destination_;
    std::vector<std::string> specs_, excludes_;
};

int Invocation::fail(const std::string &what, int16_t result, ExitStatus status) {
    console_.endLine();
    *t_.err << "qzunzip: " << o_.archive << ": " << what << " (" << resultName(result) << ")\n";
    return status;
}

bool Invocation::toAnsi(const std::string &host, std::string *ansi, const char *what) {
    if (ansiFromHost(host, ansi))
        return true;
    *t_.err << "qzunzip: warning: " << what << " " << host
            << " has characters outside the ANSI code page; they were taken as '?'\n";
    return false;
}

int Invocation::run() {
    if (o_.help) {
        *t_.out << kUsage;
        return kExitOk;
    }
    if (!o_.error.empty()) {
        *t_.err << "qzunzip: " << o_.error << "\n" << "usage: qzunzip [switches] ARCHIVE [DESTDIR/] [SPEC ...]"
                << " (qzunzip --help for more)\n";
        return kExitSwitches;
    }
    toAnsi(o_.archive, &archive_, "archive name");
    toAnsi(o_.destination, &destination_, "destination");
    for (const std::string &s : o_.specs) {
        specs_.emplace_back();
        toAnsi(s, &specs_.back(), "specification");
    }
    for (const std::string &s : o_.excludes) {
        excludes_.emplace_back();
        toAnsi(s, &excludes_.back(), "specification");
    }

    PrintHook hook(console_);
    QzHandle archive = QZ_INVALID_HANDLE;
    int16_t r = Qz4ZipOpen(archive_.c_str(), 0, &archive);
    if (r != QZ_OK)
        return fail("cannot open the archive", r, r == QZ_ERR_FILE ? kExitArchive : exitStatusOf(r));

    std::vector<ArchiveEntry> entries;
    int status;
    r = readDirectory(archive, &entries);
    if (r != QZ_OK)
        status = fail("cannot read the central directory", r, kExitArchive);
    else if (o_.list || o_.comment)
        status = list(archive, entries);
    else
        status = extract(archive, entries);
    Qz4ZipClose(&archive);
    return status;
}

int Invocation::list(QzHandle archive, const std::vector<ArchiveEntry> &entries) {
    if (o_.comment) {
        int16_t r = printComment(*t_.out, archive);
        if (r != QZ_OK && r != QZ_TOO_LONG)
            return fail("cannot read the archive comment", r, kExitArchive);
    }
    if (o_.list) {
        std::vector<std::string> includes = specs_;
        if (includes.empty())
            includes.push_back("*.*");
        Selection selection(includes, excludes_);
        std::vector<const ArchiveEntry *> shown;
        for (const ArchiveEntry &e : entries)
            if (selection.selects(e.name))
                shown.push_back(&e);
        printListing(*t_.out, shown);
    }
    return kExitOk;
}

int Invocation::badSwitches(const std::string &command, int16_t result) {
    console_.endLine();
    *t_.err << "qzunzip: bad switches (" << resultName(result) << ")\n  " << command << "\n";
    const int16_t place = Qz4GetParsePlace();
    if (place >= 0)
        *t_.err << "  " << std::string((size_t)place, ' ') << "^\n";
    return kExitSwitches;
}

int Invocation::extract(QzHandle &archive, const std::vector<ArchiveEntry> &entries) {
    const std::string command = commandString(o_);
    const SwitchesSeen seen = scanSwitches(command);
    PlanRequest request;
    request.specs = specs_;
    request.excludes = excludes_;
    request.dirs = seen.dirs;
    request.test = seen.test;
    request.keepDrive = seen.keepDrive;
    request.unsafePaths = o_.unsafePaths;
    const Plan plan = makePlan(entries, request);
    for (const std::string &name : plan.unsafe)
        *t_.err << "qzunzip: warning: " << hostFromAnsi(name)
                << ": the name leaves the destination, left out (--unsafe-paths extracts it)\n";

    // The library makes the directories of entry names (-d), not the
    // destination itself.
    if (!seen.test && !destination_.empty() && !makeDirectory(destination_, "")) {
        *t_.err << "qzunzip: " << o_.destination << ": the destination cannot be created\n";
        return kExitSystem;
    }

    int16_t r = Qz4UnZip(&archive, destination_.empty() ? nullptr : destination_.c_str(), nullptr,
                         plan.include.c_str(), plan.exclude.empty() ? nullptr : plan.exclude.c_str(),
                         command.c_str());
    console_.endLine();

    // The library has taken the command string and done its part: the
    // directory entries it was not given come now.
    unsigned failedDirs = 0;
    if (r == QZ_OK || r == QZ_SKIPPED || r == QZ_NO_MORE_ENTRIES) {
        for (const std::string &name : plan.directories) {
            if (!makeDirectory(destination_, name)) {
                *t_.err << "qzunzip: warning: " << hostFromAnsi(name) << ": the directory cannot be created\n";
                ++failedDirs;
            } else if (!o_.quiet) {
                *t_.out << "   creating: " << hostFromAnsi(destination_ + name) << "\n";
            }
        }
        // An archive of directories alone: nothing was left for the
        // library, but with -d or -t the directories count as done.
        if (r == QZ_NO_MORE_ENTRIES && plan.directoryEntries > 0 && (seen.dirs || seen.test))
            r = QZ_OK;
    }

    switch (r) {
    case QZ_OK: {
        // Entries the library passed over after a message without recording
        // a problem (an unknown method), and those qzunzip left out itself.
        const size_t skipped = plan.unsafe.size() + failedDirs + console_.warnings();
        if (skipped > 0) {
            *t_.err << "qzunzip: " << o_.archive << ": " << skipped << (skipped == 1 ? " entry" : " entries")
                    << " left out or skipped\n";
            return kExitSkipped;
        }
        if (seen.test && !o_.quiet)
            *t_.out << "No errors detected in " << o_.archive << "\n";
        return kExitOk;
    }
    case QZ_SKIPPED:
        *t_.err << "qzunzip: " << o_.archive << ": some entries were skipped (" << resultName(r)
                << "; last problem: " << resultName(Qz4MoreStatus()) << ")\n";
        return kExitSkipped;
    case QZ_NO_MORE_ENTRIES: return fail("no entry selected", r, kExitSkipped);
    case QZ_ERR_SWITCH:
    case QZ_ERR_SWITCH_CONFLICT: return badSwitches(command, r);
    case QZ_TOO_LONG:
        // From the parser only when the command string is that long; else
        // an entry's extra field or comment is longer than the library reads.
        if (command.size() >= 128)
            return badSwitches(command, r);
        return fail("extraction stopped", r, kExitArchive);
    case QZ_CANCELLED: return fail("cancelled", r, kExitCancelled);
    default: return fail("extraction stopped", r, exitStatusOf(r));
    }
}

}  // namespace

int runQzunzip(const Options &options, const Terminal &terminal) {
    // Archives are read as today's writers make them: UTF-8 names, today's
    // password check, problems kept to their entry, POSIX names and modes;
    // --contract keeps the DOS-era rules instead.
    QzSetExtensions(options.contract ? 0 : QZ_EXT_ALL);
    Invocation invocation(options, terminal);
    return invocation.run();
}

}  // namespace qzunzip
