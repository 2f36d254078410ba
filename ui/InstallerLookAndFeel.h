#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The wizard's look: the framework's dark scheme, with text editors drawn without background and
    outline so that the licence text sits directly on the page (and the faint screenshot behind it).
    Used as InstallerComponent::LookAndFeel.
*/
class InstallerLookAndFeel : public juce::LookAndFeel_V4
{
public:
    InstallerLookAndFeel() = default;
    ~InstallerLookAndFeel() override = default;

    void fillTextEditorBackground (juce::Graphics&, int width, int height, juce::TextEditor&) override;
    void drawTextEditorOutline (juce::Graphics&, int width, int height, juce::TextEditor&) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InstallerLookAndFeel)
};
