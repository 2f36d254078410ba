#include "OnScreenWizard.h"

#include "ui/FinishPage.h"
#include "ui/WelcomePage.h"

#include <sys/mount.h>

using namespace WizardTestSupport;

namespace
{
InstallerComponent::FinishPage& finishPageOf (Wizard& wizard)
{
    return dynamic_cast<InstallerComponent::FinishPage&> (*wizard.component->page);
}

InstallerComponent::WelcomePage& welcomePageOf (Wizard& wizard)
{
    return dynamic_cast<InstallerComponent::WelcomePage&> (*wizard.component->page);
}

/** What the wizard says to screen readers from now on. */
struct Announcements
{
    explicit Announcements (Wizard& wizard)
    {
        wizard.component->announce = [this] (const juce::String& text, InstallerComponent::AnnouncementPriority priority)
        {
            heard.add (text + (priority == InstallerComponent::AnnouncementPriority::high ? " (at once)" : ""));
        };
    }

    juce::StringArray heard;
};

/** A file system of 64 KiB mounted on `folder`, smaller than any monolith of the tests; none
    without root. */
struct SmallFileSystem
{
    explicit SmallFileSystem (const juce::File& folder)
        : mountPoint (folder)
    {
        mountPoint.createDirectory();
        mounted = mount ("tmpfs", mountPoint.getFullPathName().toRawUTF8(), "tmpfs", 0, "size=64k") == 0;
    }

    ~SmallFileSystem()
    {
        if (mounted)
            umount (mountPoint.getFullPathName().toRawUTF8());
    }

