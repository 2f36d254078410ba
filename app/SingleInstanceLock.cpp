#include "app/SingleInstanceLock.h"

#if JUCE_WINDOWS
 #include "fs/AccessList.h"
#else
 #include <cerrno>
 #include <fcntl.h>
 #include <sys/file.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

#if JUCE_WINDOWS

SingleInstanceLock::SingleInstanceLock (const juce::String& name, const juce::File&)
{
    AccessList onlyThisUser (AccessList::Kind::privateObject);
    const auto mutexName = "Local\\" + name + "-" + AccessList::thisUserSid();
    const auto mutex = CreateMutexW (onlyThisUser.getAttributes(), FALSE, mutexName.toWideCharPointer());

    // No mutex: another user made an object of that name that we may not open. Not ours.
    if (mutex == nullptr)
        return;

    if (GetLastError() == ERROR_ALREADY_EXISTS)
    {
        heldByAnotherCopy = AccessList::isOwnedByThisUser (mutex, SE_KERNEL_OBJECT);
        CloseHandle (mutex);
        return;
    }

    handle = (juce::pointer_sized_int) mutex;
}

SingleInstanceLock::~SingleInstanceLock()
{
    if (handle != -1)
        CloseHandle ((HANDLE) handle);
}

#else

SingleInstanceLock::SingleInstanceLock (const juce::String& name, const juce::File& folder)
{
    const auto file = folder.getChildFile (name + "-" + juce::String (geteuid()) + ".lock");
    const auto fd = open (file.getFullPathName().toRawUTF8(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);

    // Not openable (a link, or a file another user made there): not ours.
    if (fd < 0)
        return;

    // Only a file of ours that nobody else can open tells that another copy of ours is running:
    // anyone who can open it can lock it.
    struct stat info;
    const auto ours = fstat (fd, &info) == 0 && S_ISREG (info.st_mode) && info.st_uid == geteuid()
                   && (info.st_mode & 077) == 0;

    if (ours && flock (fd, LOCK_EX | LOCK_NB) == 0)
    {
        handle = fd;
        return;
    }

    heldByAnotherCopy = ours && errno == EWOULDBLOCK;
    close (fd);
}

SingleInstanceLock::~SingleInstanceLock()
{
    // The file stays: removing a lock file races with a copy that is just opening it.
    if (handle != -1)
        close ((int) handle);
}

#endif
