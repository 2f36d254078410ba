#include "install/runs/StepChain.h"

#include "fs/FileHolders.h"

InstallerModel::StepChain::StepChain (InstallerModel& modelToUse)
    : model (modelToUse)
{
}

bool InstallerModel::StepChain::note (const juce::String& line)
{
    model.write (line);
    return true;
}

bool InstallerModel::StepChain::fail (Result code, const juce::String& line)
{
    model.write (line);
    result = code;
    return false;
}

bool InstallerModel::StepChain::fail (const juce::String& line)
{
    return fail (writeFailed, line);
}

bool InstallerModel::StepChain::fail (const juce::Result& why, const juce::String& line)
{
    if (why.failed())
        model.write (why.getErrorMessage());

    return fail (line);
}

bool InstallerModel::StepChain::checkHolders (const juce::Array<juce::File>& files)
{
    model.programsHoldingFiles = FileHolders::find (files);

    if (model.programsHoldingFiles.isEmpty())
        return ! FileHolders::anyBlocked (files) || fail (filesInUse, mayBeInUse);

    return fail (filesInUse, "Files of the plug-in are in use: close " + model.programsHoldingFiles.joinIntoString (", ")
                                 + " and try again");
}

bool InstallerModel::StepChain::failMove (const juce::Result& why, const juce::String& line)
{
    fail (why, line);

    if (FileHolders::sharingBlocksChanges)
        note (mayBeInUse);

    return false;
}

bool InstallerModel::StepChain::stop()
{
    return fail (interrupted, "Installation interrupted");
}
