#pragma once

// log/ is the installer's log, whose text is the error report; it includes nothing of ours outside log/
// (its copy to the clipboard, built with the wizard, is the one part that needs the GUI module).

#include <juce_core/juce_core.h>

/** The installer's in-memory, time-stamped record of every step; its text is the error report.

    Each write appends one line: the local time as "8 Dec 2025 9:05:07", a blank, "<category> ",
    the message and a line feed. Writers on any thread; the lock keeps lines whole.
*/
class InstallerLog
{
public:
    InstallerLog() = default;

    void write (const juce::String& category, const juce::String& message);

    /** Replaces the system clipboard's content with the whole log. Message thread only.

        The clipboard belongs to the framework's GUI module, which the engine does not link: this is
        built with the wizard (log/InstallerLogClipboard.cpp), and a program without a window has none.
    */
    void copyToClipboard();

    /** A copy of everything written so far. */
    juce::String getText() const;

    /** The message of the last line: for a failed operation, the line that says why. */
    juce::String getLastMessage() const;

    /** The time stamp that starts a line: day and hour without, minutes and seconds with a leading zero. */
    static juce::String timestampText (juce::Time time);

    /** The category of every line the installer writes, whoever writes it: the name the error
        report's readers know.
    */
    static const char* const installerCategory;

private:
    juce::String text, lastMessage;
    juce::CriticalSection lock;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InstallerLog)
};
