#include "install/runs/Installation.h"

#include "fs/CheckedFile.h"
#include "install/ProductVersion.h"
#include "install/installed/InstalledInstruments.h"
#include "install/installed/UninstallerProgram.h"
#include "install/payload/VerifiedCopy.h"
#include "monolith/ChecksumVerifier.h"
#include "monolith/Crc32.h"

#include <cstring>
#include <optional>

namespace
{
// What a file takes on disk beyond its bytes, at most, when judging whether an extraction can fit.
constexpr juce::int64 bytesPerFileOnDisk = 4096;

// The stages in which the bar moves with the bytes done.
constexpr double copyStart = 0.1, copyEnd = 0.4, unpackStart = 0.5, unpackEnd = 0.7;

/** Where `folder` lies below `root`, as names; false when it does not. */
bool placeBelow (InstallTransaction::Root root, const juce::File& rootFolder, const juce::File& folder,
                 InstallTransaction::FolderPath& place)
{
    place = { root, {} };

    if (folder == rootFolder)
        return true;

    if (! folder.isAChildOf (rootFolder))
        return false;

    place.path = juce::StringArray::fromTokens (folder.getRelativePathFrom (rootFolder), juce::File::getSeparatorString(), {});
    return true;
}

/** The transaction's roots: the data goes into the folder that holds company/instrument/instrument.rom. */
InstallTransaction::Roots rootsFor (const SystemFolders& folders, const juce::File& monolith)
{
    const auto roots = InstallTransaction::Roots::of (folders);
    const auto dataRoot = monolith.getParentDirectory().getParentDirectory().getParentDirectory();
    return dataRoot == roots.data ? roots : roots.withData (dataRoot);
}
} // namespace

InstallerModel::Installation::Installation (InstallerModel& modelToInstall, Observer& observerToTell, bool relinkingCopy)
    : StepChain (modelToInstall),
      observer (observerToTell),
      roots (rootsFor (*model.folders, model.monolithInstallFile)),
      transaction (roots, [this] (const juce::String& line) { model.write (line); }),
      source (model.monolithFile),
      target (model.monolithInstallFile),
      archiveFile (model.pluginArchive != nullptr ? model.pluginArchive->getFile() : juce::File()),
      pluginFolder (model.vst3Folder),
      copyFailed ("Failed to copy monolith from: " + source.getFullPathName() + " to: " + target.getFullPathName()),
      extractFailed ("Failed to extract from: " + archiveFile.getFullPathName() + " to: " + pluginFolder.getFullPathName()),
      relinking (relinkingCopy)
{
}

InstallerModel::Result InstallerModel::Installation::run()
{
    model.programsHoldingFiles.clear();
    observer.progressChanged (0.0);
    model.write ("Begin install job");

    const auto completed = note ("Copy monolith")
                             && checkFolders()
                             && checkLink()
                             && checkHolders (filesToReplace())
                             && begin()
                             && createFolder (monolithFolder, target.getParentDirectory())
                             && pause (copyStart)
                             && copyMonolith()
                             && pause (copyEnd)
                             && note ("Copy VST3")
                             && createFolder (pluginPlace, pluginFolder)
                             && pause (unpackStart)
                             && unpackPlugin()
                             && pause (unpackEnd)
                             && writeUninstaller()
                             && writeRecord()
                             && note ("Copy AU")
                             && moveIntoPlace()
                             && makeLink()
                             && registerEntry()
                             && finish();

    if (completed)
        return noError;

    archive.reset();
    transaction.rollback();

    if (entry != nullptr)
        entry->undo();

    return getResult();
}

