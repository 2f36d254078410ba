#include "install/payload/BlockCopy.h"

#include "monolith/Crc32.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

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

/** The reading side of forEachBlockReadingAhead: a thread that fills two blocks in turn, each handed to
    the calling thread once read and given back once used.
*/
class BlockCopy::ReadAhead
{
public:
    ReadAhead (juce::InputStream& source, juce::int64 length)
        : in (source), remaining (length)
    {
        for (auto& block : blocks)
            block.memory.malloc ((size_t) blockSize);
    }

    ~ReadAhead()
    {
        {
            const std::scoped_lock lock (mutex);
            finished = true;
        }

        changed.notify_all();

        if (reader.joinable())
            reader.join();
    }

    /** False when no thread could be started. */
    bool start()
    {
        try
        {
            reader = std::thread ([this] { readBlocks(); });
            return true;
        }
        catch (const std::system_error&)
        {
            return false;
        }
    }

    /** Waits for the next block and hands it to `use`; false when it could not be read or was refused. */
    bool useNext (const BlockUser& use)
    {
        auto& block = blocks[nextToUse];
        std::unique_lock lock (mutex);
        changed.wait (lock, [&] { return block.numBytes != 0; });
        const auto numBytes = block.numBytes;
        lock.unlock();

        const auto used = numBytes > 0 && use (block.memory.get(), (size_t) numBytes);

        lock.lock();
        block.numBytes = 0;
        lock.unlock();
        changed.notify_all();
        nextToUse = 1 - nextToUse;
        return used;
    }

private:
    struct Block
    {
        juce::HeapBlock<char> memory;
        int numBytes = 0;   // 0: free to fill; negative: the read failed
    };

    void readBlocks()
    {
        for (int next = 0; remaining > 0; next = 1 - next)
        {
            auto& block = blocks[next];
            {
                std::unique_lock lock (mutex);
                changed.wait (lock, [&] { return finished || block.numBytes == 0; });

                if (finished)
                    return;
            }

            const auto got = in.read (block.memory.get(), (int) std::min<juce::int64> (blockSize, remaining));
            remaining -= std::max (got, 0);
            {
                const std::scoped_lock lock (mutex);
                block.numBytes = got > 0 ? got : -1;
            }
            changed.notify_all();

            if (got <= 0)
                return;
        }
    }

    juce::InputStream& in;
    juce::int64 remaining;
    Block blocks[2];
    int nextToUse = 0;
    bool finished = false;
    std::mutex mutex;
    std::condition_variable changed;
    std::thread reader;
};

BlockCopy::Outcome BlockCopy::forEachBlockReadingAhead (juce::InputStream& in, juce::int64 length, const StopRequest& shouldStop,
                                                        const BlockUser& use)
{
    ReadAhead readAhead (in, length);

    if (! readAhead.start())
        return forEachBlock (in, length, shouldStop, use);

    for (juce::int64 done = 0; done < length;)
    {
        if (shouldStop != nullptr && shouldStop())
            return Outcome::stopped;

        juce::int64 numUsed = 0;
        const auto counting = [&] (const char* data, size_t numBytes)
        {
            numUsed = (juce::int64) numBytes;
            return use (data, numBytes);
        };

        if (! readAhead.useNext (counting))
            return Outcome::failed;

        done += numUsed;
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
