#include "OnScreenWizard.h"

using namespace WizardTestSupport;

namespace
{
int brightestIn (const juce::Image& image, juce::Rectangle<int> area)
{
    int brightest = 0;

    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            brightest = juce::jmax (brightest, (int) image.getPixelAt (x, y).getGreen());

    return brightest;
}

juce::Image snapshot (InstallerComponent& component)
{
    return component.createComponentSnapshot (component.getLocalBounds(), true, 1.0f);
}

// Expected grey level of `colour` drawn over black.
int overBlack (juce::Colour colour)
{
    return juce::roundToInt (colour.getGreen() * colour.getFloatAlpha());
}
}

TEST (WizardRender, SeparatorsScreenshotAndBackground)
{
    MonolithContent content;
    content.screenshot = solidPng (juce::Colours::white);
    Wizard wizard (content);
    ASSERT_TRUE (wizard.waitForPage (1));

    const auto image = snapshot (*wizard.component);
    const auto separator = overBlack (juce::Colours::lightgrey.withAlpha (0.3f));

    EXPECT_NEAR (image.getPixelAt (320, 79).getGreen(), separator, 2) << "header line";
    EXPECT_NEAR (image.getPixelAt (320, 420).getGreen(), separator, 2) << "footer line";
    EXPECT_EQ (image.getPixelAt (5, 79).getGreen(), 0) << "the lines leave 12 pixels free";
    EXPECT_EQ (image.getPixelAt (320, 78).getGreen(), 0);

    // The screenshot, 20 % over black, fills the page area minus 12 pixels on each side.
    EXPECT_NEAR (image.getPixelAt (20, 80 + 20).getGreen(), 51, 2);
    EXPECT_NEAR (image.getPixelAt (627, 80 + 327).getGreen(), 51, 2);
    EXPECT_EQ (image.getPixelAt (6, 80 + 20).getGreen(), 0);
    EXPECT_EQ (image.getPixelAt (20, 80 + 6).getGreen(), 0);
    EXPECT_EQ (image.getPixelAt (20, 80 + 334).getGreen(), 0);

    // After resizing, the screenshot follows the page.
    wizard.component->setSize (800, 600);
    const auto bigger = snapshot (*wizard.component);
    EXPECT_NEAR (bigger.getPixelAt (787, 80 + 447).getGreen(), 51, 2);
    EXPECT_EQ (bigger.getPixelAt (794, 80 + 447).getGreen(), 0);
}

TEST (WizardRender, WithoutScreenshotThePageIsBlack)
{
    Wizard wizard (MonolithContent {});
    ASSERT_TRUE (wizard.waitForPage (1));
    EXPECT_EQ (snapshot (*wizard.component).getPixelAt (20, 100), juce::Colour (0xff000000));
}

TEST (WizardRender, ButtonTextColours)
{
    Wizard wizard (MonolithContent {});
    ASSERT_TRUE (wizard.waitForPage (1));

    auto& cancel = wizard.footer().buttons[0];
    const auto area = cancel.getBounds() + wizard.footer().getPosition();

    EXPECT_NEAR (brightestIn (snapshot (*wizard.component), area), overBlack (juce::Colours::lightgrey.withAlpha (0.7f)), 3);

    cancel.isHovered = true;
    EXPECT_NEAR (brightestIn (snapshot (*wizard.component), area), 0xd3, 3);

    cancel.setEnabled (false);
    EXPECT_NEAR (brightestIn (snapshot (*wizard.component), area), overBlack (juce::Colours::grey.withAlpha (0.3f)), 3);

    // Hidden buttons draw nothing.
    const auto hidden = wizard.footer().buttons[2].getBounds() + wizard.footer().getPosition();
    EXPECT_EQ (brightestIn (snapshot (*wizard.component), hidden), 0);
}

TEST (WizardRender, MouseMovesBrightenTheButton)
{
    Wizard wizard (MonolithContent {});
    ASSERT_TRUE (wizard.waitForPage (1));
    auto& install = wizard.footer().buttons[1];
    auto& other = wizard.footer().buttons[0];

    const auto source = juce::Desktop::getInstance().getMainMouseSource();
    const auto eventFor = [&] (juce::Component& target)
    {
        return juce::MouseEvent (source, {}, {}, {}, {}, {}, {}, {}, &target, &target,
                                 juce::Time::getCurrentTime(), {}, juce::Time::getCurrentTime(), 0, false);
    };

    install.mouseEnter (eventFor (install));
    EXPECT_TRUE (install.isHovered);
    install.mouseExit (eventFor (other));
    EXPECT_TRUE (install.isHovered) << "only the button's own events count";
    install.mouseExit (eventFor (install));
    EXPECT_FALSE (install.isHovered);
    install.mouseMove (eventFor (install));
    EXPECT_TRUE (install.isHovered);
}

