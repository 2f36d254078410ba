#pragma once

#include <juce_core/juce_core.h>

/** A new file that CheckedFolder::createFile made exclusively, written front to back through the handle
    it was created with. Unbuffered: every write reports its own failure. flush() waits until the data is
    on the disk, as the framework's file streams do, so that a file can be flushed before it replaces
    another. Destroying it closes the file, which stays.
*/
class CheckedFile : public juce::OutputStream
{
public:
    ~CheckedFile() override;

    /** The file's name in its folder. */
    const juce::String& getName() const noexcept    { return name; }

    /** Ok until a write, flush or close fails; then why. */
    const juce::Result& getStatus() const noexcept  { return status; }

    /** Keeps every other process from claiming the file (CheckedFolder::claimFile) while it stays open, for
        a file that records a run as it goes. Waits while another process has claimed it, and fails when that
        one removed it.
    */
    juce::Result hold();

    /** Closes the file, reporting a failure that only closing shows. */
    juce::Result close();

    enum class SystemCopy { done, unsupported, failed };

    /** Appends `numBytes` from `offset` of another open file (ReadOnlyFile::getNativeHandle) without
        passing them through this process, where the system can (Linux). `unsupported`, with nothing
        written, where it cannot: the caller writes the bytes itself. A source that ends early fails.
    */
    SystemCopy copyFrom (juce::pointer_sized_int sourceHandle, juce::int64 offset, juce::int64 numBytes);

    /** Hands what has been written since the last call to the disk without waiting for it (Linux;
        Windows' lazy writer does this by itself). For a large file that will be flushed: written out
        as it grows, the flush at the end only waits for the tail.
    */
    void startWritingOut();

    bool write (const void* data, size_t numBytes) override;
    void flush() override;
    juce::int64 getPosition() override              { return position; }
    bool setPosition (juce::int64) override         { return false; }

private:
    friend class CheckedFolder;
    friend class FlushBatch;

    // The file descriptor (Linux) or HANDLE (Windows); -1 once closed on both.
    CheckedFile (juce::pointer_sized_int nativeHandle, const juce::File& newFile);

    void fail (const juce::String& what);

    // One implementation for each system, with startWritingOut and copyFrom: native/CheckedFilePosix.cpp,
    // native/CheckedFileWindows.cpp. Each reports failure as the system does, so that fail() finds the
    // system's error right after it.
    juce::int64 writeNative (const char* bytes, size_t numBytes);  // bytes one call wrote; 0 or less: failed
    bool flushNative();
    juce::Result holdNative();
    bool closeNative();

    juce::pointer_sized_int fileHandle;
    juce::File file;
    juce::String name;
    juce::int64 position = 0, writingOutFrom = 0;
    juce::Result status;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CheckedFile)
};
