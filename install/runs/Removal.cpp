#include "install/runs/Removal.h"

#include "fs/CheckedFile.h"
#include "fs/ReadOnlyFile.h"
#include "install/installed/InstalledFilesCheck.h"
#include "install/installed/InstalledInstruments.h"
#include "install/payload/PluginArchive.h"
#include "install/SafeFileName.h"
#include "install/installed/UninstallerProgram.h"
#include "monolith/EntryNames.h"
#include "monolith/MonolithReader.h"

namespace
{
// The stages the bar passes: the installation found, the plug-in's items aside, the data folder's aside.
constexpr double found = 0.1, pluginsAside = 0.5, dataAside = 0.8;

juce::String keyOf (InstallRecord::TargetFolder place, const juce::String& path, bool isFolder)
{
    return juce::String (place == InstallRecord::TargetFolder::data ? "data:" : "plugins:") + (isFolder ? "folder:" : "file:")
           + path.toLowerCase();
}

juce::String join (const juce::String& path, const juce::String& name)
{
    return path.isEmpty() ? name : path + "/" + name;
}

/** The transaction's roots for removing the installation: its data where its record says it is. */
InstallTransaction::Roots rootsFor (const SystemFolders& folders, const juce::String& company, const juce::String& instrument)
{
    const auto roots = InstallTransaction::Roots::of (folders);
    InstalledInstruments::Installation installation;
    juce::String problem;

    if (InstalledInstruments (folders).find (company, instrument, installation, problem) == InstallerResult::noError
         && installation.record.dataRoot != juce::File())
        return roots.withData (installation.record.dataRoot);

    return roots;
}
} // namespace

InstallerModel::Removal::Removal (InstallerModel& modelToUse, const juce::String& companyName, const juce::String& instrumentName,
                                  Observer& observerToTell)
    : StepChain (modelToUse),
      company (companyName),
      instrument (instrumentName),
      observer (observerToTell),
      roots (rootsFor (*model.folders, companyName, instrumentName)),
      transaction (roots, [this] (const juce::String& line) { model.write (line); }),
      dataPlace { InstallTransaction::Root::data, { companyName, instrumentName } },
      pluginPlace { InstallTransaction::Root::vst3, { companyName } }
{
}

InstallerModel::Result InstallerModel::Removal::run()
{
    model.keptByUninstall.clear();
    model.programsHoldingFiles.clear();
    observer.progressChanged (0.0);
    model.write ("Begin uninstall job");

    const auto completed = findInstallation()
                             && checkHolders (filesToRemove())
                             && begin()
                             && removeListed (pluginPlace, {})
                             && removeDataFiles()
                             && removeLink()
                             && removeEntry()
                             && mark()
                             && commit();

    if (completed)
    {
        removeEmptyFolders();
        observer.progressChanged (1.0);
        model.write ("Uninstall job finished");
        return noError;
    }

    transaction.rollback();
    removeMark();

    if (entry != nullptr)
        entry->undo();

    return getResult();
}

/** The installation's record, checked against the instrument's own items; without one, what the installed
    monolith's plug-in archive names.
*/
bool InstallerModel::Removal::findInstallation()
{
    InstalledInstruments::Installation installation;
    juce::String problem;
    const auto outcome = InstalledInstruments (*model.folders).find (company, instrument, installation, problem);

    if (outcome == noError)
    {
        record = installation.record;
        hasRecord = true;

        if (! checkScope())
            return false;
    }
    else if (outcome != notInstalled)
    {
        return fail (outcome, problem);
    }
    else if (! readPluginArchive (record))
    {
        return false;
    }

    for (const auto& item : record.items)
    {
        listed.insert (keyOf (item.place, item.path, item.isFolder));

        if (item.isFolder && item.made)
            madeFolders.insert (keyOf (item.place, item.path, true));

        if (! item.isFolder)
            listedFiles[keyOf (item.place, item.path, false)] = item;
    }

    findShared();
    model.write ("Uninstalling " + instrument + " by " + company
                 + (hasRecord ? ", as its install record lists" : ", as its monolith's plug-in archive names"));
    observer.progressChanged (found);
    return ! observer.shouldStop() || stop();
}

