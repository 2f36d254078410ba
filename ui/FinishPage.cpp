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

    showRow (pluginFolder, "Plug-in", owner.model.vst3Folder);
    showRow (dataFolder, "Sample data", owner.model.getDataFolder());
}

void InstallerComponent::FinishPage::showRow (FolderRow& row, const juce::String& what, const juce::File& folder)
{
    row.folder = folder;
    row.text.setText (what + ": " + folder.getFullPathName(), juce::dontSendNotification);
    row.text.setFont (juce::Font (15.0f, juce::Font::plain));
    row.text.setColour (juce::Label::textColourId, juce::Colours::lightgrey);
    row.text.setMinimumHorizontalScale (0.7f);
    addAndMakeVisible (row.text);

    row.open.setButtonText ("Open");
    // Two buttons read "Open": screen readers hear which folder each opens.
    row.open.setTitle ("Open the " + what.toLowerCase() + " folder");
    row.open.action = Footer::FooterButton::option;
    row.open.fontHeight = 17.0f;
    row.open.onClick = [this, &row] { openFolder (row.folder); };
    addAndMakeVisible (row.open);
}

void InstallerComponent::FinishPage::resized()
{
    label.setBounds (getLocalBounds());

    auto rows = getLocalBounds().reduced (24, 0).withTrimmedTop (getHeight() / 2 + 40).withHeight (64);

    for (auto* row : { &pluginFolder, &dataFolder })
    {
        auto line = rows.removeFromTop (32);
        row->open.setBounds (line.removeFromRight (80).withSizeKeepingCentre (80, 24));
        row->text.setBounds (line.withTrimmedRight (8));
    }
}

void InstallerComponent::FinishPage::openInFileManager (const juce::File& folder)
{
   #if JUCE_WINDOWS
    folder.startAsProcess();
   #else
    // The framework's own way runs a shell command line with the path in it.
    juce::ChildProcess opener;
    opener.start (juce::StringArray { "xdg-open", folder.getFullPathName() }, 0);
   #endif
}
