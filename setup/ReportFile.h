#pragma once

#include "fs/CheckedFolder.h"

#include <memory>

class CheckedFile;

/** The file that `--log FILE` names, written as every file of ours is: the report goes into a new file
    created exclusively under a temporary name in FILE's folder, through the file layer, and only the
    finished report is renamed over FILE. What is at FILE is replaced only when it is a regular file: a
    link (never followed), a folder, a pipe or a device is refused before anything is done.
*/
class ReportFile
{
public:
    /** Opens FILE's folder and creates the report's temporary file there. Null, with `result` saying why
        and nothing changed, when FILE is something other than a regular file, or its folder is missing or
        cannot be written.
    */
    static std::unique_ptr<ReportFile> create (const juce::File& file, juce::Result& result);

    /** Removes the temporary file when the report was never put in place. */
    ~ReportFile();

    /** Writes `text` to the temporary file, flushes it to the disk and renames it over FILE. Once only. */
    juce::Result write (const juce::String& text);

private:
    ReportFile (const CheckedFolder& folder, const juce::File& file, std::unique_ptr<CheckedFile> temporary);

    /** Ok when `file`, in `folder`, is missing or a regular file: what the report may take the place of. */
    static juce::Result checkReplaceable (const CheckedFolder& folder, const juce::File& file);

    juce::Result putInPlace (const juce::String& text);

    CheckedFolder folder;
    juce::File target;
    std::unique_ptr<CheckedFile> temporary;
    juce::String temporaryName;

    JUCE_DECLARE_NON_COPYABLE (ReportFile)
};