/** What the installed monolith names: itself and its plug-in archive's entries, into `archiveRecord`. */
bool InstallerModel::Removal::readPluginArchive (InstallRecord& archiveRecord)
{
    const auto monolith = roots.data.getChildFile (company).getChildFile (instrument).getChildFile (instrument + ".rom");

    if (! SafeFileName::isSafe (company) || ! SafeFileName::isSafe (instrument) || ! monolith.existsAsFile())
        return hasRecord ? fail (invalidData, "Cannot tell what is " + instrument + "'s by " + company + ": its monolith "
                                                  + monolith.getFullPathName() + " is missing; nothing was removed")
                         : fail (notInstalled, "Not installed: " + instrument + " by " + company);

    const auto entryStream = MonolithReader (monolith).openBinary (EntryNames::keyOf (EntryNames::vst3Plugin));
    const juce::TemporaryFile archiveFile (model.folders->getTemporaryFolder().getChildFile ("vst3"));

    const auto copied = entryStream == nullptr ? BlockCopy::Outcome::failed
                                               : BlockCopy::toNewFile (*entryStream, entryStream->getTotalLength(), archiveFile.getFile(),
                                                                       [this] { return observer.shouldStop(); }, false);

    if (copied == BlockCopy::Outcome::stopped)
        return stop();

    if (copied != BlockCopy::Outcome::done)
        return fail (invalidData, "Cannot read the VST3 binary of the installed monolith " + monolith.getFullPathName());

    const PluginArchive archive (archiveFile.getFile().createInputStream());

    if (archive.getStatus().failed())
        return fail (invalidData, archive.getStatus().getErrorMessage());

    archiveRecord.addFile (InstallRecord::TargetFolder::data, monolith.getFileName(), monolith.getSize(), 0);
    archive.forEachEntry ([&archiveRecord] (const juce::String& path, bool isFolder, juce::int64 size, juce::uint32 crc)
    {
        if (isFolder)
            archiveRecord.addFolders (InstallRecord::TargetFolder::plugins, path);
        else
            archiveRecord.addFile (InstallRecord::TargetFolder::plugins, path, size, crc);
    });

    // Without a record, as for one that does not say: only a bundle's folders are known to be the installation's.
    archiveRecord.markMadeFolders ([] (const juce::String&) { return true; });

    return true;
}

/** A record names only what an installation of this instrument writes: its monolith, its uninstaller and
    what its plug-in archive names. A line for anything else (another product's bundle, say) could only
    have been added by hand, and would remove what is not ours: the record is damaged, and nothing goes.
*/
bool InstallerModel::Removal::checkScope()
{
    InstallRecord own;

    if (! readPluginArchive (own))
        return false;

    std::set<juce::String> allowed { keyOf (InstallRecord::TargetFolder::data, UninstallerProgram::fileName, false) };

    for (const auto& item : own.items)
        allowed.insert (keyOf (item.place, item.path, item.isFolder));

    for (const auto& item : record.items)
        if (allowed.count (keyOf (item.place, item.path, item.isFolder)) == 0)
            return fail (invalidData, "The install record of " + instrument + " by " + company + " lists "
                                          + (item.place == InstallRecord::TargetFolder::data ? roots.data.getChildFile (company).getChildFile (instrument)
                                                                                             : roots.vst3.getChildFile (company))
                                                .getChildFile (item.path).getFullPathName()
                                          + ", which is none of its own items: nothing was removed");

    return true;
}

/** What the records of the maker's other installations list in the plug-in folder: it stays while they do. */
void InstallerModel::Removal::findShared()
{
    juce::StringArray problems;

    for (const auto& other : InstalledInstruments (*model.folders).findAll (problems))
        if (other.record.company.equalsIgnoreCase (company) && ! other.record.instrument.equalsIgnoreCase (instrument))
            for (const auto& item : other.record.items)
                if (item.place == InstallRecord::TargetFolder::plugins)
                    shared.insert (keyOf (item.place, item.path, item.isFolder));
}

bool InstallerModel::Removal::begin()
{
    const auto begun = transaction.begin ("removal of " + instrument + " (" + company + ")", company, instrument);
    return begun.wasOk() || fail (begun, "Failed to begin the removal");
}

