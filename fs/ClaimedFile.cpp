#include "fs/ClaimedFile.h"

#include "fs/ChangeProbe.h"
#include "fs/SystemError.h"

#if JUCE_WINDOWS
 #include <windows.h>
#else
 #include <cerrno>
 #include <unistd.h>
#endif

ClaimedFile::ClaimedFile (juce::pointer_sized_int nativeHandle, const CheckedFolder& parent, const juce::String& fileName)
    : fileHandle (nativeHandle), folder (parent), name (fileName)
{
}

namespace
{
juce::File pathOf (const CheckedFolder& folder, const juce::String& name)
{
    // Not getChildFile, which reads a leading '~' as the home folder.
    return juce::File (folder.getFile().getFullPathName() + juce::File::getSeparatorString() + name);
}
} // namespace

ClaimedFile::~ClaimedFile()
{
   #if JUCE_WINDOWS
    CloseHandle ((HANDLE) fileHandle);
   #else
    ::close ((int) fileHandle);
   #endif
}

juce::Result ClaimedFile::read (juce::MemoryBlock& content, size_t maxBytes)
{
    content.reset();
    const auto path = pathOf (folder, name).getFullPathName();
    char block[65536];

    for (;;)
    {
       #if JUCE_WINDOWS
        DWORD got = 0;
        const auto ok = ReadFile ((HANDLE) fileHandle, block, (DWORD) sizeof (block), &got, nullptr);
       #else
        const auto got = ::pread ((int) fileHandle, block, sizeof (block), (off_t) content.getSize());
        const auto ok = got >= 0;

        if (! ok && errno == EINTR)
            continue;
       #endif

        if (! ok)
            return juce::Result::fail ("Cannot read " + path + ": " + SystemError::lastMessage());

        if (got == 0)
            return juce::Result::ok();

        if (content.getSize() + (size_t) got > maxBytes)
            return juce::Result::fail ("Cannot read " + path + ": larger than " + juce::File::descriptionOfSizeInBytes ((juce::int64) maxBytes));

        content.append (block, (size_t) got);
    }
}

juce::Result ClaimedFile::remove()
{
   #if JUCE_WINDOWS
    // Through the handle that holds it: nobody else may open the file for deletion meanwhile.
    const auto path = pathOf (folder, name);
    ChangeProbe::announce (ChangeProbe::Change::remove, path);
    FILE_DISPOSITION_INFO disposition { TRUE };

    if (! SetFileInformationByHandle ((HANDLE) fileHandle, FileDispositionInfo, &disposition, sizeof (disposition)))
        return juce::Result::fail ("Cannot remove " + path.getFullPathName() + ": " + SystemError::lastMessage());

    return juce::Result::ok();
   #else
    // The lock stays with the open descriptor, so a process that opened the file before this removal
    // finds it removed (see claimFile) once it gets the lock.
    return folder.remove (name);
   #endif
}
