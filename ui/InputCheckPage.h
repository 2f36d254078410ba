#pragma once

#include "ui/JobPage.h"

/** Checks the monolith on the worker; moves on to the welcome page or the error page. */
class InstallerComponent::InputCheckPage : public InstallerComponent::JobPage
{
public:
    class InputCheckJob : public Job
    {
    public:
        explicit InputCheckJob (InstallerModel& model);
    };

    explicit InputCheckPage (InstallerComponent& owner);
    ~InputCheckPage() override = default;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InputCheckPage)
};
