#pragma once

#include "monolith/ChunkChecksums.h"

/** Checks a monolith against its checksum entry while its stored bytes pass by, as a copy reads them:
    one pass, and no byte is read for the check alone.

    Each chunk's CRC-32 is compared as soon as its last byte has passed, so the first damaged chunk in
    file order is known as early as the bytes allow; the checksum entry itself is compared with the
    bytes that ChunkChecksums::load read, so that the file cannot change in between unnoticed.
*/
class ChecksumVerifier
{
public:
    /** `checksums` must be loaded (see ChunkChecksums::load). */
    explicit ChecksumVerifier (const ChunkChecksums& checksums);

    /** The next stored bytes of the monolith, in file order from its first byte. Returns false once damage
        is known; the bytes that follow are then ignored.
    */
    bool update (const void* data, size_t numBytes);

    /** Call after the last byte: true when every chunk was there, whole and unchanged, and nothing
        followed the last one.
    */
    bool finish();

    bool hasFailed() const noexcept                 { return failure != Failure::none; }

    /** The CRC-32 of every byte seen so far up to the end of the last whole chunk: after a successful
        finish(), that of the whole monolith, worked out from the chunks' CRCs without another pass.
    */
    juce::uint32 getMonolithCrc() const noexcept    { return monolithCrc; }

    /** The first damaged entry in file order, for the log: its name (or its type and key) and where its
        chunk lies; empty while nothing is known to be damaged.
    */
    juce::String describeDamage() const;

    /** The checksum record of the first damaged chunk, or null (also for bytes after the last chunk). */
    const ChunkChecksums::Record* getDamagedRecord() const noexcept;

private:
    enum class Failure { none, mismatch, cutShort, bytesAfterTheEnd };

    void fail (Failure);

    std::vector<ChunkChecksums::Record> chunks;     // the records and the entry itself, in file order
    size_t current = 0;
    juce::int64 position = 0;
    juce::uint32 crc = 0, monolithCrc = 0;
    Failure failure = Failure::none;
    juce::int64 failedAt = 0;

    JUCE_LEAK_DETECTOR (ChecksumVerifier)
};
