#include "install/runs/Move.h"

#include "fs/CheckedFile.h"
#include "install/installed/UninstallerProgram.h"
#include "install/payload/VerifiedCopy.h"
#include "install/runs/Removal.h"
#include "monolith/ChecksumVerifier.h"
#include "monolith/MonolithStructure.h"

#include <algorithm>
#include <optional>

namespace
{
// The stages the bar passes: the installation found and checked, the files copied, the data in place.
constexpr double checked = 0.1, copied = 0.8, placed = 0.9;

bool sameName (const juce::String& a, const juce::String& b)
{
    return juce::File::areFileNamesCaseSensitive() ? a == b : a.equalsIgnoreCase (b);
}

/** The data folder's file `name` below `folder`, without reading a leading '~' as the home folder. */
juce::File fileIn (const juce::File& folder, const juce::String& name)
{
    return juce::File (folder.getFullPathName() + juce::File::getSeparatorString() + name);
}

InstalledInstruments::Installation lookUp (const SystemFolders& folders, const juce::String& company,
                                                     const juce::String& instrument, InstallerResult::Result& found,
                                                     juce::String& problem)
{
    InstalledInstruments::Installation installation;
    found = InstalledInstruments (folders).find (company, instrument, installation, problem);
    return installation;
}

/** The transaction's roots: the data goes to `newRoot`, out of the folder the record names (when it is not
    the default data root).
*/
InstallTransaction::Roots rootsFor (const SystemFolders& folders, const InstalledInstruments::Installation& installation,
                                    const juce::File& newRoot)
{
    const auto roots = InstallTransaction::Roots::of (folders);
    const auto withNew = newRoot == roots.defaultData ? roots : roots.withData (newRoot);
    const auto& oldRoot = installation.record.dataRoot;
    return oldRoot != juce::File() && oldRoot != newRoot ? withNew.withOldData (oldRoot) : withNew;
}
} // namespace

InstallerModel::Move::Move (InstallerModel& modelToUse, const juce::String& companyName, const juce::String& instrumentName,
                            const juce::File& newDataRoot, Observer& observerToTell)
    : StepChain (modelToUse),
      company (companyName),
      instrument (instrumentName),
      observer (observerToTell),
      newRoot (newDataRoot),
      installation (lookUp (*model.folders, companyName, instrumentName, found, findProblem)),
      roots (rootsFor (*model.folders, installation, newDataRoot)),
      transaction (roots, [this] (const juce::String& line) { model.write (line); }),
      fromDefault (installation.record.dataRoot == juce::File()),
      toDefault (! roots.isDataChosen()),
      defaultFolder (roots.defaultData.getChildFile (companyName).getChildFile (instrumentName)),
      oldFolder (installation.dataFolder),
      newFolder (roots.data.getChildFile (companyName).getChildFile (instrumentName)),
      oldPlace { fromDefault ? InstallTransaction::Root::defaultData : InstallTransaction::Root::oldData, { companyName, instrumentName } },
      newPlace { InstallTransaction::Root::data, { companyName, instrumentName } },
      newFilesPlace { InstallTransaction::Root::data, toDefault ? juce::StringArray { companyName } : juce::StringArray { companyName, instrumentName } },
      defaultItem { { InstallTransaction::Root::defaultData, { companyName } }, instrumentName }
{
}

InstallerModel::Result InstallerModel::Move::run()
{
    model.programsHoldingFiles.clear();
    observer.progressChanged (0.0);
    model.write ("Begin move job");

    const auto completed = findInstallation()
                             && checkNewPlace()
                             && checkOldFolder()
                             && checkSpace()
                             && checkHolders (filesToMove())
                             && begin()
                             && createFolder (newFilesPlace, toDefault ? newFolder.getParentDirectory() : newFolder)
                             && copyFiles()
                             && writeRecord()
                             && placeData()
                             && removeOldFiles()
                             && updateEntry()
                             && mark()
                             && commit();

    if (completed)
    {
        finish();
        return noError;
    }

    transaction.rollback();
    Removal::removeMark (InstallTransaction::Roots::of (*model.folders).withData (installation.record.dataRoot), markName);

    if (entry != nullptr)
        entry->undo();

    return getResult();
}

