#pragma once

#include "ui/PageBase.h"

/** Shows the licence text, read-only and scrollable, with Accept and Back. */
class InstallerComponent::EulaPage : public InstallerComponent::PageBase
{
public:
    explicit EulaPage (InstallerComponent& owner);
    ~EulaPage() override = default;

    void resized() override;
    bool keyPressed (const juce::KeyPress&) override;

    juce::TextEditor editor;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EulaPage)
};
