#include "ui/InputCheckPage.h"

InstallerComponent::InputCheckPage::InputCheckJob::InputCheckJob (InstallerModel& modelToCheck)
    : Job ("InputCheckJob", modelToCheck,
           [] (InstallerModel& m, InstallerModel::Observer& observer) { return m.processMonolith (observer); })
{
}

InstallerComponent::InputCheckPage::InputCheckPage (InstallerComponent& ownerComponent)
    : JobPage (ownerComponent, 1)
{
    owner.header.title.setText ("Welcome", juce::dontSendNotification);

    auto& footer = owner.footer;
    footer.showButton (0, "Cancel", Footer::FooterButton::cancel);
    footer.onCancel = footer.quitApplication;

    applyMessageStyle (label);
    addAndMakeVisible (label);

    // A check that has already succeeded once is not repeated.
    if (owner.model.instrumentName.isEmpty())
        start (std::make_unique<InputCheckJob> (owner.model));
}
