#include "install/installed/InstalledFilesCheck.h"

#include "fs/ReadOnlyFile.h"
#include "install/ProductVersion.h"
#include "monolith/Crc32.h"

namespace
{
juce::String hex (juce::uint32 crc)
{
    return juce::String::toHexString ((juce::int64) crc).paddedLeft ('0', 8);
}
} // namespace

InstalledFilesCheck::InstalledFilesCheck (const InstalledInstruments::Installation& installationToCheck)
    : installation (installationToCheck)
{
}

juce::StringArray InstalledFilesCheck::findChanges() const
{
    juce::StringArray changes;

    for (const auto& item : installation.record.items)
    {
        const auto change = changeOf (item);

        if (change.isNotEmpty())
            changes.add (fileOf (item).getFullPathName() + ": " + change);
    }

    return changes;
}

const InstallRecord::Item* InstalledFilesCheck::findMonolith() const
{
    const auto name = installation.record.instrument + ".rom";

    for (const auto& item : installation.record.items)
        if (item.place == InstallRecord::TargetFolder::data && ! item.isFolder && item.path == name)
            return &item;

    return nullptr;
}

bool InstalledFilesCheck::holdsMonolith (const juce::File& monolith) const
{
    const auto* item = findMonolith();

    // The size first: a different monolith is told apart without reading it.
    if (item == nullptr || monolith.isSymbolicLink() || monolith.getSize() != item->size)
        return false;

    const auto crc = crcOf (monolith);
    return crc.has_value() && *crc == item->crc;
}

bool InstalledFilesCheck::isInstalledAsIs (const SystemFolders& folders, const juce::String& company,
                                           const juce::String& instrument, const juce::File& monolith)
{
    InstalledInstruments::Installation installation;
    juce::String problem;

    if (InstalledInstruments (folders).find (company, instrument, installation, problem) != InstallerResult::noError)
        return false;

    const InstalledFilesCheck check (installation);
    return installation.record.installerVersion == ProductVersion::get() && check.holdsMonolith (monolith)
        && check.findChanges().isEmpty();
}

std::optional<juce::uint32> InstalledFilesCheck::crcOf (const juce::File& file)
{
    auto opened = juce::Result::ok();
    const auto reader = ReadOnlyFile::open (file, opened);
    return reader != nullptr ? crcOf (*reader) : std::nullopt;
}

std::optional<juce::uint32> InstalledFilesCheck::crcOf (const ReadOnlyFile& file)
{
    juce::HeapBlock<char> block (blockSize);
    auto crc = Crc32::initial;
    juce::int64 done = 0;

    for (int numRead; done < file.getSize()
                      && (numRead = file.read (block, (int) juce::jmin<juce::int64> (blockSize, file.getSize() - done), done)) > 0;
         done += numRead)
        crc = Crc32::update (crc, block, (size_t) numRead);

    return done == file.getSize() ? std::optional<juce::uint32> (crc) : std::nullopt;
}

juce::File InstalledFilesCheck::fileOf (const InstallRecord::Item& item) const
{
    const auto& place = item.place == InstallRecord::TargetFolder::data ? installation.dataFolder : installation.pluginFolder;
    return place.getChildFile (item.path);
}

juce::String InstalledFilesCheck::changeOf (const InstallRecord::Item& item) const
{
    const auto file = fileOf (item);

    if (file.isSymbolicLink())
        return "is a link";

    if (! file.exists())
        return "missing";

    if (item.isFolder)
        return file.isDirectory() ? juce::String() : "is not a folder";

    if (! file.existsAsFile())
        return "is not a file";

    if (file.getSize() != item.size)
        return "size " + juce::String (file.getSize()) + ", recorded " + juce::String (item.size);

    const auto crc = crcOf (file);

    if (! crc.has_value())
        return "cannot be read";

    if (*crc != item.crc)
        return "content changed (CRC-32 " + hex (*crc) + ", recorded " + hex (item.crc) + ")";

    return {};
}
