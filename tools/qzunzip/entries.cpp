// entries.cpp -- the directory walk, the selection, and the plan of a run.
#include "entries.h"

#include <ctype.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <sys/stat.h>
#endif

#include "text.h"

namespace qzunzip {

namespace {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

bool hasWildcard(const std::string &s) {
    return s.find_first_of("*?") != std::string::npos;
}

// Equal after case folding.  QzMatchFile folds case the way the library
// compares directories; a directory that holds '*' or '?' itself is
// compared byte by byte with ASCII folding instead.
bool sameFolded(const std::string &a, const std::string &b) {
    if (a.size() != b.size())
        return false;
    if (!hasWildcard(b))
        return QzMatchFile(a.c_str(), b.c_str()) != 0;
    for (size_t i = 0; i < a.size(); ++i)
        if (toupper((unsigned char)a[i]) != toupper((unsigned char)b[i]))
            return false;
    return true;
}

bool startsFolded(const std::string &s, const std::string &prefix) {
    return prefix.size() <= s.size() && sameFolded(s.substr(0, prefix.size()), prefix);
}

// Directory (with its trailing '/') and name of a name or specification,
// drive prefix left out, '\' turned into '/'.
void splitName(std::string s, std::string *dir, std::string *name) {
    s.erase(0, drivePrefixLength(s));
    for (char &c : s)
        if (c == '\\')
            c = '/';
    size_t slash = s.rfind('/');
    *dir = slash == std::string::npos ? std::string() : s.substr(0, slash + 1);
    *name = slash == std::string::npos ? s : s.substr(slash + 1);
}

bool onlyDotsAndBlanks(const std::string &component) {
    size_t dots = 0;
    for (char c : component) {
        if (c == '.')
            ++dots;
        else if (c != ' ')
            return false;
    }
    return dots >= 2;
}

}  // namespace

int16_t readDirectory(QzHandle archive, std::vector<ArchiveEntry> *entries) {
    entries->clear();
    ArchiveEntry e;
    char name[261];
    int16_t r = Qz4ZipFindFirst(archive, &e.record, name, nullptr, 0, nullptr, 0);
    // A name too long to read is the extraction's to report; the walk goes on.
    while (r == QZ_OK || r == QZ_TOO_LONG) {
        e.name = name;
        QzEntry64 whole;
        bool known = QzGetEntry64(archive, &whole) == QZ_OK;
        e.size = known ? whole.uncompressedSize : e.record.uncompressedSize;
        e.packed = known ? whole.compressedSize : e.record.compressedSize;
        if (r == QZ_OK)
            entries->push_back(e);
        r = Qz4ZipFindNext(archive, &e.record, name, nullptr, 0, nullptr, 0);
    }
    return r == QZ_NO_MORE_ENTRIES ? (int16_t)QZ_OK : r;
}

// ---- selection -----------------------------------------------------------------

Selection::Selection(std::vector<std::string> includes, std::vector<std::string> excludes) {
    for (const std::string &s : includes)
        includes_.push_back(split(s));
    for (const std::string &s : excludes)
        excludes_.push_back(split(s));
}

Selection::Spec Selection::split(const std::string &spec) {
    Spec s;
    splitName(spec, &s.dir, &s.pattern);
    if (s.pattern.empty())
        s.pattern = "*";
    return s;
}

bool Selection::fits(const std::string &dir, const std::string &name, const Spec &s, bool exclusion) {
    const bool nameFits = QzMatchFile(name.c_str(), s.pattern.c_str()) != 0;
    if (exclusion && s.dir.empty() && !dir.empty())
        return nameFits;
    const bool dirFits = hasWildcard(s.pattern) ? startsFolded(dir, s.dir) : sameFolded(dir, s.dir);
    return dirFits && nameFits;
}

bool Selection::selects(const std::string &entryName) const {
    std::string dir, name;
    splitName(entryName, &dir, &name);
    bool in = false;
    for (const Spec &s : includes_)
        if ((in = fits(dir, name, s, false)))
            break;
    if (!in)
        return false;
    for (const Spec &s : excludes_)
        if (fits(dir, name, s, true))
            return false;
    return true;
}

// ---- names -----------------------------------------------------------------------

size_t drivePrefixLength(const std::string &name) {
    if (name.size() >= 2 && isSeparator(name[0]) && isSeparator(name[1])) {
        // "//server/share": up to the separator after the share.
        size_t server = name.find_first_of("/\\", 2);
        if (server == std::string::npos)
            return name.size();
        size_t share = name.find_first_of("/\\", server + 1);
        return share == std::string::npos ? name.size() : share;
    }
    return name.size() >= 2 && name[1] == ':' ? 2 : 0;
}

bool leavesDestination(const std::string &name, bool keepDrive) {
    if (keepDrive && (drivePrefixLength(name) > 0 || (!name.empty() && isSeparator(name[0]))))
        return true;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos)
            end = name.size();
        if (onlyDotsAndBlanks(name.substr(start, end - start)))
            return true;
        start = end + 1;
    }
    return false;
}

