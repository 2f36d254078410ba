#include "ui/EulaPage.h"

InstallerComponent::EulaPage::EulaPage (InstallerComponent& ownerComponent)
    : PageBase (ownerComponent)
{
    const juce::String title ("EULA");
    owner.header.title.setText (title, juce::dontSendNotification);

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
    editor.setTitle (title);
    addAndMakeVisible (editor);
}

bool InstallerComponent::EulaPage::keyPressed (const juce::KeyPress& key)
{
    // A read-only editor passes every key on, even those that would scroll it: its viewport scrolls
    // the licence with the arrow, page, Home and End keys.
    for (auto* child : editor.getChildren())
        if (auto* viewport = dynamic_cast<juce::Viewport*> (child))
            return viewport->keyPressed (key);

    return false;
}

void InstallerComponent::EulaPage::resized()
{
    editor.setBounds (getLocalBounds());
}
