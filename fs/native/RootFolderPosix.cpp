#include "fs/RootFolder.h"

#if ! JUCE_WINDOWS

#include <cstdlib>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

juce::File RootFolder::resolveNative (const juce::File& folder)
{
    std::unique_ptr<char, decltype (&std::free)> real (realpath (folder.getFullPathName().toRawUTF8(), nullptr), &std::free);
    return real != nullptr ? juce::File (juce::String::fromUTF8 (real.get())) : folder;
}

bool RootFolder::letOwnerWrite (const juce::File& folder)
{
    const auto fd = open (folder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);

    if (fd < 0)
        return false;

    struct stat info;
    const auto changed = fstat (fd, &info) == 0 && fchmod (fd, (info.st_mode & 07777) | S_IWUSR) == 0;
    close (fd);
    return changed;
}

#endif
