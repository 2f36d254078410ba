#include "WizardTestSupport.h"

#include <iostream>

#include "ui/ErrorPage.h"
#include "ui/EulaPage.h"
#include "ui/JobPage.h"
#include "ui/WelcomePage.h"

using namespace WizardTestSupport;

namespace
{
juce::Rectangle<int> boundsOf (const juce::Component& c)   { return c.getBounds(); }
}

TEST (WizardFlow, FullInstallWithLicenceGoesThroughEveryPageAndBack)
{
    Wizard wizard (withLicence ("Licence text"));
    auto& component = *wizard.component;

    EXPECT_EQ (component.getName(), "InstallerComponent");
    EXPECT_EQ (component.getWidth(), 640);
    EXPECT_EQ (component.getHeight(), 480);
    EXPECT_EQ (component.currentPage, 0) << "the check starts inside the constructor";
    EXPECT_EQ (wizard.header().title.getText(), "Welcome");
    EXPECT_EQ (wizard.visibleButtons(), juce::StringArray ({ "Cancel" }));
    EXPECT_EQ (wizard.window.getName(), "Installer");

    ASSERT_TRUE (wizard.waitForPage (1));
    EXPECT_EQ (wizard.window.getName(), "Beta Installer");
    EXPECT_EQ (wizard.header().title.getText(), "Welcome");
    EXPECT_EQ (wizard.labelText(), "Beta is ready to be installed on your computer");
    EXPECT_EQ (wizard.visibleButtons(), juce::StringArray (InstallerComponent::WelcomePage::changeLocationText, "Install", "Cancel"));
    EXPECT_FALSE (wizard.footer().progressBar.isVisible());

    wizard.click (1);
    ASSERT_EQ (component.currentPage, 2);
    EXPECT_EQ (wizard.header().title.getText(), "EULA");
    EXPECT_EQ (wizard.visibleButtons(), juce::StringArray ({ "< Back", "Accept", "Cancel" }));
    auto* eula = dynamic_cast<InstallerComponent::EulaPage*> (component.page.get());
    ASSERT_NE (eula, nullptr);
    EXPECT_EQ (eula->editor.getText(), "Licence text");
    EXPECT_TRUE (eula->editor.isReadOnly());

    const auto* firstWelcome = component.page.get();
    wizard.click (2);
    ASSERT_EQ (component.currentPage, 1);
    EXPECT_NE (component.page.get(), firstWelcome);
    EXPECT_EQ (wizard.visibleButtons(), juce::StringArray (InstallerComponent::WelcomePage::changeLocationText, "Install", "Cancel"));

    wizard.click (1);
    ASSERT_EQ (component.currentPage, 2);
    wizard.click (1);
    EXPECT_EQ (component.currentPage, 3);
    EXPECT_EQ (wizard.header().title.getText(), "Installation");
    EXPECT_EQ (wizard.labelText(), "Installation in progress");
    EXPECT_EQ (wizard.visibleButtons(), juce::StringArray ({ "Cancel" }));

    ASSERT_TRUE (wizard.waitForPage (4));
    EXPECT_EQ (wizard.header().title.getText(), "Finished");
    EXPECT_EQ (wizard.labelText(), "Installation finished");
    EXPECT_EQ (wizard.visibleButtons(), juce::StringArray ({ "OK" }));
    EXPECT_FALSE (wizard.footer().progressBar.isVisible());

    const auto& folders = wizard.sandbox.folders();
    EXPECT_TRUE (folders.dataRoot.getChildFile ("Alpha/Beta/Beta.rom").existsAsFile());
    EXPECT_EQ (folders.vst3Root.getChildFile ("Alpha/Beta.vst3/desktop.ini").loadFileAsString(), "icon");

    // Without an application object the quit request goes nowhere: the page stays.
    wizard.click (0);
    EXPECT_EQ (component.currentPage, 4);

    const auto log = component.log->getText();
    EXPECT_TRUE (log.contains ("<InstallerComponent> Starting installer"));
    EXPECT_TRUE (log.contains ("<InstallerComponent> Monolith found: " + wizard.monolith.getFullPathName()));
}

TEST (WizardFlow, WithoutLicenceInstallSkipsTheEulaPage)
{
    Wizard wizard (MonolithContent {}, 200);
    ASSERT_TRUE (wizard.waitForPage (1));
    EXPECT_EQ (wizard.footer().nextPage, 3);

    wizard.click (1);
    EXPECT_EQ (wizard.component->currentPage, 3);

    // The installation pauses after each stage, so the timer sees it running and shows the bar.
    EXPECT_TRUE (MessageLoop::runUntil ([&wizard] { return wizard.footer().progressBar.isVisible(); }));
    EXPECT_GE (wizard.footer().progressValue, 0.0);
    EXPECT_LE (wizard.footer().progressValue, 1.0);

    ASSERT_TRUE (wizard.waitForPage (4));
    EXPECT_TRUE (wizard.sandbox.folders().dataRoot.getChildFile ("Alpha/Beta/Beta.rom").existsAsFile());
}

