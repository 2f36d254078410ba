#include "ui/WelcomePage.h"

const juce::String InstallerComponent::WelcomePage::changeLocationText = juce::CharPointer_UTF8 ("Change location\xe2\x80\xa6");

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

    auto& change = footer.showButton (Footer::optionSlot, changeLocationText, Footer::FooterButton::option);
    change.buttonWidth = 170;
    footer.onOption = [this] { chooseDataRoot(); };
    footer.resized();

    label.setText (owner.model.instrumentName + " is ready to be installed on your computer", juce::dontSendNotification);
    applyMessageStyle (label);
    addAndMakeVisible (label);

    location.setFont (juce::Font (15.0f, juce::Font::plain));
    location.setJustificationType (juce::Justification::centredTop);
    location.setMinimumHorizontalScale (0.7f);
    addChildComponent (location);

    // Back from the licence page: the choice stands and is shown again.
    if (owner.model.chosenDataRoot != juce::File())
        showLocation (owner.model.checkDataRoot (owner.model.chosenDataRoot));
}

void InstallerComponent::WelcomePage::resized()
{
    label.setBounds (getLocalBounds());
    location.setBounds (getLocalBounds().reduced (24, 0).withTrimmedTop (getHeight() / 2 + 34).withHeight (64));
}

void InstallerComponent::WelcomePage::chooseDataRoot()
{
    chooser = std::make_unique<juce::FileChooser> ("Choose where to install the sample data",
                                                   owner.model.chosenDataRoot, juce::String(), true, false, &owner);
    chooser->launchAsync (juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectDirectories,
                          [this] (const juce::FileChooser& fileChooser)
    {
        // Empty when the user cancelled: everything stays as it was.
        if (fileChooser.getResult() != juce::File())
            useDataRoot (fileChooser.getResult());
    });
}

void InstallerComponent::WelcomePage::useDataRoot (const juce::File& folder)
{
    const auto check = owner.model.checkDataRoot (folder);
    const auto taken = check.result == InstallerModel::noError;

    if (taken)
        owner.model.chosenDataRoot = folder;

    owner.log->write (InstallerLog::installerCategory, (taken ? "Data folder chosen: " : "Data folder refused: ")
                                                           + folder.getFullPathName() + (taken ? juce::String() : ": " + check.why));
    showLocation (check);
    owner.announce (location.getText(), taken ? AnnouncementPriority::medium : AnnouncementPriority::high);
}

void InstallerComponent::WelcomePage::showLocation (const InstallerModel::DataRootCheck& check)
{
    const auto sizes = juce::File::descriptionOfSizeInBytes (check.bytesFree) + " free there, "
                     + juce::File::descriptionOfSizeInBytes (check.bytesNeeded) + " needed";

    if (check.result == InstallerModel::noError)
    {
        location.setText ("Sample data: " + check.dataFolder.getFullPathName() + "\n" + sizes, juce::dontSendNotification);
        location.setColour (juce::Label::textColourId, juce::Colours::lightgrey);
    }
    else
    {
        location.setText (check.why + "\nSample data: " + owner.model.getDataFolder().getFullPathName(), juce::dontSendNotification);
        location.setColour (juce::Label::textColourId, juce::Colours::orange);
    }

    location.setVisible (true);
}
