#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "install/InstallerModel.h"
#include "install/SystemFolders.h"
#include "log/InstallerLog.h"
#include "ui/InstallerFooter.h"
#include "ui/InstallerHeader.h"
#include "ui/InstallerLookAndFeel.h"

/** The wizard's root and the main window's content: owns the log, the look-and-feel, the header and
    footer strips, the page shown, the worker pool and the model, and decides which page is shown.

    Pages: 0 input check, 1 welcome, 2 EULA, 3 installing, 4 finish, 5 error.
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
        interrupted = InstallerModel::interrupted
    };

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

    /** `folders` tells the model where to look and install; tests pass temporary folders. */
    explicit InstallerComponent (juce::DocumentWindow& window,
                                 std::unique_ptr<SystemFolders> folders = std::make_unique<SystemFolders>());
    ~InstallerComponent() override;

    void showPage (int index);
    void showErrorPage (ErrorType type);

    void paint (juce::Graphics&) override;
    void resized() override;

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

private:
    void replacePage (int index);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InstallerComponent)
};
