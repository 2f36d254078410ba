#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

class InstallerComponent;

/** The strip along the bottom of the wizard: up to three text buttons on the right (index 0
    rightmost), one on the left (index 3, where other pages show the progress bar) for a page's
    option, a progress bar and a separator line. Each page sets the buttons' texts, actions and visibility, the page
    targets and the callbacks. Used as InstallerComponent::Footer.
*/
class InstallerFooter : public juce::Component,
                        public juce::Button::Listener
{
public:
    /** A text-only button that brightens while the mouse is over it. Return and Space press it;
        while the keyboard is in use, it marks itself when it has the keyboard focus. */
    class FooterButton : public juce::TextButton
    {
    public:
        enum Action : juce::int32
        {
            back = 0,
            next = 1,
            ok = 2,
            cancel = 3,
            option = 4
        };

        FooterButton();
        ~FooterButton() override = default;

        void mouseMove (const juce::MouseEvent&) override;
        void mouseEnter (const juce::MouseEvent&) override;
        void mouseExit (const juce::MouseEvent&) override;
        void paint (juce::Graphics&) override;
        bool keyPressed (const juce::KeyPress&) override;

        Action action = cancel;
        float fontHeight = 20.0f;
        int buttonWidth = 80;
        bool isHovered = false;
        // Set by the footer while the keyboard is in use, so that mouse users never see the mark.
        bool focusIndicatorShown = false;

    private:
        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FooterButton)
    };

    explicit InstallerFooter (InstallerComponent& owner);
    ~InstallerFooter() override;

    void paint (juce::Graphics&) override;
    void resized() override;
    void buttonClicked (juce::Button*) override;
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

    /** Gives buttons[index] its text and action and makes it visible; pages call this for each button they use. */
    FooterButton& showButton (int index, const juce::String& text, FooterButton::Action action);

    /** The button that has the keyboard focus when a page appears: the visible, enabled button that
        goes on (action `next` or `ok`), else the rightmost visible one; nullptr when none is shown. */
    FooterButton* getDefaultButton();

    /** Presses the rightmost button, which leaves every page: Cancel, or OK on the finish and error
        pages. Does nothing while it is hidden or disabled. */
    void pressLeaveButton();

    /** Shows the focus mark on the focused button, in the footer or on the page, while the keyboard is in use. */
    void setFocusIndicatorShown (bool shouldBeShown);

    InstallerComponent* owner;
    static constexpr int optionSlot = 3;
    FooterButton buttons[4];
    // Never added as a child: only its bounds are used, as the rectangle of the separator line.
    juce::Component separator;
    int backPage = -1;
    int nextPage = -1;
    double progressValue = 0.0;
    juce::ProgressBar progressBar { progressValue };
    std::function<void()> quitApplication;
    std::function<void()> onCancel;
    std::function<void()> onOk;
    std::function<void()> onOption;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InstallerFooter)
};
