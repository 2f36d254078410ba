#include "OnScreenWizard.h"

#include "ui/EulaPage.h"
#include "ui/WelcomePage.h"

using namespace WizardTestSupport;

namespace
{
using Key = juce::KeyPress;

const juce::ModifierKeys shift (juce::ModifierKeys::shiftModifier);

/** The focus after each of `count` presses of Tab (or Shift+Tab), starting with the focus now. */
juce::StringArray tabRound (OnScreenWizard& wizard, int count, juce::ModifierKeys modifiers = {})
{
    juce::StringArray names { wizard.focusedName() };

    for (int i = 0; i < count; ++i)
    {
        wizard.press (Key::tabKey, modifiers);
        names.add (wizard.focusedName());
    }

    return names;
}

juce::Viewport* licenceViewport (InstallerComponent& component)
{
    auto& editor = dynamic_cast<InstallerComponent::EulaPage&> (*component.page).editor;

    for (auto* child : editor.getChildren())
        if (auto* viewport = dynamic_cast<juce::Viewport*> (child))
            return viewport;

    return nullptr;
}
} // namespace

TEST (WizardKeyboard, WholeInstallationWithLicenceWithoutTheMouse)
{
    OnScreenWizard wizard (withLicence ("Licence text"));
    ASSERT_TRUE (wizard.focused);
    ASSERT_TRUE (wizard.waitForPage (1));

    EXPECT_EQ (wizard.focusedName(), "Install") << "the page's default button has the focus";
    const auto& change = InstallerComponent::WelcomePage::changeLocationText;
    EXPECT_EQ (tabRound (wizard, 3), juce::StringArray ("Install", "Cancel", change, "Install"));
    EXPECT_EQ (tabRound (wizard, 3, shift), juce::StringArray ("Install", change, "Cancel", "Install"));

    wizard.press (Key::returnKey);
    ASSERT_EQ (wizard.component->currentPage, 2);
    EXPECT_EQ (wizard.focusedName(), "Accept");
    EXPECT_EQ (tabRound (wizard, 4), juce::StringArray ({ "Accept", "Cancel", "licence", "< Back", "Accept" }));
    EXPECT_EQ (tabRound (wizard, 4, shift), juce::StringArray ({ "Accept", "< Back", "licence", "Cancel", "Accept" }));

    // Back and forth: the new welcome page focuses Install again.
    wizard.press (Key::tabKey, shift);
    wizard.press (Key::spaceKey);
    ASSERT_EQ (wizard.component->currentPage, 1);
    EXPECT_EQ (wizard.focusedName(), "Install");
    wizard.press (Key::spaceKey);
    ASSERT_EQ (wizard.component->currentPage, 2);

    wizard.press (Key::spaceKey);
    ASSERT_EQ (wizard.component->currentPage, 3);
    EXPECT_EQ (wizard.focusedName(), "Cancel");

    ASSERT_TRUE (wizard.waitForPage (4));
    EXPECT_EQ (wizard.focusedName(), "OK");
    EXPECT_TRUE (wizard.sandbox.folders().dataRoot.getChildFile ("Alpha/Beta/Beta.rom").existsAsFile());

    int quits = 0;
    wizard.footer().onOk = [&quits] { ++quits; };
    wizard.press (Key::returnKey);
    EXPECT_EQ (quits, 1);
}

TEST (WizardKeyboard, EscapeLeavesEveryPageAsItsRightmostButtonDoes)
{
    struct Case { const char* page; MonolithContent content; int pageIndex; const char* leaveButton; };
    MonolithContent noVst3;
    noVst3.vst3 = {};

    for (const auto& c : { Case { "welcome", withLicence ("x"), 1, "Cancel" },
                           Case { "EULA", withLicence ("x"), 2, "Cancel" },
                           Case { "finish", MonolithContent {}, 4, "OK" },
                           Case { "error", noVst3, 5, "OK" } })
    {
        SCOPED_TRACE (c.page);
        OnScreenWizard wizard (c.content);
        ASSERT_TRUE (wizard.focused);
        ASSERT_TRUE (wizard.waitForPage (c.pageIndex == 5 ? 5 : 1));

        if (c.pageIndex != 1 && c.pageIndex != 5)
            wizard.press (Key::returnKey);

        ASSERT_TRUE (wizard.waitForPage (c.pageIndex));
        auto& leave = wizard.footer().buttons[0];
        ASSERT_EQ (leave.getButtonText(), c.leaveButton);

        juce::StringArray pressed;
        wizard.footer().onCancel = [&pressed] { pressed.add ("Cancel"); };
        wizard.footer().onOk = [&pressed] { pressed.add ("OK"); };

        // Also while another element than the default button has the focus.
        wizard.press (Key::tabKey);
        wizard.press (Key::escapeKey);
        EXPECT_EQ (pressed, juce::StringArray (c.leaveButton));
        EXPECT_EQ (wizard.component->currentPage, c.pageIndex);
    }
}

