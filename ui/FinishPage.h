#pragma once

#include "ui/PageBase.h"

/** Reports the finished installation; OK quits. */
class InstallerComponent::FinishPage : public InstallerComponent::PageBase
{
public:
    explicit FinishPage (InstallerComponent& owner);
    ~FinishPage() override = default;

    void resized() override;

    juce::Label label;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FinishPage)
};
