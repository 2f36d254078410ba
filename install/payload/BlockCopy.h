#pragma once

// install/payload/ is what an installation copies and unpacks: BlockCopy (every copy's block loop),
// VerifiedCopy (the monolith, read back as it is written), PluginArchive and PluginArchiveCopy (the
// plug-in's ZIP archive and the check's private copy of it). It includes the engine's rules in install/
// and the layers below the engine; never the model, the runs, transaction/ or installed/.

#include <juce_core/juce_core.h>

#include <functional>

/** The engine's one way of moving bytes: a block at a time, asking before every block whether to stop,
    so that no copy holds more than a block in memory and every copy can be stopped part-way.
*/
class BlockCopy
{
public:
    enum class Outcome { done, failed, stopped };

    /** Asked before every block; true ends the copy with `stopped`. */
    using StopRequest = std::function<bool()>;

    /** Takes one block; false ends the copy with `failed`. */
    using BlockUser = std::function<bool (const char* data, size_t numBytes)>;

    /** Reads exactly `length` bytes of `in` and hands them to `use` a block at a time. Fails when the
        stream ends early or fails.
    */
    static Outcome forEachBlock (juce::InputStream& in, juce::int64 length, const StopRequest& shouldStop,
                                 const BlockUser& use);

    /** The same through the caller's `block` of blockSize bytes, for a caller that reads many times. */
    static Outcome forEachBlock (juce::InputStream& in, juce::int64 length, const StopRequest& shouldStop,
                                 const BlockUser& use, char* block);

    /** As forEachBlock, but the next block is read on a thread of its own while `use` takes the last one
        on the calling thread, which also asks `shouldStop`: a copy whose reads cost work of their own (a
        descrambling stream) then keeps both the reads and the writes going. `in` is used on that thread
        only until this returns. Holds two blocks; reads one at a time where no thread can be started.
    */
    static Outcome forEachBlockReadingAhead (juce::InputStream& in, juce::int64 length, const StopRequest& shouldStop,
                                             const BlockUser& use);

    /** Sums on the way: a block user that adds every block to the CRC-32 in `crc` (started afresh here)
        and then hands it to `use`, when given. How every copy or read works out the CRC-32 of its bytes.
    */
    static BlockUser summing (juce::uint32& crc, BlockUser use = {});

    /** Copies exactly `length` bytes of `in` to `out`, showing each block to `see` first (when given), which
        may check it or count it and ends the copy with `failed` by returning false. Fails when a write fails.
    */
    static Outcome toStream (juce::InputStream& in, juce::int64 length, juce::OutputStream& out,
                             const StopRequest& shouldStop, const BlockUser& see = {});

    /** Copies exactly `length` bytes of `in` into the new file `destination` and checks the file's size
        afterwards; fails at once when `destination` exists. `durable` waits for the data to reach the
        disk, for a file that will replace another. When `crc` is given, the CRC-32 of the bytes written
        is stored there. A failed or stopped copy leaves the partial file for the caller to remove.
    */
    static Outcome toNewFile (juce::InputStream& in, juce::int64 length, const juce::File& destination,
                              const StopRequest& shouldStop, bool durable, juce::uint32* crc = nullptr);

    /** Whether `numBytes` more can be written in `folder`, leaving room for the file system's bookkeeping. */
    static bool fitsInto (const juce::File& folder, juce::int64 numBytes);

    static constexpr int blockSize = 1 << 20;

private:
    class ReadAhead;

    BlockCopy() = delete;
};
