#pragma once

#include "app/SingleInstanceLock.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The application object: builds the one main window and quits without asking. */
class Installer : public juce::JUCEApplication
{
public:
    /** The main window; its content is the wizard. Closing it quits the program. */
    class InstallerWindow : public juce::DocumentWindow
    {
    public:
        explicit InstallerWindow (const juce::String& name);
        ~InstallerWindow() override = default;

        void closeButtonPressed() override;
        void childBoundsChanged (juce::Component* child) override;

    private:
        /** Sizes the native window so that its client area is exactly `width` x `height` logical
            pixels at the display's scale, in whole physical pixels, and gives the content that size. */
        void fitClientArea (int width, int height);

        bool fittingClientArea = false;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InstallerWindow)
    };

    Installer() = default;
    ~Installer() override = default;

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;

    /** True for the framework, whose lock any local user could hold to stop the program: initialise
        keeps a second copy of the same user's out with a SingleInstanceLock instead.
    */
    bool moreThanOneInstanceAllowed() override;

    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    void systemRequestedQuit() override;
    void anotherInstanceStarted (const juce::String& commandLine) override;
    void suspended() override;
    void resumed() override;
    void unhandledException (const std::exception*, const juce::String& sourceFilename, int lineNumber) override;
    void memoryWarningReceived() override;

    std::unique_ptr<InstallerWindow> mainWindow;

private:
    std::unique_ptr<SingleInstanceLock> instanceLock;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Installer)
};
