#pragma once

#include <juce_core/juce_core.h>

#include <memory>

/** A regular file opened once by its path and read from then on only through that open file, each read
    at an offset of its own, so that any number of readers, on any threads, share it without a shared
    position. On Windows nobody can write to the file, rename it or remove it while it is open.
*/
class ReadOnlyFile
{
public:
    /** Opens `file`; null, with `result` saying why, when it cannot be opened or is no regular file (a
        folder, a device or a pipe).
    */
    static std::unique_ptr<ReadOnlyFile> open (const juce::File& file, juce::Result& result);

    ~ReadOnlyFile();

    /** The file's size when it was opened. */
    juce::int64 getSize() const noexcept                    { return size; }

    /** Reads up to `numBytes` at `offset`; fewer when the file ends there or cannot be read. */
    int read (void* destination, int numBytes, juce::int64 offset) const;

    /** The descriptor (Linux) or HANDLE (Windows), for a copy made inside the system; only to be read at
        an offset, and valid while this object lives.
    */
    juce::pointer_sized_int getNativeHandle() const noexcept  { return native; }

private:
    friend class CheckedFolder;     // which opens files in a checked folder, without following a link

    ReadOnlyFile (juce::pointer_sized_int nativeHandle, juce::int64 sizeWhenOpened);

    static juce::Result cannotOpen (const juce::File& file, const juce::String& why);

    // One implementation for each system, with the destructor: native/ReadOnlyFilePosix.cpp,
    // native/ReadOnlyFileWindows.cpp. readOnceNative is one read: less than 0 when it failed.
    static std::unique_ptr<ReadOnlyFile> openNative (const juce::File& file, juce::Result& result);
    int readOnceNative (char* destination, int numBytes, juce::int64 offset) const;

    const juce::pointer_sized_int native;
    const juce::int64 size;

    JUCE_DECLARE_NON_COPYABLE (ReadOnlyFile)
};
