#include "install/runs/StepChain.h"

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

bool InstallerModel::StepChain::stop()
{
    return fail (interrupted, "Installation interrupted");
}
