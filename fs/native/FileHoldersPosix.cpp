#include "fs/FileHolders.h"

#if ! JUCE_WINDOWS

#include <algorithm>
#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

namespace
{
using FileId = std::pair<dev_t, ino_t>;

/** The files that exist, by device and inode, so that a holder is found whatever path it opened them by. */
std::set<FileId> idsOf (const juce::Array<juce::File>& files)
{
    std::set<FileId> ids;

    for (const auto& file : files)
    {
        struct stat info {};

        if (lstat (file.getFullPathName().toRawUTF8(), &info) == 0 && S_ISREG (info.st_mode))
            ids.insert ({ info.st_dev, info.st_ino });
    }

    return ids;
}

/** The names in a folder of /proc, without "." and ".."; none when it cannot be read (another user's process). */
juce::StringArray namesIn (const juce::File& folder)
{
    juce::StringArray names;

    if (auto* dir = opendir (folder.getFullPathName().toRawUTF8()))
    {
        while (const auto* entry = readdir (dir))
            if (entry->d_name[0] != '.')
                names.add (entry->d_name);

        closedir (dir);
    }

    return names;
}

bool hasOpen (const juce::File& process, const std::set<FileId>& ids)
{
    const auto descriptors = process.getChildFile ("fd");

    for (const auto& descriptor : namesIn (descriptors))
    {
        // stat follows the descriptor's link to the open file, also one deleted since.
        struct stat info {};

        if (stat (descriptors.getChildFile (descriptor).getFullPathName().toRawUTF8(), &info) == 0
             && ids.count ({ info.st_dev, info.st_ino }) > 0)
            return true;
    }

    return false;
}

/** A line of /proc/PID/maps: "start-end perms offset major:minor inode path". */
bool hasMapped (const juce::File& process, const std::set<FileId>& ids)
{
    juce::StringArray lines;
    lines.addLines (process.getChildFile ("maps").loadFileAsString());

    for (const auto& line : lines)
    {
        const auto fields = juce::StringArray::fromTokens (line, " ", {});

        if (fields.size() < 6)
            continue;

        const auto device = juce::StringArray::fromTokens (fields[3], ":", {});
        const auto inode = (ino_t) fields[4].getLargeIntValue();
        const auto id = FileId { makedev ((unsigned) device[0].getHexValue32(), (unsigned) device[1].getHexValue32()), inode };

        if (inode == 0 || std::none_of (ids.begin(), ids.end(), [inode] (const FileId& file) { return file.second == inode; }))
            continue;

        if (ids.count (id) > 0)
            return true;

        // Some file systems (btrfs, overlays) show another device here than stat does: the path and inode say it.
        struct stat info {};
        const auto path = line.fromFirstOccurrenceOf ("/", true, false);

        if (stat (path.toRawUTF8(), &info) == 0 && info.st_ino == inode && ids.count ({ info.st_dev, info.st_ino }) > 0)
            return true;
    }

    return false;
}

juce::String nameOf (const juce::File& process)
{
    auto name = process.getChildFile ("comm").loadFileAsString().trim();

    if (name.isEmpty())
        name = process.getChildFile ("exe").getLinkedTarget().getFileName();

    return (name.isNotEmpty() ? name : juce::String ("a program")) + " (PID " + process.getFileName() + ")";
}
} // namespace

juce::StringArray FileHolders::find (const juce::Array<juce::File>& files)
{
    const auto ids = idsOf (files);
    juce::StringArray names;

    if (ids.empty())
        return names;

    juce::Array<int> pids;

    for (const auto& name : namesIn (juce::File ("/proc")))
        if (name.containsOnly ("0123456789") && name.getIntValue() != (int) getpid())
            pids.add (name.getIntValue());

    pids.sort();

    for (const auto pid : pids)
    {
        const auto process = juce::File ("/proc").getChildFile (juce::String (pid));

        if (hasOpen (process, ids) || hasMapped (process, ids))
            names.add (nameOf (process));
    }

    return names;
}

bool FileHolders::anyBlocked (const juce::Array<juce::File>&)
{
    return false;
}

#endif
