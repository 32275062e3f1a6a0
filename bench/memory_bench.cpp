// memory_bench.cpp -- how much memory the library holds for an open archive
// and for an extraction run, on a large archive made by Info-ZIP zip.
//
// The library's own figures come from the POSIX layer's counters: every
// GlobalAlloc and HeapAlloc block is counted, with the peak of the bytes
// outstanding.  Process figures (peak resident set) are taken from child
// processes: one extracts with the library, one with bsdtar as the
// reference, each into an empty folder.
//
//   memory_bench [MEGABYTES]     (default 256 MB of input files)
//
// It prints lines such as
//   open archive: 131149 bytes in 4 blocks held while open
//   extraction run: result 0, 98173 bytes at the peak above the open archive, ...
//   peak RSS: qz 3.3 MB, bsdtar 5.9 MB, qz/bsdtar 0.57
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/host.h"
#include "qzunpack.h"

namespace fs = std::filesystem;

namespace {

// Files of a tree that compresses like real data: text lines, runs of
// structured records and incompressible stretches.
void makeTree(const fs::path &root, size_t megabytes) {
    fs::create_directories(root / "text");
    fs::create_directories(root / "data");
    uint32_t x = 12345;
    auto next = [&x] { return x = x * 1664525u + 1013904223u; };
    static const char *words[] = {"archive ", "entry ", "volume ", "deflate ", "window ", "header ",
                                  "record ", "central ", "local ", "stored\n"};
    size_t files = megabytes / 8 + 1;
    for (size_t f = 0; f < files; ++f) {
        std::string s;
        s.reserve(8u << 20);
        while (s.size() < (8u << 20)) {
            uint32_t r = next();
            if (f % 4 == 3) {
                for (int i = 0; i < 64; ++i)
                    s += (char)(next() >> 24);   // noise
            } else if (f % 2) {
                char rec[64];
                snprintf(rec, sizeof rec, "%08x;%u;%u;record\n", r, r % 1000, (r >> 10) % 77);
                s += rec;
            } else {
                s += words[r % 10];
            }
        }
        std::ofstream((root / (f % 2 ? "data" : "text") / ("file" + std::to_string(f) + ".bin")).string(),
                      std::ios::binary)
            << s;
    }
}

double peakRssMb(pid_t child) {
    int status;
    struct rusage usage;
    if (wait4(child, &status, 0, &usage) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_maxrss / 1024.0;
}

}  // namespace

// The extraction alone, in a process of its own (for its peak RSS).
int extractOnly(const char *zip, const char *out) {
    QzHandle h;
    if (Qz4ZipOpen(zip, 0, &h) != 0)
        return 1;
    int16_t r = Qz4UnZip(&h, out, nullptr, "*.*", nullptr, "-d -o");
    Qz4ZipClose(&h);
    return r == 0 ? 0 : 1;
}

int main(int argc, char **argv) {
    if (argc == 4 && strcmp(argv[1], "--extract") == 0)
        return extractOnly(argv[2], argv[3]);
    size_t megabytes = argc > 1 ? (size_t)atol(argv[1]) : 256;
    fs::path work = fs::temp_directory_path() / ("qz-memory-bench-" + std::to_string(getpid()));
    fs::create_directories(work);
    // The tree is written by a child, so that this process stays small: a
    // child started later inherits its peak resident set.
    pid_t maker = fork();
    if (maker == 0) {
        makeTree(work / "tree", megabytes);
        _exit(0);
    }
    int status;
    waitpid(maker, &status, 0);
    std::string zip = (work / "large.zip").string();
    std::string cmd = "cd '" + (work / "tree").string() + "' && zip -q -r -D -6 '" + zip + "' .";
    if (system(cmd.c_str()) != 0) {
        printf("memory bench: zip is not installed; nothing measured\n");
        fs::remove_all(work);
        return 0;
    }
    printf("archive: %.0f MB of files, %.0f MB zipped\n", megabytes * 1.0, fs::file_size(zip) / 1048576.0);

    // The library's own memory, counted by the platform layer.
    qzhost_reset_counters();
    QzHandle h;
    if (Qz4ZipOpen(zip.c_str(), 0, &h) != 0) {
        printf("memory bench: the archive did not open\n");
        return 1;
    }
    qzhost_counters c;
    qzhost_get_counters(&c);
    long long open = c.bytes;
    printf("open archive: %lld bytes in %ld blocks held while open\n", open, c.blocks);

    fs::path out = work / "out-qz";
    fs::create_directories(out);
    qzhost_reset_counters();
    auto t0 = std::chrono::steady_clock::now();
    int16_t r = Qz4UnZip(&h, out.string().c_str(), nullptr, "*.*", nullptr, "-d -o");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    qzhost_get_counters(&c);
    printf("extraction run: result %d, %lld bytes at the peak above the open archive, %lld left after it (%.2f s)\n",
           r, c.bytes_peak, c.bytes, seconds);
    Qz4ZipClose(&h);
    fs::remove_all(out);

    // Whole processes: the library against bsdtar, each in a child.
    fs::create_directories(work / "out-child");
    pid_t qz = fork();
    if (qz == 0) {
        execl("/proc/self/exe", argv[0], "--extract", zip.c_str(), (work / "out-child").string().c_str(),
              (char *)nullptr);
        _exit(127);
    }
    double qzRss = peakRssMb(qz);
    fs::remove_all(work / "out-child");
    fs::create_directories(work / "out-tar");
    pid_t tar = fork();
    if (tar == 0) {
        execlp("bsdtar", "bsdtar", "-xf", zip.c_str(), "-C", (work / "out-tar").string().c_str(), (char *)nullptr);
        _exit(127);
    }
    double tarRss = peakRssMb(tar);
    if (tarRss > 0)
        printf("peak RSS: qz %.1f MB, bsdtar %.1f MB, qz/bsdtar %.2f\n", qzRss, tarRss, qzRss / tarRss);
    else
        printf("peak RSS: qz %.1f MB (bsdtar not available)\n", qzRss);
    fs::remove_all(work);
    return 0;
}
