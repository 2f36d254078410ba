#include "install/payload/PluginArchiveCopy.h"

#include "fs/CheckedFile.h"
#include "fs/ClaimedFile.h"
#include "install/TemporaryNames.h"

#include <algorithm>
#include <cstring>

PluginArchiveCopy::PluginArchiveCopy (const juce::File& temporaryFolder)
    : folder (CheckedFolder::openRoot (temporaryFolder).createPrivateFolder (folderPrefix)),
      directory (std::make_unique<PluginArchive> (nullptr)),
      status (folder.getStatus())
{
    if (status.failed() || (status = makeMark()).failed())
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

    // Windows removes no file that is still open.
    mark.reset();

    if (markName.isNotEmpty())
        folder.remove (markName);

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
    const auto copied = BlockCopy::forEachBlockReadingAhead (in, length, shouldStop, BlockCopy::summing (crc, [this] (const char* data, size_t numBytes)
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

juce::Result PluginArchiveCopy::makeMark()
{
    auto result = juce::Result::ok();
    mark = folder.createFile (markPrefix, result);

    if (mark == nullptr)
        return result;

    markName = mark->getName();

    // Held before it says what it is, so that no other start takes it for the mark of a run that was
    // killed before writing it.
    if (const auto held = mark->hold(); held.failed())
        return held;

    mark->write (markText, std::strlen (markText));
    mark->flush();
    return mark->getStatus();
}

void PluginArchiveCopy::removeAbandoned (const juce::File& temporaryFolder, const std::function<void (const juce::String&)>& note)
{
    const auto temporary = CheckedFolder::openRoot (temporaryFolder);
    juce::StringArray names;

    if (! temporary.isOpen() || temporary.list (names).failed())
        return;

    for (const auto& name : names)
        if (TemporaryNames::isCreatedWith (name, folderPrefix) && removeIfAbandoned (temporary, name))
            note ("Removed the plug-in archive copy of a run that ended early: " + temporaryFolder.getChildFile (name).getFullPathName());
}

bool PluginArchiveCopy::removeIfAbandoned (const CheckedFolder& temporary, const juce::String& name)
{
    {
        const auto copyFolder = temporary.openPrivateFolder (name);
        juce::StringArray items;

        if (! copyFolder.isOpen() || copyFolder.list (items).failed())
            return false;

        // Killed right after making the folder or right before removing it, a run leaves it empty.
        if (items.isEmpty())
            return temporary.remove (name).wasOk();

        const auto isMark = [] (const juce::String& item) { return TemporaryNames::isCreatedWith (item, markPrefix); };
        const auto isCopy = [] (const juce::String& item) { return TemporaryNames::isCreatedWith (item, filePrefix); };
        const auto numMarks = std::count_if (items.begin(), items.end(), isMark);
        const auto numCopies = std::count_if (items.begin(), items.end(), isCopy);

        if (numMarks != 1 || numMarks + numCopies != items.size())
            return false;

        // A run that still lives holds its mark: claiming it fails.
        auto result = juce::Result::ok();
        bool inUse = false;
        const auto claimed = copyFolder.claimFile (*std::find_if (items.begin(), items.end(), isMark), result, inUse);
        juce::MemoryBlock text;

        // Empty when its run was killed before it wrote the text.
        if (claimed == nullptr || claimed->read (text, std::strlen (markText)).failed()
             || (! text.isEmpty() && text.toString() != markText))
            return false;

        for (const auto& item : items)
            if (isCopy (item) && copyFolder.remove (item).failed())
                return false;

        if (claimed->remove().failed())
            return false;
    }

    // Windows removes no folder that is still open: it goes from its parent once let go.
    return temporary.remove (name).wasOk();
}
