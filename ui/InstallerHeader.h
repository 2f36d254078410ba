#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The strip along the top of the wizard: the page's title above a faint separator line.
    Used as InstallerComponent::Header; pages set the title directly.
*/
class InstallerHeader : public juce::Component
{
public:
    InstallerHeader();
    ~InstallerHeader() override = default;

    void paint (juce::Graphics&) override;
    void resized() override;
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

    juce::Label title;
    // Never added as a child: only its bounds are used, as the rectangle of the separator line.
    juce::Component separator;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InstallerHeader)
};
