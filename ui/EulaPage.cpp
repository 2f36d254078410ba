#include "ui/EulaPage.h"

InstallerComponent::EulaPage::EulaPage (InstallerComponent& ownerComponent)
    : PageBase (ownerComponent)
{
    owner.header.title.setText ("EULA", juce::dontSendNotification);

    auto& footer = owner.footer;
    footer.showButton (0, "Cancel", Footer::FooterButton::cancel);
    footer.onCancel = footer.quitApplication;

    footer.showButton (1, "Accept", Footer::FooterButton::next);
    footer.nextPage = 3;

    footer.showButton (2, "< Back", Footer::FooterButton::back);
    footer.backPage = 1;

    editor.setReadOnly (true);
    editor.setMultiLine (true, true);
    editor.setFont (juce::Font (14.0f, juce::Font::plain));
    editor.setColour (juce::TextEditor::textColourId, juce::Colours::lightgrey);
    editor.setText (owner.model.eulaText, false);
    editor.setBorder (juce::BorderSize<int> (12));
    addAndMakeVisible (editor);
}

void InstallerComponent::EulaPage::resized()
{
    editor.setBounds (getLocalBounds());
}
