#include "OnScreenWizard.h"

#include "ui/WelcomePage.h"

using namespace WizardTestSupport;

namespace
{
juce::String roleName (juce::AccessibilityRole role)
{
    switch (role)
    {
        case juce::AccessibilityRole::button:       return "button";
        case juce::AccessibilityRole::label:        return "label";
        case juce::AccessibilityRole::staticText:   return "text";
        case juce::AccessibilityRole::progressBar:  return "progress bar";
        case juce::AccessibilityRole::group:        return "group";
        case juce::AccessibilityRole::window:       return "window";
        case juce::AccessibilityRole::scrollBar:    return "scroll bar";
        default:                                    return "other role";
    }
}

/** One element as a screen reader meets it: role, title, whether it can be pressed and has the focus. */
juce::String describe (const juce::AccessibilityHandler& element)
{
    auto text = roleName (element.getRole()) + " \"" + element.getTitle() + "\"";

    if (element.getActions().contains (juce::AccessibilityActionType::press))
        text << " press";

    if (element.hasFocus (false))
        text << " focused";

    return text;
}

/** The elements of the page shown, in the order in which a screen reader walks them. */
juce::StringArray elementsOf (OnScreenWizard& wizard)
{
    juce::StringArray elements;

    if (auto* group = wizard.component->getAccessibilityHandler())
        for (auto* element : group->getChildren())
            elements.add (describe (*element));

    return elements;
}

juce::AccessibilityHandler* elementTitled (OnScreenWizard& wizard, const juce::String& title,
                                           juce::AccessibilityRole role = juce::AccessibilityRole::button)
{
    for (auto* element : wizard.component->getAccessibilityHandler()->getChildren())
        if (element->getTitle() == title && element->getRole() == role)
            return element;

    return nullptr;
}
} // namespace

TEST (WizardAccessibility, EveryPageShowsItsTitleMessageAndButtonsInReadingOrder)
{
    OnScreenWizard wizard (withLicence ("Licence text"), 300);
    ASSERT_TRUE (wizard.focused);
    ASSERT_TRUE (wizard.waitForPage (1));

    auto* window = wizard.window.getAccessibilityHandler();
    ASSERT_NE (window, nullptr);
    EXPECT_EQ (describe (*window), "window \"Beta Installer\"");
    ASSERT_EQ (window->getChildren().size(), 1u);
    EXPECT_EQ (describe (*window->getChildren().front()), "group \"Welcome\"");

    EXPECT_EQ (elementsOf (wizard), juce::StringArray ("label \"Welcome\"",
                                                       "label \"Beta is ready to be installed on your computer\"",
                                                       "button \"" + InstallerComponent::WelcomePage::changeLocationText + "\" press",
                                                       "button \"Install\" press focused",
                                                       "button \"Cancel\" press"))
        << elementsOf (wizard).joinIntoString ("\n");
    auto* message = elementTitled (wizard, "Beta is ready to be installed on your computer", juce::AccessibilityRole::label);
    ASSERT_NE (message, nullptr);
    ASSERT_NE (message->getValueInterface(), nullptr);
    EXPECT_EQ (message->getValueInterface()->getCurrentValueAsString(), message->getTitle());

    // A screen reader presses buttons through their action.
    elementTitled (wizard, "Install")->getActions().invoke (juce::AccessibilityActionType::press);
    ASSERT_TRUE (wizard.waitForPage (2));
    EXPECT_EQ (elementsOf (wizard), juce::StringArray ({ "label \"EULA\"",
                                                         "text \"EULA\"",
                                                         "button \"< Back\" press",
                                                         "button \"Accept\" press focused",
                                                         "button \"Cancel\" press" }));
    auto* licenceText = elementTitled (wizard, "EULA", juce::AccessibilityRole::staticText);
    ASSERT_NE (licenceText, nullptr);
    auto* licence = licenceText->getTextInterface();
    ASSERT_NE (licence, nullptr);
    EXPECT_TRUE (licence->isReadOnly());
    EXPECT_EQ (licence->getText ({ 0, licence->getTotalNumCharacters() }), "Licence text");

    elementTitled (wizard, "Accept")->getActions().invoke (juce::AccessibilityActionType::press);
    ASSERT_TRUE (wizard.waitForPage (3));
    ASSERT_TRUE (waitUntil ([&] { return wizard.footer().progressBar.isVisible(); }));
    EXPECT_EQ (elementsOf (wizard), juce::StringArray ({ "label \"Installation\"",
                                                         "label \"Installation in progress\"",
                                                         "progress bar \"\"",
                                                         "button \"Cancel\" press focused" }));
    auto* progress = wizard.footer().progressBar.getAccessibilityHandler()->getValueInterface();
    ASSERT_NE (progress, nullptr);
    EXPECT_EQ (progress->getRange().getMinimumValue(), 0.0);
    EXPECT_EQ (progress->getRange().getMaximumValue(), 1.0);
    EXPECT_TRUE (waitUntil ([&] { return progress->getCurrentValue() > 0.0; })) << "the value follows the installation";
    EXPECT_EQ (progress->getCurrentValue(), wizard.footer().progressValue);

    ASSERT_TRUE (wizard.waitForPage (4));
    const auto& folders = wizard.sandbox.folders();
    EXPECT_EQ (elementsOf (wizard), juce::StringArray ("label \"Finished\"",
                                                         "label \"Installation finished\"",
                                                         "label \"Plug-in: " + folders.vst3Root.getChildFile ("Alpha").getFullPathName() + "\"",
                                                         "button \"Open the plug-in folder\" press",
                                                         "label \"Sample data: " + folders.dataRoot.getChildFile ("Alpha/Beta").getFullPathName() + "\"",
                                                         "button \"Open the sample data folder\" press",
                                                         "button \"OK\" press focused"))
        << elementsOf (wizard).joinIntoString ("\n");

    // The input check page, shown again after a successful check.
    wizard.component->showPage (0);
    EXPECT_EQ (elementsOf (wizard), juce::StringArray ({ "label \"Welcome\"",
                                                         "label \"\"",
                                                         "button \"Cancel\" press focused" }));
}

