#pragma once

#include <juce_core/juce_core.h>

#include <ostream>

/** The commands of monolith-tool: list, state, verify, extract and pack. Output goes to `out`, and a failure
    is one line on `err` and a non-zero result.
*/
class MonolithTool
{
public:
    MonolithTool (std::ostream& output, std::ostream& errors);

    /** Runs the command in args (without the program name) and returns the process exit code. */
    int run (const juce::StringArray& args);

    static juce::String getUsage();

    /** The usage and what each command does: --help. */
    static juce::String getHelp();

private:
    int list (const juce::File& monolith);
    int printState (const juce::File& monolith);
    int verify (const juce::File& monolith);
    int extract (const juce::File& monolith, const juce::String& name, const juce::File& target);
    int pack (const juce::StringArray& args);

    int fail (const juce::String& message);
    juce::File argumentToFile (const juce::String& path) const;

    std::ostream& out;
    std::ostream& err;
};
