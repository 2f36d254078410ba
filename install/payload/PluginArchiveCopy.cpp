#include "install/payload/PluginArchiveCopy.h"

#include "fs/CheckedFile.h"

#include "monolith/Crc32.h"

PluginArchiveCopy::PluginArchiveCopy (const juce::File& temporaryFolder)
    : folder (CheckedFolder::openRoot (temporaryFolder).createPrivateFolder (folderPrefix)),
      crc (Crc32::initial),
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
    parent.remove (folderName);
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
    const auto copied = BlockCopy::forEachBlock (in, length, shouldStop, [this] (const char* data, size_t numBytes)
    {
        crc = Crc32::update (crc, data, numBytes);
        size += (juce::int64) numBytes;
        return file->write (data, numBytes);
    });

    // Closing reports a failure of any write before it, or one that only closing shows.
    status = file->close();
    file.reset();

    if (copied == BlockCopy::Outcome::done && status.failed())
        return BlockCopy::Outcome::failed;

    return copied;
}
