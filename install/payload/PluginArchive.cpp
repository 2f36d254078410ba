#include "install/payload/PluginArchive.h"

#include "fs/CheckedFile.h"
#include "fs/FlushBatch.h"
#include "install/SafeFileName.h"
#include "install/TemporaryNames.h"
#include "monolith/Crc32.h"

#include <libdeflate.h>

#include <algorithm>
#include <map>
#include <set>

namespace
{
constexpr juce::uint32 localHeaderSignature = 0x04034b50;
constexpr juce::uint32 directoryEntrySignature = 0x02014b50;
constexpr juce::uint32 endRecordSignature = 0x06054b50;
constexpr int endRecordSize = 22, directoryEntrySize = 46, localHeaderSize = 30;
constexpr juce::int64 maxDirectorySize = 64 << 20;

// Deflate cannot expand data by more than this factor, so a larger claim is a lie.
constexpr juce::int64 maxDeflateRatio = 1032;

juce::uint32 word16 (const juce::uint8* p) noexcept    { return (juce::uint32) p[0] | ((juce::uint32) p[1] << 8); }
juce::uint32 word32 (const juce::uint8* p) noexcept    { return word16 (p) | (word16 (p + 2) << 16); }

bool readExactly (juce::InputStream& in, juce::int64 position, void* destination, size_t numBytes)
{
    return in.setPosition (position) && in.read (destination, (int) numBytes) == (int) numBytes;
}

/** The entry's name as '/'-separated safe components, or empty when it is not one. */
juce::String normalisedPath (const juce::String& name)
{
    // Some Windows tools store backslashes; Windows would treat them as separators anyway.
    auto parts = juce::StringArray::fromTokens (name.replaceCharacter ('\\', '/'), "/", {});

    if (name.endsWithChar ('/') || name.endsWithChar ('\\'))
        parts.remove (parts.size() - 1);

    juce::StringArray kept;

    for (const auto& part : parts)
    {
        if (part == ".")
            continue;

        // An empty first part is an absolute path; ".." and drive letters fail the rule too.
        if (! SafeFileName::isSafe (part))
            return {};

        kept.add (part);
    }

    return kept.joinIntoString ("/");
}

/** The folder part of a '/'-separated path: empty for a name at the top. */
juce::String folderOf (const juce::String& path)
{
    return path.substring (0, juce::jmax (0, path.lastIndexOfChar ('/')));
}

bool isSpecialFile (juce::uint32 versionMadeBy, juce::uint32 externalAttributes)
{
    const auto host = versionMadeBy >> 8;

    // Unix and macOS keep the file mode in the high half; anything but a file or folder is refused.
    if (host != 3 && host != 19)
        return false;

    const auto type = (externalAttributes >> 16) & 0xf000u;
    return type != 0 && type != 0x8000u && type != 0x4000u;
}
} // namespace

PluginArchive::PluginArchive (std::unique_ptr<juce::InputStream> archiveStream)
    : stream (std::move (archiveStream))
{
    status = stream != nullptr ? readDirectory() : juce::Result::fail ("No archive");

    if (status.failed())
        entries.clear();
}

PluginArchive::PluginArchive (const PluginArchive& checked, std::unique_ptr<juce::InputStream> sameBytes)
    : stream (std::move (sameBytes)),
      entries (checked.entries),
      totalSize (checked.totalSize),
      status (checked.status)
{
}

PluginArchive::~PluginArchive() = default;

juce::StringArray PluginArchive::getEntryPaths() const
{
    juce::StringArray paths;

    for (const auto& entry : entries)
        paths.add (entry.isFolder ? entry.path + "/" : entry.path);

    return paths;
}

juce::Result PluginArchive::readDirectory()
{
    Directory directory;
    auto result = findDirectory (directory);

    if (result.wasOk())
        result = readEntries (directory);

    if (result.wasOk())
        result = checkOverlaps();

    return result.wasOk() ? checkNames() : result;
}

