#include "OnScreenWizard.h"

#include "ui/FinishPage.h"

using namespace WizardTestSupport;

namespace
{
InstallerComponent::FinishPage& finishPageOf (Wizard& wizard)
{
    return dynamic_cast<InstallerComponent::FinishPage&> (*wizard.component->page);
}

/** Installs through the wizard's pages and waits for the finish page. */
bool installThroughTheWizard (Wizard& wizard)
{
    if (! wizard.waitForPage (1))
        return false;

    wizard.click (1);
    return wizard.waitForPage (4);
}
} // namespace

TEST (WizardFinishPage, NamesBothFoldersAndOpensEach)
{
    Wizard wizard (MonolithContent {});
    ASSERT_TRUE (installThroughTheWizard (wizard));

    EXPECT_EQ (wizard.labelText(), "Installation finished") << "the message stays";
    EXPECT_EQ (wizard.visibleButtons(), juce::StringArray ({ "OK" }));

    const auto& folders = wizard.sandbox.folders();
    const auto pluginFolder = folders.vst3Root.getChildFile ("Alpha");
    const auto dataFolder = folders.dataRoot.getChildFile ("Alpha/Beta");
    auto& page = finishPageOf (wizard);
    EXPECT_EQ (page.pluginFolder.text.getText(), "Plug-in: " + pluginFolder.getFullPathName());
    EXPECT_EQ (page.dataFolder.text.getText(), "Sample data: " + dataFolder.getFullPathName());
    EXPECT_TRUE (pluginFolder.getChildFile ("Beta.vst3").isDirectory());
    EXPECT_TRUE (dataFolder.getChildFile ("Beta.rom").existsAsFile());

    juce::Array<juce::File> opened;
    page.openFolder = [&opened] (const juce::File& folder) { opened.add (folder); };
    page.dataFolder.open.triggerClick();
    page.pluginFolder.open.triggerClick();
    ASSERT_TRUE (MessageLoop::deliverPosted());
    EXPECT_EQ (opened, juce::Array<juce::File> ({ dataFolder, pluginFolder }));
    EXPECT_EQ (wizard.component->currentPage, 4) << "opening a folder leaves the page as it is";

    // Both rows fit beside their buttons, below the message, inside the page.
    for (auto* row : { &page.pluginFolder, &page.dataFolder })
    {
        EXPECT_TRUE (page.getLocalBounds().contains (row->open.getBounds()));
        EXPECT_LE (row->text.getRight(), row->open.getX());
        EXPECT_GT (row->text.getY(), page.getHeight() / 2 + 20);
    }
}

TEST (WizardFinishPage, KeyboardReachesAndPressesTheOpenButtons)
{
    OnScreenWizard wizard (MonolithContent {});
    ASSERT_TRUE (wizard.focused);
    ASSERT_TRUE (installThroughTheWizard (wizard));
    EXPECT_EQ (wizard.focusedName(), "OK");

    juce::Array<juce::File> opened;
    finishPageOf (wizard).openFolder = [&opened] (const juce::File& folder) { opened.add (folder); };

    juce::StringArray focus { wizard.focusedName() };
    for (int i = 0; i < 3; ++i)
    {
        wizard.press (juce::KeyPress::tabKey);
        focus.add (juce::Component::getCurrentlyFocusedComponent()->getTitle() + "|" + wizard.focusedName());
    }

    EXPECT_EQ (focus, juce::StringArray ({ "OK", "Open the plug-in folder|Open", "Open the sample data folder|Open", "|OK" }))
        << focus.joinIntoString (", ");

    wizard.press (juce::KeyPress::tabKey);
    EXPECT_TRUE (finishPageOf (wizard).pluginFolder.open.focusIndicatorShown) << "marked while the keyboard is in use";
    wizard.press (juce::KeyPress::spaceKey);
    wizard.press (juce::KeyPress::tabKey);
    wizard.press (juce::KeyPress::returnKey);
    EXPECT_EQ (opened, juce::Array<juce::File> ({ wizard.sandbox.folders().vst3Root.getChildFile ("Alpha"),
                                                  wizard.sandbox.folders().dataRoot.getChildFile ("Alpha/Beta") }));
    EXPECT_EQ (wizard.component->currentPage, 4);
}
