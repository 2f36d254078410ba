#pragma once

#include <juce_core/juce_core.h>

#include <unistd.h>

/** The file a fuzz target hands its input to the reader in: one per process (parallel fuzzing jobs must
    not share it), rewritten in place for every input and removed when the process ends. Its name has
    the same length in every process, and it is written in place rather than through a temporary file
    with a random name: the coverage of an input, and with it the inputs that a run with a fixed seed
    goes on to try, must not change from one run to the next.
*/
class InputFile
{
public:
    explicit InputFile (const juce::String& targetName)
        : file (juce::File::getSpecialLocation (juce::File::tempDirectory)
                    .getChildFile (targetName + "_" + juce::String (getpid()).paddedLeft ('0', 7) + ".rom"))
    {
    }

    ~InputFile()    { file.deleteFile(); }

    /** Replaces the file's content; false when it cannot be written. */
    bool write (const void* data, size_t size) const
    {
        juce::FileOutputStream out (file);

        if (! (out.openedOk() && out.setPosition (0) && out.truncate().wasOk() && out.write (data, size)))
            return false;

        out.flush();
        return out.getStatus().wasOk();
    }

    const juce::File file;

    JUCE_DECLARE_NON_COPYABLE (InputFile)
};
