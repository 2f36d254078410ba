#include "app/Installer.h"

#include "app/NativeClientArea.h"
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
    fitClientArea (width, height);
}

void Installer::InstallerWindow::closeButtonPressed()
{
    juce::JUCEApplication::getInstance()->systemRequestedQuit();
}

void Installer::InstallerWindow::fitClientArea (int width, int height)
{
    auto* peer = getPeer();
    auto* content = getContentComponent();

    if (peer == nullptr || content == nullptr)
        return;

    // The framework keeps the native frame in whole logical pixels, so at some display scales the
    // client area comes out a physical pixel or two off. Its size constraints would round the
    // corrected size through logical pixels again; and it gives the content the window's logical
    // size, which that rounding may make a pixel larger than the client area.
    const auto scale = peer->getPlatformScaleFactor();
    const juce::ScopedValueSetter<bool> fitting (fittingClientArea, true);
    peer->setConstrainer (nullptr);
    NativeClientArea::setSize (*this, { juce::roundToInt (width * scale), juce::roundToInt (height * scale) });
    peer->setConstrainer (getConstrainer());
    content->setSize (width, height);
}

void Installer::InstallerWindow::childBoundsChanged (juce::Component* child)
{
    // Fitting the client area sizes the window and the content separately.
    if (! fittingClientArea)
        juce::DocumentWindow::childBoundsChanged (child);
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
