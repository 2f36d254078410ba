#pragma once

#include <juce_core/juce_core.h>

/** Standard output or standard error as a stream of text. Into a pipe or a file it writes the UTF-8
    bytes it is given; on a Windows console it writes the same text through the console's own UTF-16
    interface, so that names in any script read right whatever the console's code page. Every write
    goes out at once.
*/
class ConsoleStream : public juce::OutputStream
{
public:
    enum class Which { output, error };

    explicit ConsoleStream (Which which);

    /** True when the stream is a terminal (a console on Windows) rather than a pipe or a file. */
    bool isTerminal() const noexcept                    { return terminal; }

    /** Writes whole UTF-8 text: a string as the framework's operator<< hands it over. */
    bool write (const void* data, size_t numBytes) override;

    void flush() override {}
    juce::int64 getPosition() override                  { return position; }
    bool setPosition (juce::int64) override             { return false; }

private:
    juce::pointer_sized_int handle;     // a file descriptor (Linux) or a HANDLE (Windows)
    bool terminal = false;
    juce::int64 position = 0;

    JUCE_DECLARE_NON_COPYABLE (ConsoleStream)
};