    juce::File mountPoint;
    bool mounted = false;
};

/** A monolith larger than SmallFileSystem. */
MonolithContent monolithLargerThanTheFileSystem()
{
    // An image that does not decode is left out with a line: it only makes the monolith large.
    MonolithContent content;
    content.screenshot.setSize (256 * 1024);
    juce::Random (7).fillBitsRandomly (content.screenshot.getData(), content.screenshot.getSize());
    return content;
}

/** Every component inside `parent`, depth first. */
juce::Array<juce::Component*> descendantsOf (juce::Component& parent)
{
    juce::Array<juce::Component*> found;

    for (auto* child : parent.getChildren())
    {
        found.add (child);
        found.addArray (descendantsOf (*child));
    }

    return found;
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
    wizard.keepScreenshot ("finish.png");

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

TEST (WizardLocation, AChosenFolderIsShownBeneathTheMessageAndKeptAcrossThePages)
{
    Wizard wizard (withLicence ("x"));
    ASSERT_TRUE (wizard.waitForPage (1));
    EXPECT_FALSE (welcomePageOf (wizard).location.isVisible()) << "nothing beneath the message without a choice";
    EXPECT_EQ (wizard.footer().buttons[InstallerComponent::Footer::optionSlot].getX(), wizard.footer().progressBar.getX())
        << "on the left of the footer, where other pages show the progress bar";

    const auto chosen = wizard.sandbox.folder.getChildFile ("Samples Drive");
    ASSERT_TRUE (chosen.createDirectory());
    Announcements announcements (wizard);
    welcomePageOf (wizard).useDataRoot (chosen);

    const auto dataFolder = chosen.getChildFile ("Alpha/Beta");
    const auto check = wizard.component->model.checkDataRoot (chosen);
    const auto shown = "Sample data: " + dataFolder.getFullPathName() + "\n"
                     + juce::File::descriptionOfSizeInBytes (check.bytesFree) + " free there, "
                     + juce::File::descriptionOfSizeInBytes (wizard.monolith.getSize()) + " needed";
    EXPECT_EQ (wizard.component->model.chosenDataRoot, chosen);
    EXPECT_TRUE (welcomePageOf (wizard).location.isVisible());
    EXPECT_EQ (welcomePageOf (wizard).location.getText(), shown);
    EXPECT_EQ (wizard.labelText(), "Beta is ready to be installed on your computer") << "the message stays";
    EXPECT_EQ (announcements.heard, juce::StringArray (shown));
    EXPECT_TRUE (wizard.component->log->getText().contains ("Data folder chosen: " + chosen.getFullPathName()));

    // The licence page and back: the same pages and buttons as without a choice, and the choice stands.
    wizard.click (1);
    ASSERT_EQ (wizard.component->currentPage, 2);
    EXPECT_EQ (wizard.visibleButtons(), juce::StringArray ({ "< Back", "Accept", "Cancel" }));
    wizard.click (2);
    ASSERT_EQ (wizard.component->currentPage, 1);
    EXPECT_EQ (welcomePageOf (wizard).location.getText(), shown);

    // Installed there; the plug-in finds it through the default folder, now a link; the finish page
    // names the chosen folder.
    wizard.click (1);
    wizard.click (1);
    ASSERT_TRUE (wizard.waitForPage (4));
    const auto defaultFolder = wizard.sandbox.folders().dataRoot.getChildFile ("Alpha/Beta");
    EXPECT_TRUE (dataFolder.getChildFile ("Beta.rom").existsAsFile());
    EXPECT_TRUE (defaultFolder.isSymbolicLink());
    EXPECT_EQ (defaultFolder.getLinkedTarget(), dataFolder);
    EXPECT_EQ (finishPageOf (wizard).dataFolder.text.getText(), "Sample data: " + dataFolder.getFullPathName());
}

TEST (WizardLocation, AFolderThatCannotBeUsedIsRefusedWithTheReason)
{
    Wizard wizard (monolithLargerThanTheFileSystem());
    ASSERT_TRUE (wizard.waitForPage (1));
    auto& model = wizard.component->model;

    const auto good = wizard.sandbox.folder.getChildFile ("good");
    const auto file = wizard.sandbox.folder.getChildFile ("a file");
    const auto inside = wizard.sandbox.folders().dataRoot.getChildFile ("Alpha/Beta/inside");
    SmallFileSystem small (wizard.sandbox.folder.getChildFile ("small"));
    ASSERT_TRUE (good.createDirectory() && file.replaceWithText ("x") && inside.createDirectory());

    struct Case { juce::File folder; bool skip; };
    const Case cases[] = { { file, false }, { inside, false }, { small.mountPoint, ! small.mounted } };

    for (const auto& previous : { juce::File(), good })
    {
        for (const auto& c : cases)
        {
            if (c.skip)
            {
                std::cout << "[  SKIPPED ] a folder too small for the monolith: mounting a small file system needs root\n";
                continue;
            }

            model.chosenDataRoot = previous;
            Announcements announcements (wizard);
            welcomePageOf (wizard).useDataRoot (c.folder);

            const auto why = model.checkDataRoot (c.folder).why;
            const auto goesTo = model.checkDataRoot (previous).dataFolder;
            SCOPED_TRACE (c.folder.getFullPathName() + " after " + previous.getFullPathName());
            EXPECT_TRUE (why.isNotEmpty());
            EXPECT_EQ (model.chosenDataRoot, previous) << "the choice is not taken";
            EXPECT_EQ (welcomePageOf (wizard).location.getText(), why + "\nSample data: " + goesTo.getFullPathName());
            EXPECT_EQ (announcements.heard, juce::StringArray (welcomePageOf (wizard).location.getText() + " (at once)"));
            EXPECT_TRUE (wizard.component->log->getText().contains ("Data folder refused: " + c.folder.getFullPathName() + ": " + why));
        }
    }

    if (small.mounted)
    {
        EXPECT_TRUE (model.checkDataRoot (small.mountPoint).why.startsWith ("Not enough free space"));
    }
}

TEST (WizardLocation, TheFolderChooserOpensInTheWindowFromTheKeyboard)
{
    // Without `which` on the PATH the framework finds no system dialog and shows its own, inside the window.
    const auto path = juce::SystemStats::getEnvironmentVariable ("PATH", {});
    setenv ("PATH", "/nonexistent", 1);
    struct RestorePath { juce::String path; ~RestorePath() { setenv ("PATH", path.toRawUTF8(), 1); } } restore { path };

    OnScreenWizard wizard (MonolithContent {});
    ASSERT_TRUE (wizard.focused);
    ASSERT_TRUE (wizard.waitForPage (1));
    int quits = 0;
    wizard.footer().onCancel = [&quits] { ++quits; };

    const auto dialog = [&wizard]() -> juce::FileChooserDialogBox*
    {
        for (auto* child : wizard.component->getChildren())
            if (auto* box = dynamic_cast<juce::FileChooserDialogBox*> (child))
                return box;

        return nullptr;
    };

    const auto pressDialogButton = [&] (const juce::String& text)
    {
        for (auto* child : descendantsOf (*dialog()))
            if (auto* button = dynamic_cast<juce::TextButton*> (child))
                if (button->getButtonText() == text)
                    button->triggerClick();
    };

    // Shift+Tab from Install reaches "Change location…", Space opens the chooser. Escape belongs to
    // the chooser (whose Cancel takes it from the system's key state, which these keys leave alone):
    // it must not reach the page, where it would press Cancel and quit.
    wizard.press (juce::KeyPress::tabKey, juce::ModifierKeys::shiftModifier);
    ASSERT_EQ (wizard.focusedName(), InstallerComponent::WelcomePage::changeLocationText);
    wizard.press (juce::KeyPress::spaceKey);
    ASSERT_TRUE (wizard.waitFor ([&] { return dialog() != nullptr && dialog()->isShowing(); }));
    wizard.press (juce::KeyPress::escapeKey);
    EXPECT_EQ (quits, 0) << "Escape in the chooser leaves the installer running";
    pressDialogButton ("Cancel");
    ASSERT_TRUE (wizard.waitFor ([&] { return dialog() == nullptr || ! dialog()->isShowing(); }));
    EXPECT_EQ (wizard.component->currentPage, 1);
    EXPECT_EQ (wizard.component->model.chosenDataRoot, juce::File());
    EXPECT_FALSE (welcomePageOf (wizard).location.isVisible());

    // Again, a folder typed in and Open pressed.
    const auto chosen = wizard.sandbox.folder.getChildFile ("typed");
    ASSERT_TRUE (chosen.createDirectory());
    wizard.footer().buttons[InstallerComponent::Footer::optionSlot].triggerClick();
    ASSERT_TRUE (wizard.waitFor ([&] { return dialog() != nullptr && dialog()->isShowing(); }));

    for (auto* editor : descendantsOf (*dialog()))
        if (auto* box = dynamic_cast<juce::TextEditor*> (editor))
            if (! box->isReadOnly() && box->getParentComponent() != nullptr
                && dynamic_cast<juce::FileBrowserComponent*> (box->getParentComponent()) != nullptr)
                box->setText (chosen.getFullPathName());

    pressDialogButton ("Open");

    ASSERT_TRUE (wizard.waitFor ([&] { return wizard.component->model.chosenDataRoot == chosen; }));
    EXPECT_TRUE (welcomePageOf (wizard).location.getText().startsWith ("Sample data: " + chosen.getChildFile ("Alpha/Beta").getFullPathName()));
    setenv ("PATH", path.toRawUTF8(), 1);
    wizard.keepScreenshot ("welcome-location.png");
}
