#include "ui/InstallerComponent.h"

#include "ui/EulaPage.h"
#include "ui/ErrorPage.h"
#include "ui/FilesInUsePage.h"
#include "ui/FinishPage.h"
#include "ui/InputCheckPage.h"
#include "ui/InstallingPage.h"
#include "ui/WelcomePage.h"

InstallerComponent::InstallerComponent (juce::DocumentWindow& mainWindow, std::unique_ptr<SystemFolders> folders)
    : juce::Component ("InstallerComponent"),
      window (mainWindow),
      log (std::make_unique<InstallerLog>()),
      footer (*this),
      model (std::move (folders))
{
    model.start (*log);

    lookAndFeel = std::make_unique<LookAndFeel>();
    lookAndFeel->setColour (juce::ScrollBar::thumbColourId, juce::Colours::grey);
    setLookAndFeel (lookAndFeel.get());

    addAndMakeVisible (header);
    addAndMakeVisible (footer);
    setSize (640, 480);
    footer.setVisible (false);
    header.setVisible (false);
    setUpKeyboardAndScreenReaders();

    model.monolithFile = model.findMonolith();

    if (model.monolithFile != juce::File())
    {
        log->write (InstallerLog::installerCategory, "Monolith found: " + model.monolithFile.getFullPathName());
        showPage (0);
        return;
    }

    fileChooser = std::make_unique<juce::FileChooser> ("Choose installer data file", juce::File(), "*.rom", true, false, nullptr);
    fileChooser->launchAsync (juce::FileBrowserComponent::canSelectFiles, [this] (const juce::FileChooser& chooser)
    {
        model.monolithFile = chooser.getResult();
        log->write (InstallerLog::installerCategory, "Monolith selected: " + model.monolithFile.getFullPathName());
        showPage (0);
    });
}

void InstallerComponent::setUpKeyboardAndScreenReaders()
{
    // Tab stays among the page's buttons and the licence text. The window would otherwise keep the
    // focus for itself when it is activated; this component takes it and hands it to the page.
    setFocusContainerType (FocusContainerType::keyboardFocusContainer);
    setWantsKeyboardFocus (true);
    window.setWantsKeyboardFocus (false);

    // Screen readers read the window's accessible title, which its name does not set.
    window.setTitle (window.getName());

    // Any click, also on a child, ends the keyboard's turn and hides the focus mark.
    addMouseListener (this, true);
}

InstallerComponent::~InstallerComponent()
{
    setLookAndFeel (nullptr);

    // The job writes to the model and the log, which die after the pool: stop the worker first. The
    // operations may outlast the pool's usual limit (a large copy), so keep waiting rather than have
    // the worker killed halfway through a file.
    while (! threadPool.removeAllJobs (true, 5000))
        log->write (InstallerLog::installerCategory, "Waiting for the running job to end");

    // A job page lets go of its job through the pool, which is declared after the page and would
    // otherwise be gone by then.
    page.reset();
}

void InstallerComponent::showPage (int index)
{
    if (index == currentPage)
        return;

    replacePage (index);
}

void InstallerComponent::showErrorPage (ErrorType type)
{
    if (type == filesInUse)
    {
        showPage (filesInUsePage);
        return;
    }

    errorType = type;

    if (currentPage == 5)
        return;

    replacePage (5);
}

void InstallerComponent::replacePage (int index)
{
    // The focus is in here while the window is active. It leaves with the old page and comes back
    // on the new page's default button; but a page that a job brings up while the user works in
    // another window must not pull the focus over: the window catches up when it is activated.
    const auto windowIsActive = hasKeyboardFocus (true);
    giveAwayKeyboardFocus();
    footer.progressBar.setVisible (false);

    for (auto& button : footer.buttons)
    {
        button.setVisible (false);
        button.setEnabled (true);
    }

    footer.setVisible (false);
    header.setVisible (false);
    currentPage = index;

    std::unique_ptr<PageBase> newPage;

    switch (index)
    {
        case 0:  newPage = std::make_unique<InputCheckPage> (*this); break;
        case 1:  newPage = std::make_unique<WelcomePage> (*this); break;
        case 2:  newPage = std::make_unique<EulaPage> (*this); break;
        case 3:  newPage = std::make_unique<InstallingPage> (*this); break;
        case 4:  newPage = std::make_unique<FinishPage> (*this); break;
        case 5:  newPage = std::make_unique<ErrorPage> (*this, errorType); break;
        case 6:  newPage = std::make_unique<FilesInUsePage> (*this); break;
        default: break;
    }

    page = std::move (newPage);

    footer.setVisible (true);
    header.setVisible (true);

    if (page != nullptr)
        addAndMakeVisible (*page);

    resized();
    repaint();
    setTitle (header.title.getText());

    if (windowIsActive)
        focusDefaultButton();
    else
        defaultFocusPending = true;

    announcePage();
}

void InstallerComponent::focusDefaultButton()
{
    defaultFocusPending = false;

    if (auto* button = footer.getDefaultButton())
        button->grabKeyboardFocus();
}

void InstallerComponent::announcePage()
{
    auto text = header.title.getText();
    const auto message = page != nullptr ? page->getMessage() : juce::String();

    if (message.isNotEmpty())
        text << ". " << message;

    announce (text, currentPage == 5 ? AnnouncementPriority::high : AnnouncementPriority::medium);
}

void InstallerComponent::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colours::black);
}

bool InstallerComponent::keyPressed (const juce::KeyPress& key)
{
    // Keys that no button or page used, Tab among them, arrive here; also those of a dialog shown
    // inside the window (the folder chooser), whose own Escape must not leave the page.
    if (isCurrentlyBlockedByAnotherModalComponent())
        return false;

    footer.setFocusIndicatorShown (true);

    if (key.isKeyCode (juce::KeyPress::escapeKey))
    {
        footer.pressLeaveButton();
        return true;
    }

    return false;
}

bool InstallerComponent::keyStateChanged (bool isKeyDown)
{
    // Also arrives for the keys that the focused button uses itself (Return, Space).
    if (isKeyDown)
        footer.setFocusIndicatorShown (true);

    return false;
}

void InstallerComponent::mouseDown (const juce::MouseEvent&)
{
    footer.setFocusIndicatorShown (false);
}

void InstallerComponent::focusGained (FocusChangeType)
{
    // The window hands its focus to this component when it is activated.
    focusDefaultButton();
}

void InstallerComponent::focusOfChildComponentChanged (FocusChangeType)
{
    // The window, activated again, gave the focus back to a button of an earlier page.
    if (defaultFocusPending && hasKeyboardFocus (true))
        focusDefaultButton();
}

std::unique_ptr<juce::AccessibilityHandler> InstallerComponent::createAccessibilityHandler()
{
    // Groups the page's elements under the page's title.
    return std::make_unique<juce::AccessibilityHandler> (*this, juce::AccessibilityRole::group);
}

void InstallerComponent::resized()
{
    header.setBounds (0, 0, getWidth(), 80);
    footer.setBounds (0, getHeight() - 60, getWidth(), 60);
    pageArea = juce::Rectangle<int> (0, header.getBottom(), getWidth(),
                                       juce::jmax (0, getHeight() - footer.getHeight() - header.getHeight()));

    if (page != nullptr)
        page->setBounds (pageArea);
}
