#include "install/payload/BlockCopy.h"

#include "monolith/Crc32.h"

namespace
{
// Room left for the file system's own bookkeeping when judging whether a write can fit.
constexpr juce::int64 spareBytes = 1 << 20;
} // namespace

BlockCopy::Outcome BlockCopy::forEachBlock (juce::InputStream& in, juce::int64 length, const StopRequest& shouldStop,
                                            const BlockUser& use)
{
    juce::HeapBlock<char> block ((size_t) blockSize);
    return forEachBlock (in, length, shouldStop, use, block);
}

BlockCopy::Outcome BlockCopy::forEachBlock (juce::InputStream& in, juce::int64 length, const StopRequest& shouldStop,
                                            const BlockUser& use, char* block)
{
    for (juce::int64 done = 0; done < length;)
    {
        if (shouldStop != nullptr && shouldStop())
            return Outcome::stopped;

        const auto got = in.read (block, (int) std::min<juce::int64> (blockSize, length - done));

        if (got <= 0 || ! use (block, (size_t) got))
            return Outcome::failed;

        done += got;
    }

    return Outcome::done;
}

BlockCopy::BlockUser BlockCopy::summing (juce::uint32& crc, BlockUser use)
{
    crc = Crc32::initial;

    return [&crc, use = std::move (use)] (const char* data, size_t numBytes)
    {
        crc = Crc32::update (crc, data, numBytes);
        return use == nullptr || use (data, numBytes);
    };
}

BlockCopy::Outcome BlockCopy::toStream (juce::InputStream& in, juce::int64 length, juce::OutputStream& out,
                                        const StopRequest& shouldStop, const BlockUser& see)
{
    return forEachBlock (in, length, shouldStop, [&] (const char* data, size_t numBytes)
    {
        return (see == nullptr || see (data, numBytes)) && out.write (data, numBytes);
    });
}

BlockCopy::Outcome BlockCopy::toNewFile (juce::InputStream& in, juce::int64 length, const juce::File& destination,
                                         const StopRequest& shouldStop, bool durable, juce::uint32* crc)
{
    // Never appended to: what is there already may not be ours.
    if (destination.exists())
        return Outcome::failed;

    {
        // Unbuffered: every write reports its own failure, none is left for the destructor to lose.
        juce::FileOutputStream out (destination, 0);

        if (out.failedToOpen())
            return Outcome::failed;

        const BlockUser write = [&out] (const char* data, size_t numBytes) { return out.write (data, numBytes); };
        const auto copied = forEachBlock (in, length, shouldStop, crc != nullptr ? summing (*crc, write) : write);

        if (copied != Outcome::done)
            return copied;

        if (durable)
            out.flush();

        if (out.getStatus().failed())
            return Outcome::failed;
    }

    return destination.getSize() == length ? Outcome::done : Outcome::failed;
}

bool BlockCopy::fitsInto (const juce::File& folder, juce::int64 numBytes)
{
    return folder.getBytesFreeOnVolume() >= numBytes + spareBytes;
}
