#pragma once

#include "ui/JobPage.h"

/** Installs on the worker; moves on to the finish page or the error page. Cancel only asks the
    job to stop.
*/
class InstallerComponent::InstallingPage : public InstallerComponent::JobPage
{
public:
    class InstallingJob : public Job
    {
    public:
        explicit InstallingJob (InstallerModel& model);
    };

    explicit InstallingPage (InstallerComponent& owner);
    ~InstallingPage() override = default;

private:
    void requestStop();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InstallingPage)
};
