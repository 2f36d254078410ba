#pragma once

#include "ui/PageBase.h"

/** Names the instrument and offers to install it; renames the main window after the instrument. */
class InstallerComponent::WelcomePage : public InstallerComponent::PageBase
{
public:
    explicit WelcomePage (InstallerComponent& owner);
    ~WelcomePage() override = default;

    void resized() override;

    juce::Label label;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WelcomePage)
};