TEST (WizardFlow, CancelOnAQuittingPageKeepsThePageWithoutApplication)
{
    Wizard wizard (withLicence ("x"));
    ASSERT_TRUE (wizard.waitForPage (1));
    wizard.click (0);
    EXPECT_EQ (wizard.component->currentPage, 1);
    wizard.click (1);
    wizard.click (0);
    EXPECT_EQ (wizard.component->currentPage, 2);
}

TEST (WizardFlow, CancelDuringInstallationStopsTheJobAndReportsTheInterruption)
{
    Wizard wizard (MonolithContent {}, 400);
    ASSERT_TRUE (wizard.waitForPage (1));
    const auto before = snapshotOf (wizard.sandbox.folders().dataRoot);
    wizard.click (1);
    ASSERT_EQ (wizard.component->currentPage, 3);

    wizard.click (0);
    EXPECT_EQ (wizard.component->currentPage, 3) << "the page stays until the job has ended";

    ASSERT_TRUE (wizard.waitForPage (5));
    EXPECT_EQ (wizard.component->errorType, InstallerComponent::interrupted);
    EXPECT_EQ (wizard.labelText(), "Installation interrupted");
    EXPECT_EQ (snapshotOf (wizard.sandbox.folders().dataRoot), before);
    EXPECT_TRUE (snapshotOf (wizard.sandbox.folders().vst3Root).empty());
}

TEST (WizardFlow, CancelBeforeTheInstallationHasStartedReportsTheInterruption)
{
    // The pool's only worker is kept busy, so that the installation still waits in the pool when Cancel
    // comes; the pool then drops it without running it, and the page must not wait for it forever.
    juce::WaitableEvent workerFree;
    Wizard wizard (MonolithContent {});
    const juce::ScopeGuard freeTheWorker { [&workerFree] { workerFree.signal(); } };
    ASSERT_TRUE (wizard.waitForPage (1));

    wizard.component->threadPool.addJob ([&workerFree] { workerFree.wait(); });
    wizard.click (1);
    ASSERT_EQ (wizard.component->currentPage, 3);
    wizard.click (0);
    workerFree.signal();

    ASSERT_TRUE (wizard.waitForPage (5));
    EXPECT_EQ (wizard.component->errorType, InstallerComponent::interrupted);
    EXPECT_TRUE (snapshotOf (wizard.sandbox.folders().dataRoot).empty());
    EXPECT_TRUE (snapshotOf (wizard.sandbox.folders().vst3Root).empty());
}

TEST (WizardFlow, FailedChecksShowTheErrorPage)
{
    struct Case { const char* name; MonolithContent content; int code; };
    MonolithContent noState, noVst3, noCompany;
    noState.state = {};
    noVst3.vst3 = {};
    noCompany.state = makeState ("Beta", {});

    for (const auto& c : { Case { "no state", noState, 1 }, Case { "no VST3", noVst3, 2 }, Case { "no company", noCompany, 1 } })
    {
        SCOPED_TRACE (c.name);
        Wizard wizard (c.content);
        ASSERT_TRUE (wizard.waitForPage (5));
        EXPECT_EQ ((int) wizard.component->errorType, c.code);
        EXPECT_EQ (wizard.header().title.getText(), "Error");
        EXPECT_EQ (wizard.labelText(), "Missing or invalid installer data");
        EXPECT_EQ (wizard.visibleButtons(), juce::StringArray ({ "Copy Report", "OK" }));
        EXPECT_EQ (wizard.window.getName(), "Installer");
    }
}

TEST (WizardFlow, DamagedMonolithFailsTheCheck)
{
    Wizard wizard (MonolithContent {});
    wizard.component.reset();
    wizard.monolith.replaceWithText ("this is not a monolith at all");
    wizard.component = std::make_unique<InstallerComponent> (wizard.window, std::make_unique<TestFolders> (wizard.sandbox.folder));

    ASSERT_TRUE (wizard.waitForPage (5));
    EXPECT_EQ (wizard.component->errorType, InstallerComponent::invalidData);
    EXPECT_EQ (wizard.labelText(), "Missing or invalid installer data");
}

