// The files-in-use page: a program holding a file of the installed plug-in stops the installation before
// it changes anything, and the page names the program, with Retry and Cancel, used with the keyboard alone.
// Retry while the program still holds the file comes back to the page; after it has ended, Retry installs.

#include "OnScreenWizard.h"

#include "ui/FilesInUsePage.h"

#include <cstdlib>

using namespace WizardTestSupport;

namespace
{
/** Keeps a picture of the screen as `name` in SCREENSHOT_DIR, when that is set. */
void keepScreenshot (OnScreenWizard& wizard, const char* name)
{
    const auto* dir = std::getenv ("SCREENSHOT_DIR");

    if (dir == nullptr)
        return;

    // A few turns of the message loop, so that the page is on the screen.
    int turns = 0;
    wizard.waitFor ([&turns] { return ++turns > 30; });
    const auto file = juce::File (dir).getChildFile (name);
    file.getParentDirectory().createDirectory();
    EXPECT_EQ (std::system (("import -window root '" + file.getFullPathName() + "'").toRawUTF8()), 0);
}
} // namespace

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
    keepScreenshot (wizard, "files-in-use.png");

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
