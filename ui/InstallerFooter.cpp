#include "ui/InstallerFooter.h"

#include "ui/PageBase.h"

InstallerFooter::FooterButton::FooterButton()
    : juce::TextButton (juce::String())
{
}

void InstallerFooter::FooterButton::mouseMove (const juce::MouseEvent& e)
{
    if (e.eventComponent == this && ! isHovered)
    {
        isHovered = true;
        repaint();
    }
}

void InstallerFooter::FooterButton::mouseEnter (const juce::MouseEvent& e)
{
    mouseMove (e);
}

void InstallerFooter::FooterButton::mouseExit (const juce::MouseEvent& e)
{
    if (e.eventComponent == this && isHovered)
    {
        isHovered = false;
        repaint();
    }
}

void InstallerFooter::FooterButton::paint (juce::Graphics& g)
{
    const auto marked = focusIndicatorShown && isEnabled() && hasKeyboardFocus (false);

    if (! isEnabled())
        g.setColour (juce::Colours::grey.withAlpha (0.3f));
    else if (isHovered || marked)
        g.setColour (juce::Colours::lightgrey);
    else
        g.setColour (juce::Colours::lightgrey.withAlpha (0.7f));

    g.setFont (fontHeight);
    g.drawText (getButtonText(), getLocalBounds(), juce::Justification::centred, true);

    if (marked)
    {
        g.setColour (juce::Colours::lightgrey.withAlpha (0.5f));
        g.drawRoundedRectangle (getLocalBounds().toFloat().reduced (0.5f), 3.0f, 1.0f);
    }
}

bool InstallerFooter::FooterButton::keyPressed (const juce::KeyPress& key)
{
    // Return is the framework's; Space presses the button as well, as it does a native one.
    if (isEnabled() && key.isKeyCode (juce::KeyPress::spaceKey))
    {
        triggerClick();
        return true;
    }

    return juce::TextButton::keyPressed (key);
}

InstallerFooter::InstallerFooter (InstallerComponent& ownerComponent)
    : owner (&ownerComponent)
{
    for (auto& button : buttons)
    {
        addChildComponent (button);
        button.addListener (this);
    }

    quitApplication = []
    {
        // No application object exists when the wizard runs inside the tests.
        if (auto* app = juce::JUCEApplicationBase::getInstance())
            app->systemRequestedQuit();
    };

    progressBar.setPercentageDisplay (true);
    progressBar.setColour (juce::ProgressBar::backgroundColourId, juce::Colours::darkgrey);
    progressBar.setColour (juce::ProgressBar::foregroundColourId, juce::Colours::lightgrey.withAlpha (0.5f));
    addChildComponent (progressBar);
}

InstallerFooter::~InstallerFooter()
{
    for (auto& button : buttons)
        button.removeListener (this);
}

void InstallerFooter::paint (juce::Graphics& g)
{
    g.setColour (juce::Colours::lightgrey.withAlpha (0.3f));
    g.fillRect (separator.getBounds());
}

InstallerFooter::FooterButton& InstallerFooter::showButton (int index, const juce::String& text, FooterButton::Action action)
{
    auto& button = buttons[index];
    button.setButtonText (text);
    button.action = action;
    button.setVisible (true);
    return button;
}

InstallerFooter::FooterButton* InstallerFooter::getDefaultButton()
{
    const auto isShown = [] (const FooterButton& button) { return button.isVisible() && button.isEnabled(); };

    for (auto& button : buttons)
        if (isShown (button) && (button.action == FooterButton::next || button.action == FooterButton::ok))
            return &button;

    for (auto& button : buttons)
        if (isShown (button))
            return &button;

    return nullptr;
}

void InstallerFooter::pressLeaveButton()
{
    auto& leave = buttons[0];

    if (leave.isVisible() && leave.isEnabled())
        leave.triggerClick();
}

void InstallerFooter::setFocusIndicatorShown (bool shouldBeShown)
{
    juce::Array<FooterButton*> shown;

    for (auto& button : buttons)
        shown.add (&button);

    // A page may have buttons of its own in the same look (the finish page's Open buttons).
    if (owner->page != nullptr)
        for (auto* child : owner->page->getChildren())
            if (auto* button = dynamic_cast<FooterButton*> (child))
                shown.add (button);

    for (auto* button : shown)
    {
        if (button->focusIndicatorShown != shouldBeShown)
        {
            button->focusIndicatorShown = shouldBeShown;
            button->repaint();
        }
    }
}

void InstallerFooter::resized()
{
    const auto margin = (getHeight() - 24) / 2;
    auto x = getWidth();

    for (int i = 0; i < optionSlot; ++i)
    {
        auto& button = buttons[i];
        x -= button.buttonWidth + (i == 0 ? margin : 5);
        button.setBounds (x, margin, button.buttonWidth, 24);
    }

    auto& option = buttons[optionSlot];
    option.setBounds (margin + 12, margin, option.buttonWidth, 24);
    progressBar.setBounds (margin + 12, margin, 240, 24);
    separator.setBounds (12, 0, getWidth() - 24, 1);
}

std::unique_ptr<juce::AccessibilityHandler> InstallerFooter::createAccessibilityHandler()
{
    // Only a frame: screen readers meet its buttons and progress bar directly.
    return createIgnoredAccessibilityHandler (*this);
}

void InstallerFooter::buttonClicked (juce::Button* clicked)
{
    for (auto& button : buttons)
    {
        if (clicked != &button)
            continue;

        switch (button.action)
        {
            case FooterButton::back:    owner->showPage (backPage); break;
            case FooterButton::next:    owner->showPage (nextPage); break;
            case FooterButton::ok:      if (onOk) onOk(); break;
            case FooterButton::cancel:  if (onCancel) onCancel(); break;
            case FooterButton::option:  if (onOption) onOption(); break;
            default:                    break;
        }

        return;
    }
}
