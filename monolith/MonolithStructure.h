#pragma once

#include "monolith/ChunkWalk.h"

#include <optional>

/** Whether a monolith is whole as its chunk headers describe it: a walk over every header, reading no
    payload, that must end exactly at the end of the file.

    A download cut short leaves a last chunk that runs past the end of the file or a header cut in two;
    damage to a header shows as a size that no writer produces. Each is reported with the number of
    bytes expected and found.
*/
class MonolithStructure
{
public:
    enum class Verdict
    {
        complete,
        incomplete,     // the file ends before its chunks do
        damaged,        // a chunk header holds an impossible size
        unreadable      // the file could not be opened or read to its end
    };

    /** Walks the headers of `monolith`, which must be seekable; its position is moved. */
    static MonolithStructure of (juce::InputStream& monolith);

    static MonolithStructure of (const juce::File& monolith);

    Verdict getVerdict() const noexcept         { return verdict; }
    bool isComplete() const noexcept            { return verdict == Verdict::complete; }

    /** For an incomplete file: the length its chunk headers call for (at least), and its real length.
        For a damaged or unreadable one: the file's length, and how many bytes from its start the walk
        could account for before it broke off.
    */
    juce::int64 getExpectedBytes() const noexcept   { return expectedBytes; }
    juce::int64 getFoundBytes() const noexcept      { return foundBytes; }

    /** Where the walk stopped: the start of the chunk it could not take. */
    juce::int64 getStopOffset() const noexcept      { return stopOffset; }

    /** The whole chunks that the walk passed, the checksum entry included. */
    int getNumChunks() const noexcept               { return numChunks; }

    /** The header of the first checksum entry in file order (see ChunkChecksums), if the walk met one. */
    const std::optional<ChunkWalk::Header>& getChecksumEntry() const noexcept     { return checksumEntry; }

    /** What is wrong, for the log: "expected N bytes, found M (...)"; empty for a complete file. */
    juce::String describe() const;

private:
    MonolithStructure() = default;

    enum class Stop { none, cantOpen, cutShortHeader, pastTheEnd, badSize, unreadable };

    void judge (Stop stop, const ChunkWalk::Header& stoppedAt, juce::int64 fileLength);

    Verdict verdict = Verdict::unreadable;
    Stop reason = Stop::cantOpen;
    juce::int64 expectedBytes = 0, foundBytes = 0, stopOffset = 0, claimedSize = 0;
    int numChunks = 0;
    std::optional<ChunkWalk::Header> checksumEntry;
};
