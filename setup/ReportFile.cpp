#include "setup/ReportFile.h"

#include "fs/CheckedFile.h"
#include "install/TemporaryNames.h"

std::unique_ptr<ReportFile> ReportFile::create (const juce::File& file, juce::Result& result)
{
    const auto parent = file.getParentDirectory();

    // Opening a root makes the folders of its path that are missing: a report makes none.
    if (! parent.isDirectory())
    {
        result = juce::Result::fail ("no such folder: " + parent.getFullPathName());
        return {};
    }

    const auto folder = CheckedFolder::openRoot (parent);
    result = folder.isOpen() ? checkReplaceable (folder, file) : folder.getStatus();

    if (result.failed())
        return {};

    auto temporary = folder.createFile (TemporaryNames::newFilePrefix (file.getFileName()), result);

    if (temporary == nullptr)
        return {};

    return std::unique_ptr<ReportFile> (new ReportFile (folder, file, std::move (temporary)));
}

ReportFile::ReportFile (const CheckedFolder& parent, const juce::File& reportFile, std::unique_ptr<CheckedFile> file)
    : folder (parent), target (reportFile), temporary (std::move (file)), temporaryName (temporary->getName())
{
}

ReportFile::~ReportFile()
{
    if (temporaryName.isEmpty())
        return;

    // Windows removes no file that is still open.
    temporary.reset();
    folder.remove (temporaryName);
}

juce::Result ReportFile::checkReplaceable (const CheckedFolder& folder, const juce::File& file)
{
    const auto path = file.getFullPathName();

    switch (folder.getEntryType (file.getFileName()))
    {
        case CheckedFolder::EntryType::missing:
        case CheckedFolder::EntryType::file:     return juce::Result::ok();
        case CheckedFolder::EntryType::link:     return juce::Result::fail (path + " is a link, which the report never replaces");
        case CheckedFolder::EntryType::folder:   return juce::Result::fail (path + " is a folder");
        case CheckedFolder::EntryType::other:    break;
    }

    return juce::Result::fail (path + " is not a regular file (a pipe or a device?), which the report never replaces");
}

juce::Result ReportFile::write (const juce::String& text)
{
    if (temporaryName.isEmpty())
        return juce::Result::fail ("the report was written already");

    const auto written = putInPlace (text);

    if (written.wasOk())
        temporaryName.clear();

    return written;
}

juce::Result ReportFile::putInPlace (const juce::String& text)
{
    temporary->write (text.toRawUTF8(), text.getNumBytesAsUTF8());
    temporary->flush();
    const auto closed = temporary->close();

    if (closed.failed())
        return closed;

    // What is at FILE now, not only what was there at the start, decides whether it may be replaced.
    const auto replaceable = checkReplaceable (folder, target);

    if (replaceable.failed())
        return replaceable;

    return folder.move (temporaryName, folder, target.getFileName(), CheckedFolder::Replace::yes);
}
