// run.cpp -- the course of one invocation.
#include "run.h"

#include <stdio.h>
#include <sys/stat.h>
#include <time.h>

#include <map>
#include <set>
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
    case QZ_SKIPPED: return kExitWarning;
    case QZ_NO_MORE_ENTRIES: return kExitNoMatch;
    case QZ_ERR_SWITCH:
    case QZ_ERR_SWITCH_CONFLICT: return kExitOptions;
    case QZ_CANCELLED: return kExitInterrupted;
    case QZ_ERR_NAME:
    case QZ_ERR_LAYOUT:
    case QZ_ERR_NOT_ZIP:
    case QZ_ERR_NOT_LOCATED: return kExitNotFound;
    case QZ_ERR_READ: return kExitEndOfArchive;
    case QZ_ERR_WRITE: return kExitDiskFull;
    case QZ_ERR_METHOD: return kExitUnsupported;
    case QZ_WRONG_PASSWORD:
    case QZ_BAD_PASSWORD: return kExitPassword;
    case QZ_CRC_MISMATCH:
    case QZ_TOO_LONG: return kExitDamaged;
    default: return kExitSevere;
    }
}

namespace {

const char kShortUsage[] = "usage: qzunzip [-options] ARCHIVE[.zip] [NAME ...] [-x NAME ...] [-d DIR]"
                           " (qzunzip -h for more)\n";

bool exists(const std::string &host) {
    struct stat st;
    return stat(host.c_str(), &st) == 0 && !(st.st_mode & S_IFDIR);
}

// Times in 64 bits everywhere: 32-bit Windows keeps time_t in 32 bits,
// which ends in 2038.
#ifdef _WIN32
typedef __time64_t Time;
typedef struct _stat64 Status;
int statusOf(const char *host, Status *st) {
    return _stat64(host, st);
}
Time localTime(struct tm *t) {
    return _mktime64(t);
}
#else
typedef time_t Time;
typedef struct stat Status;
int statusOf(const char *host, Status *st) {
    return stat(host, st);
}
Time localTime(struct tm *t) {
    return mktime(t);
}
#endif

bool modified(const std::string &host, Time *when) {
    Status st;
    if (statusOf(host.c_str(), &st) != 0)
        return false;
    *when = st.st_mtime;
    return true;
}

// The entry's DOS date and time as the local time they stand for.
Time entryTime(const QzEntryRecord &r) {
    struct tm t = {};
    t.tm_year = 80 + (r.dosDate >> 9);
    t.tm_mon = ((r.dosDate >> 5) & 15) - 1;
    t.tm_mday = r.dosDate & 31;
    t.tm_hour = r.dosTime >> 11;
    t.tm_min = (r.dosTime >> 5) & 63;
    t.tm_sec = (r.dosTime & 31) * 2;
    t.tm_isdst = -1;
    return localTime(&t);
}

std::string baseName(const std::string &name) {
    const size_t slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

// A displayed path with '/' between all components, as the print block's
// names are compared with those qzunzip makes ('\' on Windows).
std::string slashed(std::string path) {
    for (char &c : path)
        if (c == '\\')
            c = '/';
    return path;
}

// Names given on the command line, in the ANSI code page the library reads.
std::vector<std::string> ansiNames(const std::vector<std::string> &host) {
    std::vector<std::string> ansi(host.size());
    for (size_t i = 0; i < host.size(); ++i)
        ansiFromHost(host[i], &ansi[i]);
    return ansi;
}

// An entry under the traditional cipher (AES entries, method 99, are the
// library's to refuse).
bool needsPassword(const ArchiveEntry &e) {
    return e.encrypted() && e.record.method != 99;
}

std::string plural(uint64_t n, const char *one, const char *many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

class Invocation {
public:
    Invocation(const Options &o, const Terminal &t) : o_(o), t_(t), console_(t, o.quiet) {}
    int run();

private:
    int fail(const std::string &what, ExitStatus status);
    int withSwitches(QzHandle &archive);
    int list(QzHandle archive, const std::vector<const ArchiveEntry *> &selected);
    int process(QzHandle &archive, const std::vector<const ArchiveEntry *> &selected);
    bool askPassword(const std::string &name);
    std::string command(bool test) const;
    int16_t runLibrary(QzHandle &archive, const std::vector<const ArchiveEntry *> &files, bool test);
    void retryPasswords(QzHandle &archive, const std::vector<const ArchiveEntry *> &files, bool test);
    bool toMemory(QzHandle archive, const ArchiveEntry &e, const std::string &subject,
                  std::vector<char> *data);
    void extractRenamed(QzHandle archive, const ArchiveEntry &e, const std::string &name);
    void pipe(QzHandle archive, const ArchiveEntry &e);
    std::string shown(const ArchiveEntry &e) const;
    std::string target(const ArchiveEntry &e, bool test) const;
    std::map<std::string, const ArchiveEntry *> byTarget(const std::vector<const ArchiveEntry *> &files,
                                                         bool test) const;
    int finish(bool test, uint64_t directories);

    const Options &o_;
    const Terminal &t_;
    Console console_;
    std::string archive_, shownArchive_;
    std::string destination_;              // ANSI, with its trailing '/', or empty
    bool havePassword_ = false;
    std::string password_;
    std::vector<std::string> unmatched_;
    std::vector<const ArchiveEntry *> entriesOf_;   // every entry of the archive
    const std::vector<ArchiveEntry> *all_ = nullptr;
    unsigned warnings_ = 0;                // names changed to stay inside the destination
    uint64_t renamedFiles_ = 0, renamedBytes_ = 0;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

int Invocation::fail(const std::string &what, ExitStatus status) {
    console_.endLine();
    *t_.err << "qzunzip: " << what << "\n";
    return status;
}

int Invocation::run() {
    if (o_.action == Action::kHelp) {
        *t_.out << kUsage;
        return kExitOk;
    }
    if (o_.action == Action::kVersion) {
        *t_.out << kVersion;
        return kExitOk;
    }
    if (!o_.error.empty()) {
        *t_.err << "qzunzip: " << o_.error << "\n" << kShortUsage;
        return kExitOptions;
    }
    // The archive as named, else with ".zip" or ".ZIP" added.
    shownArchive_.clear();
    for (const char *suffix : {"", ".zip", ".ZIP"}) {
        if (exists(o_.archive + suffix)) {
            shownArchive_ = o_.archive + suffix;
            break;
        }
    }
    if (shownArchive_.empty())
        return fail("cannot find or open " + o_.archive + ", " + o_.archive + ".zip or " + o_.archive +
                        ".ZIP",
                    kExitNotFound);
    ansiFromHost(shownArchive_, &archive_);
    if (!o_.destination.empty()) {
        ansiFromHost(o_.destination, &destination_);
        destination_ = asFolder(destination_);
    }
    havePassword_ = o_.havePassword;
    password_ = o_.password;

    PrintHook hook(console_);
    QzHandle archive = QZ_INVALID_HANDLE;
    int16_t r = Qz4ZipOpen(archive_.c_str(), 0, &archive);
    if (r != QZ_OK)
        return fail(shownArchive_ + ": cannot open the archive: " + resultName(r), exitStatusOf(r));

    std::vector<ArchiveEntry> entries;
    int status;
    r = readDirectory(archive, &entries);
    all_ = &entries;
    for (const ArchiveEntry &e : entries)
        entriesOf_.push_back(&e);
    if (r != QZ_OK) {
        // As unzip: an archive whose directory cannot be read is no archive.
        status = fail(shownArchive_ + ": cannot read the central directory: " + resultName(r),
                      r == QZ_ERR_READ ? kExitNotFound : exitStatusOf(r));
    } else if (o_.haveSwitches) {
        status = withSwitches(archive);
    } else if (o_.action == Action::kComment) {
        r = printComment(*t_.out, archive);
        status = r == QZ_OK || r == QZ_TOO_LONG ? kExitOk : kExitDamaged;
    } else {
        NameFilter filter(ansiNames(o_.names), ansiNames(o_.excludes), o_.foldCase);
        std::vector<const ArchiveEntry *> selected;
        for (const ArchiveEntry &e : entries)
            if (filter.selects(e.name))
                selected.push_back(&e);
        unmatched_ = filter.unmatched();
        for (const std::string &n : unmatched_)
            *t_.err << "qzunzip: caution: no entry matches " << hostFromAnsi(n) << "\n";
        if (o_.action == Action::kList || o_.action == Action::kVerboseList)
            status = list(archive, selected);
        else
            status = process(archive, selected);
    }
    Qz4ZipClose(&archive);
    return status;
}

// ---- the library's own switches --------------------------------------------------

int Invocation::withSwitches(QzHandle &archive) {
    const std::vector<std::string> names = ansiNames(o_.names), excludes = ansiNames(o_.excludes);
    const std::string include = names.empty() ? "*.*" : specList(names);
    const std::string exclude = specList(excludes);
    if (!destination_.empty() && !DirectoryMaker(destination_).make(""))
        return fail(o_.destination + ": the destination cannot be created", kExitSevere);
    console_.start(0, 0, "extracting");
    const int16_t r = Qz4UnZip(&archive, destination_.empty() ? nullptr : destination_.c_str(), nullptr,
                               include.c_str(), exclude.empty() ? nullptr : exclude.c_str(),
                               o_.switches.c_str());
    console_.finishEntry();
    console_.endLine();
    const bool tooLong = r == QZ_TOO_LONG && o_.switches.size() >= 128;
    if (r == QZ_ERR_SWITCH || r == QZ_ERR_SWITCH_CONFLICT || tooLong) {
        *t_.err << "qzunzip: the library refuses the switches (" << resultName(r) << ")\n  " << o_.switches
                << "\n";
        const int16_t place = Qz4GetParsePlace();
        if (place >= 0)
            *t_.err << "  " << std::string((size_t)place, ' ') << "^\n";
        return kExitOptions;
    }
    if (r != QZ_OK)
        *t_.err << "qzunzip: " << shownArchive_ << ": " << resultName(r) << " (last problem: "
                << resultName(Qz4MoreStatus()) << ")\n";
    return exitStatusOf(r);
}

// ---- listing ------------------------------------------------------------------------

int Invocation::list(QzHandle archive, const std::vector<const ArchiveEntry *> &selected) {
    if (o_.quiet < 2)
        *t_.out << "Archive:  " << shownArchive_ << "\n";
    if (o_.comment && printComment(*t_.out, archive) != QZ_OK)
        return kExitDamaged;
    printListing(*t_.out, selected, o_.action == Action::kVerboseList);
    return unmatched_.empty() ? kExitOk : kExitNoMatch;
}

// ---- extraction, test and pipe ------------------------------------------------------

std::string Invocation::shown(const ArchiveEntry &e) const {
    return hostFromAnsi(e.name);
}

// The path the library reports for an entry it was given, '/' throughout.
std::string Invocation::target(const ArchiveEntry &e, bool test) const {
    return slashed(displayPath((test ? "" : destination_) + (o_.junkPaths ? baseName(e.name) : e.name)));
}

std::map<std::string, const ArchiveEntry *> Invocation::byTarget(const std::vector<const ArchiveEntry *> &files,
                                                                bool test) const {
    std::map<std::string, const ArchiveEntry *> found;
    for (const ArchiveEntry *e : files)
        found[target(*e, test)] = e;
    return found;
}

bool Invocation::askPassword(const std::string &name) {
    if (!t_.readSecret)
        return false;
    console_.endLine();
    t_.err->flush();
    std::string typed;
    const bool got = t_.readSecret("[" + shownArchive_ + "] " + name + " password: ", &typed);
    *t_.err << "\n";
    if (!got || console_.cancelled())
        return false;
    std::string ansi;
    ansiFromHost(typed, &ansi);
    password_ = ansi;
    havePassword_ = true;
    return true;
}

std::string Invocation::command(bool test) const {
    std::string c = test ? "-t" : o_.junkPaths ? "" : "-d";
    if (!test && o_.existing != Existing::kAsk)
        c += o_.existing == Existing::kReplace ? " -o" : " -o-";
    if (havePassword_) {
        // The password between two copies of a delimiter it does not hold.
        for (const char *d = ":|#!~^@%&=+;,'/"; *d; ++d) {
            if (password_.find(*d) == std::string::npos) {
                c += " -s" + std::string(1, *d) + password_ + *d;
                break;
            }
        }
    }
    return c;
}

int16_t Invocation::runLibrary(QzHandle &archive, const std::vector<const ArchiveEntry *> &files, bool test) {
    if (files.empty())
        return QZ_OK;
    std::vector<const ArchiveEntry *> others;
    {
        std::set<const ArchiveEntry *> given(files.begin(), files.end());
        for (const ArchiveEntry *e : entriesOf_)
            if (!given.count(e) && !e->isDirectory())
                others.push_back(e);
    }
    // The library is handed exact names.  When they are most of the archive,
    // it gets every file ('?' keeps directory entries out) less the others,
    // as long as each of them has a directory: an exclusion without one
    // would reach into every directory.
    bool allHaveDirectory = true;
    for (const ArchiveEntry *e : others)
        allHaveDirectory &= e->name.find('/') != std::string::npos;
    std::vector<std::string> include, exclude;
    if (others.size() < files.size() && allHaveDirectory) {
        include.push_back("?*.*");
        for (const ArchiveEntry *e : others)
            exclude.push_back(e->name);
    } else {
        for (const ArchiveEntry *e : files)
            include.push_back(e->name);
    }
    const std::string in = specList(include), out = specList(exclude), c = command(test);
    uint64_t bytes = 0;
    for (const ArchiveEntry *e : files)
        bytes += e->size;
    console_.start(files.size(), bytes, test ? "testing" : "inflating");
    const char *destination = destination_.empty() || test ? nullptr : destination_.c_str();
    const int16_t r =
        Qz4UnZip(&archive, destination, nullptr, in.c_str(), out.empty() ? nullptr : out.c_str(), c.c_str());
    console_.finishEntry();
    console_.endLine();
    return r;
}

void Invocation::retryPasswords(QzHandle &archive, const std::vector<const ArchiveEntry *> &files,
                                bool test) {
    if (!t_.readSecret || !t_.readLine)
        return;
    // The displayed name of each file the library was given.
    const std::map<std::string, const ArchiveEntry *> byShown = byTarget(files, test);
    bool skipAll = false;
    for (size_t i = 0; i < console_.problems().size() && !skipAll;) {
        const Problem p = console_.problems()[i];
        const auto found = byShown.find(slashed(p.name));
        if (p.reason != Reason::kPassword || found == byShown.end()) {
            ++i;
            continue;
        }
        std::string answer;
        if (!console_.ask(p.name + ": incorrect password. [r]etry, [s]kip, [a]ll skip: ", &answer))
            return;
        const char c = answer.empty() ? 's' : answer[0];
        if (c == 'a' || c == 'A')
            skipAll = true;
        if (c != 'r' && c != 'R') {
            ++i;
            continue;
        }
        if (!askPassword(p.name))
            return;
        // The entry alone; a new failure is a new problem, met again later.
        console_.problems().erase(console_.problems().begin() + (long)i);
        runLibrary(archive, {found->second}, test);
    }
}

bool Invocation::toMemory(QzHandle archive, const ArchiveEntry &e, const std::string &subject,
                          std::vector<char> *data) {
    if (e.size > 0x7FFFFFFF) {
        console_.warn(subject, "too large to extract under a changed name or to a pipe, skipped",
                      Reason::kOther);
        return false;
    }
    data->assign((size_t)e.size, '\0');
    const size_t before = console_.problems().size();
    const std::string c = command(false);
    const int16_t r = Qz4UnZipPtr(archive, data->empty() ? nullptr : data->data(), 0, (int32_t)e.size,
                                  e.name.c_str(), c.c_str());
    if (r != QZ_OK) {
        if (console_.problems().size() == before)
            console_.warn(subject, "cannot be extracted: " + resultName(r), Reason::kOther);
        return false;
    }
    const uint32_t crc = ~QzCrc32A(data->data(), (uint32_t)data->size(), 0xFFFFFFFFu);
    if (crc != e.record.crc32) {
        console_.warn(subject, "bad CRC, the data is damaged", Reason::kDamaged);
        return false;
    }
    return true;
}

void Invocation::extractRenamed(QzHandle archive, const ArchiveEntry &e, const std::string &name) {
    DirectoryMaker dirs(destination_);
    const std::string path = displayPath(dirs.path(name));
    if (exists(path) && o_.existing != Existing::kReplace) {
        if (o_.existing == Existing::kKeep)
            return;
        std::string answer;
        const bool asked = t_.readLine && console_.ask("replace " + path + "? [y]es, [n]o: ", &answer);
        if (!asked)
            console_.warn(path, kKept, Reason::kExists);
        if (!asked || (answer != "y" && answer != "Y"))
            return;
    }
    std::vector<char> data;
    const size_t slash = name.rfind('/');
    if (!toMemory(archive, e, path, &data))
        return;
    if (slash != std::string::npos && !dirs.make(name.substr(0, slash))) {
        console_.warn(path, "its directory cannot be created, skipped", Reason::kOther);
        return;
    }
    FILE *f = fopen(path.c_str(), "wb");
    const bool written = f && fwrite(data.data(), 1, data.size(), f) == data.size();
    if (f && fclose(f) != 0)
        f = nullptr;
    if (!written || !f) {
        console_.warn(path, "cannot be written, skipped", Reason::kOther);
        return;
    }
#ifndef _WIN32
    const uint32_t mode = e.record.externalAttributes >> 16;
    if ((e.record.versionMadeBy >> 8) == 3 && mode != 0)
        chmod(path.c_str(), mode & 0777);
#endif
    ++renamedFiles_;
    renamedBytes_ += data.size();
    if (!o_.quiet && !t_.progressBar)
        *t_.out << "  inflating: " << path << "\n";
}

void Invocation::pipe(QzHandle archive, const ArchiveEntry &e) {
    std::vector<char> data;
    if (toMemory(archive, e, shown(e), &data)) {
        t_.out->write(data.data(), (std::streamsize)data.size());
        ++renamedFiles_;
        renamedBytes_ += data.size();
    }
}

int Invocation::process(QzHandle &archive, const std::vector<const ArchiveEntry *> &selected) {
    const std::string overlap = overlappingEntries(*all_);
    if (!overlap.empty())
        return fail(shownArchive_ + ": the data of " + overlap +
                        " overlap (a zip bomb?); nothing was extracted",
                    kExitOverlap);
    if (selected.empty()) {
        if (!o_.names.empty() || !o_.excludes.empty())
            return kExitNoMatch;
        *t_.err << "qzunzip: " << shownArchive_ << ": the archive is empty\n";
        return kExitWarning;
    }

    const bool test = o_.action == Action::kTest, toPipe = o_.action == Action::kPipe;
    if (!toPipe && o_.quiet == 0)
        *t_.out << "Archive:  " << shownArchive_ << "\n";

    // Directories, files for the library, and files written here under a
    // name made safe.
    std::vector<const ArchiveEntry *> directories, files, renamed;
    std::vector<std::string> renamedNames;
    for (const ArchiveEntry *e : selected) {
        if (e->isDirectory()) {
            if (!o_.junkPaths && !o_.freshen && !toPipe)
                directories.push_back(e);
            continue;
        }
        std::string removed;
        const std::string safe = test || toPipe || o_.junkPaths ? e->name : safeName(e->name, &removed);
        const std::string target = o_.junkPaths ? baseName(e->name) : safe;
        if (!test && !toPipe && (o_.freshen || o_.update)) {
            Time when = 0;
            const bool there = modified(displayPath(destination_ + target), &when);
            if ((o_.freshen && !there) || (there && entryTime(e->record) <= when))
                continue;
        }
        if (!removed.empty()) {
            *t_.err << "qzunzip: warning: " << shown(*e) << ": " << removed << " removed, extracted as "
                    << hostFromAnsi(safe) << "\n";
            ++warnings_;
            renamed.push_back(e);
            renamedNames.push_back(safe);
        } else {
            files.push_back(e);
        }
    }

    // Encrypted entries: a password from the terminal, else none of them.
    if (!havePassword_) {
        std::vector<const ArchiveEntry *> *lists[] = {&files, &renamed};
        const ArchiveEntry *first = nullptr;
        for (auto *l : lists)
            for (const ArchiveEntry *e : *l)
                if (needsPassword(*e) && !first)
                    first = e;
        if (first && !askPassword(shown(*first))) {
            if (console_.cancelled())
                return kExitInterrupted;
            for (size_t k = 0; k < 2; ++k) {
                std::vector<const ArchiveEntry *> kept;
                std::vector<std::string> keptNames;
                for (size_t i = 0; i < lists[k]->size(); ++i) {
                    const ArchiveEntry *e = (*lists[k])[i];
                    if (needsPassword(*e)) {
                        console_.warn(shown(*e), "encrypted, skipped: no password given (-P) and no terminal "
                                                 "to ask for one", Reason::kNoPassword);
                        continue;
                    }
                    kept.push_back(e);
                    if (k == 1)
                        keptNames.push_back(renamedNames[i]);
                }
                *lists[k] = kept;
                if (k == 1)
                    renamedNames = keptNames;
            }
        }
    }
    std::map<std::string, const ArchiveEntry *> byShown;
    console_.describeMethod = [&](const std::string &name) {
        if (byShown.empty())
            byShown = byTarget(files, test);
        const auto found = byShown.find(slashed(name));
        if (found == byShown.end())
            return std::string("");
        const QzEntryRecord &r = found->second->record;
        if (r.method == 99)
            return std::string("AES");
        if (r.flags & 0x40)
            return std::string("strong");
        return methodName(r);
    };

    if (toPipe) {
        for (const ArchiveEntry *e : files)
            pipe(archive, *e);
        t_.out->flush();
        return finish(false, 0);
    }

    // The destination and the directory entries, each directory made once.
    DirectoryMaker dirs(destination_);
    uint64_t madeDirectories = 0;
    if (!test) {
        if (!destination_.empty() && !dirs.make(""))
            return fail(o_.destination + ": the destination cannot be created", kExitSevere);
        for (const ArchiveEntry *e : directories) {
            std::string removed;
            const std::string safe = safeName(e->name, &removed);
            if (!dirs.make(safe)) {
                console_.warn(displayPath(dirs.path(safe)), "the directory cannot be created",
                              Reason::kOther);
                continue;
            }
            ++madeDirectories;
            if (!o_.quiet && !t_.progressBar)
                *t_.out << "   creating: " << displayPath(dirs.path(safe)) << "\n";
        }
    } else {
        madeDirectories = directories.size();
    }

    const int16_t r = runLibrary(archive, files, test);
    if (r != QZ_OK && r != QZ_SKIPPED && r != QZ_NO_MORE_ENTRIES) {
        const std::string at = console_.lastEntry();
        return fail(shownArchive_ + ": stopped" + (at.empty() ? "" : " at " + at) + ": " + resultName(r),
                    exitStatusOf(r));
    }
    retryPasswords(archive, files, test);
    for (size_t i = 0; i < renamed.size(); ++i)
        extractRenamed(archive, *renamed[i], renamedNames[i]);
    return finish(test, madeDirectories);
}

int Invocation::finish(bool test, uint64_t directories) {
    if (console_.cancelled())
        return fail(shownArchive_ + ": interrupted", kExitInterrupted);
    std::map<Reason, uint64_t> why;
    for (const Problem &p : console_.problems())
        ++why[p.reason];
    const uint64_t files = console_.filesDone() + renamedFiles_;
    const uint64_t bytes = console_.bytesDone() + renamedBytes_;
    const size_t skipped = console_.problems().size();
    if (o_.quiet == 0 && o_.action != Action::kPipe) {
        const auto elapsed = std::chrono::steady_clock::now() - started_;
        const double seconds = std::chrono::duration<double>(elapsed).count();
        std::string line = plural(files, "file", "files") + ", " +
                           plural(directories, "directory", "directories") + ", " + shortSize(bytes) +
                           (bytes >= 10000 ? "" : " bytes") + (test ? " tested" : " extracted") + " in " +
                           clockTime(seconds);
        if (skipped > 0) {
            static const struct {
                Reason reason;
                const char *words;
            } kWords[] = {{Reason::kPassword, "incorrect password"}, {Reason::kNoPassword, "no password"},
                          {Reason::kUnsupported, "unsupported"}, {Reason::kDamaged, "damaged"},
                          {Reason::kExists, "existing files kept"}, {Reason::kOther, "other problems"}};
            line += "; " + std::to_string(skipped) + " skipped (";
            bool first = true;
            for (const auto &w : kWords) {
                if (why.count(w.reason)) {
                    line += std::string(first ? "" : ", ") + std::to_string(why[w.reason]) + " " + w.words;
                    first = false;
                }
            }
            line += ")";
        }
        *t_.out << line << "\n";
        if (test && skipped == 0)
            *t_.out << "No errors detected in compressed data of " << shownArchive_ << ".\n";
    }
    if (why.count(Reason::kDamaged))
        return kExitDamaged;
    if (!unmatched_.empty())
        return kExitNoMatch;
    // As unzip counts them, directories made are entries processed too.
    const uint64_t done = files + directories;
    if (skipped > 0 && done == 0 && why[Reason::kPassword] + why[Reason::kNoPassword] == skipped)
        return kExitPassword;
    if (skipped > 0 && done == 0 && why[Reason::kUnsupported] == skipped)
        return kExitUnsupported;
    return skipped > 0 || warnings_ > 0 ? kExitWarning : kExitOk;
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
