#include "ui/ErrorPage.h"

InstallerComponent::ErrorPage::ErrorPage (InstallerComponent& ownerComponent, ErrorType type)
    : PageBase (ownerComponent)
{
    owner.header.title.setText ("Error", juce::dontSendNotification);

    auto& footer = owner.footer;
    footer.showButton (0, "OK", Footer::FooterButton::ok);
    footer.onOk = footer.quitApplication;

    auto& copy = footer.showButton (1, "Copy Report", Footer::FooterButton::cancel);
    copy.setEnabled (true);
    footer.onCancel = [this] { copyReport(); };
    copy.buttonWidth = 120;
    footer.resized();

    label.setText (messageFor (type), juce::dontSendNotification);
    applyMessageStyle (label);
    addAndMakeVisible (label);
}

void InstallerComponent::ErrorPage::resized()
{
    label.setBounds (getLocalBounds());
}

juce::String InstallerComponent::ErrorPage::messageFor (int type)
{
    switch (type)
    {
        case invalidData:
        case missingData:           return "Missing or invalid installer data";
        case installationFailed:
        case accessDenied:
        case writeFailed:           return "Installation failed";
        case interrupted:           return "Installation interrupted";
        case notEnoughSpace:        return "Not enough free space for the sample data";
        default:                    return {};
    }
}

void InstallerComponent::ErrorPage::copyReport()
{
    owner.log->copyToClipboard();
    label.setText ("Error report is copied to clipboard", juce::dontSendNotification);
    owner.announce (label.getText(), AnnouncementPriority::medium);
}
