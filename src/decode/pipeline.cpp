// pipeline.cpp -- the chunked decoding loop and the entry decoding pipeline.
//
// One loop serves the extraction to disk (DecodeEntry: CRC, write,
// progress) and the extraction into memory (a window of the decoded bytes
// into the caller's buffer); they differ only in their sinks.
//
// The step loop of a chunk runs while the chunk has input left, and, for a
// Deflate entry, also after its last chunk is used up until the engine
// reports the end: the engine keeps decoded bytes in its window until a
// delivery, so the last input can be consumed long before the last bytes
// come out.  Those calls get no input and the final-input flag.
#include "decode/pipeline.h"

#include <string.h>

#include "crypt/crypt.h"
#include "decode/decode.h"
#include "frame/frame.h"

namespace qz {
namespace decode {

namespace {

bool readChunk(HANDLE file, uint8_t *buffer, uint32_t count) {
    if (count == 0)
        return true;
    DWORD got = 0;
    return ReadFile(file, buffer, count, &got, NULL) && got == count;
}

// The chunk that starts with `left` bytes still to be read.
struct Chunk {
    uint32_t size;
    bool last;
    explicit Chunk(uint64_t left)
        : size(left < kTransferBytes ? (uint32_t)left : kTransferBytes), last(left <= kTransferBytes) {}
};

}  // namespace

int16_t decodeChunks(HANDLE input, int64_t compressedSize, int16_t method, bool encrypted,
                     const TransferBuffers &buffers, BlockSink &sink) {
    if (compressedSize < 1)
        return QZ_OK;
    if (method < 0 || method > 4)
        return QZ_ERR_METHOD;

    // The workspace lives for one entry: allocated here, freed on the way out.
    bool deflated = method != 0;
    frame::LockedBlock workspaceBlock;
    if (deflated) {
        if (!workspaceBlock.allocate(InflateWorkspaceSize()))
            return QZ_ERR_MEMORY;
        InflateReset(workspaceBlock.p);
    }
    void *workspace = workspaceBlock.p;

    int16_t result = QZ_OK;
    uint8_t *in = buffers.input;
    uint8_t *out = (uint8_t *)GlobalLock(buffers.output);
    uint64_t left = (uint64_t)compressedSize;  // still to be read, this chunk included
    Chunk chunk(left);
    if (!out || !in)
        result = QZ_ERR_MEMORY;
    else if (!readChunk(input, in, chunk.size))
        result = QZ_ERR_READ;

    bool done = false;
    while (result == QZ_OK) {
        if (encrypted)
            crypt::decrypt(in, chunk.size);

        uint32_t pos = 0;
        while ((pos < chunk.size || (deflated && chunk.last)) && !done && !sink.full()) {
            sink.beforeStep();
            uint32_t consumed = chunk.size - pos, produced;
            if (!deflated) {
                memcpy(out, in + pos, consumed);
                produced = consumed;
                done = chunk.last;
            } else {
                produced = kTransferBytes;
                done = Inflate(in, pos, &consumed, out, 0, &produced, workspace,
                               chunk.last ? 1 : 0) != kInflateSuspended;
                // A call that moved nothing cannot be followed by one that
                // does; end here rather than spin.
                if (consumed == 0 && produced == 0)
                    done = true;
            }
            result = sink.take(out, produced);
            if (result != QZ_OK)
                break;
            pos += consumed;
            frame::pump();
        }
        if (result != QZ_OK || done)
            break;

        left -= chunk.size;
        chunk = Chunk(left);
        if (frame::g.cancel || sink.full())
            break;
        if (!readChunk(input, in, chunk.size))
            result = QZ_ERR_READ;
    }

    if (frame::takeCancel())
        result = QZ_CANCELLED;
    sink.finish();
    workspaceBlock.release();
    if (out)
        GlobalUnlock(buffers.output);
    return result;
}

namespace {

// Extraction to disk: every block goes into the CRC and, unless testing,
// into the output file; progress notifications tell the host how far it is.
class EntrySink : public BlockSink {
public:
    EntrySink(HANDLE output, uint64_t size) : output_(output), size_(size) {}

    void beforeStep() override { frame::progress(upTo32(written_)); }

    int16_t take(const uint8_t *block, uint32_t count) override {
        crc_ = crypt::crc32(block, count, crc_);
        if (output_ == INVALID_HANDLE_VALUE || count == 0)
            return QZ_OK;
        DWORD wrote = 0;
        if (!WriteFile(output_, block, count, &wrote, NULL) || wrote != count)
            return QZ_ERR_WRITE;
        written_ += count;
        return QZ_OK;
    }

    void finish() override { frame::progress(upTo32(size_)); }

    uint32_t crc() const { return ~crc_; }

private:
    static uint32_t upTo32(uint64_t n) { return n < 0xFFFFFFFFu ? (uint32_t)n : 0xFFFFFFFFu; }

    HANDLE output_;
    uint64_t size_;
    uint64_t written_ = 0;
    uint32_t crc_ = 0xFFFFFFFFu;
};

}  // namespace

int16_t DecodeEntry(HANDLE archive, HANDLE output, int64_t compressedSize, uint64_t uncompressedSize,
                    int16_t method, uint32_t *crc, int16_t encrypted, const TransferBuffers &buffers) {
    EntrySink sink(output, uncompressedSize);
    frame::progress(0);
    int16_t result = decodeChunks(archive, compressedSize, method, encrypted != 0, buffers, sink);
    *crc = sink.crc();
    return result;
}

}  // namespace decode
}  // namespace qz