/** Both target folders lie below their roots, and no folder on the way to them is a link. */
bool InstallerModel::Installation::checkFolders()
{
    const auto monolithParent = target.getParentDirectory();

    if (! placeBelow (InstallTransaction::Root::data, roots.data, monolithParent, monolithFolder))
        return fail ("Failed to create directory: " + monolithParent.getFullPathName());

    if (! placeBelow (InstallTransaction::Root::vst3, roots.vst3, pluginFolder, pluginPlace))
        return fail ("Failed to create directory: " + pluginFolder.getFullPathName());

    const auto monolithPath = transaction.checkFolders (monolithFolder);

    if (monolithPath.failed())
        return fail (monolithPath, "Failed to create directory: " + monolithParent.getFullPathName());

    const auto pluginPath = transaction.checkFolders (pluginPlace);
    return pluginPath.wasOk() || fail (pluginPath, "Failed to create directory: " + pluginFolder.getFullPathName());
}

/** What is there that the installation will replace: the installed monolith (when another one is
    installed over it) and the files beside it, every file of each plug-in bundle in the archive (a bundle
    is replaced whole) and the files of the archive's other folders.
*/
juce::Array<juce::File> InstallerModel::Installation::filesToReplace() const
{
    juce::Array<juce::File> files;
    const auto dataFolder = target.getParentDirectory();

    if (source != target)
        files.add (target);

    files.add (dataFolder.getChildFile (UninstallerProgram::fileName), dataFolder.getChildFile (InstallRecord::fileName));

    if (model.pluginArchive == nullptr)
        return files;

    const auto& plugin = model.pluginArchive->getArchive();

    for (const auto& name : plugin.getTopLevelNames())
        if (InstallRecord::isBundle (name))
            pluginFolder.getChildFile (name).findChildFiles (files, juce::File::findFiles, true, "*", juce::File::FollowSymlinks::no);

    plugin.forEachEntry ([&] (const juce::String& path, bool isFolder, juce::int64, juce::uint32)
    {
        if (! isFolder && ! InstallRecord::isInBundle (path))
            files.add (pluginFolder.getChildFile (path));
    });

    return files;
}

/** With the data in a folder the user chose, the default data folder must be free for the link to it,
    or be that link already (an update); anything else there is refused as every link is.
*/
bool InstallerModel::Installation::checkLink()
{
    if (! roots.isDataChosen())
        return true;

    const FolderPath companyPlace { InstallTransaction::Root::defaultData, { model.companyName } };
    const auto linkPath = roots.defaultData.getChildFile (model.companyName).getChildFile (model.instrumentName);
    const auto companyPath = transaction.checkFolders (companyPlace);

    if (companyPath.failed())
        return fail (companyPath, "Failed to create directory: " + linkPath.getFullPathName());

    const auto company = CheckedFolder::openRoot (roots.defaultData).openFolder (model.companyName, CheckedFolder::Missing::fail);
    juce::File pointsTo;

    switch (company.isOpen() ? company.getEntryType (model.instrumentName) : CheckedFolder::EntryType::missing)
    {
        case CheckedFolder::EntryType::missing:
            linkNeeded = true;
            return true;

        case CheckedFolder::EntryType::link:
        {
            const auto read = company.readLink (model.instrumentName, pointsTo).wasOk();

            if (read && pointsTo == target.getParentDirectory())
                return true;

            if (read && relinking && isReplaceableLink (pointsTo))
            {
                linkNeeded = linkReplaced = true;
                return true;
            }

            break;
        }

        case CheckedFolder::EntryType::file:
        case CheckedFolder::EntryType::folder:
        case CheckedFolder::EntryType::other:
            break;
    }

    return fail (CheckedFolder::refuseLink (linkPath, pointsTo.getFullPathName()), "Failed to create directory: " + linkPath.getFullPathName());
}

/** Whether a relink may replace the link at the default data folder that points to `pointsTo`: the link the
    installation's record names, or one to a folder that is gone (a drive whose letter changed).
*/
bool InstallerModel::Installation::isReplaceableLink (const juce::File& pointsTo) const
{
    InstalledInstruments::Installation installed;
    juce::String problem;

    return ! pointsTo.exists()
        || (InstalledInstruments (*model.folders).find (model.companyName, model.instrumentName, installed, problem) == noError
             && installed.dataFolder == pointsTo);
}

