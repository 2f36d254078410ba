#include "monolith/MonolithStructure.h"
#include "monolith/ChunkChecksums.h"

#include <limits>

MonolithStructure MonolithStructure::of (juce::InputStream& monolith)
{
    MonolithStructure structure;
    ChunkWalk walk (monolith);
    ChunkWalk::Header header;

    while (walk.next (header))
    {
        // Every chunk a writer makes holds its key; a smaller size is a damaged header.
        if (! header.hasKey())
        {
            structure.judge (Stop::badSize, header, walk.getFileLength());
            return structure;
        }

        if (header.type == ChunkType::checksums && header.getKey() == ChunkChecksums::entryKey && ! structure.checksumEntry)
            structure.checksumEntry = header;

        ++structure.numChunks;
    }

    const auto stop = [&walk, &structure]
    {
        switch (walk.getEnd())
        {
            case ChunkWalk::End::endOfFile:         return structure.numChunks > 0 ? Stop::none : Stop::cutShortHeader;
            case ChunkWalk::End::cutShortHeader:    return Stop::cutShortHeader;
            case ChunkWalk::End::pastTheEnd:        return Stop::pastTheEnd;
            case ChunkWalk::End::negativeSize:      return Stop::badSize;
            case ChunkWalk::End::notYet:
            case ChunkWalk::End::unreadable:
            default:                                return Stop::unreadable;
        }
    }();

    structure.judge (stop, header, walk.getFileLength());
    return structure;
}

MonolithStructure MonolithStructure::of (const juce::File& monolith)
{
    juce::FileInputStream stream (monolith);

    if (! stream.openedOk())
        return {};

    return of (stream);
}

void MonolithStructure::judge (Stop stop, const ChunkWalk::Header& stoppedAt, juce::int64 fileLength)
{
    reason = stop;
    stopOffset = stoppedAt.start;
    claimedSize = stoppedAt.size;
    foundBytes = juce::jmax (juce::int64 { 0 }, fileLength);

    switch (stop)
    {
        case Stop::none:
            verdict = Verdict::complete;
            expectedBytes = fileLength;
            break;

        case Stop::cutShortHeader:
            // At least a whole header and key must follow the last whole chunk.
            verdict = Verdict::incomplete;
            expectedBytes = stoppedAt.start + ChunkWalk::headerSize + ChunkWalk::keySize;
            break;

        case Stop::pastTheEnd:
            verdict = Verdict::incomplete;
            expectedBytes = claimedSize > std::numeric_limits<juce::int64>::max() - stoppedAt.start - ChunkWalk::headerSize
                                ? std::numeric_limits<juce::int64>::max()
                                : stoppedAt.start + ChunkWalk::headerSize + claimedSize;
            break;

        case Stop::badSize:
        case Stop::unreadable:
        case Stop::cantOpen:
        default:
            // The chunks cannot be followed any further: they account for the bytes before this one.
            verdict = stop == Stop::badSize ? Verdict::damaged : Verdict::unreadable;
            expectedBytes = foundBytes;
            foundBytes = stoppedAt.start;
            break;
    }
}

juce::String MonolithStructure::describe() const
{
    const auto counts = "expected " + juce::String (expectedBytes) + " bytes, found " + juce::String (foundBytes);
    const auto at = juce::String (stopOffset);

    switch (reason)
    {
        case Stop::none:            return {};
        case Stop::cantOpen:        return "the file cannot be opened";
        case Stop::cutShortHeader:  return counts + (foundBytes == 0
                                                         ? " (the file is empty)"
                                                         : " (the file ends inside the chunk header at byte " + at + ")");
        case Stop::pastTheEnd:      return counts + " (the chunk at byte " + at + " runs past the end of the file)";
        case Stop::badSize:         return counts + " (the chunk header at byte " + at + " is damaged: size " + juce::String (claimedSize) + ")";
        case Stop::unreadable:
        default:                    return counts + " (reading failed at byte " + at + ")";
    }
}
