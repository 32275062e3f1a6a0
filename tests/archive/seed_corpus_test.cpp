// Writes the seed inputs of fuzz/archive_fuzz.cpp: one archive of every
// layout the builder makes.  Runs only when QZ_WRITE_FUZZ_SEEDS names the
// folder to write into (fuzz/corpus/archive_fuzz); otherwise it is skipped.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "support/archive_builder.h"

using namespace qztest;

namespace {

TEST(FuzzSeeds, WriteOneArchiveOfEveryLayout)
{
    const char *dir = getenv("QZ_WRITE_FUZZ_SEEDS");
    if (!dir || !*dir)
        GTEST_SKIP() << "set QZ_WRITE_FUZZ_SEEDS to the seed folder";
    Entry stored("a.txt", "plain stored text\n");
    Entry deflated("dir\\b.txt", std::string(300, 'b') + "tail", 8);
    deflated.comment = "entry comment";
    deflated.extra = extraBlock(0x5455, "\x01\x02\x03\x04\x05") + extendedNameBlock("\\Long name b.txt");
    Entry secret("c.bin", "secret data", 0);
    secret.password = "pw";
    Entry unix_("u", "x");
    unix_.host = 3;
    std::vector<Entry> three = {stored, deflated, secret};
    std::string d = dir;
    std::vector<std::pair<std::string, std::string>> seeds = {
        {"plain.zip", buildZip(three)},
        {"comment.zip", buildZip({stored, unix_}, ZipOptions{"archive comment", "", ""})},
        {"empty.zip", endRecord(0, 0, 0, 0, 0, 0, "")},
        {"sfx-pklite.exe", buildSfx(three, true)},
        {"sfx.exe", buildSfx({stored}, false)},
        {"qzvw1.qzv", buildQzvw(1, three)},
        {"qzvw2.qzv", buildQzvw(2, {stored})},
        {"qzvw3.qzv", buildQzvw(3, three)},
        {"qzvw-set.001", buildQzvwSet(1, {{stored}, {deflated}})[0]},
        {"spanned-one.zip", buildSpanned(three, 100000)[0]},
        {"spanned-first.zip", buildSpanned(three, 200)[0]},
        {"spanned-last.zip", buildSpanned(three, 200).back()},
        {"dirfirst.zip", buildDirFirst(three, "c")},
    };
    for (auto &s : seeds)
        ASSERT_TRUE(writeFile(d + "/" + s.first, s.second)) << s.first;
}

}  // namespace
