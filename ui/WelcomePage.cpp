#include "ui/WelcomePage.h"

InstallerComponent::WelcomePage::WelcomePage (InstallerComponent& ownerComponent)
    : PageBase (ownerComponent)
{
    const auto windowTitle = owner.model.instrumentName + " Installer";
    owner.window.setName (windowTitle);
    owner.window.setTitle (windowTitle);
    owner.header.title.setText ("Welcome", juce::dontSendNotification);

    auto& footer = owner.footer;
    footer.showButton (0, "Cancel", Footer::FooterButton::cancel);
    footer.onCancel = footer.quitApplication;

    footer.showButton (1, "Install", Footer::FooterButton::next);
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
