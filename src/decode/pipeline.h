// pipeline.h -- decoding the stored data of one entry from an open file:
// the chunked loop over the shared transfer buffers, and the entry decoding
// pipeline of the extraction to disk built on it.
//
// This header is apart from decode.h on purpose: the engine there is pure
// computation and sees no platform type, while the pipeline reads files,
// locks global memory, runs the message pump and sends progress events.
//
// The loop reads the compressed data in chunks of at most kTransferBytes into
// the input transfer buffer, deciphers each chunk when the entry is
// encrypted (continuing the key state the password check prepared), and
// turns it into blocks of decoded bytes in the output transfer buffer: a
// stored chunk is copied whole, a Deflate chunk is decoded by as many engine
// calls as it takes, each with kTransferBytes of room.  What becomes of each
// block is the sink's business.  Between chunks the cancel flag is looked
// at; the message pump runs after every block.
#ifndef QZ_DECODE_PIPELINE_H
#define QZ_DECODE_PIPELINE_H

#include <stdint.h>

#include "frame/frame.h"
#include "platform/win32.h"

namespace qz {
namespace decode {

// The shared transfer buffers the loop works in (frame.h): a chunk of
// compressed data in the input buffer, and the room of one decoding step
// (more than one whole window delivery) in the output buffer.
using frame::TransferBuffers;
using frame::kTransferBytes;

// What the chunked loop does with the bytes it produces.
class BlockSink {
public:
    // Before each decoding step.
    virtual void beforeStep() {}
    // Takes one block of decoded bytes: QZ_OK to go on, or the result code
    // that ends the decoding.
    virtual int16_t take(const uint8_t *block, uint32_t count) = 0;
    // True when the sink wants no more bytes: decoding stops there, with
    // success, without reading the rest of the entry.
    virtual bool full() const { return false; }
    // Once, after the data were read as far as they were going to be; not
    // called when decoding never started (nothing to read, an unknown
    // method, no memory for the workspace).
    virtual void finish() {}

protected:
    ~BlockSink() = default;
};

// Decodes compressedSize bytes from the current position of input, coded
// with internal method code method (0 stored, 1 to 4 Deflate; others are
// refused with QZ_ERR_METHOD before anything is read), into the sink.
// Returns:
//   QZ_OK          the data were decoded to their end (stored: the last
//                  chunk was taken; Deflate: the engine reported the end,
//                  which invalid data also gives), or the sink became full,
//                  or compressedSize < 1;
//   QZ_ERR_METHOD  the method code is not 0 to 4;
//   QZ_ERR_MEMORY  no memory for the decoder workspace;
//   QZ_ERR_READ    a read came back short;
//   QZ_CANCELLED   the cancel flag was found set (it is cleared); this wins
//                  over QZ_ERR_READ and over the sink's own code;
//   or the code the sink returned from take.
int16_t decodeChunks(HANDLE input, int64_t compressedSize, int16_t method, bool encrypted,
                     const TransferBuffers &buffers, BlockSink &sink);

// The entry decoding pipeline of the extraction to disk: decodes an entry
// to output (INVALID_HANDLE_VALUE in test mode, where nothing is written),
// keeps its CRC-32 (*crc: the final value, 0 when nothing was decoded) and
// sends progress notifications: one before anything is done, one before
// every decoding step with the bytes written so far, and a last one with
// uncompressedSize once the data were read (progress counts as far as its
// 32-bit field goes).  Results as decodeChunks, with QZ_ERR_WRITE for a
// failed or short write.
int16_t DecodeEntry(HANDLE archive, HANDLE output, int64_t compressedSize, uint64_t uncompressedSize,
                    int16_t method, uint32_t *crc, int16_t encrypted, const TransferBuffers &buffers);

}  // namespace decode
}  // namespace qz

#endif