/** The installation, by the record at the default data folder; its data files are those the record lists there. */
bool InstallerModel::Move::findInstallation()
{
    if (found == notInstalled)
        return fail (notInstalled, "Not installed: " + instrument + " by " + company);

    if (found != noError)
        return fail (found, findProblem);

    for (const auto& item : installation.record.items)
    {
        if (item.place != InstallRecord::TargetFolder::data)
            continue;

        if (item.isFolder || item.path.containsChar ('/'))
            return fail (invalidData, "The install record of " + instrument + " by " + company + " lists " + item.path
                                          + " in the data folder, which no installation writes: nothing was moved");

        dataFiles.push_back (item);
        bytesToCopy += item.size;
    }

    model.write ("Moving " + instrument + " by " + company + " from " + oldFolder.getFullPathName() + " to " + newFolder.getFullPathName());
    return true;
}

/** The new data root is a folder that can be written to, another than the one the data is in and not inside
    the data folder, and the instrument's folder there is empty or missing, reached through no link.
*/
bool InstallerModel::Move::checkNewPlace()
{
    const auto refuse = [this] (const juce::String& why) { return fail (accessDenied, why + ": nothing was moved"); };
    const auto oldRoot = fromDefault ? roots.defaultData : installation.record.dataRoot;

    if (! newRoot.isDirectory())
        return refuse ("The chosen data folder is not a folder: " + newRoot.getFullPathName());

    if (newRoot == oldRoot)
        return refuse (instrument + " by " + company + " is in " + newRoot.getFullPathName() + " already");

    for (const auto& folder : { oldFolder, defaultFolder })
        if (newRoot == folder || newRoot.isAChildOf (folder))
            return refuse ("The chosen data folder lies inside the instrument's data folder " + folder.getFullPathName());

    if (! newRoot.hasWriteAccess())
        return refuse ("The chosen data folder cannot be written to: " + newRoot.getFullPathName());

    // Back in the default data root, the instrument's folder there is the installation's link until it is replaced.
    const auto path = transaction.checkFolders (toDefault ? newFilesPlace : newPlace);

    if (path.failed())
        return refuse (path.getErrorMessage());

    if (toDefault)
        return true;

    CheckedFolder folder;
    juce::StringArray names;
    transaction.openFolder (newPlace, false, folder);

    if (folder.isOpen() && folder.list (names).wasOk() && ! names.isEmpty())
        return refuse (newFolder.getFullPathName() + " holds " + names[0] + " already; move it out of the way, or relink to a copy there");

    return true;
}

/** Everything in the old data folder is a file the record lists there (or the record): anything else is not
    the installation's, and a move does not leave it behind in a folder that goes.
*/
bool InstallerModel::Move::checkOldFolder()
{
    CheckedFolder folder;
    juce::StringArray names;
    auto listed = transaction.openFolder (oldPlace, false, folder);

    if (listed.wasOk())
        listed = folder.list (names);

    if (listed.failed())
        return fail (listed, "Failed to read the data folder " + oldFolder.getFullPathName());

    names.sort (false);

    for (const auto& name : names)
    {
        if (! isListed (name))
            return fail (accessDenied, fileIn (oldFolder, name).getFullPathName() + " is not the installation's: move it out of "
                                           + oldFolder.getFullPathName() + " first; nothing was moved");

        if (folder.getEntryType (name) != EntryType::file)
            return fail (invalidData, fileIn (oldFolder, name).getFullPathName() + " is not a file, where the install record lists one: nothing was moved");
    }

    for (const auto& item : dataFiles)
        if (! names.contains (item.path))
            return fail (invalidData, fileIn (oldFolder, item.path).getFullPathName() + " is missing: nothing was moved");

    return true;
}

bool InstallerModel::Move::isListed (const juce::String& name) const
{
    if (sameName (name, InstallRecord::fileName))
        return true;

    return std::any_of (dataFiles.begin(), dataFiles.end(), [&name] (const InstallRecord::Item& item) { return sameName (item.path, name); });
}

bool InstallerModel::Move::checkSpace()
{
    const auto needed = getDataSize();

    if (BlockCopy::fitsInto (newRoot, needed))
    {
        observer.progressChanged (checked);
        return ! observer.shouldStop() || stop();
    }

    return fail (notEnoughSpace, "Not enough free space for the data in " + newRoot.getFullPathName() + ": "
                                     + juce::File::descriptionOfSizeInBytes (needed) + " needed, "
                                     + juce::File::descriptionOfSizeInBytes (newRoot.getBytesFreeOnVolume()) + " free");
}

/** The data files and the record: what is copied, with room for the record. */
juce::int64 InstallerModel::Move::getDataSize() const
{
    return bytesToCopy + InstallRecord::maxFileSize;
}