/** Moves aside what is listed in the folder `folder` (at `pathInPlace` in the plug-in place): a folder whole
    when everything in it is listed, else what is listed in it.
*/
bool InstallerModel::Removal::removeListed (const FolderPath& folder, const juce::String& pathInPlace)
{
    juce::StringArray names;
    std::vector<EntryType> types;

    if (pathInPlace.isEmpty() && ! roots.vst3.getChildFile (company).isDirectory())
        return true;

    {
        CheckedFolder opened;
        auto listing = transaction.openFolder (folder, false, opened);

        if (listing.wasOk())
            listing = opened.list (names);

        if (listing.failed())
            return fail (listing, "Failed to remove: " + roots.vst3.getChildFile (company).getChildFile (pathInPlace).getFullPathName());

        names.sort (true);

        for (const auto& name : names)
            types.push_back (opened.getEntryType (name));
    }

    for (int i = 0; i < names.size(); ++i)
    {
        const auto path = join (pathInPlace, names[i]);
        const auto type = types[(size_t) i];

        if (type == EntryType::file && isOurs (folder, names[i], path))
        {
            if (! moveAside ({ folder, names[i] }, type))
                return false;
        }
        else if (type == EntryType::folder && isListed (InstallRecord::TargetFolder::plugins, path, true))
        {
            const auto whole = isOwnFolder (path) && isWhollyListed (folder.child (names[i]), path);

            if (! (whole ? moveAside ({ folder, names[i] }, type) : removeListed (folder.child (names[i]), path)))
                return false;
        }
    }

    if (pathInPlace.isEmpty())
        observer.progressChanged (pluginsAside);

    return true;
}

/** Whether everything in the folder is listed, down to the last file. */
bool InstallerModel::Removal::isWhollyListed (const FolderPath& folder, const juce::String& pathInPlace)
{
    CheckedFolder opened;
    juce::StringArray names;

    if (transaction.openFolder (folder, false, opened).failed() || opened.list (names).failed())
        return false;

    for (const auto& name : names)
    {
        const auto path = join (pathInPlace, name);
        const auto type = opened.getEntryType (name);
        const auto whollyListed = type == EntryType::file ? isOurs (folder, name, path)
                                : type == EntryType::folder && isOwnFolder (path) && isWhollyListed (folder.child (name), path);
        if (! whollyListed)
            return false;
    }

    return true;
}

/** The record's files in the instrument's data folder, then the record itself. The uninstaller that runs
    this stays: it removes itself when it has ended (Windows deletes no running program).
*/
bool InstallerModel::Removal::removeDataFiles()
{
    for (const auto& item : record.items)
    {
        if (item.place != InstallRecord::TargetFolder::data || item.isFolder)
            continue;

        const auto file = itemOf (dataPlace, item.path);

        if (isRunningProgram (file))
            continue;

        // The monolith of an installation without a record has no CRC-32 of its own to compare. Anything but
        // a file (a link, say) is refused by the move aside, and then nothing goes.
        CheckedFolder folder;
        const auto isFile = transaction.openFolder (file.folder, false, folder).wasOk() && folder.getEntryType (file.name) == EntryType::file;

        if (hasRecord && isFile && ! isUnchanged (file.folder, file.name, item))
        {
            keep (fileOf (file), "changed since it was installed");
            continue;
        }

        if (! moveAside (file, EntryType::file))
            return false;
    }

    if (hasRecord && ! moveAside ({ dataPlace, InstallRecord::fileName }, EntryType::file))
        return false;

    observer.progressChanged (dataAside);
    return true;
}

/** The default data folder, when it is the link to the folder the user chose: it goes with the data. */
bool InstallerModel::Removal::removeLink()
{
    if (! roots.isDataChosen())
        return true;

    return moveAside ({ { InstallTransaction::Root::defaultData, { company } }, instrument }, EntryType::link);
}

bool InstallerModel::Removal::moveAside (const Item& item, EntryType type)
{
    if (observer.shouldStop())
        return stop();

    model.write ("Removing: " + fileOf (item).getFullPathName());
    const auto moved = transaction.moveAside (item, type);
    return moved.wasOk() || failMove (moved, "Failed to remove: " + fileOf (item).getFullPathName());
}

