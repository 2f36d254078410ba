#include "install/Installation.h"

#include <zlib.h>

namespace
{
// What a file takes on disk beyond its bytes, at most, when judging whether an extraction can fit.
constexpr juce::int64 bytesPerFileOnDisk = 4096;
} // namespace

InstallerModel::Installation::Installation (InstallerModel& modelToInstall, Observer& observerToTell)
    : model (modelToInstall),
      observer (observerToTell),
      source (model.monolithFile),
      target (model.monolithInstallFile),
      archiveFile (model.pluginArchive != nullptr ? model.pluginArchive->getFile() : juce::File()),
      pluginFolder (model.vst3Folder),
      copyFailed ("Failed to copy monolith from: " + source.getFullPathName() + " to: " + target.getFullPathName()),
      extractFailed ("Failed to extract from: " + archiveFile.getFullPathName() + " to: " + pluginFolder.getFullPathName())
{
}

InstallerModel::Result InstallerModel::Installation::run()
{
    observer.progressChanged (0.0);
    model.write ("Begin install job");

    const auto completed = note ("Copy monolith")
                             && createFolder (target.getParentDirectory())
                             && pause (0.1)
                             && copyMonolith()
                             && pause (0.4)
                             && note ("Copy VST3")
                             && createFolder (pluginFolder)
                             && pause (0.5)
                             && unpackPlugin()
                             && pause (0.7)
                             && note ("Copy AU")
                             && moveIntoPlace()
                             && finish();

    return completed ? noError : result;
}

bool InstallerModel::Installation::createFolder (const juce::File& folder)
{
    if (! transaction.createFolder (folder))
        return fail ("Failed to create directory: " + folder.getFullPathName());

    return true;
}

bool InstallerModel::Installation::copyMonolith()
{
    // Installing the installed monolith onto itself leaves it where it is.
    if (source == target)
        return true;

    const auto folder = target.getParentDirectory();

    if (! source.existsAsFile() || ! BlockCopy::fitsInto (folder, source.getSize()))
        return fail (copyFailed);

    newMonolith = transaction.makeTemporaryName (folder, target.getFileName());
    return afterCopy (copyAndReadBack (newMonolith), copyFailed);
}

/** Copies the source monolith to the new file `destination`, then reads the copy back and compares it with
    what was written.
*/
BlockCopy::Outcome InstallerModel::Installation::copyAndReadBack (const juce::File& destination)
{
    juce::FileInputStream in (source);

    if (in.failedToOpen())
        return BlockCopy::Outcome::failed;

    const auto length = in.getTotalLength();
    juce::uint32 written = 0;
    const auto copied = BlockCopy::toNewFile (in, length, destination, shouldStop, true, &written);

    if (copied != BlockCopy::Outcome::done)
        return copied;

    juce::FileInputStream check (destination);

    if (check.failedToOpen() || check.getTotalLength() != length)
        return BlockCopy::Outcome::failed;

    auto readBack = crc32 (0, nullptr, 0);
    const auto addToCrc = [&readBack] (const char* data, size_t numBytes)
    {
        readBack = crc32 (readBack, reinterpret_cast<const Bytef*> (data), (uInt) numBytes);
        return true;
    };

    const auto verified = BlockCopy::forEachBlock (check, length, shouldStop, addToCrc);

    if (verified != BlockCopy::Outcome::done)
        return verified;

    return readBack == written ? BlockCopy::Outcome::done : BlockCopy::Outcome::failed;
}

bool InstallerModel::Installation::unpackPlugin()
{
    archive = std::make_unique<PluginArchive> (archiveFile.existsAsFile() ? archiveFile.createInputStream() : nullptr);

    if (archive->getStatus().failed()
         || ! BlockCopy::fitsInto (pluginFolder, archive->getTotalSize() + bytesPerFileOnDisk * archive->getNumEntries()))
        return fail (extractFailed);

    // Unpacked beside its target, on the same volume, so that moving it into place is a rename.
    staging = transaction.makeTemporaryName (pluginFolder, "installing");

    if (! staging.createDirectory().wasOk())
        return fail (extractFailed);

    return afterCopy (archive->extractTo (staging, shouldStop), extractFailed);
}

bool InstallerModel::Installation::moveIntoPlace()
{
    // Everything is written and verified; only renames remain, and each can be undone.
    if (newMonolith != juce::File() && ! transaction.moveIntoPlace (newMonolith, target))
        return fail (copyFailed);

    for (const auto& name : archive->getTopLevelNames())
        if (! transaction.moveIntoPlace (staging.getChildFile (name), pluginFolder.getChildFile (name)))
            return fail (extractFailed);

    return true;
}

bool InstallerModel::Installation::finish()
{
    transaction.commit();
    model.pluginArchive.reset();

    observer.progressChanged (1.0);
    juce::Thread::sleep (model.stepPauseMs);
    model.write ("Install job finished");
    return true;
}

/** Reports the stage reached and waits, so that every stage stays visible; then stops if asked to. */
bool InstallerModel::Installation::pause (double progress)
{
    observer.progressChanged (progress);
    juce::Thread::sleep (model.stepPauseMs);
    return ! observer.shouldStop() || stop();
}

bool InstallerModel::Installation::note (const juce::String& line)
{
    model.write (line);
    return true;
}

bool InstallerModel::Installation::fail (const juce::String& line)
{
    result = model.fail (writeFailed, line);
    return false;
}

bool InstallerModel::Installation::stop()
{
    result = model.stopped();
    return false;
}

/** True when the copy is done; otherwise ends the run, as stopped or as failed with `failureLine`. */
bool InstallerModel::Installation::afterCopy (BlockCopy::Outcome outcome, const juce::String& failureLine)
{
    switch (outcome)
    {
        case BlockCopy::Outcome::done:      return true;
        case BlockCopy::Outcome::stopped:   return stop();
        case BlockCopy::Outcome::failed:    break;
    }

    return fail (failureLine);
}