juce::Result PluginArchive::findDirectory (Directory& directory)
{
    const auto archiveSize = stream->getTotalLength();

    if (archiveSize < endRecordSize)
        return juce::Result::fail ("Too short for an archive");

    // The end record sits at the very end, followed only by its comment.
    const auto tailSize = (int) std::min<juce::int64> (archiveSize, endRecordSize + 0xffff);
    juce::HeapBlock<juce::uint8> tail ((size_t) tailSize);

    if (! readExactly (*stream, archiveSize - tailSize, tail, (size_t) tailSize))
        return juce::Result::fail ("Cannot read the archive");

    const auto endRecord = findEndRecord (tail, tailSize);

    if (endRecord < 0)
        return juce::Result::fail ("No end of central directory");

    const auto* end = tail + endRecord;
    const auto numEntries = word16 (end + 10);
    const auto directorySize = (juce::int64) word32 (end + 12);
    directory.start = (juce::int64) word32 (end + 16);
    directory.end = archiveSize - tailSize + endRecord;
    directory.numEntries = (int) numEntries;

    if (word16 (end + 4) != 0 || word16 (end + 6) != 0 || word16 (end + 8) != numEntries)
        return juce::Result::fail ("Multi-disk archive");

    if (numEntries == 0xffff || directorySize == 0xffffffff || directory.start == 0xffffffff)
        return juce::Result::fail ("ZIP64 archive");

    if (numEntries == 0)
        return juce::Result::fail ("Archive without entries");

    if (directory.start + directorySize != directory.end || directorySize > maxDirectorySize)
        return juce::Result::fail ("Central directory out of place");

    return juce::Result::ok();
}

int PluginArchive::findEndRecord (const juce::uint8* tail, int tailSize)
{
    // The last signature whose comment length reaches exactly to the end of the archive.
    for (int i = tailSize - endRecordSize; i >= 0; --i)
        if (word32 (tail + i) == endRecordSignature && (int) word16 (tail + i + 20) == tailSize - endRecordSize - i)
            return i;

    return -1;
}

juce::Result PluginArchive::readEntries (const Directory& directory)
{
    // The whole directory in one read: it is at most maxDirectorySize.
    const auto directorySize = directory.end - directory.start;
    juce::HeapBlock<juce::uint8> bytes ((size_t) directorySize + 1);

    if (! readExactly (*stream, directory.start, bytes, (size_t) directorySize))
        return juce::Result::fail ("Damaged central directory");

    entries.resize ((size_t) directory.numEntries);
    juce::int64 position = 0;

    for (auto& entry : entries)
    {
        int length = 0;
        const auto result = readEntry (bytes, position, directorySize, entry, length);

        if (result.failed())
            return result;

        position += length;
    }

    if (position != directorySize)
        return juce::Result::fail ("Central directory size mismatch");

    for (auto& entry : entries)
    {
        const auto result = locateData (entry, directory.start);

        if (result.failed())
            return result;
    }

    return juce::Result::ok();
}

juce::Result PluginArchive::checkOverlaps() const
{
    // Entries sharing data would let a small archive unpack to a huge one.
    auto byOffset = entries;
    std::sort (byOffset.begin(), byOffset.end(), [] (const Entry& a, const Entry& b) { return a.headerOffset < b.headerOffset; });

    for (size_t i = 1; i < byOffset.size(); ++i)
        if (byOffset[i].headerOffset < byOffset[i - 1].dataOffset + byOffset[i - 1].compressedSize)
            return juce::Result::fail ("Overlapping entries");

    return juce::Result::ok();
}

juce::Result PluginArchive::readEntry (const juce::uint8* directory, juce::int64 position, juce::int64 directorySize,
                                       Entry& entry, int& entryLength)
{
    const auto* header = directory + position;

    if (position + directoryEntrySize > directorySize || word32 (header) != directoryEntrySignature)
        return juce::Result::fail ("Damaged central directory");

    const auto flags = word16 (header + 8);
    const auto nameLength = (int) word16 (header + 28);
    entryLength = directoryEntrySize + nameLength + (int) word16 (header + 30) + (int) word16 (header + 32);

    entry.method = (int) word16 (header + 10);
    entry.crc = word32 (header + 16);
    entry.compressedSize = (juce::int64) word32 (header + 20);
    entry.size = (juce::int64) word32 (header + 24);
    entry.headerOffset = (juce::int64) word32 (header + 42);

    if (position + entryLength > directorySize || nameLength == 0)
        return juce::Result::fail ("Damaged central directory");

    if ((flags & 0x41u) != 0)
        return juce::Result::fail ("Encrypted entry");

    if (entry.compressedSize == 0xffffffff || entry.size == 0xffffffff || entry.headerOffset == 0xffffffff)
        return juce::Result::fail ("ZIP64 entry");

    if (isSpecialFile (word16 (header + 4), word32 (header + 38)))
        return juce::Result::fail ("Symbolic link or special file");

    juce::String rawName;
    const auto named = readEntryName (reinterpret_cast<const char*> (header + directoryEntrySize), nameLength, entry, rawName);

    return named.wasOk() ? checkSizes (entry, rawName) : named;
}

