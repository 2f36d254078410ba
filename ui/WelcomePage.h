#pragma once

#include "ui/PageBase.h"

/** Names the instrument and offers to install it; renames the main window after the instrument.
    Its footer's option, "Change location…", lets the user put the sample data in a folder of their
    choice: the chosen data folder is shown beneath the message with the free space there and the
    monolith's size, or why the folder cannot be used (the choice is then not taken).
*/
class InstallerComponent::WelcomePage : public InstallerComponent::PageBase
{
public:
    explicit WelcomePage (InstallerComponent& owner);
    ~WelcomePage() override = default;

    void resized() override;

    /** The chooser's answer: takes `folder` as the data root when the model's check accepts it, and
        shows the outcome beneath the message. */
    void useDataRoot (const juce::File& folder);

    static const juce::String changeLocationText;

    juce::Label label, location;

private:
    void chooseDataRoot();
    void showLocation (const InstallerModel::DataRootCheck& check);

    std::unique_ptr<juce::FileChooser> chooser;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WelcomePage)
};