/** The Installed apps entry, which only Windows has. */
bool InstallerModel::Removal::removeEntry()
{
    entry = std::make_unique<InstalledAppsEntry> (company, instrument);
    const auto removed = entry->remove();
    return removed.wasOk() || fail (removed, "Failed to remove the Installed apps entry " + entry->getKeyPath());
}

bool InstallerModel::Removal::commit()
{
    const auto committed = transaction.commit();
    return committed.wasOk() || fail (committed, "Failed to remove " + instrument + " by " + company);
}

/** The mark that a kill after the commit leaves for the next start, which then removes the folders that
    this run would have removed (finishInterrupted). Made before the commit: the journal ends with the commit's
    clean-up, and after it nothing else would remember the folders.
*/
bool InstallerModel::Removal::mark()
{
    const auto made = leaveMark (roots, company, instrument, markName);
    return made.wasOk() || fail (made, "Failed to remove " + instrument + " by " + company);
}

juce::Result InstallerModel::Removal::leaveMark (const InstallTransaction::Roots& roots, const juce::String& company,
                                                 const juce::String& instrument, juce::String& name)
{
    const auto staging = CheckedFolder::openRoot (roots.staging);
    auto made = staging.getStatus();
    const auto file = staging.isOpen() ? staging.createFile (markPrefix, made) : nullptr;

    if (file != nullptr)
    {
        name = file->getName();
        // In one write: a kill must not leave the first lines of a mark that has three.
        const auto text = company + "\n" + instrument + "\n" + (roots.isDataChosen() ? roots.data.getFullPathName() + "\n" : juce::String());
        file->write (text.toRawUTF8(), text.getNumBytesAsUTF8());
        file->flush();
        made = file->close();
    }

    return made;
}

void InstallerModel::Removal::removeMark() const
{
    removeMark (roots, markName);
}

void InstallerModel::Removal::removeMark (const InstallTransaction::Roots& roots, const juce::String& name)
{
    if (name.isNotEmpty())
        CheckedFolder::openRoot (roots.staging).remove (name);
}

/** The instrument's folder and the company's folders when nothing is left in them, then the mark. */
void InstallerModel::Removal::removeEmptyFolders() const
{
    removeEmptyFolders (roots, company, instrument);
    removeMark();
}

void InstallerModel::Removal::removeEmptyFolders (const InstallTransaction::Roots& roots, const juce::String& company,
                                                  const juce::String& instrument)
{
    CheckedFolder::openRoot (roots.data).removeEmptyFolders ({ company, instrument });
    CheckedFolder::openRoot (roots.vst3).removeEmptyFolders ({ company });

    if (roots.isDataChosen())
        CheckedFolder::openRoot (roots.defaultData).removeEmptyFolders ({ company });
}

void InstallerModel::Removal::finishInterrupted (const SystemFolders& folders, const std::function<void (const juce::String&)>& note)
{
    const auto roots = InstallTransaction::Roots::of (folders);

    if (! roots.staging.isDirectory())
        return;

    const auto staging = CheckedFolder::openRoot (roots.staging);
    juce::StringArray names;
    staging.list (names);

    for (const auto& name : names)
    {
        if (! name.startsWith (markPrefix) || staging.getEntryType (name) != EntryType::file)
            continue;

        auto opened = juce::Result::ok();
        juce::MemoryBlock data ((size_t) maxMarkSize);

        if (const auto file = staging.openTrustedFile (name, opened); file != nullptr && file->getSize() <= maxMarkSize)
            data.setSize ((size_t) file->read (data.getData(), (int) data.getSize(), 0));
        else
            continue;

        const auto text = data.toString();
        const auto lines = juce::StringArray::fromTokens (text.dropLastCharacters (1), "\n", {});
        const auto& company = lines[0];
        const auto& instrument = lines[1];

        // A mark cut short was being written when a kill came, before the commit: the recovery has undone
        // the removal, and there are no folders to remove.
        if (! text.endsWithChar ('\n') || lines.size() < 2)
        {
            staging.remove (name);
            continue;
        }

        // Anything else is no mark of ours: it stays for an administrator to look at. A third line names
        // the folder the user chose for the data.
        if (lines.size() < 2 || lines.size() > 3 || ! SafeFileName::isSafe (company) || ! SafeFileName::isSafe (instrument)
             || (lines.size() == 3 && ! juce::File::isAbsolutePath (lines[2])))
            continue;

        note ("Finishing the removal of " + instrument + " by " + company + " that was interrupted");
        removeEmptyFolders (lines.size() == 3 ? roots.withData (juce::File (lines[2])) : roots, company, instrument);
        staging.remove (name);
    }
}

