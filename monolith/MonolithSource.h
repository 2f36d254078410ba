#pragma once

#include <juce_core/juce_core.h>

#include <memory>

class ReadOnlyFile;

/** One monolith, opened once and from then on read only through that open file, so that everything
    read from it comes from the same file whatever happens to its path afterwards: renamed, replaced or
    removed, the file that was opened is the one that is read. On Windows nobody can write to it, rename
    it or remove it while it is open.

    Streams read with positioned reads (pread on Linux, ReadFile at an offset on Windows), so any number
    of them, on any threads, read the one open file independently. Copies of a source share the open
    file, and so do its streams: it is closed when the last of them is gone.
*/
class MonolithSource
{
public:
    /** Not open: it has no size and gives no stream. */
    MonolithSource();
    ~MonolithSource();
    MonolithSource (const MonolithSource&);
    MonolithSource& operator= (const MonolithSource&);

    /** Opens `file` for reading; isOpen() and getStatus() tell whether that worked. Only a regular file
        opens: a folder, a device or a pipe does not.
    */
    static MonolithSource open (const juce::File& file);

    bool isOpen() const noexcept                    { return handle != nullptr; }

    /** Ok when open; otherwise why not, as a sentence for the log that names the file. */
    const juce::Result& getStatus() const noexcept  { return status; }

    /** The path the file was opened from, for log lines. */
    const juce::File& getFile() const noexcept      { return file; }

    /** The file's size when it was opened; the streams end there. 0 when not open. */
    juce::int64 getSize() const noexcept;

    /** A new stream over the open file, at offset 0, seekable, ending at getSize(); null when not open.
        A read that the file cannot satisfy (it was cut short since it was opened, or the disk failed)
        delivers fewer bytes than asked for.
    */
    std::unique_ptr<juce::InputStream> createInputStream() const;

    /** The open file's descriptor (Linux) or HANDLE (Windows), for a copy made inside the system; valid
        while this source or a copy of it exists, and only to be read at an offset. -1 when not open.
    */
    juce::pointer_sized_int getNativeHandle() const noexcept;

private:
    class Stream;

    MonolithSource (const juce::File& file, std::shared_ptr<const ReadOnlyFile> openFile);
    MonolithSource (const juce::File& file, const juce::Result& failure);

    juce::File file;
    std::shared_ptr<const ReadOnlyFile> handle;
    juce::Result status;

    JUCE_LEAK_DETECTOR (MonolithSource)
};