TEST (WizardErrorPage, MessageForEveryCode)
{
    Wizard wizard (MonolithContent {});
    ASSERT_TRUE (wizard.waitForPage (1));

    const std::pair<int, const char*> cases[] = {
        { 0, "" },
        { 1, "Missing or invalid installer data" },
        { 2, "Missing or invalid installer data" },
        { 3, "Installation failed" },
        { 4, "Installation failed" },
        { 5, "Installation failed" },
        { 6, "Installation interrupted" },
        { 7, "" },
        { 13, "Not enough free space for the sample data" },
        { -1, "" },
    };

    for (const auto& [code, text] : cases)
    {
        InstallerComponent::ErrorPage page (*wizard.component, static_cast<InstallerComponent::ErrorType> (code));
        EXPECT_EQ (page.label.getText(), juce::String (text)) << code;
    }
}

TEST (WizardErrorPage, CopyReportCopiesTheLogAndChangesTheLabel)
{
    MonolithContent noVst3;
    noVst3.vst3 = {};
    Wizard wizard (noVst3);
    ASSERT_TRUE (wizard.waitForPage (5));

    juce::SystemClipboard::copyTextToClipboard ("something else");
    wizard.click (1);

    const auto log = wizard.component->log->getText();
    EXPECT_TRUE (log.contains ("Cannot find VST3 binary in monolith"));
    EXPECT_EQ (juce::SystemClipboard::getTextFromClipboard(), log);
    EXPECT_EQ (wizard.labelText(), "Error report is copied to clipboard");
    EXPECT_EQ (wizard.component->currentPage, 5);

    wizard.click (1);
    EXPECT_EQ (wizard.labelText(), "Error report is copied to clipboard");
}

TEST (WizardErrorPage, ASecondFailureKeepsTheShownMessage)
{
    MonolithContent noVst3;
    noVst3.vst3 = {};
    Wizard wizard (noVst3);
    ASSERT_TRUE (wizard.waitForPage (5));
    const auto* shown = wizard.component->page.get();

    wizard.component->showErrorPage (InstallerComponent::interrupted);
    EXPECT_EQ (wizard.component->errorType, InstallerComponent::interrupted);
    EXPECT_EQ (wizard.component->page.get(), shown);
    EXPECT_EQ (wizard.labelText(), "Missing or invalid installer data");
}

TEST (WizardComponent, ShowPageWithTheShownIndexChangesNothing)
{
    Wizard wizard (MonolithContent {});
    ASSERT_TRUE (wizard.waitForPage (1));
    const auto* shown = wizard.component->page.get();
    wizard.footer().buttons[2].setVisible (true);
    wizard.footer().buttons[0].setEnabled (false);

    wizard.component->showPage (1);

    EXPECT_EQ (wizard.component->page.get(), shown);
    EXPECT_TRUE (wizard.footer().buttons[2].isVisible());
    EXPECT_FALSE (wizard.footer().buttons[0].isEnabled());
}

TEST (WizardComponent, InputCheckAfterASuccessfulCheckStartsNoJob)
{
    Wizard wizard (MonolithContent {});
    ASSERT_TRUE (wizard.waitForPage (1));

    wizard.component->showPage (0);
    auto* checkPage = dynamic_cast<InstallerComponent::JobPage*> (wizard.component->page.get());
    ASSERT_NE (checkPage, nullptr);
    EXPECT_EQ (checkPage->job, nullptr);
    EXPECT_EQ (wizard.visibleButtons(), juce::StringArray ({ "Cancel" }));

    // Whatever showing the page posted has been handled, and still no job runs.
    ASSERT_TRUE (MessageLoop::deliverPosted());
    EXPECT_EQ (wizard.component->currentPage, 0);
    EXPECT_EQ (wizard.component->threadPool.getNumJobs(), 0);
}

namespace
{
/** A monolith whose copies take long enough to be caught in the middle. */
MonolithContent slowToCopyMonolith()
{
    juce::MemoryBlock code (96u << 20);
    juce::Random (9).fillBitsRandomly (code.getData(), code.getSize());
    MonolithContent content;
    content.vst3 = makeRawZip ({ { "Beta.vst3/Contents/x86_64-win/Beta.vst3", "", code } });
    return content;
}

/** Runs the message loop until a file (not just a folder) has appeared below `folder`. */
bool waitForFileIn (const juce::File& folder)
{
    return MessageLoop::runUntil ([&folder] { return ! folder.findChildFiles (juce::File::findFiles, true).isEmpty(); });
}

/** Destroys the wizard's component as closing the window does, and says how long that took. */
double quit (Wizard& wizard)
{
    const auto started = juce::Time::getMillisecondCounterHiRes();
    wizard.component.reset();
    return juce::Time::getMillisecondCounterHiRes() - started;
}
} // namespace