juce::Result PluginArchive::readEntryName (const char* name, int nameLength, Entry& entry, juce::String& rawName)
{
    if (! juce::CharPointer_UTF8::isValidString (name, nameLength) || std::find (name, name + nameLength, 0) != name + nameLength)
        return juce::Result::fail ("Entry name is not text");

    rawName = juce::String::fromUTF8 (name, nameLength);
    entry.isFolder = rawName.endsWithChar ('/') || rawName.endsWithChar ('\\');
    entry.path = normalisedPath (rawName);

    if (entry.path.isEmpty())
        return juce::Result::fail ("Unsafe entry name: " + rawName);

    return juce::Result::ok();
}

juce::Result PluginArchive::checkSizes (const Entry& entry, const juce::String& rawName)
{
    if (entry.isFolder && entry.size != 0)
        return juce::Result::fail ("Folder entry with content: " + rawName);

    if (entry.method == 0 ? entry.compressedSize != entry.size
                          : entry.method != 8 || entry.size > entry.compressedSize * maxDeflateRatio + 1024)
        return juce::Result::fail ("Unsupported or impossible sizes: " + rawName);

    totalSize += entry.size;

    if (totalSize > maxTotalSize)
        return juce::Result::fail ("Archive unpacks to more than " + juce::File::descriptionOfSizeInBytes (maxTotalSize));

    return juce::Result::ok();
}

juce::Result PluginArchive::locateData (Entry& entry, juce::int64 dataLimit)
{
    juce::uint8 header[localHeaderSize];

    if (entry.headerOffset + localHeaderSize > dataLimit || ! readExactly (*stream, entry.headerOffset, header, sizeof (header))
         || word32 (header) != localHeaderSignature)
        return juce::Result::fail ("Damaged local header: " + entry.path);

    entry.dataOffset = entry.headerOffset + localHeaderSize + (juce::int64) word16 (header + 26) + (juce::int64) word16 (header + 28);

    if (entry.dataOffset + entry.compressedSize > dataLimit)
        return juce::Result::fail ("Entry data outside the archive: " + entry.path);

    return juce::Result::ok();
}

juce::Result PluginArchive::checkNames()
{
    // Windows compares names without case: entries that differ only in case would overwrite each
    // other, and folders spelt in two ways are one folder there. Folders take their first spelling,
    // so that everything lands in the same place on every system.
    std::map<juce::String, juce::String> folderSpelling;
    std::set<juce::String> files;

    for (auto& entry : entries)
    {
        const auto parts = juce::StringArray::fromTokens (entry.path, "/", {});
        const auto numFolders = entry.isFolder ? parts.size() : parts.size() - 1;
        juce::String path;

        for (int i = 0; i < parts.size(); ++i)
        {
            path = path.isEmpty() ? parts[i] : path + "/" + parts[i];

            if (i < numFolders)
                path = folderSpelling.emplace (path.toLowerCase(), path).first->second;
        }

        entry.path = path;

        if (! entry.isFolder && ! files.insert (path.toLowerCase()).second)
            return juce::Result::fail ("Duplicate entry: " + entry.path);
    }

    for (const auto& file : files)
        if (folderSpelling.count (file) != 0)
            return juce::Result::fail ("Entry is both a file and a folder: " + file);

    return juce::Result::ok();
}

void PluginArchive::forEachEntry (const EntryVisitor& visit) const
{
    for (const auto& entry : entries)
        visit (entry.path, entry.isFolder, entry.size, entry.crc);
}

juce::StringArray PluginArchive::getTopLevelNames() const
{
    juce::StringArray names;

    for (const auto& entry : entries)
        names.addIfNotAlreadyThere (entry.path.upToFirstOccurrenceOf ("/", false, false));

    return names;
}

