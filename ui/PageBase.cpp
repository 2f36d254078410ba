#include "ui/PageBase.h"

InstallerComponent::PageBase::PageBase (InstallerComponent& ownerComponent)
    : owner (ownerComponent)
{
}

void InstallerComponent::PageBase::paint (juce::Graphics& g)
{
    // The model hands out a copy under its lock, so the check may replace the image meanwhile.
    const auto screenshot = owner.model.getScreenshot();

    if (! screenshot.isValid())
        return;

    g.setOpacity (0.2f);
    g.drawImage (screenshot, getLocalBounds().reduced (12).toFloat(),
                 juce::RectanglePlacement::stretchToFit, false);
}

std::unique_ptr<juce::AccessibilityHandler> InstallerComponent::PageBase::createAccessibilityHandler()
{
    // Only a frame: screen readers meet its message or licence text directly.
    return createIgnoredAccessibilityHandler (*this);
}

juce::String InstallerComponent::PageBase::getMessage() const
{
    for (auto* child : getChildren())
        if (auto* label = dynamic_cast<const juce::Label*> (child))
            return label->getText();

    return {};
}

void InstallerComponent::PageBase::applyMessageStyle (juce::Label& label)
{
    label.setFont (juce::Font (20.0f, juce::Font::plain));
    label.setColour (juce::Label::textColourId, juce::Colours::lightgrey);
    label.setJustificationType (juce::Justification::centred);
    label.setBorderSize (juce::BorderSize<int> (12));
}
