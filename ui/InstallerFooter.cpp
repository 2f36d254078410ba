#include "ui/InstallerFooter.h"

#include "ui/InstallerComponent.h"

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
    if (! isEnabled())
        g.setColour (juce::Colours::grey.withAlpha (0.3f));
    else if (isHovered)
        g.setColour (juce::Colours::lightgrey);
    else
        g.setColour (juce::Colours::lightgrey.withAlpha (0.7f));

    g.setFont (fontHeight);
    g.drawText (getButtonText(), getLocalBounds(), juce::Justification::centred, true);
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

void InstallerFooter::resized()
{
    const auto margin = (getHeight() - 24) / 2;
    auto x = getWidth();

    for (int i = 0; i < 3; ++i)
    {
        auto& button = buttons[i];
        x -= button.buttonWidth + (i == 0 ? margin : 5);
        button.setBounds (x, margin, button.buttonWidth, 24);
    }

    progressBar.setBounds (margin + 12, margin, 240, 24);
    separator.setBounds (12, 0, getWidth() - 24, 1);
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
            default:                    break;
        }

        return;
    }
}
