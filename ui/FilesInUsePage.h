#pragma once

#include "ui/PageBase.h"

/** Shown when other programs hold files of the plug-in that the installation would replace: names them
    and asks the user to close them, or, where the system cannot say which programs, says that a program
    may be using the plug-in. Retry runs the installation again; Cancel quits. It never closes a program
    itself.
*/
class InstallerComponent::FilesInUsePage : public InstallerComponent::PageBase
{
public:
    explicit FilesInUsePage (InstallerComponent& owner);
    ~FilesInUsePage() override = default;

    void resized() override;

    juce::Label label;

    /** The programs, one a line, as the model named them; without names, InstallerModel::mayBeInUse. */
    juce::Label programs;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FilesInUsePage)
};
