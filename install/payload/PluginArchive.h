#pragma once

#include "install/payload/BlockCopy.h"
#include "fs/CheckedFolder.h"

#include <map>
#include <memory>
#include <vector>

class CheckedFile;

/** The plug-in's ZIP archive, read with distrust: the whole central directory is checked before the
    first byte is written, and every extracted file is checked against its recorded size and CRC-32.

    Refused: anything but stored or deflated entries, encryption, ZIP64, multi-disk archives, entry
    names that are not relative paths of safe components (see SafeFileName), symbolic links and other
    special files, names that clash with each other (compared without case, as Windows does), entries
    whose data overlap or lie outside the archive, sizes that deflate cannot produce, and archives
    that unpack to more than `maxTotalSize`.
*/
class PluginArchive
{
public:
    /** Reads the archive's directory from `archiveStream`, which must be seekable, and extracts from it. */
    explicit PluginArchive (std::unique_ptr<juce::InputStream> archiveStream);

    /** The archive whose directory `checked` has read, extracted from `sameBytes`: a stream of the very bytes
        `checked` read it from, as the caller has proven. The directory is not read again. Without a stream,
        the directory alone: nothing can be extracted from it.
    */
    PluginArchive (const PluginArchive& checked, std::unique_ptr<juce::InputStream> sameBytes);
    ~PluginArchive();

    /** Ok when every entry passed the checks; otherwise says what was refused. */
    const juce::Result& getStatus() const noexcept          { return status; }

    /** The number of bytes the entries unpack to. */
    juce::int64 getTotalSize() const noexcept               { return totalSize; }

    /** The relative path of every entry, '/' between its names and after the last for a folder. */
    juce::StringArray getEntryPaths() const;

    int getNumEntries() const noexcept                      { return (int) entries.size(); }

    /** The distinct first path components: what extraction creates directly in its folder. */
    juce::StringArray getTopLevelNames() const;

    /** Calls `visit` for every entry, in the archive's order: its path ('/'-separated), whether it is a
        folder, and for a file its size and CRC-32. For the install record.
    */
    using EntryVisitor = std::function<void (const juce::String& path, bool isFolder, juce::int64 size, juce::uint32 crc)>;
    void forEachEntry (const EntryVisitor& visit) const;

    /** Told the number of bytes unpacked so far, after every block. */
    using Progress = std::function<void (juce::int64 bytesDone)>;

    /** Unpacks every entry below `folder`, which should be empty, through the file layer: each file is
        written under a temporary name and checked against its size and CRC-32; once all are written, they
        are flushed to the disk together, and only then given their names; every folder is flushed at the
        end, so that all of it is on the disk before anything is moved out. Stops with `stopped` as soon as
        `shouldStop` says so (asked between entries and between blocks), and with `failed` on a write error,
        a size or CRC mismatch or damaged data. What was written stays for the caller to remove. Holds no
        folder below `folder` once it returns.
    */
    BlockCopy::Outcome extractTo (const CheckedFolder& folder, const BlockCopy::StopRequest& shouldStop,
                                  const Progress& progress = {}) const;

    /** A plug-in bundle is never near this; more is taken for a decompression bomb. */
    static constexpr juce::int64 maxTotalSize = (juce::int64) 4 << 30;

    /** An entry that both holds and unpacks to at most this many bytes is read in one piece and inflated
        in memory; a larger one is inflated a block at a time.
    */
    static constexpr juce::int64 maxWholeEntrySize = 16 << 20;

private:
    struct Entry
    {
        juce::String path;              // normalised: '/'-separated safe components, one spelling per folder
        bool isFolder = false;
        int method = 0;
        juce::uint32 crc = 0;
        juce::int64 compressedSize = 0, size = 0, headerOffset = 0, dataOffset = 0;
    };

    /** Where the central directory lies, as its end record says. */
    struct Directory
    {
        juce::int64 start = 0, end = 0;     // the end is where the end record starts
        int numEntries = 0;
    };

    juce::Result readDirectory();
    juce::Result findDirectory (Directory& directory);
    static int findEndRecord (const juce::uint8* tail, int tailSize);
    juce::Result readEntries (const Directory& directory);
    juce::Result readEntry (const juce::uint8* directory, juce::int64 position, juce::int64 directorySize,
                            Entry& entry, int& entryLength);
    juce::Result readEntryName (const char* name, int nameLength, Entry& entry, juce::String& rawName);
    juce::Result checkSizes (const Entry& entry, const juce::String& rawName);
    juce::Result locateData (Entry& entry, juce::int64 dataLimit);
    juce::Result checkOverlaps() const;
    juce::Result checkNames();
    using OpenFolders = std::map<juce::String, CheckedFolder>;
    using ByteCounter = std::function<void (size_t)>;
    class WholeEntryReader;
    class WrittenFiles;

    static CheckedFolder openFolders (OpenFolders& folders, const juce::String& path);
    BlockCopy::Outcome writeEntries (OpenFolders& folders, WrittenFiles& written, const BlockCopy::StopRequest& shouldStop,
                                     const ByteCounter& onBytes) const;
    BlockCopy::Outcome extractEntry (const Entry& entry, const CheckedFolder& folder, WholeEntryReader& reader,
                                     WrittenFiles& written, const BlockCopy::StopRequest& shouldStop,
                                     const ByteCounter& onBytes) const;
    static BlockCopy::Outcome writeWhole (const char* bytes, juce::int64 size, CheckedFile& file,
                                          const BlockCopy::StopRequest& shouldStop, const ByteCounter& onBytes);
    BlockCopy::Outcome writeStreamed (const Entry& entry, CheckedFile& file, const BlockCopy::StopRequest& shouldStop,
                                      const ByteCounter& onBytes) const;

    std::unique_ptr<juce::InputStream> stream;
    std::vector<Entry> entries;
    juce::int64 totalSize = 0;
    juce::Result status { juce::Result::ok() };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PluginArchive)
};
