#pragma once

#include "ui/InstallerComponent.h"

/** Common base of the wizard pages: paints the instrument's screenshot faintly behind the content. */
class InstallerComponent::PageBase : public juce::Component
{
public:
    explicit PageBase (InstallerComponent& owner);
    ~PageBase() override = default;

    void paint (juce::Graphics&) override;
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

    /** The text of the page's message label; empty for a page without one. */
    juce::String getMessage() const;

    /** The shared look of every page's message label. */
    static void applyMessageStyle (juce::Label&);

    InstallerComponent& owner;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PageBase)
};
