#pragma once

#include "install/payload/BlockCopy.h"
#include "fs/CheckedFile.h"
#include "monolith/MonolithSource.h"

/** Copies a monolith into a new file and proves the copy on the way. A step of a few mebibytes at a
    time is copied inside the system where it can (otherwise through a block in memory), then read back
    from the new file through its name, every block of it shown to a checker. So the checker sees what
    was written, not what was meant to be: a checksum pass over the copy proves both the copy and the
    monolith. Each step is handed on to the disk as soon as it is proven, so the disk writes while the
    copy goes on; the caller flushes and closes the file.
*/
class VerifiedCopy
{
public:
    /** Told the number of bytes copied and proven after every block read back. */
    using Progress = std::function<void (juce::int64 done)>;

    /** Copies the whole of `source` to `destination`, reading every step back from `readBack`, a stream
        of the same file opened by its name. Fails when a copy or a read fails or the checker refuses a
        block; a failed or stopped copy leaves the partial file.
    */
    static BlockCopy::Outcome run (const MonolithSource& source, CheckedFile& destination, juce::InputStream& readBack,
                                   const BlockCopy::StopRequest& shouldStop, const BlockCopy::BlockUser& check,
                                   const Progress& progress);

    /** The most bytes copied before they are read back. */
    static constexpr juce::int64 stepSize = 8 << 20;

private:
    VerifiedCopy() = delete;
};
