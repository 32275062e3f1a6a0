// match_fuzz.cpp -- the wildcard matcher, and the list and path helpers
// built on it, on arbitrary bytes.
//
// Input: the first byte picks the code page on POSIX hosts (bit 0: 932,
// so that lead and trail bytes occur) and the other parts; the rest is a
// name and a pattern separated by the first NUL.  Each is handed over in a
// heap block of exactly its length plus the NUL.  Checked: QzMatchFile
// answers 0 or 1; the core matcher gives the answer of the backtracking
// rules wherever those finish quickly (at most six wildcard runs); the
// path split's outputs are terminated within their buffers; the selection
// test answers 0 or 1 and changes nothing of the caller's.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "qzunpack.h"
#include "select/select.h"
#include "../tests/select/backtrack_reference.h"
#ifndef _WIN32
#include "platform/host.h"
#endif

namespace {

char *heapCopy(const std::string &s) {
    char *p = static_cast<char *>(malloc(s.size() + 1));
    memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

int starRuns(const char *p) {
    int runs = 0;
    for (const char *c = p; *c; c = CharNextA(c))
        if (*c == '*' && (c == p || c[-1] != '*')) ++runs;
    return runs;
}

void checkTerminated(const char *buffer) {
    if (memchr(buffer, '\0', qz::kNameBytes) == nullptr) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const uint8_t mode = data[0];
#ifndef _WIN32
    qzhost_set_codepage(mode & 1 ? 932 : 1252);
#endif
    const std::string rest(reinterpret_cast<const char *>(data + 1), size - 1);
    const size_t cut = rest.find('\0');
    const std::string nameText = rest.substr(0, cut);
    const std::string patternText = cut == std::string::npos ? std::string() : rest.substr(cut + 1);
    char *name = heapCopy(nameText.c_str());      // up to the next NUL
    char *pattern = heapCopy(patternText.c_str());

    const int16_t fits = QzMatchFile(name, pattern);
    if (fits != 0 && fits != 1) abort();

    const bool core = qz::select::matchCore(name, pattern);
    if (strlen(name) <= 40 && strlen(pattern) <= 40 && starRuns(pattern) <= 6) {
        if (core != qztest::backtrack::core(name, pattern)) abort();
    }

    char drive[qz::kNameBytes], dir[qz::kNameBytes],
        base[qz::kNameBytes], ext[qz::kNameBytes];
    memset(drive, 'x', sizeof drive);
    memset(dir, 'x', sizeof dir);
    memset(base, 'x', sizeof base);
    memset(ext, 'x', sizeof ext);
    qz::select::splitPath(pattern, drive, dir, base, ext);
    checkTerminated(drive);
    checkTerminated(dir);
    checkTerminated(base);
    checkTerminated(ext);
    if (strlen(dir) > 255 || strlen(base) > 255 || strlen(ext) > 255) abort();

    if (mode & 2) {
        // The name as an include list, the pattern as an exclude list.
        const std::string listBefore = nameText.c_str();
        const int16_t selected =
            qz::select::selectionTest(dir, base, name, (mode & 4) ? pattern : nullptr, mode & 8);
        if (selected != 0 && selected != 1) abort();
        if (listBefore != name) abort();
    }

    free(pattern);
    free(name);
    return 0;
}