TEST (WizardComponent, QuittingDuringTheInstallationStopsTheCopyAndLeavesTheTargetsAsTheyWere)
{
    Wizard wizard (slowToCopyMonolith());
    ASSERT_TRUE (wizard.waitForPage (1));
    wizard.click (1);
    ASSERT_EQ (wizard.component->currentPage, 3);

    auto* installing = dynamic_cast<InstallerComponent::JobPage*> (wizard.component->page.get());
    ASSERT_NE (installing, nullptr);
    ASSERT_NE (installing->job, nullptr);
    // Quit once the monolith's copy has begun.
    ASSERT_TRUE (waitForFileIn (wizard.sandbox.folders().dataRoot));

    // The sanitizer run also catches a worker that outlives the model or the log.
    const auto milliseconds = quit (wizard);
    std::cout << "quit during the installation took " << milliseconds << " ms\n";

    EXPECT_TRUE (snapshotOf (wizard.sandbox.folders().dataRoot).empty());
    EXPECT_TRUE (snapshotOf (wizard.sandbox.folders().vst3Root).empty());
    EXPECT_TRUE (snapshotOf (wizard.sandbox.folders().temporary).empty());
}

TEST (WizardComponent, QuittingDuringTheCheckStopsTheArchiveCopy)
{
    // The component starts the check as it is made; quit while it copies the archive out.
    Wizard wizard (slowToCopyMonolith());
    ASSERT_TRUE (waitForFileIn (wizard.sandbox.folders().temporary));

    const auto milliseconds = quit (wizard);
    std::cout << "quit during the check took " << milliseconds << " ms\n";

    EXPECT_TRUE (snapshotOf (wizard.sandbox.folders().temporary).empty());
    EXPECT_TRUE (snapshotOf (wizard.sandbox.folders().dataRoot).empty());
}

TEST (WizardLayout, StripsPageAndButtonsFollowTheSize)
{
    Wizard wizard (withLicence ("x"));
    ASSERT_TRUE (wizard.waitForPage (1));
    wizard.click (1);
    ASSERT_EQ (wizard.component->currentPage, 2);

    auto& footer = wizard.footer();
    EXPECT_EQ (boundsOf (wizard.header()), juce::Rectangle<int> (0, 0, 640, 80));
    EXPECT_EQ (boundsOf (wizard.header().title), juce::Rectangle<int> (0, 0, 640, 80));
    EXPECT_EQ (boundsOf (wizard.header().separator), juce::Rectangle<int> (12, 79, 616, 1));
    EXPECT_EQ (boundsOf (footer), juce::Rectangle<int> (0, 420, 640, 60));
    EXPECT_EQ (boundsOf (footer.buttons[0]), juce::Rectangle<int> (542, 18, 80, 24));
    EXPECT_EQ (boundsOf (footer.buttons[1]), juce::Rectangle<int> (457, 18, 80, 24));
    EXPECT_EQ (boundsOf (footer.buttons[2]), juce::Rectangle<int> (372, 18, 80, 24));
    EXPECT_EQ (boundsOf (footer.progressBar), juce::Rectangle<int> (30, 18, 240, 24));
    EXPECT_EQ (boundsOf (footer.separator), juce::Rectangle<int> (12, 0, 616, 1));
    EXPECT_EQ (boundsOf (*wizard.component->page), juce::Rectangle<int> (0, 80, 640, 340));

    struct Size { int w, h; juce::Rectangle<int> page; };
    for (const auto& s : { Size { 1000, 700, { 0, 80, 1000, 560 } }, Size { 300, 100, { 0, 80, 300, 0 } } })
    {
        wizard.component->setSize (s.w, s.h);
        EXPECT_EQ (boundsOf (wizard.header()), juce::Rectangle<int> (0, 0, s.w, 80));
        EXPECT_EQ (boundsOf (footer), juce::Rectangle<int> (0, s.h - 60, s.w, 60));
        EXPECT_EQ (boundsOf (*wizard.component->page), s.page);
        EXPECT_EQ (boundsOf (footer.buttons[0]), juce::Rectangle<int> (s.w - 98, 18, 80, 24));
    }
}

TEST (WizardLayout, ErrorPageWidensCopyReport)
{
    MonolithContent noVst3;
    noVst3.vst3 = {};
    Wizard wizard (noVst3);
    ASSERT_TRUE (wizard.waitForPage (5));

    EXPECT_EQ (boundsOf (wizard.footer().buttons[0]), juce::Rectangle<int> (542, 18, 80, 24));
    EXPECT_EQ (boundsOf (wizard.footer().buttons[1]), juce::Rectangle<int> (417, 18, 120, 24));
    EXPECT_FALSE (wizard.footer().buttons[2].isVisible());
}
