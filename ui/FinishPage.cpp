#include "ui/FinishPage.h"

InstallerComponent::FinishPage::FinishPage (InstallerComponent& ownerComponent)
    : PageBase (ownerComponent)
{
    owner.header.title.setText ("Finished", juce::dontSendNotification);

    auto& footer = owner.footer;
    auto& ok = footer.buttons[0];
    ok.setButtonText ("OK");
    ok.action = Footer::FooterButton::ok;
    ok.setVisible (true);
    footer.onOk = footer.quitApplication;

    label.setText ("Installation finished", juce::dontSendNotification);
    applyMessageStyle (label);
    addAndMakeVisible (label);
}

void InstallerComponent::FinishPage::resized()
{
    label.setBounds (getLocalBounds());
}
