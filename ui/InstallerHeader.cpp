#include "ui/InstallerHeader.h"

InstallerHeader::InstallerHeader()
{
    title.setFont (juce::Font (30.0f, juce::Font::plain));
    title.setColour (juce::Label::textColourId, juce::Colours::lightgrey.withAlpha (0.7f));
    title.setJustificationType (juce::Justification::centredLeft);
    title.setBorderSize (juce::BorderSize<int> (12));
    addAndMakeVisible (title);
}

void InstallerHeader::paint (juce::Graphics& g)
{
    g.setColour (juce::Colours::lightgrey.withAlpha (0.3f));
    g.fillRect (separator.getBounds());
}

std::unique_ptr<juce::AccessibilityHandler> InstallerHeader::createAccessibilityHandler()
{
    // Only a frame: screen readers meet the title directly.
    return createIgnoredAccessibilityHandler (*this);
}

void InstallerHeader::resized()
{
    title.setBounds (getLocalBounds());
    separator.setBounds (12, getHeight() - 1, getWidth() - 24, 1);
}