bool InstallerModel::Installation::begin()
{
    const auto begun = transaction.begin (model.instrumentName + " (" + model.companyName + ")", model.companyName, model.instrumentName);
    return begun.wasOk() || fail (begun, "Failed to create directory: " + target.getParentDirectory().getFullPathName());
}

bool InstallerModel::Installation::createFolder (const FolderPath& place, const juce::File& folder)
{
    CheckedFolder opened;
    const auto created = transaction.openFolder (place, true, opened);
    return created.wasOk() || fail (created, "Failed to create directory: " + folder.getFullPathName());
}

bool InstallerModel::Installation::copyMonolith()
{
    // Installing the installed monolith onto itself leaves it where it is; the record still wants its CRC-32.
    if (source == target)
        return crcOfInstalledMonolith();

    const auto fits = transaction.checkTarget ({ monolithFolder, target.getFileName() }, CheckedFolder::EntryType::file);

    if (fits.failed())
        return fail (fits, copyFailed);

    // The file the check opened and read, whatever has happened to its path since.
    const auto& monolith = model.monolithSource;

    if (! monolith.isOpen() || ! BlockCopy::fitsInto (target.getParentDirectory(), monolith.getSize()))
        return fail (copyFailed);

    auto created = juce::Result::ok();
    const auto file = transaction.createFile (monolithFolder, target.getFileName(), created);

    if (file == nullptr)
        return fail (created, copyFailed);

    newMonolith = file->getName();
    const auto* checksums = model.monolithChecksums.has_value() ? &*model.monolithChecksums : nullptr;
    const auto outcome = copyAndReadBack (*file, checksums);

    if (damage.isNotEmpty())
        return fail (juce::Result::fail (damage), copyFailed);

    record.addFile (InstallRecord::TargetFolder::data, target.getFileName(), monolith.getSize(), monolithCrc);
    return afterCopy (outcome, copyFailed);
}

bool InstallerModel::Installation::crcOfInstalledMonolith()
{
    const auto& monolith = model.monolithSource;
    const auto in = monolith.createInputStream();

    if (in == nullptr)
        return fail (copyFailed);

    // Read whole and, where it carries checksums, proven chunk by chunk: a relink trusts the copy for nothing else.
    std::optional<ChecksumVerifier> verifier;

    if (model.monolithChecksums.has_value())
        verifier.emplace (*model.monolithChecksums);

    const auto outcome = BlockCopy::forEachBlock (*in, monolith.getSize(), shouldStop, BlockCopy::summing (monolithCrc, [&verifier] (const char* data, size_t numBytes)
    {
        return ! verifier.has_value() || verifier->update (data, numBytes);
    }));

    if (verifier.has_value() && (verifier->hasFailed() || (outcome == BlockCopy::Outcome::done && ! verifier->finish())))
        return fail (invalidData, "Monolith damaged: " + verifier->describeDamage());

    record.addFile (InstallRecord::TargetFolder::data, target.getFileName(), monolith.getSize(), monolithCrc);
    return afterCopy (outcome, copyFailed);
}

