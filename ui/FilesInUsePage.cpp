#include "ui/FilesInUsePage.h"

InstallerComponent::FilesInUsePage::FilesInUsePage (InstallerComponent& ownerComponent)
    : PageBase (ownerComponent)
{
    owner.header.title.setText ("Files in use", juce::dontSendNotification);

    auto& footer = owner.footer;
    footer.showButton (0, "Cancel", Footer::FooterButton::cancel);
    footer.onCancel = footer.quitApplication;

    footer.showButton (1, "Retry", Footer::FooterButton::ok);
    footer.onOk = [this] { owner.showPage (installingPage); };

    const auto& holders = owner.model.programsHoldingFiles;
    const auto named = ! holders.isEmpty();
    label.setText (named ? "Close these programs, which are using files of " + owner.model.instrumentName + ", then choose Retry"
                         : "Another program is using files of " + owner.model.instrumentName,
                   juce::dontSendNotification);
    applyMessageStyle (label);
    label.setJustificationType (juce::Justification::centredBottom);
    addAndMakeVisible (label);

    programs.setText (named ? holders.joinIntoString ("\n") : juce::String (InstallerModel::mayBeInUse), juce::dontSendNotification);
    programs.setFont (juce::Font (16.0f, juce::Font::plain));
    programs.setColour (juce::Label::textColourId, juce::Colours::white);
    programs.setJustificationType (juce::Justification::centredTop);
    programs.setBorderSize (juce::BorderSize<int> (12));
    // A line longer than the page wraps rather than being squeezed.
    programs.setMinimumHorizontalScale (1.0f);
    addAndMakeVisible (programs);
}

void InstallerComponent::FilesInUsePage::resized()
{
    auto area = getLocalBounds();
    label.setBounds (area.removeFromTop (area.getHeight() * 2 / 5));
    programs.setBounds (area);
}
