#pragma once

#include "ui/PageBase.h"

/** Names a failure in one line and offers to copy the log to the clipboard as the error report. */
class InstallerComponent::ErrorPage : public InstallerComponent::PageBase
{
public:
    ErrorPage (InstallerComponent& owner, ErrorType type);
    ~ErrorPage() override = default;

    void resized() override;

    /** The one-line message for a result code; empty for codes outside 1 to 6 and 13. */
    static juce::String messageFor (int type);

    juce::Label label;

private:
    void copyReport();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ErrorPage)
};
