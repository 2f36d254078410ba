#include "app/Installer.h"

#include "ui/InstallerComponent.h"

Installer::InstallerWindow::InstallerWindow (const juce::String& name)
    : juce::DocumentWindow (name,
                            juce::Desktop::getInstance().getDefaultLookAndFeel()
                                .findColour (juce::ResizableWindow::backgroundColourId),
                            juce::DocumentWindow::allButtons)
{
    setUsingNativeTitleBar (true);
    setContentOwned (new InstallerComponent (*this), true);

    const auto width = getContentComponent()->getWidth();
    const auto height = getContentComponent()->getHeight();
    setResizable (true, true);
    centreWithSize (width, height);
    setVisible (true);
}

void Installer::InstallerWindow::closeButtonPressed()
{
    juce::JUCEApplication::getInstance()->systemRequestedQuit();
}

const juce::String Installer::getApplicationName()    { return "Installer"; }
const juce::String Installer::getApplicationVersion() { return "1.0.2"; }
bool Installer::moreThanOneInstanceAllowed()          { return true; }

void Installer::initialise (const juce::String&)
{
    instanceLock = std::make_unique<SingleInstanceLock> (getApplicationName());

    // Quitting here ends the program before its window is made, as the framework's own check would.
    if (instanceLock->isHeldByAnotherCopy())
    {
        quit();
        return;
    }

    mainWindow = std::make_unique<InstallerWindow> (getApplicationName());
}

void Installer::shutdown()
{
    mainWindow.reset();
}

void Installer::systemRequestedQuit()
{
    quit();
}

void Installer::anotherInstanceStarted (const juce::String&) {}
void Installer::suspended() {}
void Installer::resumed() {}
void Installer::unhandledException (const std::exception*, const juce::String&, int) {}
void Installer::memoryWarningReceived() {}