//==============================================================================
InstallTransaction::Item InstallerModel::Removal::itemOf (const FolderPath& placeRoot, const juce::String& path) const
{
    auto folder = placeRoot;
    const auto names = juce::StringArray::fromTokens (path, "/", {});

    for (int i = 0; i < names.size() - 1; ++i)
        folder = folder.child (names[i]);

    return { folder, names[names.size() - 1] };
}

bool InstallerModel::Removal::isListed (InstallRecord::TargetFolder place, const juce::String& path, bool isFolder) const
{
    return listed.count (keyOf (place, path, isFolder)) > 0;
}

/** Whether the folder at `pathInPlace` in the plug-in place is this installation's alone: made by it, and
    listed by no other installation's record. Only such a folder goes, when nothing else is in it.
*/
bool InstallerModel::Removal::isOwnFolder (const juce::String& pathInPlace) const
{
    const auto key = keyOf (InstallRecord::TargetFolder::plugins, pathInPlace, true);
    return madeFolders.count (key) != 0 && shared.count (key) == 0;
}

/** Whether the listed file `name` in `folder` (at `pathInPlace` in the plug-in place) is still this
    installation's alone: as the record describes it, and listed by no other installation's record.
*/
bool InstallerModel::Removal::isOurs (const FolderPath& folder, const juce::String& name, const juce::String& pathInPlace)
{
    const auto key = keyOf (InstallRecord::TargetFolder::plugins, pathInPlace, false);
    const auto listedFile = listedFiles.find (key);

    if (listedFile == listedFiles.end())
        return false;

    const auto file = roots.vst3.getChildFile (company).getChildFile (pathInPlace);

    if (shared.count (key) != 0)
    {
        keep (file, "another installation's record lists it");
        return false;
    }

    if (! isUnchanged (folder, name, listedFile->second))
    {
        keep (file, "changed since it was installed");
        return false;
    }

    return true;
}

/** Whether the file `name` in `folder` still has the size and CRC-32 that `item` lists: read once, through
    the file layer, only from a file nobody else can change.
*/
bool InstallerModel::Removal::isUnchanged (const FolderPath& folder, const juce::String& name, const InstallRecord::Item& item)
{
    const auto key = keyOf (item.place, item.path, false);

    if (const auto known = unchanged.find (key); known != unchanged.end())
        return known->second;

    CheckedFolder opened;
    auto openedFile = transaction.openFolder (folder, false, opened);
    const auto file = openedFile.wasOk() ? opened.openTrustedFile (name, openedFile) : nullptr;

    if (file != nullptr && file->getSize() == item.size)
        return unchanged[key] = InstalledFilesCheck::crcOf (*file) == std::optional<juce::uint32> (item.crc);

    return unchanged[key] = false;
}

/** Leaves `file` where it is, saying so in the log and to the front end. */
void InstallerModel::Removal::keep (const juce::File& file, const juce::String& why)
{
    if (! kept.insert (file.getFullPathName()).second)
        return;

    model.write ("Kept, " + why + ": " + file.getFullPathName());
    model.keptByUninstall.add (file.getFullPathName() + " (" + why + ")");
}

/** Every file the record lists; what it keeps among them is not known yet, and nobody should hold those either. */
juce::Array<juce::File> InstallerModel::Removal::filesToRemove() const
{
    juce::Array<juce::File> files;

    for (const auto& item : record.items)
        if (! item.isFolder)
            files.add (fileOf (itemOf (item.place == InstallRecord::TargetFolder::data ? dataPlace : pluginPlace, item.path)));

    return files;
}

bool InstallerModel::Removal::isRunningProgram (const Item& item) const
{
    return fileOf (item) == juce::File::getSpecialLocation (juce::File::currentExecutableFile);
}

juce::File InstallerModel::Removal::fileOf (const Item& item) const
{
    auto file = roots[item.folder.root];

    for (const auto& name : item.folder.path)
        file = file.getChildFile (name);

    return file.getChildFile (item.name);
}