/** The old data folder's files, which the move reads and then removes. */
juce::Array<juce::File> InstallerModel::Move::filesToMove() const
{
    juce::Array<juce::File> files { fileIn (oldFolder, InstallRecord::fileName) };

    for (const auto& item : dataFiles)
        files.add (fileIn (oldFolder, item.path));

    return files;
}

bool InstallerModel::Move::begin()
{
    const auto begun = transaction.begin ("move of " + instrument + " (" + company + ") to " + newFolder.getFullPathName(), company, instrument);
    return begun.wasOk() || fail (begun, "Failed to begin the move");
}

bool InstallerModel::Move::createFolder (const FolderPath& place, const juce::File& folder)
{
    CheckedFolder opened;
    const auto created = transaction.openFolder (place, true, opened);
    return created.wasOk() || fail (created, "Failed to create directory: " + folder.getFullPathName());
}

bool InstallerModel::Move::copyFiles()
{
    for (const auto& item : dataFiles)
        if (! copyFile (item))
            return false;

    observer.progressChanged (copied);
    return true;
}

/** Copies the old data folder's file `item` under a temporary name into the new files' place, reading every
    block back: it must have the record's size and CRC-32, and the monolith must match its checksums.
*/
bool InstallerModel::Move::copyFile (const InstallRecord::Item& item)
{
    const auto from = fileIn (oldFolder, item.path);
    const auto failed = "Failed to copy from: " + from.getFullPathName() + " to: " + fileIn (newFolder, item.path).getFullPathName();
    model.write ("Copying: " + from.getFullPathName());

    // Opened once: what is proven is what was read, whatever happens to the path.
    const auto source = MonolithSource::open (from);

    if (! source.isOpen())
        return fail (source.getStatus(), failed);

    std::optional<ChecksumVerifier> verifier;

    if (sameName (item.path, instrument + ".rom"))
    {
        const auto stream = source.createInputStream();
        const auto checksums = ChunkChecksums::load (*stream, MonolithStructure::of (*stream));

        if (checksums.isLoaded())
            verifier.emplace (checksums);
    }

    auto created = juce::Result::ok();
    const auto file = transaction.createFile (newFilesPlace, item.path, created);

    if (file == nullptr)
        return fail (created, failed);

    newFiles[item.path] = file->getName();
    CheckedFolder folder;
    transaction.openFolder (newFilesPlace, false, folder);
    juce::FileInputStream readBack (fileIn (folder.getFile(), file->getName()));
    juce::uint32 crc = 0;
    const auto check = BlockCopy::summing (crc, [&verifier] (const char* data, size_t numBytes)
    {
        return ! verifier.has_value() || verifier->update (data, numBytes);
    });
    const auto start = bytesCopied;
    const auto outcome = readBack.failedToOpen() ? BlockCopy::Outcome::failed
                                                  : VerifiedCopy::run (source, *file, readBack, [this] { return observer.shouldStop(); }, check,
                                                                       [this, start] (juce::int64 done)
    {
        bytesCopied = start + done;
        observer.progressChanged (checked + (copied - checked) * (double) bytesCopied / (double) juce::jmax ((juce::int64) 1, bytesToCopy));
    });

    if (verifier.has_value() && (verifier->hasFailed() || (outcome == BlockCopy::Outcome::done && ! verifier->finish())))
        return fail (invalidData, "Monolith damaged: " + verifier->describeDamage() + ": nothing was moved");

    if (outcome == BlockCopy::Outcome::stopped)
        return stop();

    if (outcome == BlockCopy::Outcome::done && (source.getSize() != item.size || crc != item.crc))
        return fail (invalidData, from.getFullPathName() + " has changed since it was installed (its size or CRC-32 is not the"
                                      " install record's): nothing was moved");

    file->flush();
    const auto closed = file->close();
    return (outcome == BlockCopy::Outcome::done && closed.wasOk()) || fail (closed, failed);
}

/** The installation's record, as it was, naming the new place. */
bool InstallerModel::Move::writeRecord()
{
    newRecord = installation.record;
    newRecord.dataRoot = toDefault ? juce::File() : newRoot;
    const auto text = newRecord.toText();
    const auto failed = "Failed to write: " + fileIn (newFolder, InstallRecord::fileName).getFullPathName();
    auto created = juce::Result::ok();
    const auto file = transaction.createFile (newFilesPlace, InstallRecord::fileName, created);

    if (file == nullptr)
        return fail (created, failed);

    newFiles[InstallRecord::fileName] = file->getName();

    if (! file->write (text.toRawUTF8(), text.getNumBytesAsUTF8()))
        return fail (file->getStatus(), failed);

    file->flush();
    const auto closed = file->close();
    return closed.wasOk() || fail (closed, failed);
}

