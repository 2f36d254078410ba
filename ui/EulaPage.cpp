#include "ui/EulaPage.h"

InstallerComponent::EulaPage::EulaPage (InstallerComponent& ownerComponent)
    : PageBase (ownerComponent)
{
    owner.header.title.setText ("EULA", juce::dontSendNotification);

    auto& footer = owner.footer;
    auto& cancel = footer.buttons[0];
    cancel.setButtonText ("Cancel");
    cancel.action = Footer::FooterButton::cancel;
    cancel.setVisible (true);
    footer.onCancel = footer.quitApplication;

    auto& accept = footer.buttons[1];
    accept.setButtonText ("Accept");
    accept.action = Footer::FooterButton::next;
    accept.setVisible (true);
    footer.nextPage = 3;

    auto& back = footer.buttons[2];
    back.setButtonText ("< Back");
    back.action = Footer::FooterButton::back;
    back.setVisible (true);
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
