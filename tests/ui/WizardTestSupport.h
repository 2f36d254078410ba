#pragma once

#include "../MessageLoop.h"
#include "../install/InstallTestSupport.h"
#include "ui/PageBase.h"

#include <gtest/gtest.h>

namespace WizardTestSupport
{
using namespace InstallTestSupport;

/** A wizard over a sandbox: a monolith "Alpha.rom" beside "Alpha Installer.exe", every other folder
    temporary. The component's constructor runs discovery and starts the check at once. */
struct Wizard
{
    explicit Wizard (const MonolithContent& content, int stepPauseMs = 0)
    {
        writeMonolith (monolith, content);
        component = std::make_unique<InstallerComponent> (window, std::make_unique<TestFolders> (sandbox.folder));
        component->model.stepPauseMs = stepPauseMs;
    }

    ~Wizard()
    {
        component.reset();
    }

    InstallerComponent::Footer& footer()    { return component->footer; }
    InstallerComponent::Header& header()    { return component->header; }

    /** Runs the message loop until `index` is shown; false when it does not come by the deadline. */
    bool waitForPage (int index)
    {
        return MessageLoop::runUntil ([this, index] { return component->currentPage == index; });
    }

    /** Clicks a footer button as the user would: the click arrives through the message loop, and is
        handled when this returns.
    */
    void click (int buttonIndex)
    {
        auto& button = footer().buttons[buttonIndex];
        ASSERT_TRUE (button.isVisible()) << button.getButtonText().toStdString();
        button.triggerClick();
        ASSERT_TRUE (MessageLoop::deliverPosted());
    }

    /** The visible buttons' texts, from the left as the user reads them. */
    juce::StringArray visibleButtons()
    {
        juce::StringArray texts;

        for (auto i : { InstallerComponent::Footer::optionSlot, 2, 1, 0 })
            if (footer().buttons[i].isVisible())
                texts.add (footer().buttons[i].getButtonText());

        return texts;
    }

    juce::String labelText()
    {
        for (auto* child : component->page->getChildren())
            if (auto* label = dynamic_cast<juce::Label*> (child))
                return label->getText();

        return "<no label>";
    }

    Sandbox sandbox;
    juce::File monolith = sandbox.folders().installer.getSiblingFile ("Alpha.rom");
    juce::DocumentWindow window { "Installer", juce::Colours::black, juce::DocumentWindow::allButtons, false };
    std::unique_ptr<InstallerComponent> component;
};

inline MonolithContent withLicence (const juce::String& licence)
{
    MonolithContent content;
    content.state.setProperty ("eula", base64Of (licence), nullptr);
    return content;
}

/** A PNG filled with one opaque colour. */
inline juce::MemoryBlock solidPng (juce::Colour colour)
{
    juce::Image image (juce::Image::ARGB, 16, 12, false);
    image.clear (image.getBounds(), colour);
    juce::MemoryOutputStream out;
    juce::PNGImageFormat().writeImageToStream (image, out);
    return out.getMemoryBlock();
}
} // namespace WizardTestSupport
