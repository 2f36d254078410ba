#include "ui/WelcomePage.h"

InstallerComponent::WelcomePage::WelcomePage (InstallerComponent& ownerComponent)
    : PageBase (ownerComponent)
{
    owner.window.setName (owner.model.instrumentName + " Installer");
    owner.header.title.setText ("Welcome", juce::dontSendNotification);

    auto& footer = owner.footer;
    auto& cancel = footer.buttons[0];
    cancel.setButtonText ("Cancel");
    cancel.action = Footer::FooterButton::cancel;
    cancel.setVisible (true);
    footer.onCancel = footer.quitApplication;

    auto& install = footer.buttons[1];
    install.setButtonText ("Install");
    install.action = Footer::FooterButton::next;
    install.setVisible (true);
    // Decided once, here: a monolith without licence text skips the EULA page.
    footer.nextPage = owner.model.eulaText.isNotEmpty() ? 2 : 3;

    label.setText (owner.model.instrumentName + " is ready to be installed on your computer", juce::dontSendNotification);
    applyMessageStyle (label);
    addAndMakeVisible (label);
}

void InstallerComponent::WelcomePage::resized()
{
    label.setBounds (getLocalBounds());
}
