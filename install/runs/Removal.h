#pragma once

#include "install/installed/InstallRecord.h"
#include "install/transaction/InstallTransaction.h"
#include "install/installed/InstalledAppsEntry.h"
#include "install/runs/StepChain.h"

#include <set>

/** One run of InstallerModel::uninstall, as a sequence of steps that share the run's transaction.

    What goes is what the installation's record lists (or, for an installation made before there were
    records, what the installed monolith's plug-in archive names): each listed item is moved aside, and
    deleted only when the transaction commits; a folder goes whole when everything in it is listed,
    otherwise only its listed items go, so that what a user or another product put there stays. The
    record goes last; the Installed apps entry on Windows is removed before the commit and put back on
    failure. A run that ends early rolls back, leaving everything as it was. Folders left empty (the
    instrument's, the company's) are removed after the commit.
*/
class InstallerModel::Removal : private StepChain
{
public:
    Removal (InstallerModel& model, const juce::String& company, const juce::String& instrument, Observer& observer);

    Result run();

private:
    using FolderPath = InstallTransaction::FolderPath;
    using Item = InstallTransaction::Item;
    using EntryType = CheckedFolder::EntryType;

    bool findInstallation();
    bool readPluginArchive();
    bool begin();
    bool removeDataFiles();
    bool removeListed (const FolderPath& folder, const juce::String& pathInPlace);
    bool isWhollyListed (const FolderPath& folder, const juce::String& pathInPlace);
    bool moveAside (const Item& item, EntryType type);
    bool removeEntry();
    bool commit();
    void removeEmptyFolders();

    Item itemOf (const FolderPath& placeRoot, const juce::String& path) const;
    bool isListed (InstallRecord::TargetFolder place, const juce::String& path, bool isFolder) const;
    bool isRunningProgram (const Item& item) const;
    juce::File fileOf (const Item& item) const;

    const juce::String company, instrument;
    Observer& observer;
    const InstallTransaction::Roots roots;
    InstallTransaction transaction;
    const FolderPath dataPlace, pluginPlace;
    InstallRecord record;
    bool hasRecord = false;
    std::set<juce::String> listed;
    std::unique_ptr<InstalledAppsEntry> entry;

    JUCE_DECLARE_NON_COPYABLE (Removal)
};
