#include "log/InstallerLog.h"

#include "../MessageLoop.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <thread>
#include <vector>

namespace
{
juce::StringArray linesOf (const juce::String& text)
{
    juce::StringArray lines;
    lines.addTokens (text, "\n", {});
    lines.removeEmptyStrings (false);
    return lines;
}
} // namespace

TEST (InstallerLog, TimestampKeepsLeadingZerosOnlyOnMinutesAndSeconds)
{
    struct Case { int year, month, day, hours, minutes, seconds; const char* expected; };
    const Case cases[] = {
        { 2025, 11, 8, 9, 5, 7, "8 Dec 2025 9:05:07" },
        { 2026, 0, 1, 0, 0, 0, "1 Jan 2026 0:00:00" },
        { 2025, 11, 31, 23, 59, 59, "31 Dec 2025 23:59:59" },
        { 2024, 1, 29, 12, 10, 9, "29 Feb 2024 12:10:09" },
    };

    for (const auto& c : cases)
    {
        const juce::Time t (c.year, c.month, c.day, c.hours, c.minutes, c.seconds, 0, true);
        EXPECT_EQ (InstallerLog::timestampText (t), juce::String (c.expected));
    }
}

TEST (InstallerLog, LineHasTimeCategoryAndMessage)
{
    InstallerLog log;
    const auto before = juce::Time::getCurrentTime();
    log.write ("InstallerComponent", "Starting installer");
    log.write ("InstallerComponent", {});
    const auto after = juce::Time::getCurrentTime();

    const auto text = log.getText();
    ASSERT_TRUE (text.endsWithChar ('\n'));
    const auto lines = linesOf (text);
    ASSERT_EQ (lines.size(), 2);

    // The stamp is the time of the write: one of the two seconds around it.
    const auto stampBefore = InstallerLog::timestampText (before);
    const auto stampAfter = InstallerLog::timestampText (after);
    const auto expectOne = [&] (const juce::String& line, const juce::String& rest)
    {
        EXPECT_TRUE (line == stampBefore + " " + rest || line == stampAfter + " " + rest) << line;
    };
    expectOne (lines[0], "<InstallerComponent> Starting installer");
    expectOne (lines[1], "<InstallerComponent> ");
}

TEST (InstallerLog, ConcurrentWritersProduceWholeLines)
{
    InstallerLog log;
    constexpr int threads = 4, linesPerThread = 500;
    std::vector<std::thread> writers;

    for (int t = 0; t < threads; ++t)
        writers.emplace_back ([&log, t]
        {
            for (int i = 0; i < linesPerThread; ++i)
                log.write ("W" + juce::String (t), "line " + juce::String (i) + " " + juce::String::repeatedString ("x", 200));
        });

    for (auto& w : writers)
        w.join();

    const auto lines = linesOf (log.getText());
    ASSERT_EQ (lines.size(), threads * linesPerThread);

    std::vector<int> nextExpected (threads, 0);
    for (const auto& line : lines)
    {
        const auto rest = line.fromFirstOccurrenceOf ("<W", false, false);
        const int writer = rest.upToFirstOccurrenceOf (">", false, false).getIntValue();
        ASSERT_TRUE (writer >= 0 && writer < threads) << line;
        const auto message = rest.fromFirstOccurrenceOf ("> ", false, false);
        EXPECT_EQ (message, "line " + juce::String (nextExpected[(size_t) writer]++) + " " + juce::String::repeatedString ("x", 200));
    }
}

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