TEST (WizardAccessibility, ErrorPageAndItsReport)
{
    MonolithContent noVst3;
    noVst3.vst3 = {};
    OnScreenWizard wizard (noVst3);
    ASSERT_TRUE (wizard.focused);
    ASSERT_TRUE (wizard.waitForPage (5));

    EXPECT_EQ (describe (*wizard.window.getAccessibilityHandler()), "window \"Installer\"");
    EXPECT_EQ (elementsOf (wizard), juce::StringArray ({ "label \"Error\"",
                                                         "label \"Missing or invalid installer data\"",
                                                         "button \"Copy Report\" press",
                                                         "button \"OK\" press focused" }));

    elementTitled (wizard, "Copy Report")->getActions().invoke (juce::AccessibilityActionType::press);
    EXPECT_TRUE (waitUntil ([&] { return elementTitled (wizard, "Error report is copied to clipboard", juce::AccessibilityRole::label) != nullptr; }));
}

TEST (WizardAccessibility, EveryPageAndTheReportAreAnnounced)
{
    OnScreenWizard wizard (withLicence ("x"), 200);
    ASSERT_TRUE (wizard.focused);
    ASSERT_TRUE (wizard.waitForPage (1));

    juce::StringArray heard;
    wizard.component->announce = [&heard] (const juce::String& text, InstallerComponent::AnnouncementPriority priority)
    {
        heard.add (text + (priority == InstallerComponent::AnnouncementPriority::high ? " (at once)" : ""));
    };

    wizard.press (juce::KeyPress::returnKey);
    wizard.press (juce::KeyPress::tabKey, juce::ModifierKeys::shiftModifier);
    wizard.press (juce::KeyPress::returnKey);
    ASSERT_EQ (wizard.component->currentPage, 1);
    wizard.press (juce::KeyPress::returnKey);
    wizard.press (juce::KeyPress::returnKey);
    ASSERT_EQ (wizard.component->currentPage, 3);
    ASSERT_TRUE (wizard.waitForPage (4));

    EXPECT_EQ (heard, juce::StringArray ({ "EULA",
                                           "Welcome. Beta is ready to be installed on your computer",
                                           "EULA",
                                           "Installation. Installation in progress",
                                           "Finished. Installation finished" }));

    // An error interrupts whatever the screen reader is saying.
    heard.clear();
    wizard.component->showErrorPage (InstallerComponent::writeFailed);
    wizard.press (juce::KeyPress::tabKey);
    wizard.press (juce::KeyPress::spaceKey);
    EXPECT_EQ (heard, juce::StringArray ({ "Error. Installation failed (at once)", "Error report is copied to clipboard" }));
}