/** Copies the monolith to `destination` through VerifiedCopy, then flushes and closes it. Every block read
    back from the copy is checked: with checksums against them, chunk by chunk (a damaged chunk is named in
    `damage`), and the record's CRC-32 is worked out from theirs; without, against the same bytes read from
    the monolith, and the CRC-32 is that of the copy.
*/
BlockCopy::Outcome InstallerModel::Installation::copyAndReadBack (CheckedFile& destination, const ChunkChecksums* checksums)
{
    CheckedFolder folder;
    const auto opened = transaction.openFolder (monolithFolder, false, folder);
    juce::FileInputStream readBack (folder.getFile().getChildFile (destination.getName()));
    const auto& monolith = model.monolithSource;
    const auto original = monolith.createInputStream();

    if (opened.failed() || readBack.failedToOpen() || original == nullptr)
        return BlockCopy::Outcome::failed;

    std::optional<ChecksumVerifier> verifier;

    if (checksums != nullptr)
        verifier.emplace (*checksums);

    juce::HeapBlock<char> originalBlock ((size_t) BlockCopy::blockSize);
    juce::uint32 crc = 0;
    const auto matchesOriginal = [&] (const char* data, size_t numBytes)
    {
        return original->read (originalBlock, (int) numBytes) == (int) numBytes
                && std::memcmp (data, originalBlock, numBytes) == 0;
    };
    const BlockCopy::BlockUser matchesChecksums = [&] (const char* data, size_t numBytes) { return verifier->update (data, numBytes); };
    const auto check = verifier.has_value() ? matchesChecksums : BlockCopy::summing (crc, matchesOriginal);

    const auto length = monolith.getSize();
    const auto outcome = VerifiedCopy::run (monolith, destination, readBack, shouldStop, check,
                                            [&] (juce::int64 done) { reportStage (copyStart, copyEnd, done, length); });

    if (verifier.has_value() && (verifier->hasFailed() || (outcome == BlockCopy::Outcome::done && ! verifier->finish())))
        damage = "Monolith damaged: " + verifier->describeDamage();

    if (outcome != BlockCopy::Outcome::done || damage.isNotEmpty())
        return damage.isEmpty() ? outcome : BlockCopy::Outcome::failed;

    // Nothing beyond the proven bytes either.
    if (readBack.getTotalLength() != length)
        return BlockCopy::Outcome::failed;

    monolithCrc = verifier.has_value() ? verifier->getMonolithCrc() : crc;
    destination.flush();
    return destination.close().wasOk() ? BlockCopy::Outcome::done : BlockCopy::Outcome::failed;
}

bool InstallerModel::Installation::unpackPlugin()
{
    if (! openCheckedArchive())
        return false;

    if (archive->getStatus().failed()
         || ! BlockCopy::fitsInto (pluginFolder, archive->getTotalSize() + bytesPerFileOnDisk * archive->getNumEntries()))
        return fail (extractFailed);

    auto staged = juce::Result::ok();
    unpacked = transaction.getStaging (staged);
    CheckedFolder folder;

    if (staged.wasOk())
        staged = transaction.openFolder (unpacked, false, folder);

    if (staged.failed())
        return fail (staged, extractFailed);

    const auto total = archive->getTotalSize();
    const auto outcome = archive->extractTo (folder, shouldStop, [&] (juce::int64 done)
    {
        reportStage (unpackStart, unpackEnd, done, total);
    });

    return afterCopy (outcome, extractFailed);
}

/** The archive as the check read it, from its copy once that has proven to hold exactly the bytes the
    check wrote. The extraction reads the same open file, so what is verified is what is extracted.
*/
bool InstallerModel::Installation::openCheckedArchive()
{
    const auto* copy = model.pluginArchive.get();

    switch (copy != nullptr ? copy->openUnchanged (shouldStop, archive) : PluginArchiveCopy::Proof::cannotOpen)
    {
        case PluginArchiveCopy::Proof::unchanged:   return true;
        case PluginArchiveCopy::Proof::stopped:     return stop();
        case PluginArchiveCopy::Proof::cannotOpen:  return fail (extractFailed);
        case PluginArchiveCopy::Proof::changed:     break;
    }

    return fail (juce::Result::fail ("Plug-in archive changed since the check: " + archiveFile.getFullPathName()), extractFailed);
}

/** The uninstaller that Installed apps runs, beside the monolith; a program that carries none (every
    program outside Windows) leaves none, and makes no Installed apps entry.
*/
bool InstallerModel::Installation::writeUninstaller()
{
    const auto program = UninstallerProgram::open();

    if (program == nullptr)
        return true;

    auto crc = Crc32::initial;

    if (! writeNewFile (UninstallerProgram::fileName, *program, program->getTotalLength(), newUninstaller, crc))
        return false;

    record.addFile (InstallRecord::TargetFolder::data, UninstallerProgram::fileName, program->getTotalLength(), crc);
    return true;
}

