#include "install/payload/VerifiedCopy.h"

namespace
{
/** Appends `numBytes` of the source from `offset` to the destination: inside the system until it says it
    cannot (then `inSystem` turns false for the rest of the copy), otherwise through a block in memory.
*/
bool copyStep (const MonolithSource& source, juce::InputStream& in, juce::int64 offset, juce::int64 numBytes,
               CheckedFile& destination, bool& inSystem, char* block)
{
    if (inSystem)
    {
        const auto copied = destination.copyFrom (source.getNativeHandle(), offset, numBytes);

        if (copied != CheckedFile::SystemCopy::unsupported)
            return copied == CheckedFile::SystemCopy::done;

        inSystem = false;
    }

    if (! in.setPosition (offset))
        return false;

    const auto write = [&destination] (const char* data, size_t size) { return destination.write (data, size); };
    return BlockCopy::forEachBlock (in, numBytes, nullptr, write, block) == BlockCopy::Outcome::done;
}
} // namespace

BlockCopy::Outcome VerifiedCopy::run (const MonolithSource& source, CheckedFile& destination, juce::InputStream& readBack,
                                      const BlockCopy::StopRequest& shouldStop, const BlockCopy::BlockUser& check,
                                      const Progress& progress)
{
    const auto in = source.createInputStream();
    const auto length = source.getSize();
    juce::HeapBlock<char> block ((size_t) BlockCopy::blockSize);
    auto inSystem = true;
    juce::int64 verified = 0;

    if (in == nullptr)
        return BlockCopy::Outcome::failed;

    const auto checkBlock = [&] (const char* data, size_t numBytes)
    {
        if (! check (data, numBytes))
            return false;

        verified += (juce::int64) numBytes;
        progress (verified);
        return true;
    };

    for (juce::int64 copied = 0; copied < length;)
    {
        if (shouldStop != nullptr && shouldStop())
            return BlockCopy::Outcome::stopped;

        const auto numBytes = std::min (stepSize, length - copied);

        if (! copyStep (source, *in, copied, numBytes, destination, inSystem, block)
             || BlockCopy::forEachBlock (readBack, numBytes, nullptr, checkBlock, block) != BlockCopy::Outcome::done)
            return BlockCopy::Outcome::failed;

        destination.startWritingOut();
        copied += numBytes;
    }

    return BlockCopy::Outcome::done;
}
