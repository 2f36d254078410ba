#include "ui/InstallingPage.h"

InstallerComponent::InstallingPage::InstallingJob::InstallingJob (InstallerModel& modelToInstall)
    : Job ("InstallingJob", modelToInstall,
           [] (InstallerModel& m, InstallerModel::Observer& observer) { return m.install (observer); })
{
}

InstallerComponent::InstallingPage::InstallingPage (InstallerComponent& ownerComponent)
    : JobPage (ownerComponent, 4)
{
    owner.header.title.setText ("Installation", juce::dontSendNotification);

    auto& footer = owner.footer;
    footer.showButton (0, "Cancel", Footer::FooterButton::cancel);
    footer.onCancel = [this] { requestStop(); };

    label.setText ("Installation in progress", juce::dontSendNotification);
    applyMessageStyle (label);
    addAndMakeVisible (label);

    start (std::make_unique<InstallingJob> (owner.model));
}

void InstallerComponent::InstallingPage::requestStop()
{
    if (job != nullptr)
        job->signalJobShouldExit();
}
