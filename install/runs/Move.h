#pragma once

#include "install/installed/InstallRecord.h"
#include "install/installed/InstalledAppsEntry.h"
#include "install/installed/InstalledInstruments.h"
#include "install/runs/StepChain.h"
#include "install/transaction/InstallTransaction.h"

#include <map>

/** One run of InstallerModel::move: an installed instrument's data folder (what its record lists there,
    and the record) moved to another data root, as one transaction.

    Everything is refused before the first change when the new place cannot take it (not a folder, the
    place the data is in, a folder there already holding something, too little room) or when the old
    folder holds anything the record does not list: a move never deletes what is not the installation's,
    so a user's file there is named and stays where it is, and nothing moves. Each file is copied under a
    temporary name, read back and proven against the record's size and CRC-32 (the monolith also against
    its checksums, chunk by chunk), flushed, and then moved into place with the record rewritten for the
    new place. Then the default data folder is switched: to a link to the new folder (the real folder
    there, when the data was in the default place, is set aside), or, for a move back to the default data
    root, the link is set aside and the real folder made where it was. The old files are set aside and go
    at the commit, with the folders they leave empty. A failure, a stop or a kill before the commit
    leaves the data where it was; after it, the next start finishes the clean-up.
*/
class InstallerModel::Move : private StepChain
{
public:
    Move (InstallerModel& model, const juce::String& company, const juce::String& instrument, const juce::File& newRoot,
          Observer& observer);

    Result run();

private:
    using FolderPath = InstallTransaction::FolderPath;
    using Item = InstallTransaction::Item;
    using EntryType = CheckedFolder::EntryType;

    bool findInstallation();
    bool checkNewPlace();
    bool checkOldFolder();
    bool checkSpace();
    juce::Array<juce::File> filesToMove() const;
    bool begin();
    bool createFolder (const FolderPath& place, const juce::File& folder);
    bool copyFiles();
    bool copyFile (const InstallRecord::Item& item);
    bool writeRecord();
    bool placeData();
    bool moveIntoPlace();
    bool setDefaultFolderAside();
    bool makeLink();
    bool removeOldFiles();
    bool updateEntry();
    bool mark();
    bool commit();
    void finish();
    bool reach (double progress);

    bool isListed (const juce::String& name) const;
    juce::int64 getDataSize() const;

    const juce::String company, instrument;
    Observer& observer;
    const juce::File newRoot;
    InstallerResult::Result found = InstallerResult::noError;   // how the installation was looked up
    juce::String findProblem;
    const InstalledInstruments::Installation installation;
    const InstallTransaction::Roots roots;
    InstallTransaction transaction;
    const bool fromDefault, toDefault;
    const juce::File defaultFolder, oldFolder, newFolder;
    const FolderPath oldPlace, newPlace, newFilesPlace;
    const Item defaultItem;
    std::vector<InstallRecord::Item> dataFiles;
    std::map<juce::String, juce::String> newFiles;      // final name -> temporary name, in the new files' place
    InstallRecord newRecord;
    juce::int64 bytesCopied = 0, bytesToCopy = 0;
    std::unique_ptr<InstalledAppsEntry> entry;
    juce::String markName;

    JUCE_DECLARE_NON_COPYABLE (Move)
};