TEST (WizardRender, ProgressBarColours)
{
    Wizard wizard (MonolithContent {});
    ASSERT_TRUE (wizard.waitForPage (1));
    auto& bar = wizard.footer().progressBar;
    EXPECT_EQ (bar.findColour (juce::ProgressBar::backgroundColourId), juce::Colour (0xff555555));
    EXPECT_EQ (bar.findColour (juce::ProgressBar::foregroundColourId), juce::Colour (0x80d3d3d3));
    EXPECT_EQ (wizard.component->lookAndFeel->findColour (juce::ScrollBar::thumbColourId), juce::Colour (0xff808080));
    EXPECT_EQ (&wizard.component->page->getLookAndFeel(), wizard.component->lookAndFeel.get());
}

TEST (WizardRender, InputCheckPagePaintsWhileTheCheckLoadsTheScreenshot)
{
    // Painting races the worker that stores the screenshot; the ThreadSanitizer run checks the hand-over.
    MonolithContent content;
    juce::Image big (juce::Image::RGB, 1600, 1200, false);
    big.clear (big.getBounds(), juce::Colours::white);
    juce::MemoryOutputStream png;
    juce::PNGImageFormat().writeImageToStream (big, png);
    content.screenshot = png.getMemoryBlock();

    Wizard wizard (content);
    int paintsDuringCheck = 0;

    for (int i = 0; i < 1000 && wizard.component->currentPage == 0; ++i)
    {
        snapshot (*wizard.component);
        ++paintsDuringCheck;
        juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
    }

    ASSERT_TRUE (wizard.waitForPage (1));
    EXPECT_GT (paintsDuringCheck, 0);
    EXPECT_NEAR (snapshot (*wizard.component).getPixelAt (20, 100).getGreen(), 51, 2);
}

TEST (WizardRender, FocusMarkOnlyWhileTheKeyboardIsUsed)
{
    OnScreenWizard wizard (MonolithContent {});
    ASSERT_TRUE (wizard.focused);
    ASSERT_TRUE (wizard.waitForPage (1));
    auto& install = wizard.footer().buttons[1];
    auto& cancel = wizard.footer().buttons[0];
    ASSERT_TRUE (install.hasKeyboardFocus (false));

    const auto textIn = [&] (juce::Button& button)
    {
        return brightestIn (snapshot (*wizard.component), button.getBounds() + wizard.footer().getPosition());
    };
    const auto outlineOf = [&] (juce::Button& button)
    {
        const auto left = button.getBounds().getCentre().withX (button.getX()) + wizard.footer().getPosition();
        return (int) snapshot (*wizard.component).getPixelAt (left.x, left.y).getGreen();
    };
    const auto normal = overBlack (juce::Colours::lightgrey.withAlpha (0.7f));

    // Mouse users see the focused default button as any other.
    EXPECT_NEAR (textIn (install), normal, 3);
    EXPECT_EQ (outlineOf (install), 0);

    wizard.press (juce::KeyPress::tabKey);
    ASSERT_TRUE (cancel.hasKeyboardFocus (false));
    EXPECT_NEAR (textIn (cancel), 0xd3, 3) << "full brightness";
    EXPECT_NEAR (outlineOf (cancel), overBlack (juce::Colours::lightgrey.withAlpha (0.5f)), 3) << "thin outline";
    EXPECT_NEAR (textIn (install), normal, 3);
    EXPECT_EQ (outlineOf (install), 0);

    // A click, here on the page, ends the keyboard's turn.
    auto* peer = wizard.window.getPeer();
    const auto onPage = wizard.component->localPointToGlobal (juce::Point<float> (320.0f, 200.0f)) - peer->getBounds().getPosition().toFloat();
    const auto click = [&] (juce::ModifierKeys buttons)
    {
        peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, onPage, buttons,
                                juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation,
                                juce::Time::currentTimeMillis());
    };
    click (juce::ModifierKeys::leftButtonModifier);
    click ({});
    EXPECT_NEAR (textIn (cancel), normal, 3);
    EXPECT_EQ (outlineOf (cancel), 0);
    EXPECT_NEAR (textIn (install), normal, 3);
}
