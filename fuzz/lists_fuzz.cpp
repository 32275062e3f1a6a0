// lists_fuzz.cpp -- specification lists and specifications from a host, over
// an archive with names of every kind.
//
// Input: the first byte picks the code page on POSIX hosts (bit 0: 932),
// the parser's dialect (bit 1) and whether directories are kept (bit 2);
// the rest is an include list, an exclude list and a specification,
// separated by NULs (a missing part is null).  Each is handed over in a heap
// block of exactly its length plus the NUL.  The archive is tested with
// Qz4UnZip, which writes nothing, and one entry is decoded with
// Qz4UnZipPtr.  Checked: every result is a code of the table, the caller's
// strings are unchanged, and nothing is left behind.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/host.h"
#include "qzunpack.h"
#include "fuzz_support.h"

using namespace qztest;
using qzfuzz::checkCode;

namespace {

std::vector<Entry> archiveEntries() {
    Entry folder("dir/", "");
    folder.externalAttributes = 0x10;
    return {
        Entry("a.txt", "a"), Entry("b.TXT", "b", 8), Entry("dir/c.txt", "c"), Entry("dir/sub/d.dat", "d", 8),
        Entry("Dir2/e", "e"), Entry("x y.txt", "x"), Entry("noext", "n"), Entry(".hidden", "h"),
        Entry("dbcs\x81\x5c\x82\x5c.txt", "j"), Entry("back\\slash\\f.txt", "f"), Entry("C:/drive/g.txt", "g"),
        Entry("//server/share/h.txt", "h"), folder, Entry(std::string(250, 'L') + ".txt", "long")};
}

char *heapCopy(const std::string &s) {
    char *p = static_cast<char *>(malloc(s.size() + 1));
    memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    // Built and opened once, for every input.
    static const QzHandle h = qzfuzz::openBuilt("lists-fuzz", archiveEntries());
    const uint8_t mode = data[0];
    qzhost_set_codepage(mode & 1 ? 932 : 1252);
    Qz4SetParseType(mode & 2 ? 1 : 0);

    std::vector<std::string> parts;
    std::vector<bool> present;
    std::string rest(reinterpret_cast<const char *>(data + 1), size - 1);
    for (int i = 0; i < 3; ++i) {
        size_t cut = rest.find('\0');
        present.push_back(i == 0 || !rest.empty() || cut != std::string::npos);
        parts.push_back(rest.substr(0, cut));
        rest = cut == std::string::npos ? std::string() : rest.substr(cut + 1);
    }
    char *include = present[0] ? heapCopy(parts[0]) : nullptr;
    char *exclude = present[1] ? heapCopy(parts[1]) : nullptr;
    char *spec = present[2] ? heapCopy(parts[2]) : nullptr;

    qzhost_reset_counters();
    QzHandle handle = h;
    checkCode(Qz4UnZip(&handle, nullptr, nullptr, include, exclude, mode & 4 ? "-t -d" : "-t"));
    char buffer[64];
    checkCode(Qz4UnZipPtr(h, buffer, 0, sizeof buffer, spec, ""));
    qzhost_counters c;
    qzhost_get_counters(&c);
    if (handle != h || c.blocks != 0 || c.handles != 0)
        abort();
    if ((include && parts[0] != include) || (exclude && parts[1] != exclude) || (spec && parts[2] != spec))
        abort();

    free(include);
    free(exclude);
    free(spec);
    qzhost_set_codepage(1252);
    Qz4SetParseType(0);
    return 0;
}
