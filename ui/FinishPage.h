#pragma once

#include "ui/PageBase.h"

/** Reports the finished installation and names where it went: the plug-in's folder and the sample
    data's, each with a button that opens it in the system's file manager; OK quits.
*/
class InstallerComponent::FinishPage : public InstallerComponent::PageBase
{
public:
    explicit FinishPage (InstallerComponent& owner);
    ~FinishPage() override = default;

    void resized() override;

    /** One folder the installation wrote to: what it holds and its path, and its Open button. */
    struct FolderRow
    {
        juce::Label text;
        Footer::FooterButton open;
        juce::File folder;
    };

    /** Opens a folder in the system's file manager, without a shell between (a path may hold any
        character). */
    static void openInFileManager (const juce::File& folder);

    juce::Label label;
    FolderRow pluginFolder, dataFolder;
    /** What the Open buttons call; tests replace it to see which folder would open. */
    std::function<void (const juce::File&)> openFolder = openInFileManager;

private:
    void showRow (FolderRow& row, const juce::String& what, const juce::File& folder);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FinishPage)
};
