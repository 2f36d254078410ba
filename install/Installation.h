#pragma once

#include "install/BlockCopy.h"
#include "install/InstallTransaction.h"
#include "install/InstallerModel.h"
#include "install/PluginArchive.h"

/** One run of InstallerModel::install, as a sequence of steps that share the run's transaction. A step
    that fails writes its log line, keeps the result and ends the run.

    Everything new is written under temporary names beside its target and verified first; only then are
    the new monolith and the plug-in's top-level entries renamed into place. A run that ends early leaves
    the target folders as they were: the transaction rolls back when the run is destroyed.
*/
class InstallerModel::Installation
{
public:
    Installation (InstallerModel& model, Observer& observer);

    Result run();

private:
    bool createFolder (const juce::File& folder);
    bool copyMonolith();
    bool unpackPlugin();
    bool moveIntoPlace();
    bool finish();
    bool pause (double progress);
    bool note (const juce::String& line);
    bool fail (const juce::String& line);
    bool stop();
    bool afterCopy (BlockCopy::Outcome outcome, const juce::String& failureLine);
    BlockCopy::Outcome copyAndReadBack (const juce::File& destination);

    InstallerModel& model;
    Observer& observer;
    const BlockCopy::StopRequest shouldStop { [this] { return observer.shouldStop(); } };
    InstallTransaction transaction;
    const juce::File source, target, archiveFile, pluginFolder;
    const juce::String copyFailed, extractFailed;
    juce::File newMonolith, staging;
    std::unique_ptr<PluginArchive> archive;
    Result result = noError;

    JUCE_DECLARE_NON_COPYABLE (Installation)
};
