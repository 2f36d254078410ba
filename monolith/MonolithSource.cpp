#include "monolith/MonolithSource.h"

#include "fs/SystemError.h"

#if JUCE_WINDOWS
 #include <windows.h>
#else
 #include <cerrno>
 #include <fcntl.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

/** The open file: a descriptor (Linux) or a HANDLE (Windows), and its size when it was opened. */
struct MonolithSource::Handle
{
    Handle (juce::pointer_sized_int nativeHandle, juce::int64 sizeWhenOpened)
        : native (nativeHandle), size (sizeWhenOpened)
    {
    }

    ~Handle()
    {
       #if JUCE_WINDOWS
        CloseHandle ((HANDLE) native);
       #else
        ::close ((int) native);
       #endif
    }

    /** Reads up to `numBytes` at `offset`, without moving any shared file position. Fewer bytes when the
        file ends there or cannot be read.
    */
    int readAt (void* destination, int numBytes, juce::int64 offset) const
    {
        int done = 0;

        while (done < numBytes)
        {
            const auto numRead = readOnce (static_cast<char*> (destination) + done, numBytes - done, offset + done);

            if (numRead <= 0)
                break;

            done += numRead;
        }

        return done;
    }

    const juce::pointer_sized_int native;
    const juce::int64 size;

private:
    int readOnce (char* destination, int numBytes, juce::int64 offset) const
    {
       #if JUCE_WINDOWS
        OVERLAPPED at {};
        at.Offset = (DWORD) (juce::uint64) offset;
        at.OffsetHigh = (DWORD) ((juce::uint64) offset >> 32);
        DWORD numRead = 0;

        // A synchronous handle reads at the offset given and waits for it.
        if (! ReadFile ((HANDLE) native, destination, (DWORD) numBytes, &numRead, &at))
            return -1;

        return (int) numRead;
       #else
        for (;;)
        {
            const auto numRead = pread ((int) native, destination, (size_t) numBytes, (off_t) offset);

            if (numRead >= 0 || errno != EINTR)
                return (int) numRead;
        }
       #endif
    }

    JUCE_DECLARE_NON_COPYABLE (Handle)
};

//==============================================================================
/** A position of its own over the shared open file. */
class MonolithSource::Stream : public juce::InputStream
{
public:
    explicit Stream (std::shared_ptr<const Handle> openHandle)
        : handle (std::move (openHandle))
    {
    }

    juce::int64 getTotalLength() override   { return handle->size; }
    bool isExhausted() override             { return position >= handle->size; }
    juce::int64 getPosition() override      { return position; }

    /** Any position from 0 on, as for a file: beyond the end there is nothing to read. */
    bool setPosition (juce::int64 newPosition) override
    {
        if (newPosition < 0)
            return false;

        position = newPosition;
        return true;
    }

    int read (void* destination, int maxBytesToRead) override
    {
        const auto numBytes = (int) juce::jmin ((juce::int64) juce::jmax (0, maxBytesToRead), handle->size - position);

        if (numBytes <= 0)
            return 0;

        const auto numRead = handle->readAt (destination, numBytes, position);
        position += numRead;
        return numRead;
    }

private:
    std::shared_ptr<const Handle> handle;
    juce::int64 position = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Stream)
};

//==============================================================================
MonolithSource::MonolithSource() : status (juce::Result::fail ("No monolith"))
{
}

MonolithSource::MonolithSource (const juce::File& openedFile, std::shared_ptr<const Handle> openHandle)
    : file (openedFile), handle (std::move (openHandle)), status (juce::Result::ok())
{
}

MonolithSource::MonolithSource (const juce::File& fileNotOpened, const juce::Result& failure)
    : file (fileNotOpened), status (failure)
{
}

MonolithSource::~MonolithSource() = default;
MonolithSource::MonolithSource (const MonolithSource&) = default;
MonolithSource& MonolithSource::operator= (const MonolithSource&) = default;

juce::int64 MonolithSource::getSize() const noexcept
{
    return handle != nullptr ? handle->size : 0;
}

juce::pointer_sized_int MonolithSource::getNativeHandle() const noexcept
{
    return handle != nullptr ? handle->native : -1;
}

std::unique_ptr<juce::InputStream> MonolithSource::createInputStream() const
{
    if (handle == nullptr)
        return {};

    return std::make_unique<Stream> (handle);
}

MonolithSource MonolithSource::open (const juce::File& file)
{
    const auto cannot = [&file] (const juce::String& why)
    {
        return MonolithSource (file, juce::Result::fail ("Cannot open " + file.getFullPathName() + ": " + why));
    };

    if (file.getFullPathName().isEmpty())
        return cannot ("no path");

   #if JUCE_WINDOWS
    // Shared for reading only: while it is open nobody can write to it, rename it or remove it.
    const auto native = CreateFileW (file.getFullPathName().toWideCharPointer(), GENERIC_READ, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);

    if (native == INVALID_HANDLE_VALUE)
        return cannot (SystemError::lastMessage());

    LARGE_INTEGER size {};

    if (GetFileType (native) != FILE_TYPE_DISK || ! GetFileSizeEx (native, &size))
    {
        CloseHandle (native);
        return cannot ("not a file");
    }

    return MonolithSource (file, std::make_shared<Handle> ((juce::pointer_sized_int) native, (juce::int64) size.QuadPart));
   #else
    // Not blocking: opening a pipe would otherwise wait for a writer.
    const auto fd = ::open (file.getFullPathName().toRawUTF8(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);

    if (fd < 0)
        return cannot (SystemError::lastMessage());

    struct stat info;

    if (fstat (fd, &info) != 0)
    {
        const auto why = SystemError::lastMessage();
        ::close (fd);
        return cannot (why);
    }

    if (! S_ISREG (info.st_mode))
    {
        ::close (fd);
        return cannot ("not a file");
    }

    return MonolithSource (file, std::make_shared<Handle> (fd, (juce::int64) info.st_size));
   #endif
}
