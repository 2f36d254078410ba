#pragma once

#include "install/installed/InstallRecord.h"
#include "install/transaction/InstallTransaction.h"
#include "install/installed/InstalledAppsEntry.h"
#include "install/runs/StepChain.h"

#include <functional>
#include <map>
#include <set>

/** One run of InstallerModel::uninstall, as a sequence of steps that share the run's transaction.

    What goes is what the installation's record lists (or, for an installation made before there were
    records, what the installed monolith's plug-in archive names): each listed item is moved aside, and
    deleted only when the transaction commits; a folder goes whole when everything in it is listed,
    otherwise only its listed items go, so that what a user or another product put there stays. The
    record goes last; the Installed apps entry on Windows is removed before the commit and put back on
    failure. Only what is still as the installation wrote it goes: a file whose size or CRC-32 differs
    from the record stays, and so does what another installation's record lists (a player plug-in that
    several instruments share), each named in the log. A record that lists anything but this instrument's
    own items (its monolith, its uninstaller, what its plug-in archive names) is damaged: nothing goes. A run that ends early rolls back, leaving everything as it was. Folders left empty (the
    instrument's, the company's) are removed after the commit.
*/
class InstallerModel::Removal : private StepChain
{
public:
    Removal (InstallerModel& model, const juce::String& company, const juce::String& instrument, Observer& observer);

    Result run();

    /** After a start's recovery: for each removal that a kill ended before it had removed the folders its
        commit left empty (its mark still in the staging root), removes those folders when they are empty,
        then the mark. A mark is read only when nobody but this user or the administrators can change it.
    */
    static void finishInterrupted (const SystemFolders& folders, const std::function<void (const juce::String&)>& note);

    /** Leaves the mark (in the staging root of `roots`) by which the next start after a kill removes the
        folders that the instrument's data folder in `roots`, and the company's folders, leave empty (see
        finishInterrupted); `name` gets its name. For every run that empties an instrument's data folder.
    */
    static juce::Result leaveMark (const InstallTransaction::Roots& roots, const juce::String& company,
                                   const juce::String& instrument, juce::String& name);

    /** Removes the mark `name` that leaveMark left. */
    static void removeMark (const InstallTransaction::Roots& roots, const juce::String& name);

    /** Removes the instrument's data folder in `roots`, and the company's folders there and in the VST3
        and default data roots, where they are empty.
    */
    static void removeEmptyFolders (const InstallTransaction::Roots& roots, const juce::String& company, const juce::String& instrument);

private:
    using FolderPath = InstallTransaction::FolderPath;
    using Item = InstallTransaction::Item;
    using EntryType = CheckedFolder::EntryType;

    bool findInstallation();
    bool readPluginArchive (InstallRecord& archiveRecord);
    bool checkScope();
    juce::Array<juce::File> filesToRemove() const;
    void findShared();
    bool begin();
    bool removeDataFiles();
    bool removeLink();
    bool removeListed (const FolderPath& folder, const juce::String& pathInPlace);
    bool isWhollyListed (const FolderPath& folder, const juce::String& pathInPlace);
    bool moveAside (const Item& item, EntryType type);
    bool removeEntry();
    bool mark();
    bool commit();
    void removeMark() const;
    void removeEmptyFolders() const;

    /** The name of the mark a removal leaves in the staging root (outside every folder it may remove) from
        just before its commit until it has removed the folders that the commit left empty: this, then random
        digits. It holds the company and the instrument, a line each.
    */
    static constexpr const char* markPrefix = ".removal-";

    /** The largest mark read: two names and their line ends. */
    static constexpr int maxMarkSize = 4096;

    Item itemOf (const FolderPath& placeRoot, const juce::String& path) const;
    bool isListed (InstallRecord::TargetFolder place, const juce::String& path, bool isFolder) const;
    bool isOwnFolder (const juce::String& pathInPlace) const;
    bool isOurs (const FolderPath& folder, const juce::String& name, const juce::String& pathInPlace);
    bool isUnchanged (const FolderPath& folder, const juce::String& name, const InstallRecord::Item& item);
    void keep (const juce::File& file, const juce::String& why);
    bool isRunningProgram (const Item& item) const;
    juce::File fileOf (const Item& item) const;

    const juce::String company, instrument;
    Observer& observer;
    const InstallTransaction::Roots roots;
    InstallTransaction transaction;
    const FolderPath dataPlace, pluginPlace;
    InstallRecord record;
    bool hasRecord = false;
    std::set<juce::String> listed, madeFolders, shared, kept;
    std::map<juce::String, InstallRecord::Item> listedFiles;
    std::map<juce::String, bool> unchanged;
    std::unique_ptr<InstalledAppsEntry> entry;
    juce::String markName;

    JUCE_DECLARE_NON_COPYABLE (Removal)
};
