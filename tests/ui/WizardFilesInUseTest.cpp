// The files-in-use page: a program holding a file of the installed plug-in stops the installation before
// it changes anything, and the page names the program, with Retry and Cancel, used with the keyboard alone.
// Retry while the program still holds the file comes back to the page; after it has ended, Retry installs.
// Where the system cannot name the program, the page says that one may be using the plug-in instead.

#include "OnScreenWizard.h"

#include "ui/FilesInUsePage.h"

using namespace WizardTestSupport;

TEST (WizardFilesInUse, NamesTheHolderAndRetriesWithTheKeyboard)
{
    OnScreenWizard wizard (MonolithContent {});
    const auto held = wizard.sandbox.folders().vst3Root.getChildFile ("Alpha/Beta.vst3/Contents/x86_64-win/Beta.vst3");
    held.getParentDirectory().createDirectory();
    ASSERT_TRUE (held.replaceWithText ("old plug-in code"));
    FileHolder holder (held, true, "test-host");
    ASSERT_TRUE (holder.holds);
    ASSERT_TRUE (wizard.focused);
    ASSERT_TRUE (wizard.waitForPage (1));

    wizard.press (juce::KeyPress::returnKey);
    ASSERT_TRUE (wizard.waitForPage (InstallerComponent::filesInUsePage));
    auto* page = dynamic_cast<InstallerComponent::FilesInUsePage*> (wizard.component->page.get());
    ASSERT_NE (page, nullptr);
    EXPECT_EQ (wizard.header().title.getText(), "Files in use");
    EXPECT_EQ (wizard.labelText(), "Close these programs, which are using files of Beta, then choose Retry");
    EXPECT_EQ (page->programs.getText(), "test-host (PID " + juce::String (holder.pid) + ")");
    EXPECT_EQ (wizard.visibleButtons(), juce::StringArray ({ "Retry", "Cancel" }));
    EXPECT_EQ (wizard.focusedName(), "Retry");
    wizard.press (juce::KeyPress::tabKey);
    EXPECT_EQ (wizard.focusedName(), "Cancel");
    wizard.press (juce::KeyPress::tabKey);
    EXPECT_EQ (wizard.focusedName(), "Retry");
    EXPECT_EQ (held.loadFileAsString(), "old plug-in code");
    wizard.keepScreenshot ("files-in-use.png");

    // Still held: Retry runs the installation again, which comes back here.
    // The page is replaced, so the next one may lie at the same address: watch the first one go instead.
    juce::Component::SafePointer<juce::Component> firstPage (wizard.component->page.get());
    wizard.press (juce::KeyPress::returnKey);
    ASSERT_TRUE (wizard.waitFor ([&] { return wizard.component->currentPage == InstallerComponent::filesInUsePage
                                               && firstPage == nullptr; }));

    holder.end();
    wizard.press (juce::KeyPress::spaceKey);
    ASSERT_TRUE (wizard.waitForPage (4));
    EXPECT_EQ (held.loadFileAsString(), "plug-in code");
}

TEST (WizardFilesInUse, EscapeCancelsAsTheWelcomePageDoes)
{
    OnScreenWizard wizard (MonolithContent {});
    const auto held = wizard.sandbox.folders().vst3Root.getChildFile ("Alpha/Beta.vst3/desktop.ini");
    held.getParentDirectory().createDirectory();
    ASSERT_TRUE (held.replaceWithText ("old icon"));
    FileHolder holder (held, false, "test-host");
    ASSERT_TRUE (holder.holds && wizard.focused);
    ASSERT_TRUE (wizard.waitForPage (1));
    wizard.press (juce::KeyPress::returnKey);
    ASSERT_TRUE (wizard.waitForPage (InstallerComponent::filesInUsePage));

    int quits = 0;
    wizard.footer().onCancel = [&quits] { ++quits; };
    wizard.press (juce::KeyPress::escapeKey);
    EXPECT_EQ (quits, 1);
    EXPECT_EQ (wizard.component->currentPage, InstallerComponent::filesInUsePage);
}

TEST (WizardFilesInUse, WithoutANameSaysThatAProgramMayBeUsingThePlugIn)
{
    // What the installation ends with where the system says that a file is held but not by whom (Wine).
    OnScreenWizard wizard (MonolithContent {});
    ASSERT_TRUE (wizard.focused);
    ASSERT_TRUE (wizard.waitForPage (1));
    wizard.component->model.programsHoldingFiles.clear();
    wizard.component->showErrorPage (InstallerComponent::filesInUse);
    ASSERT_EQ (wizard.component->currentPage, InstallerComponent::filesInUsePage);
    auto* page = dynamic_cast<InstallerComponent::FilesInUsePage*> (wizard.component->page.get());
    ASSERT_NE (page, nullptr);

    EXPECT_EQ (wizard.header().title.getText(), "Files in use");
    EXPECT_EQ (wizard.labelText(), "Another program is using files of Beta");
    EXPECT_EQ (page->programs.getText(), InstallerModel::mayBeInUse);
    EXPECT_EQ (wizard.visibleButtons(), juce::StringArray ({ "Retry", "Cancel" }));
    ASSERT_TRUE (wizard.waitFor ([&] { return wizard.focusedName() == "Retry"; }));
    wizard.press (juce::KeyPress::tabKey);
    EXPECT_EQ (wizard.focusedName(), "Cancel");
    wizard.press (juce::KeyPress::tabKey);
    EXPECT_EQ (wizard.focusedName(), "Retry");
    wizard.keepScreenshot ("files-in-use-unnamed.png");

    // Nothing holds the files here: Retry installs.
    wizard.press (juce::KeyPress::returnKey);
    ASSERT_TRUE (wizard.waitForPage (4));
}
