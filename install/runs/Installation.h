#pragma once

// install/runs/ holds the model's long operations, each a chain of named steps nested in
// InstallerModel: MonolithCheck (processMonolith), Installation (install, relink), Removal (uninstall)
// and Move (move), and the StepChain they share, through which a step ends the run. They include the model's header, whose
// private classes they are, and below it transaction/, payload/ and installed/, the engine's rules in
// install/ and the layers below the engine; only InstallerModel.cpp includes them.

#include "install/payload/BlockCopy.h"
#include "install/installed/InstallRecord.h"
#include "install/transaction/InstallTransaction.h"
#include "install/installed/InstalledAppsEntry.h"
#include "install/payload/PluginArchive.h"
#include "install/runs/StepChain.h"
#include "monolith/ChunkChecksums.h"

/** One run of InstallerModel::install, as a sequence of steps that share the run's transaction. A step
    that fails writes its log line, keeps the result and ends the run.

    Every change to the target folders goes through the transaction (and so through the link-safe file
    layer, and into its journal). The new monolith, copied from the file the check opened, is written
    under a temporary name beside its target; the plug-in, from the check's copy of its archive once that
    is proven unchanged, is unpacked into the transaction's staging folder; both are verified and flushed to the
    disk, and only then moved into place: the monolith and each plug-in bundle whole, the files of other
    top-level folders of the archive one by one. The install record (and on Windows the uninstaller) is
    written beside the new monolith and moved into place with it; the Installed apps entry is written
    last, before the commit, and undone with everything else. A run that ends early rolls back, leaving
    the target folders and the entry as they were.
*/
class InstallerModel::Installation : private StepChain
{
public:
    /** `relinking`: the monolith is installed in place, in a folder the user chose, and the link at the
        default data folder may be replaced when it is the installation's own or points to a folder that is gone.
    */
    Installation (InstallerModel& model, Observer& observer, bool relinking = false);

    Result run();

private:
    using FolderPath = InstallTransaction::FolderPath;
    using Item = InstallTransaction::Item;

    bool checkFolders();
    juce::Array<juce::File> filesToReplace() const;
    bool begin();
    bool createFolder (const FolderPath& place, const juce::File& folder);
    bool copyMonolith();
    bool crcOfInstalledMonolith();
    BlockCopy::Outcome copyAndReadBack (CheckedFile& destination, const ChunkChecksums* checksums);
    bool unpackPlugin();
    bool openCheckedArchive();
    bool writeUninstaller();
    bool writeRecord();
    bool writeNewFile (const juce::String& name, juce::InputStream& in, juce::int64 length, juce::String& temporaryName,
                       juce::uint32& crc);
    bool moveIntoPlace();
    bool moveFile (const juce::String& temporaryName, const juce::String& name);
    bool checkLink();
    bool isReplaceableLink (const juce::File& pointsTo) const;
    bool makeLink();
    bool registerEntry();
    bool moveFolderContents (const FolderPath& from, const FolderPath& to);
    bool finish();
    bool pause (double progress);
    bool afterCopy (BlockCopy::Outcome outcome, const juce::String& failureLine);
    void reportStage (double stageStart, double stageEnd, juce::int64 done, juce::int64 total);

    Observer& observer;
    const BlockCopy::StopRequest shouldStop { [this] { return observer.shouldStop(); } };
    const InstallTransaction::Roots roots;
    InstallTransaction transaction;
    const juce::File source, target, archiveFile, pluginFolder;
    const juce::String copyFailed, extractFailed;
    FolderPath monolithFolder, pluginPlace, unpacked;
    const bool relinking;
    bool linkNeeded = false, linkReplaced = false;
    juce::String newMonolith, newRecord, newUninstaller, damage;
    juce::uint32 monolithCrc = 0;
    InstallRecord record;
    std::unique_ptr<InstalledAppsEntry> entry;
    std::unique_ptr<PluginArchive> archive;

    JUCE_DECLARE_NON_COPYABLE (Installation)
};