std::string specList(const std::vector<std::string> &specs) {
    std::string list;
    for (std::string s : specs) {
        if (s.empty())
            continue;
        bool blank = false;
        for (char c : s)
            blank |= (unsigned char)c >= 1 && (unsigned char)c <= 32;
        if (s[0] == '"' || (blank && s.find('"') != std::string::npos)) {
            // Quotes cannot be escaped: such characters become '?'.
            for (char &c : s)
                if (c == '"' || ((unsigned char)c >= 1 && (unsigned char)c <= 32))
                    c = '?';
        } else if (blank) {
            s = '"' + s + '"';
        }
        if (!list.empty())
            list += ' ';
        list += s;
    }
    return list;
}

std::string withoutDirectoryEntries(const std::string &spec) {
    std::string dir, pattern;
    splitName(spec, &dir, &pattern);
    if (!pattern.empty() && !QzMatchFile("", pattern.c_str()))
        return spec;
    return spec.substr(0, spec.size() - pattern.size()) + "?" + (pattern.empty() ? "*" : pattern);
}

// ---- the plan ----------------------------------------------------------------------

Plan makePlan(const std::vector<ArchiveEntry> &entries, const PlanRequest &request) {
    Plan plan;
    std::vector<std::string> includes = request.specs;
    if (includes.empty())
        includes.push_back("*.*");
    Selection selection(includes, request.excludes);
    const bool checkPaths = !request.test && !request.unsafePaths;
    for (const ArchiveEntry &e : entries) {
        if (!selection.selects(e.name))
            continue;
        ++plan.selected;
        if (checkPaths && leavesDestination(e.name, request.keepDrive)) {
            plan.unsafe.push_back(e.name);
        } else if (e.isDirectory()) {
            ++plan.directoryEntries;
            if (request.dirs && !request.test)
                plan.directories.push_back(e.name);
        }
    }
    std::vector<std::string> narrowed;
    for (const std::string &s : includes)
        narrowed.push_back(withoutDirectoryEntries(s));
    plan.include = specList(narrowed);
    // An unsafe name excluded exactly: its directory holds the unsafe part,
    // so a wildcard in its name can only reach entries below that directory,
    // which are unsafe too.
    std::vector<std::string> excludes = request.excludes;
    excludes.insert(excludes.end(), plan.unsafe.begin(), plan.unsafe.end());
    plan.exclude = specList(excludes);
    return plan;
}

// ---- directories -------------------------------------------------------------------

namespace {

bool makeOne(const std::string &ansi) {
#ifdef _WIN32
    return CreateDirectoryA(ansi.c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
#else
    std::string host = displayPath(ansi);
    if (mkdir(host.c_str(), 0777) == 0)
        return true;
    struct stat st;
    return errno == EEXIST && stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

}  // namespace

bool makeDirectory(const std::string &destination, const std::string &name) {
    std::string path = destination;
    if (!path.empty() && !isSeparator(path.back()) && path.back() != ':')
        path += '/';
    path += name.substr(drivePrefixLength(name));
    // Every directory on the way, as the library makes them: never the
    // root, never a drive.
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && !isSeparator(path[i]))
            continue;
        if (path[i - 1] == ':' || isSeparator(path[i - 1]))
            continue;
        if (!makeOne(path.substr(0, i)))
            return false;
    }
    return true;
}

}  // namespace qzunzip
