#include "log/InstallerLog.h"

#include "../MessageLoop.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

TEST (InstallerLog, CopyToClipboardHandsTheWholeReportToOtherPrograms)
{
    InstallerLog log;
    log.write ("InstallerComponent", "Starting installer");
    log.write ("InstallerComponent", juce::String::fromUTF8 ("Monolith found: /tmp/\xc3\x9c" "ber.rom"));

    juce::SystemClipboard::copyTextToClipboard ("something else");
    log.copyToClipboard();
    // Asking for the owner is a round trip to the X server, which flushes the ownership change.
    EXPECT_EQ (juce::SystemClipboard::getTextFromClipboard(), log.getText());

    // Another X client reads the clipboard; this process answers it from its message loop.
    juce::ChildProcess xclip;
    ASSERT_TRUE (xclip.start (juce::StringArray { "xclip", "-o", "-selection", "clipboard", "-t", "UTF8_STRING" }));
    ASSERT_TRUE (MessageLoop::runUntil ([&xclip] { return ! xclip.isRunning(); }));
    const auto pasted = juce::String::fromUTF8 (xclip.readAllProcessOutput().toRawUTF8());

    EXPECT_EQ (pasted, log.getText());
}