/** Reads an entry that is at most maxWholeEntrySize packed and unpacked in one read and inflates it in
    one call, into buffers kept from one entry to the next. The inflater never writes beyond the size the
    directory records, so data that would unpack to more fails instead of being trusted.
*/
class PluginArchive::WholeEntryReader
{
public:
    WholeEntryReader() : inflater (libdeflate_alloc_decompressor()) {}
    ~WholeEntryReader()                                 { libdeflate_free_decompressor (inflater); }

    static bool fits (const Entry& entry) noexcept
    {
        return entry.size <= maxWholeEntrySize && entry.compressedSize <= maxWholeEntrySize;
    }

    /** The entry's `entry.size` bytes, or null when they cannot be read or are not exactly that many. */
    const char* read (juce::InputStream& archive, const Entry& entry)
    {
        if (inflater == nullptr || ! readExactly (archive, entry.dataOffset, reserve (packed, (size_t) entry.compressedSize),
                                                  (size_t) entry.compressedSize))
            return nullptr;

        if (entry.method == 0)
            return packed.data();

        size_t unpackedSize = 0;
        const auto inflated = libdeflate_deflate_decompress (inflater, packed.data(), (size_t) entry.compressedSize,
                                                             reserve (unpacked, (size_t) entry.size), (size_t) entry.size,
                                                             &unpackedSize);

        return inflated == LIBDEFLATE_SUCCESS && unpackedSize == (size_t) entry.size ? unpacked.data() : nullptr;
    }

private:
    /** Never null, even for no bytes. */
    static char* reserve (std::vector<char>& buffer, size_t numBytes)
    {
        if (buffer.size() < numBytes + 1)
            buffer.resize (numBytes + 1);

        return buffer.data();
    }

    libdeflate_decompressor* inflater;
    std::vector<char> packed, unpacked;

    JUCE_DECLARE_NON_COPYABLE (WholeEntryReader)
};

/** The files an extraction has written under temporary names, flushed together once all are written
    (FlushBatch), and only then given their names.
*/
class PluginArchive::WrittenFiles
{
public:
    explicit WrittenFiles (const CheckedFolder& top) : batch (top) {}

    bool add (std::unique_ptr<CheckedFile> file, const CheckedFolder& folder, const juce::String& name)
    {
        files.push_back ({ folder, file->getName(), name });
        return batch.add (std::move (file)).wasOk();
    }

    /** Waits until every file is on the disk, then gives each its name. */
    bool flushAndName()
    {
        if (batch.flush().failed())
            return false;

        for (const auto& written : files)
            if (written.folder.move (written.temporaryName, written.folder, written.name, CheckedFolder::Replace::no).failed())
                return false;

        return true;
    }

private:
    struct Written
    {
        CheckedFolder folder;
        juce::String temporaryName, name;
    };

    FlushBatch batch;
    std::vector<Written> files;
};

BlockCopy::Outcome PluginArchive::extractTo (const CheckedFolder& folder, const BlockCopy::StopRequest& shouldStop,
                                              const Progress& progress) const
{
    if (status.failed() || stream == nullptr)
        return BlockCopy::Outcome::failed;

    OpenFolders folders { { {}, folder } };
    WrittenFiles written (folder);
    juce::int64 done = 0;
    const auto onBytes = [&] (size_t numBytes)
    {
        done += (juce::int64) numBytes;

        if (progress != nullptr)
            progress (done);
    };

    const auto outcome = writeEntries (folders, written, shouldStop, onBytes);

    if (outcome != BlockCopy::Outcome::done)
        return outcome;

    if (! written.flushAndName())
        return BlockCopy::Outcome::failed;

    // The names of files and subfolders are in their folders once the folders are flushed.
    for (const auto& opened : folders)
        if (opened.second.flush().failed())
            return BlockCopy::Outcome::failed;

    return BlockCopy::Outcome::done;
}

