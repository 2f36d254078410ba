#include "ui/FinishPage.h"

InstallerComponent::FinishPage::FinishPage (InstallerComponent& ownerComponent)
    : PageBase (ownerComponent)
{
    owner.header.title.setText ("Finished", juce::dontSendNotification);

    auto& footer = owner.footer;
    footer.showButton (0, "OK", Footer::FooterButton::ok);
    footer.onOk = footer.quitApplication;

    label.setText ("Installation finished", juce::dontSendNotification);
    applyMessageStyle (label);
    addAndMakeVisible (label);
}

void InstallerComponent::FinishPage::resized()
{
    label.setBounds (getLocalBounds());
}
