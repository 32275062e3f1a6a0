// memory.cpp -- Qz4UnZipPtr: one entry decoded into the caller's buffer.
//
// The first entry in directory order that fits the specification (same
// directory, name pattern) is decoded from its start; of the decoded bytes,
// `skip` are passed over and at most `limit` are delivered, contiguously
// from the first byte of the caller's buffer.  Decoding stops as soon as
// the limit is reached.  Nothing is written to disk, no CRC is checked and
// no progress is reported; the entry is read at its recorded offset, with
// no change of volume.
#include "archive/archive.h"
#include "decode/pipeline.h"
#include "extract/extract.h"
#include "frame/frame.h"
#include "select/select.h"

#include <string.h>

namespace qz {
namespace extract {

namespace {

// Delivers the window [skip, skip + limit) of the decoded stream.
class WindowSink : public decode::BlockSink {
public:
    WindowSink(uint8_t *buffer, int32_t skip, int32_t limit)
        : buffer_(buffer), skip_(skip < 0 ? 0 : (uint32_t)skip),
          limit_(limit < 0 ? 0x7FFFFFFFu : (uint32_t)limit) {}

    int16_t take(const uint8_t *block, uint32_t produced) override {
        uint64_t end = pos_ + produced;
        if (skip_ < end) {
            uint32_t from = skip_ > pos_ ? (uint32_t)(skip_ - pos_) : 0;
            uint32_t n = produced - from;
            if (n > limit_ - delivered_)
                n = limit_ - delivered_;
            memcpy(buffer_ + delivered_, block + from, n);
            delivered_ += n;
        }
        pos_ = end;
        return QZ_OK;
    }

    bool full() const override { return delivered_ >= limit_; }

private:
    uint8_t *buffer_;
    uint64_t skip_;
    uint32_t limit_;
    uint32_t delivered_ = 0;
    uint64_t pos_ = 0;   // stream position of the next block
};

// Walks to the first entry that fits the specification (same directory, name
// pattern): QZ_OK with its record, or the walk's result (QZ_NO_MORE_ENTRIES
// when none fits).  The enumeration buffers are the caller's.
int16_t findFitting(archive::Archive *a, const char *specification, QzEntryRecord *record, uint8_t *extra,
                    char *comment) {
    char specDir[kNameBytes], pattern[kNameBytes];
    select::splitPath(specification, nullptr, specDir, pattern);
    if (!pattern[0])
        lstrcpyA(pattern, "*");
    qz::ansiToOem(specDir, specDir);
    qz::ansiToOem(pattern, pattern);

    char name[kNameBytes + 1];
    int16_t r = walkEntries(a, true, record, name, extra, comment);
    for (;;) {
        if (r != QZ_OK)
            return r;
        char entryDir[kNameBytes], entryName[kNameBytes];
        qz::ansiToOem(name, name);
        select::splitPath(name, nullptr, entryDir, entryName);
        if (select::entryTest(entryDir, entryName, specDir, pattern, false))
            return QZ_OK;
        r = walkEntries(a, false, record, name, extra, comment);
    }
}

// Finds, decodes and delivers; the enumeration buffers are the caller's.
int16_t unzipToMemory(QzHandle handle, uint8_t *buffer, int32_t skip, int32_t limit,
                      const char *specification, const char *command, uint8_t *extra, char *comment) {
    uint32_t options = 0;
    char password[frame::kPasswordBytes];
    int16_t r = frame::parse(command, &options, password);
    if (r != QZ_OK)
        return r;

    archive::Archive *a;
    if (archive::findArchive(handle, &a) != QZ_OK)
        return QZ_ERR_HANDLE;
    shareLongNames(a, &options);

    QzEntryRecord record;
    r = findFitting(a, specification, &record, extra, comment);
    if (r != QZ_OK)
        return r;

    archive::LocalHeader local;
    uint64_t at = a->entry.localHeaderOffset;
    if (!archive::seekTo(a->file, at) || archive::readLocalHeader(a->file, &local) != QZ_OK ||
        !archive::seekTo(a->file, at + archive::kLocalHeaderBytes + local.nameLength +
                                      local.extraLength))
        return QZ_ERR_READ;

    r = Qz4ZipCheckPassword(handle, &record, password);
    if (r != QZ_OK) {
        // Strong encryption is no password problem but a method one.
        frame::raise(QZ_EVENT_MESSAGE, r == QZ_ERR_METHOD ? QZ_ERR_METHOD : QZ_WRONG_PASSWORD);
        return r;
    }
    if (!knownMethod(record.method)) {
        frame::raise(QZ_EVENT_MESSAGE, QZ_ERR_METHOD);
        return QZ_ERR_METHOD;
    }
    if (options & OPT_TEST)
        return QZ_OK;

    // Without a buffer there is nowhere to deliver to.
    WindowSink sink(buffer, skip, buffer ? limit : 0);
    return decode::decodeChunks(a->file, (int32_t)record.compressedSize,
                                methodCode((int16_t)record.method, record.flags), (record.flags & 1) != 0,
                                archive::transferBuffers(), sink);
}

}  // namespace

}  // namespace extract
}  // namespace qz

using namespace qz;

QZ_API(int16_t) Qz4UnZipPtr(QzHandle archive, void *buffer, int32_t skip, int32_t limit,
                            const char *specification, const char *command) {
    frame::LockedBlock extra, comment;
    int16_t r = QZ_ERR_MEMORY;
    if (extra.allocate(extract::kWorkBufferBytes) && comment.allocate(extract::kWorkBufferBytes))
        r = extract::unzipToMemory(archive, (uint8_t *)buffer, skip, limit, specification, command,
                                   (uint8_t *)extra.p, (char *)comment.p);
    extra.release();
    comment.release();
    return r;
}
