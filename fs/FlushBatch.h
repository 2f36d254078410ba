#pragma once

#include "fs/CheckedFolder.h"

#include <memory>
#include <vector>

class CheckedFile;

/** Files written one after another and flushed to the disk together. Each is handed to the disk as it is
    added, so that the disk works while the next is written; flush() then waits for all of them at once,
    instead of the disk being made to finish each file before the next is written.

    On Linux a file is closed as it is added, and flush() waits for the whole file system of the folder
    given (syncfs), one wait for any number of files. On Windows each file stays open until flush() flushes
    it (FlushFileBuffers); at most maxOpen are held, beyond which the ones held are flushed early.
*/
class FlushBatch
{
public:
    /** For files on the file system of `folder`, which stays open while the batch lives. */
    explicit FlushBatch (const CheckedFolder& folder);
    ~FlushBatch();

    /** Takes a file whose bytes are all written. Fails when it cannot be closed or flushed. */
    juce::Result add (std::unique_ptr<CheckedFile> file);

    /** Waits until every file added is on the disk. Fails, naming the file or folder, when one is not. */
    juce::Result flush();

    static constexpr size_t maxOpen = 256;

private:
    // One implementation for each system: native/FlushBatchPosix.cpp, native/FlushBatchWindows.cpp.
    juce::Result addNative (std::unique_ptr<CheckedFile> file);
    juce::Result flushNative();

    CheckedFolder fileSystem;
    std::vector<juce::File> closed;                     // Linux: added, not yet flushed
    std::vector<std::unique_ptr<CheckedFile>> open;     // Windows: added, not yet flushed

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FlushBatch)
};
