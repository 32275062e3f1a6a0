// entries.cpp -- the directory walk, name matching, safe names, overlapping
// entries and the directories qzunzip makes.
#include "entries.h"

#include <ctype.h>

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <sys/stat.h>
#endif

#include "text.h"

namespace qzunzip {

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
        e.offset = known ? whole.localHeaderOffset : e.record.localHeaderOffset;
        e.disk = known ? whole.diskNumberStart : e.record.diskNumberStart;
        if (r == QZ_OK)
            entries->push_back(e);
        r = Qz4ZipFindNext(archive, &e.record, name, nullptr, 0, nullptr, 0);
    }
    return r == QZ_NO_MORE_ENTRIES ? (int16_t)QZ_OK : r;
}

// ---- matching ----------------------------------------------------------------------

namespace {

int fold(char c, bool foldCase) {
    return foldCase ? tolower((unsigned char)c) : (unsigned char)c;
}

// The set at p (just after '['): whether c is in it; *end is set past ']'.
// A set without its ']' is no set: the '[' stands for itself.
bool inSet(const char *p, char c, bool foldCase, const char **end) {
    const bool negate = *p == '!' || *p == '^';
    if (negate)
        ++p;
    bool in = false;
    const char *start = p;
    for (; *p && (*p != ']' || p == start); ++p) {
        if (p[1] == '-' && p[2] && p[2] != ']') {
            in |= fold(c, foldCase) >= fold(p[0], foldCase) && fold(c, foldCase) <= fold(p[2], foldCase);
            p += 2;
        } else {
            in |= fold(c, foldCase) == fold(*p, foldCase);
        }
    }
    if (!*p) {
        *end = nullptr;
        return false;
    }
    *end = p + 1;
    return in != negate;
}

}  // namespace

bool wildMatch(const char *name, const char *pattern, bool foldCase) {
    // The last '*' and the name position it stands for: on a mismatch the
    // star takes one more character.
    const char *star = nullptr, *starName = nullptr;
    while (*name) {
        const char *next = nullptr;
        if (*pattern == '*') {
            star = ++pattern;
            starName = name;
            continue;
        }
        bool ok;
        if (*pattern == '?') {
            ok = true;
            next = pattern + 1;
        } else if (*pattern == '[') {
            ok = inSet(pattern + 1, *name, foldCase, &next);
            if (!next) {
                ok = *name == '[';
                next = pattern + 1;
            }
        } else {
            const char *p = *pattern == '\\' && pattern[1] ? pattern + 1 : pattern;
            ok = *p && fold(*p, foldCase) == fold(*name, foldCase);
            next = p + 1;
        }
        if (ok) {
            pattern = next;
            ++name;
        } else if (star) {
            pattern = star;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

NameFilter::NameFilter(std::vector<std::string> names, std::vector<std::string> excludes, bool foldCase)
    : names_(std::move(names)), excludes_(std::move(excludes)), used_(names_.size()), foldCase_(foldCase) {}

bool NameFilter::selects(const std::string &name) {
    bool in = names_.empty();
    for (size_t i = 0; i < names_.size(); ++i) {
        if (wildMatch(name.c_str(), names_[i].c_str(), foldCase_)) {
            in = true;
            used_[i] = true;
        }
    }
    if (!in)
        return false;
    for (const std::string &x : excludes_)
        if (wildMatch(name.c_str(), x.c_str(), foldCase_))
            return false;
    return true;
}

std::vector<std::string> NameFilter::unmatched() const {
    std::vector<std::string> out;
    for (size_t i = 0; i < names_.size(); ++i)
        if (!used_[i])
            out.push_back(names_[i]);
    return out;
}

// ---- names -----------------------------------------------------------------------

namespace {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

}  // namespace

std::string safeName(const std::string &name, std::string *removed) {
    removed->clear();
    size_t start = 0;
    if (name.size() >= 2 && isalpha((unsigned char)name[0]) && name[1] == ':') {
        *removed = "drive prefix \"" + name.substr(0, 2) + "\"";
        start = 2;
    }
    if (start < name.size() && isSeparator(name[start])) {
        *removed += std::string(removed->empty() ? "" : ", ") + "absolute path";
        while (start < name.size() && isSeparator(name[start]))
            ++start;
    }
    std::string out;
    bool dots = false;
    while (start < name.size()) {
        size_t end = start;
        while (end < name.size() && !isSeparator(name[end]))
            ++end;
        const std::string part = name.substr(start, end - start);
        if (part == "..")
            dots = true;
        else if (!part.empty() && part != ".")
            out += part + (end < name.size() ? "/" : "");
        start = end + 1;
    }
    if (dots)
        *removed += std::string(removed->empty() ? "" : ", ") + "\"../\" components";
    return out;
}

std::string overlappingEntries(const std::vector<ArchiveEntry> &entries) {
    std::vector<const ArchiveEntry *> order;
    for (const ArchiveEntry &e : entries)
        order.push_back(&e);
    std::sort(order.begin(), order.end(), [](const ArchiveEntry *a, const ArchiveEntry *b) {
        return a->disk != b->disk ? a->disk < b->disk : a->offset < b->offset;
    });
    // The local header is 30 bytes and the name; its extra field is not in
    // the directory, so this end is where the data ends at the least.
    for (size_t i = 1; i < order.size(); ++i) {
        const ArchiveEntry &a = *order[i - 1], &b = *order[i];
        if (a.disk == b.disk && b.offset < a.offset + 30 + a.record.nameLength + a.packed)
            return hostFromAnsi(a.name) + " and " + hostFromAnsi(b.name);
    }
    return "";
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

std::string asFolder(std::string destination) {
    if (!destination.empty() && !isSeparator(destination.back()) && destination.back() != ':')
        destination += '/';
    return destination;
}

DirectoryMaker::DirectoryMaker(std::string destination) : destination_(asFolder(std::move(destination))) {}

std::string DirectoryMaker::path(const std::string &name) const {
    return destination_ + name;
}

bool DirectoryMaker::make(const std::string &name) {
    const std::string full = destination_ + name;
    // Every directory on the way that is not known yet: never the root,
    // never a drive.
    for (size_t i = 1; i <= full.size(); ++i) {
        if (i < full.size() && !isSeparator(full[i]))
            continue;
        if (full[i - 1] == ':' || isSeparator(full[i - 1]))
            continue;
        const std::string dir = full.substr(0, i);
        if (made_.count(dir))
            continue;
        if (!makeOne(dir))
            return false;
        made_.insert(dir);
    }
    return true;
}

}  // namespace qzunzip