/** Puts the new folder where the plug-in looks: linked from the default data folder, or, back in the default
    data root, as the default data folder itself in place of the link.
*/
bool InstallerModel::Move::placeData()
{
    if (! toDefault)
        return moveIntoPlace() && setDefaultFolderAside() && makeLink() && reach (placed);

    if (! (setDefaultFolderAside() && createFolder (newPlace, newFolder) && moveIntoPlace()))
        return false;

    model.write ("Data folder in place again: " + defaultFolder.getFullPathName() + ", the link to " + oldFolder.getFullPathName() + " set aside");
    return reach (placed);
}

bool InstallerModel::Move::reach (double progress)
{
    observer.progressChanged (progress);
    return true;
}

bool InstallerModel::Move::moveIntoPlace()
{
    for (const auto& [name, temporaryName] : newFiles)
    {
        const auto moved = transaction.moveIntoPlace ({ newFilesPlace, temporaryName }, { newPlace, name }, EntryType::file);

        if (moved.failed())
            return failMove (moved, "Failed to write: " + fileIn (newFolder, name).getFullPathName());
    }

    return true;
}

/** The default data folder goes aside, the link to the old place or the old folder itself: it is deleted at
    the commit, and comes back on rollback.
*/
bool InstallerModel::Move::setDefaultFolderAside()
{
    const auto moved = transaction.moveAside (defaultItem, fromDefault ? EntryType::folder : EntryType::link);
    return moved.wasOk() || failMove (moved, "Failed to move aside: " + defaultFolder.getFullPathName());
}

bool InstallerModel::Move::makeLink()
{
    const auto made = transaction.makeLink (defaultItem, newFolder);

    if (made.failed())
        return fail (made, "Failed to create directory: " + defaultFolder.getFullPathName());

    model.write ("Data folder linked: " + defaultFolder.getFullPathName() + " -> " + newFolder.getFullPathName());
    return true;
}

/** The old files in a folder the user chose: each is set aside and goes at the commit. In the default data
    root the old folder went aside whole, in place of the link.
*/
bool InstallerModel::Move::removeOldFiles()
{
    if (fromDefault)
        return true;

    auto items = dataFiles;
    items.push_back ({ InstallRecord::TargetFolder::data, InstallRecord::fileName, false, false, 0, 0 });

    for (const auto& item : items)
    {
        model.write ("Removing: " + fileIn (oldFolder, item.path).getFullPathName());
        const auto moved = transaction.moveAside ({ oldPlace, item.path }, EntryType::file);

        if (moved.failed())
            return failMove (moved, "Failed to remove: " + fileIn (oldFolder, item.path).getFullPathName());
    }

    return true;
}

/** The Installed apps entry names the uninstaller's new place (Windows only: only there does a record list one). */
bool InstallerModel::Move::updateEntry()
{
    const auto listsUninstaller = std::any_of (dataFiles.begin(), dataFiles.end(), [] (const InstallRecord::Item& item)
    {
        return sameName (item.path, UninstallerProgram::fileName);
    });

    if (! listsUninstaller)
        return true;

    entry = std::make_unique<InstalledAppsEntry> (company, instrument);
    const auto written = entry->write (newRecord, newFolder);
    return written.wasOk() || fail (written, "Failed to register in Installed apps: " + entry->getKeyPath());
}

/** Out of a folder the user chose, the mark by which a start after a kill removes the folders the move empties there. */
bool InstallerModel::Move::mark()
{
    if (fromDefault)
        return true;

    const auto made = Removal::leaveMark (InstallTransaction::Roots::of (*model.folders).withData (installation.record.dataRoot),
                                          company, instrument, markName);
    return made.wasOk() || fail (made, "Failed to move " + instrument + " by " + company);
}

bool InstallerModel::Move::commit()
{
    const auto committed = transaction.commit();
    return committed.wasOk() || fail (committed, "Failed to move " + instrument + " by " + company);
}

void InstallerModel::Move::finish()
{
    if (! fromDefault)
    {
        const auto oldRoots = InstallTransaction::Roots::of (*model.folders).withData (installation.record.dataRoot);
        Removal::removeEmptyFolders (oldRoots, company, instrument);
        Removal::removeMark (oldRoots, markName);
    }

    observer.progressChanged (1.0);
    model.write ("Move job finished");
    model.write ("Data folder: " + newFolder.getFullPathName()
                 + (toDefault ? juce::String() : " (linked from " + defaultFolder.getFullPathName() + ")"));
}