/** The install record: the monolith, the uninstaller and every entry of the plug-in archive. */
bool InstallerModel::Installation::writeRecord()
{
    record.company = model.companyName;
    record.instrument = model.instrumentName;
    record.installerVersion = ProductVersion::get();

    if (roots.isDataChosen())
        record.dataRoot = roots.data;
    record.date = juce::Time::getCurrentTime();

    archive->forEachEntry ([this] (const juce::String& path, bool isFolder, juce::int64 size, juce::uint32 crc)
    {
        if (isFolder)
            record.addFolders (InstallRecord::TargetFolder::plugins, path);
        else
            record.addFile (InstallRecord::TargetFolder::plugins, path, size, crc);
    });

    // The folders of the maker's that are there already stay when this installation is removed.
    record.markMadeFolders ([this] (const juce::String& path) { return model.vst3Folder.getChildFile (path).isDirectory(); });

    const auto text = record.toText();

    // A larger record would read as damaged: the installation could be neither listed nor removed.
    if ((juce::int64) text.getNumBytesAsUTF8() > InstallRecord::maxFileSize)
        return fail (InstallerModel::invalidData, "The plug-in holds too many files for its install record ("
                                                      + juce::File::descriptionOfSizeInBytes (InstallRecord::maxFileSize) + " at most)");

    juce::MemoryInputStream in (text.toRawUTF8(), text.getNumBytesAsUTF8(), false);
    auto crc = Crc32::initial;
    return writeNewFile (InstallRecord::fileName, in, in.getTotalLength(), newRecord, crc);
}

/** Writes `length` bytes of `in` to a new file beside the monolith, to be moved into place as `name`, and
    flushes it to the disk; `crc` gets their CRC-32.
*/
bool InstallerModel::Installation::writeNewFile (const juce::String& name, juce::InputStream& in, juce::int64 length,
                                                 juce::String& temporaryName, juce::uint32& crc)
{
    const auto failed = "Failed to write: " + target.getParentDirectory().getChildFile (name).getFullPathName();
    auto created = transaction.checkTarget ({ monolithFolder, name }, CheckedFolder::EntryType::file);
    std::unique_ptr<CheckedFile> file;

    if (created.wasOk())
        file = transaction.createFile (monolithFolder, name, created);

    if (file == nullptr)
        return fail (created, failed);

    temporaryName = file->getName();
    auto outcome = BlockCopy::toStream (in, length, *file, shouldStop, BlockCopy::summing (crc));

    if (outcome == BlockCopy::Outcome::done)
    {
        file->flush();

        if (file->close().failed())
            outcome = BlockCopy::Outcome::failed;
    }

    return afterCopy (outcome, failed);
}

bool InstallerModel::Installation::moveIntoPlace()
{
    // Everything is written, verified and on the disk; only renames remain, and each can be undone.
    if (! (moveFile (newMonolith, target.getFileName())
            && moveFile (newUninstaller, UninstallerProgram::fileName)
            && moveFile (newRecord, InstallRecord::fileName)))
        return false;

    CheckedFolder staged;
    transaction.openFolder (unpacked, false, staged);

    for (const auto& name : archive->getTopLevelNames())
    {
        const auto type = staged.getEntryType (name);

        if (type == CheckedFolder::EntryType::folder && ! InstallRecord::isBundle (name))
        {
            if (! moveFolderContents (unpacked.child (name), pluginPlace.child (name)))
                return false;

            continue;
        }

        const auto moved = transaction.moveIntoPlace ({ unpacked, name }, { pluginPlace, name }, type);

        if (moved.failed())
            return failMove (moved, extractFailed);
    }

    return true;
}

