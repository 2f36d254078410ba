#pragma once

#include "install/runs/StepChain.h"
#include "monolith/MonolithReader.h"

/** One run of InstallerModel::processMonolith, as a sequence of steps. Each step fills in its part of
    the model; one that fails writes its log line, keeps the result and ends the run.
*/
class InstallerModel::MonolithCheck : private StepChain
{
public:
    MonolithCheck (InstallerModel& model, Observer& observer);

    Result run();

private:
    bool monolithGiven();
    bool openMonolith();
    bool checkWhole();
    bool readState();
    bool readNames();
    bool unlockDataRoot();
    bool chooseTargets();
    bool namesFit (const juce::StringArray& archiveEntries);
    bool copyPluginArchive();
    bool checkArchivePaths();
    bool loadScreenshot();
    bool loadLicence();
    bool finish();
    bool reach (double progress);

    Observer& observer;
    MonolithReader reader;
    juce::ValueTree state;

    JUCE_DECLARE_NON_COPYABLE (MonolithCheck)
};