BlockCopy::Outcome PluginArchive::writeEntries (OpenFolders& folders, WrittenFiles& written, const BlockCopy::StopRequest& shouldStop,
                                                const ByteCounter& onBytes) const
{
    WholeEntryReader reader;

    for (const auto& entry : entries)
    {
        if (shouldStop != nullptr && shouldStop())
            return BlockCopy::Outcome::stopped;

        const auto parent = openFolders (folders, entry.isFolder ? entry.path : folderOf (entry.path));

        if (! parent.isOpen())
            return BlockCopy::Outcome::failed;

        const auto outcome = entry.isFolder ? BlockCopy::Outcome::done
                                            : extractEntry (entry, parent, reader, written, shouldStop, onBytes);

        if (outcome != BlockCopy::Outcome::done)
            return outcome;
    }

    return BlockCopy::Outcome::done;
}

/** The folder at `path` ('/'-separated, empty for the top) below the top folder, made when missing. */
CheckedFolder PluginArchive::openFolders (OpenFolders& folders, const juce::String& path)
{
    const auto found = folders.find (path);

    if (found != folders.end())
        return found->second;

    const auto parent = openFolders (folders, folderOf (path));
    const auto folder = parent.openFolder (path.fromLastOccurrenceOf ("/", false, false), CheckedFolder::Missing::create);

    if (folder.isOpen())
        folders[path] = folder;

    return folder;
}

BlockCopy::Outcome PluginArchive::extractEntry (const Entry& entry, const CheckedFolder& folder, WholeEntryReader& reader,
                                                WrittenFiles& written, const BlockCopy::StopRequest& shouldStop,
                                                const ByteCounter& onBytes) const
{
    const auto name = entry.path.fromLastOccurrenceOf ("/", false, false);
    auto result = juce::Result::ok();
    auto file = folder.createFile (TemporaryNames::newFilePrefix (name), result);

    if (file == nullptr)
        return BlockCopy::Outcome::failed;

    auto outcome = BlockCopy::Outcome::failed;

    if (! WholeEntryReader::fits (entry))
        outcome = writeStreamed (entry, *file, shouldStop, onBytes);
    else if (const auto* bytes = reader.read (*stream, entry); bytes != nullptr && Crc32::of (bytes, (size_t) entry.size) == entry.crc)
        outcome = writeWhole (bytes, entry.size, *file, shouldStop, onBytes);

    if (outcome != BlockCopy::Outcome::done)
        return outcome;

    return written.add (std::move (file), folder, name) ? BlockCopy::Outcome::done : BlockCopy::Outcome::failed;
}

/** Writes a block at a time, so that the bar moves and a stop is heard within a block. */
BlockCopy::Outcome PluginArchive::writeWhole (const char* bytes, juce::int64 size, CheckedFile& file,
                                              const BlockCopy::StopRequest& shouldStop, const ByteCounter& onBytes)
{
    for (juce::int64 done = 0; done < size;)
    {
        if (shouldStop != nullptr && shouldStop())
            return BlockCopy::Outcome::stopped;

        const auto numBytes = (size_t) std::min<juce::int64> (BlockCopy::blockSize, size - done);

        if (! file.write (bytes + done, numBytes))
            return BlockCopy::Outcome::failed;

        onBytes (numBytes);
        done += (juce::int64) numBytes;
    }

    return BlockCopy::Outcome::done;
}

BlockCopy::Outcome PluginArchive::writeStreamed (const Entry& entry, CheckedFile& file, const BlockCopy::StopRequest& shouldStop,
                                                 const ByteCounter& onBytes) const
{
    std::unique_ptr<juce::InputStream> data = std::make_unique<juce::SubregionStream> (stream.get(), entry.dataOffset,
                                                                                       entry.compressedSize, false);
    if (entry.method == 8)
        data = std::make_unique<juce::GZIPDecompressorInputStream> (data.release(), true,
                                                                    juce::GZIPDecompressorInputStream::deflateFormat);

    juce::uint32 crc = 0;
    const auto copied = BlockCopy::toStream (*data, entry.size, file, shouldStop, BlockCopy::summing (crc, [&] (const char*, size_t numBytes)
    {
        onBytes (numBytes);
        return true;
    }));

    if (copied != BlockCopy::Outcome::done)
        return copied;

    // One byte beyond the recorded size is enough to show that the data lie about it.
    char beyond = 0;
    return data->read (&beyond, 1) > 0 || crc != entry.crc ? BlockCopy::Outcome::failed : BlockCopy::Outcome::done;
}