/** Moves the new file `temporaryName` beside the monolith into place as `name`; nothing to do without one. */
bool InstallerModel::Installation::moveFile (const juce::String& temporaryName, const juce::String& name)
{
    if (temporaryName.isEmpty())
        return true;

    const auto moved = transaction.moveIntoPlace ({ monolithFolder, temporaryName }, { monolithFolder, name },
                                                  CheckedFolder::EntryType::file);
    return moved.wasOk() || failMove (moved, name == target.getFileName() ? copyFailed
                                                                       : "Failed to write: " + target.getParentDirectory().getChildFile (name).getFullPathName());
}

/** The default data folder, as the link to the data in the folder the user chose: where the plug-in
    looks for it.
*/
bool InstallerModel::Installation::makeLink()
{
    if (! linkNeeded)
        return true;

    const FolderPath companyPlace { InstallTransaction::Root::defaultData, { model.companyName } };
    const auto linkPath = roots.defaultData.getChildFile (model.companyName).getChildFile (model.instrumentName);
    CheckedFolder company;
    auto made = transaction.openFolder (companyPlace, true, company);

    // The link being replaced goes aside, and comes back on rollback.
    if (made.wasOk() && linkReplaced)
        made = transaction.moveAside ({ companyPlace, model.instrumentName }, CheckedFolder::EntryType::link);

    if (made.wasOk())
        made = transaction.makeLink ({ companyPlace, model.instrumentName }, target.getParentDirectory());

    if (made.failed())
        return fail (made, "Failed to create directory: " + linkPath.getFullPathName());

    model.write ("Data folder linked: " + linkPath.getFullPathName() + " -> " + target.getParentDirectory().getFullPathName());
    return true;
}

/** The installation's entry in Installed apps, when it has an uninstaller to name (so on Windows only).
    Undone with the rest when the commit fails; the next start after a kill puts it in line with the
    records (InstalledAppsEntry::reconcile).
*/
bool InstallerModel::Installation::registerEntry()
{
    if (newUninstaller.isEmpty())
        return true;

    entry = std::make_unique<InstalledAppsEntry> (model.companyName, model.instrumentName);
    const auto written = entry->write (record, target.getParentDirectory());
    return written.wasOk() || fail (written, "Failed to register in Installed apps: " + entry->getKeyPath());
}

/** Moves every file below `from` to the same place below `to`, making the folders that are missing there:
    a folder that other products of the maker may share keeps the files that are not in the archive.
*/
bool InstallerModel::Installation::moveFolderContents (const FolderPath& from, const FolderPath& to)
{
    const Item folderItem { { to.root, juce::StringArray (to.path.begin(), to.path.size() - 1) }, to.path[to.path.size() - 1] };
    CheckedFolder staged, destination;
    juce::StringArray names;
    auto moved = transaction.checkTarget (folderItem, CheckedFolder::EntryType::folder);

    if (moved.wasOk())
        moved = transaction.openFolder (to, true, destination);

    if (moved.wasOk())
        moved = transaction.openFolder (from, false, staged);

    if (moved.wasOk())
        moved = staged.list (names);

    names.sort (false);

    for (int i = 0; i < names.size() && moved.wasOk(); ++i)
    {
        const auto type = staged.getEntryType (names[i]);

        if (type == CheckedFolder::EntryType::folder)
        {
            if (! moveFolderContents (from.child (names[i]), to.child (names[i])))
                return false;

            continue;
        }

        moved = transaction.moveIntoPlace ({ from, names[i] }, { to, names[i] }, type);
    }

    return moved.wasOk() || failMove (moved, extractFailed);
}

bool InstallerModel::Installation::finish()
{
    archive.reset();
    const auto committed = transaction.commit();

    if (committed.failed())
        return fail (committed, extractFailed);

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

/** Moves the bar within a stage as its bytes are done. */
void InstallerModel::Installation::reportStage (double stageStart, double stageEnd, juce::int64 done, juce::int64 total)
{
    if (total > 0)
        observer.progressChanged (stageStart + (stageEnd - stageStart) * (double) juce::jmin (done, total) / (double) total);
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