TEST (WizardKeyboard, EscapeDuringTheInstallationStopsIt)
{
    OnScreenWizard wizard (MonolithContent {}, 400);
    ASSERT_TRUE (wizard.focused);
    ASSERT_TRUE (wizard.waitForPage (1));
    wizard.press (Key::returnKey);
    ASSERT_EQ (wizard.component->currentPage, 3);

    wizard.press (Key::escapeKey);
    ASSERT_TRUE (wizard.waitForPage (5));
    EXPECT_EQ (wizard.component->errorType, InstallerComponent::interrupted);
    EXPECT_EQ (wizard.focusedName(), "OK");
    EXPECT_TRUE (snapshotOf (wizard.sandbox.folders().vst3Root).empty());
}

TEST (WizardKeyboard, DisabledButtonsAreSkippedAndNotPressed)
{
    OnScreenWizard wizard (withLicence ("x"));
    ASSERT_TRUE (wizard.focused);
    ASSERT_TRUE (wizard.waitForPage (1));
    wizard.press (Key::returnKey);
    ASSERT_EQ (wizard.component->currentPage, 2);

    int quits = 0;
    wizard.footer().onCancel = [&quits] { ++quits; };
    wizard.footer().buttons[0].setEnabled (false);
    EXPECT_EQ (tabRound (wizard, 3), juce::StringArray ({ "Accept", "licence", "< Back", "Accept" }));
    wizard.press (Key::escapeKey);
    EXPECT_EQ (quits, 0);
}

TEST (WizardKeyboard, LicenceScrollsWithTheKeys)
{
    juce::String licence;
    for (int i = 1; i <= 200; ++i)
        licence << "Clause " << i << " of the licence.\n";

    OnScreenWizard wizard (withLicence (licence));
    ASSERT_TRUE (wizard.focused);
    ASSERT_TRUE (wizard.waitForPage (1));
    wizard.press (Key::returnKey);
    wizard.press (Key::tabKey);
    wizard.press (Key::tabKey);
    ASSERT_EQ (wizard.focusedName(), "licence");

    auto* scroller = licenceViewport (*wizard.component);
    ASSERT_NE (scroller, nullptr);
    auto& viewport = *scroller;
    const auto top = [&viewport] { return viewport.getViewPositionY(); };
    const auto start = top();

    wizard.press (Key::downKey);
    const auto line = top();
    EXPECT_GT (line, start);
    wizard.press (Key::pageDownKey);
    EXPECT_GT (top(), line + viewport.getViewHeight() / 2);
    wizard.press (Key::endKey);
    EXPECT_EQ (top() + viewport.getViewHeight(), viewport.getViewedComponent()->getHeight());
    wizard.press (Key::upKey);
    wizard.press (Key::pageUpKey);
    EXPECT_LT (top() + viewport.getViewHeight(), viewport.getViewedComponent()->getHeight());
    wizard.press (Key::homeKey);
    EXPECT_EQ (top(), 0);

    EXPECT_EQ (wizard.component->currentPage, 2) << "scrolling presses nothing";
    EXPECT_EQ (dynamic_cast<InstallerComponent::EulaPage&> (*wizard.component->page).editor.getText(), licence)
        << "and edits nothing";
}

TEST (WizardKeyboard, APageThatAppearsInTheBackgroundTakesNoFocusUntilTheWindowIsActivated)
{
    OnScreenWizard wizard (withLicence ("x"));
    ASSERT_TRUE (wizard.focused);
    ASSERT_TRUE (wizard.waitForPage (1));
    wizard.press (Key::tabKey);
    ASSERT_EQ (wizard.focusedName(), "Cancel");

    // The user works in another program while a job runs.
    wizard.windowManager.activateOtherProgram();
    ASSERT_TRUE (wizard.waitFor ([&] { return ! wizard.component->hasKeyboardFocus (true); }));

    // A page appears meanwhile, as a finished job brings one up: its default button is Accept, while
    // Cancel, which had the focus before, is shown again.
    wizard.component->showPage (2);
    EXPECT_FALSE (wizard.component->hasKeyboardFocus (true));
    EXPECT_TRUE (wizard.windowManager.otherProgramIsActive()) << "the other program keeps the focus";

    ASSERT_TRUE (wizard.activate());
    EXPECT_EQ (wizard.focusedName(), "Accept");
}
