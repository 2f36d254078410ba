#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "install/InstallerModel.h"
#include "install/SystemFolders.h"
#include "log/InstallerLog.h"
#include "ui/InstallerFooter.h"
#include "ui/InstallerHeader.h"
#include "ui/InstallerLookAndFeel.h"
#include "ui/RepaintFallback.h"

/** The wizard's root and the main window's content: owns the log, the look-and-feel, the header and
    footer strips, the page shown, the worker pool and the model, and decides which page is shown.

    Pages: 0 input check, 1 welcome, 2 EULA, 3 installing, 4 finish, 5 error, 6 files in use.

    It also holds the keyboard for the window: each page's default button has the focus when the page
    appears, Tab moves between the page's buttons (and the licence text) and Escape presses the
    rightmost button, which leaves the page. Each new page is announced to screen readers.
*/
class InstallerComponent : public juce::Component
{
public:
    /** The results of the model's long operations under the wizard's names; the error page's message
        is chosen by them.
    */
    enum ErrorType : int
    {
        noError = InstallerModel::noError,
        invalidData = InstallerModel::invalidData,
        missingData = InstallerModel::missingData,
        installationFailed = InstallerModel::installationFailed,
        accessDenied = InstallerModel::accessDenied,
        writeFailed = InstallerModel::writeFailed,
        interrupted = InstallerModel::interrupted,
        filesInUse = InstallerModel::filesInUse,
        notEnoughSpace = InstallerModel::notEnoughSpace
    };

    /** The installing page, to which the files-in-use page's Retry returns. */
    static constexpr int installingPage = 3;

    /** The page that names the programs holding the plug-in's files, shown instead of an error page. */
    static constexpr int filesInUsePage = 6;

    using LookAndFeel = InstallerLookAndFeel;
    using Header = InstallerHeader;
    using Footer = InstallerFooter;

    class PageBase;
    class JobPage;
    class InputCheckPage;
    class WelcomePage;
    class EulaPage;
    class InstallingPage;
    class FinishPage;
    class ErrorPage;
    class FilesInUsePage;

    /** `folders` tells the model where to look and install; tests pass temporary folders. */
    explicit InstallerComponent (juce::DocumentWindow& window,
                                 std::unique_ptr<SystemFolders> folders = std::make_unique<SystemFolders>());
    ~InstallerComponent() override;

    void showPage (int index);
    void showErrorPage (ErrorType type);

    void paint (juce::Graphics&) override;
    void resized() override;
    bool keyPressed (const juce::KeyPress&) override;
    bool keyStateChanged (bool isKeyDown) override;
    void mouseDown (const juce::MouseEvent&) override;
    void focusGained (FocusChangeType) override;
    void focusOfChildComponentChanged (FocusChangeType) override;
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

    using AnnouncementPriority = juce::AccessibilityHandler::AnnouncementPriority;

    juce::DocumentWindow& window;
    std::unique_ptr<InstallerLog> log;
    std::unique_ptr<LookAndFeel> lookAndFeel;
    std::unique_ptr<juce::FileChooser> fileChooser;
    int currentPage = -1;
    ErrorType errorType = noError;
    Header header;
    Footer footer;
    std::unique_ptr<PageBase> page;
    juce::ThreadPool threadPool { 1 };
    juce::Rectangle<int> pageArea;
    InstallerModel model;
    /** Says something to the user's screen reader; tests replace it to hear what is said. */
    std::function<void (const juce::String&, AnnouncementPriority)> announce = juce::AccessibilityHandler::postAnnouncement;

private:
    void setUpKeyboardAndScreenReaders();
    void replacePage (int index);
    void focusDefaultButton();
    void announcePage();

    // Set when a page appeared while the window was inactive: its default button takes the focus
    // when the window is activated.
    bool defaultFocusPending = false;
    RepaintFallback repaintFallback { *this };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InstallerComponent)
};
