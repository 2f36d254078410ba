#pragma once

#include "fs/CheckedFolder.h"

/** An existing file that CheckedFolder::claimFile opened and holds: no other process claims it, or holds
    it for writing, until this object is destroyed. Read it, add to it, then remove it or let it go.
*/
class ClaimedFile
{
public:
    ~ClaimedFile();

    /** The file's name in its folder. */
    const juce::String& getName() const noexcept    { return name; }

    /** Reads the whole file from its start; fails when it holds more than `maxBytes`, having read at most
        one byte more.
    */
    juce::Result read (juce::MemoryBlock& content, size_t maxBytes);

    /** Writes `numBytes` at `offset`, ends the file after them and waits until they are on the disk: how a
        run goes on with a record that another run left, after the last part of it that it keeps.
    */
    juce::Result writeAt (juce::int64 offset, const void* data, size_t numBytes);

    /** Ok when the file belongs to the user this process runs as (Windows: or to the administrators or
        the system) and nobody else can change it; otherwise a line naming it and its owner.
    */
    juce::Result checkOwner() const;

    /** Removes the file while it is still held. */
    juce::Result remove();

private:
    friend class CheckedFolder;

    // The file descriptor (Linux) or HANDLE (Windows), opened for reading, writing and, on Windows, deletion.
    ClaimedFile (juce::pointer_sized_int nativeHandle, const CheckedFolder& parent, const juce::String& fileName);

    juce::File getFile() const;

    // One implementation for each system, with remove() and the destructor: native/ClaimedFilePosix.cpp,
    // native/ClaimedFileWindows.cpp. Reads the next bytes, at `offset`; less than 0 when the read failed.
    juce::int64 readNative (char* destination, size_t numBytes, juce::int64 offset);

    /** The file's size from its handle; less than 0 when the system cannot tell. */
    juce::int64 getSizeNative() const;

    // Each false on failure, which the system's last error tells.
    bool writeNative (const char* bytes, size_t numBytes, juce::int64 offset);
    bool endNative (juce::int64 length);
    bool flushNative();

    juce::pointer_sized_int fileHandle;
    CheckedFolder folder;
    juce::String name;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ClaimedFile)
};
