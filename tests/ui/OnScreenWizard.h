#pragma once

#include "WizardTestSupport.h"

#include <cstdlib>
#include <dlfcn.h>

namespace WizardTestSupport
{
/** Does what a window manager would for tests under Xvfb, which has none. It talks to X over a
    connection of its own, as a window manager does: the events that it causes reach the
    framework's connection as they arrive, instead of being read ahead into the framework's queue
    (where nothing would wake the framework for them) by a reply that the test waited for. */
class WindowManagerStandIn
{
public:
    using XWindow = unsigned long;

    WindowManagerStandIn()
    {
        if (auto* open = get<void* (const char*)> ("XOpenDisplay"))
            display = open (nullptr);
    }

    ~WindowManagerStandIn()
    {
        if (display == nullptr)
            return;

        if (otherWindow != 0)
            get<int (void*, XWindow)> ("XDestroyWindow") (display, otherWindow);

        get<int (void*)> ("XCloseDisplay") (display);
    }

    /** The program ignores X errors as every framework application does; a test program keeps
        Xlib's handler, which ends the process on the first one. Without a window manager, the
        framework names atoms that nobody has created yet when it sets up a window (its window
        protocols), which X answers with an error. */
    void ignoreXErrorsAsTheProgramDoes() const
    {
        using ErrorHandler = int (*) (void*, void*);

        if (auto* setErrorHandler = get<ErrorHandler (ErrorHandler)> ("XSetErrorHandler"))
            setErrorHandler ([] (void*, void*) { return 0; });
    }

    /** Gives the input focus to a window; X refuses it while the window is not mapped yet. */
    void activate (XWindow window) const
    {
        if (display == nullptr)
            return;

        constexpr int revertToParent = 2;
        get<int (void*, XWindow, int, unsigned long)> ("XSetInputFocus") (display, window, revertToParent, 0);
        get<int (void*, int)> ("XSync") (display, 0);
    }

    /** Sends the window an event that the framework ignores (a property of no meaning changes):
        it wakes the framework, which then also handles the events read ahead into its queue. */
    void nudge (XWindow window) const
    {
        if (display == nullptr)
            return;

        const auto property = get<XWindow (void*, const char*, int)> ("XInternAtom") (display, "INSTALLER_TEST_NUDGE", 0);
        constexpr XWindow stringType = 31;
        constexpr int replace = 0;
        get<int (void*, XWindow, XWindow, XWindow, int, int, const unsigned char*, int)> ("XChangeProperty")
            (display, window, property, stringType, 8, replace, reinterpret_cast<const unsigned char*> ("x"), 1);
        get<int (void*, int)> ("XSync") (display, 0);
    }

    /** Opens a window of another program, as the user does when working elsewhere, and activates it. */
    void activateOtherProgram()
    {
        if (display == nullptr)
            return;

        if (otherWindow == 0)
        {
            const auto root = get<XWindow (void*)> ("XDefaultRootWindow") (display);
            otherWindow = get<XWindow (void*, XWindow, int, int, unsigned, unsigned, unsigned, unsigned long, unsigned long)>
                              ("XCreateSimpleWindow") (display, root, 700, 0, 100, 100, 0, 0, 0);
            get<int (void*, XWindow)> ("XMapWindow") (display, otherWindow);
        }

        activate (otherWindow);
    }

    bool otherProgramIsActive() const
    {
        XWindow focused = 0;
        int revert = 0;

        if (display != nullptr)
            get<int (void*, XWindow*, int*)> ("XGetInputFocus") (display, &focused, &revert);

        return focused != 0 && focused == otherWindow;
    }

private:
    template <typename Function>
    static Function* get (const char* name)
    {
        // The library that the framework has loaded.
        static auto* library = dlopen ("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
        return library != nullptr ? reinterpret_cast<Function*> (dlsym (library, name)) : nullptr;
    }

    void* display = nullptr;
    XWindow otherWindow = 0;
};

/** Runs the message loop until `condition` holds; false when it does not within 20 s. */
inline bool waitUntil (const std::function<bool()>& condition)
{
    for (int i = 0; i < 1000 && ! condition(); ++i)
        juce::MessageManager::getInstance()->runDispatchLoopUntil (20);

    return condition();
}

/** A wizard in a window on the display that has the keyboard focus, as a user meets it: keys and
    screen readers reach it only there. */
struct OnScreenWizard : Wizard
{
    explicit OnScreenWizard (const MonolithContent& content, int stepPauseMs = 0)
        : Wizard (content, stepPauseMs)
    {
        windowManager.ignoreXErrorsAsTheProgramDoes();
        window.setContentNonOwned (component.get(), true);
        window.setUsingNativeTitleBar (true);
        window.addToDesktop();
        window.setVisible (true);
        focused = activate();
    }

    ~OnScreenWizard()
    {
        window.clearContentComponent();
        window.removeFromDesktop();
    }

    /** Runs the message loop until `condition` holds, waking the framework for X events that it
        has read ahead; false when it does not hold within 20 s. */
    bool waitFor (const std::function<bool()>& condition)
    {
        return waitUntil ([&]
        {
            windowManager.nudge (xWindow());
            return condition();
        });
    }

    /** Activates the window and waits until the wizard has the focus; asking again covers a
        window that X has not mapped yet. */
    bool activate()
    {
        return waitFor ([this]
        {
            if (component->hasKeyboardFocus (true))
                return true;

            windowManager.activate (xWindow());
            return false;
        });
    }

    WindowManagerStandIn::XWindow xWindow() const
    {
        return (WindowManagerStandIn::XWindow) (juce::pointer_sized_uint) window.getWindowHandle();
    }

    /** A key as the window receives it from the system: down, pressed, up; then the clicks it posted. */
    void press (const juce::KeyPress& key)
    {
        auto* peer = window.getPeer();
        peer->handleKeyUpOrDown (true);
        peer->handleKeyPress (key);
        peer->handleKeyUpOrDown (false);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (30);
    }

    void press (int keyCode, juce::ModifierKeys modifiers = {})     { press (juce::KeyPress (keyCode, modifiers, 0)); }

    /** What has the keyboard focus, as the user reads it: a button's text, "licence" or "none". */
    juce::String focusedName() const
    {
        auto* focusedComponent = juce::Component::getCurrentlyFocusedComponent();

        if (auto* button = dynamic_cast<juce::Button*> (focusedComponent))
            return button->getButtonText();

        if (dynamic_cast<juce::TextEditor*> (focusedComponent) != nullptr)
            return "licence";

        return focusedComponent == nullptr ? "none" : focusedComponent->getName();
    }

    /** Keeps a picture of the window as `name` in SCREENSHOT_DIR, when that is set: the pages for a look. */
    void keepScreenshot (const char* name)
    {
        const auto* dir = std::getenv ("SCREENSHOT_DIR");

        if (dir == nullptr)
            return;

        // A few turns of the message loop, so that the page is on the screen.
        int turns = 0;
        waitFor ([&turns] { return ++turns > 30; });
        const auto file = juce::File (dir).getChildFile (name);
        file.getParentDirectory().createDirectory();
        const auto command = "import -window " + juce::String ((juce::int64) xWindow()) + " '" + file.getFullPathName() + "'";
        EXPECT_EQ (std::system (command.toRawUTF8()), 0) << command;
    }

    WindowManagerStandIn windowManager;
    bool focused = false;
};
} // namespace WizardTestSupport
