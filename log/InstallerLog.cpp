#include "log/InstallerLog.h"

const char* const InstallerLog::installerCategory = "InstallerComponent";

void InstallerLog::write (const juce::String& category, const juce::String& message)
{
    const auto body = "<" + category + "> " + message;

    const juce::ScopedLock sl (lock);
    // The time is read under the lock so that the lines stay in time order.
    text << timestampText (juce::Time::getCurrentTime()) << ' ' << body << '\n';
    lastMessage = message;
}

juce::String InstallerLog::timestampText (juce::Time time)
{
    return time.toString (true, true, true, true);
}

juce::String InstallerLog::getText() const
{
    const juce::ScopedLock sl (lock);
    return text;
}

juce::String InstallerLog::getLastMessage() const
{
    const juce::ScopedLock sl (lock);
    return lastMessage;
}
