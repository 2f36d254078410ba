#include "install/payload/PluginArchiveCopy.h"

#include "fs/CheckedFile.h"

PluginArchiveCopy::PluginArchiveCopy (const juce::File& temporaryFolder)
    : folder (CheckedFolder::openRoot (temporaryFolder).createPrivateFolder (folderPrefix)),
      directory (std::make_unique<PluginArchive> (nullptr)),
      status (folder.getStatus())
{
    if (status.failed())
        return;

    file = folder.createFile (filePrefix, status);

    if (file != nullptr)
        fileName = file->getName();
}

PluginArchiveCopy::~PluginArchiveCopy()
{
    file.reset();

    if (! folder.isOpen())
        return;

    if (fileName.isNotEmpty())
        folder.remove (fileName);

    // Windows removes no folder that is still open: the folder goes from its parent once released.
    const auto parent = folder.getParent();
    const auto folderName = folder.getFile().getFileName();
    folder = {};
    parent.removeEmptyFolders ({ folderName });
}

juce::File PluginArchiveCopy::getFile() const
{
    return fileName.isNotEmpty() ? folder.getFile().getChildFile (fileName) : juce::File();
}

BlockCopy::Outcome PluginArchiveCopy::copyFrom (juce::InputStream& in, juce::int64 length, const BlockCopy::StopRequest& shouldStop)
{
    if (file == nullptr || written)
        return BlockCopy::Outcome::failed;

    written = true;
    const auto copied = BlockCopy::forEachBlock (in, length, shouldStop, BlockCopy::summing (crc, [this] (const char* data, size_t numBytes)
    {
        size += (juce::int64) numBytes;
        return file->write (data, numBytes);
    }));

    // Closing reports a failure of any write before it, or one that only closing shows.
    status = file->close();
    file.reset();

    if (copied != BlockCopy::Outcome::done)
        return copied;

    if (status.failed())
        return BlockCopy::Outcome::failed;

    // The directory is read here once; the file is let go until openUnchanged proves it.
    const PluginArchive read (getFile().createInputStream());
    directory = std::make_unique<PluginArchive> (read, nullptr);
    return BlockCopy::Outcome::done;
}

PluginArchiveCopy::Proof PluginArchiveCopy::openUnchanged (const BlockCopy::StopRequest& shouldStop,
                                                           std::unique_ptr<PluginArchive>& archive) const
{
    const auto copy = getFile();
    std::unique_ptr<juce::InputStream> stream;

    if (! copy.existsAsFile() || (stream = copy.createInputStream()) == nullptr)
        return Proof::cannotOpen;

    juce::uint32 readCrc = 0;
    const auto outcome = stream->getTotalLength() != size ? BlockCopy::Outcome::failed
                                                          : BlockCopy::forEachBlock (*stream, size, shouldStop, BlockCopy::summing (readCrc));

    if (outcome == BlockCopy::Outcome::stopped)
        return Proof::stopped;

    if (outcome != BlockCopy::Outcome::done || readCrc != crc)
        return Proof::changed;

    archive = std::make_unique<PluginArchive> (*directory, std::move (stream));
    return Proof::unchanged;
}
