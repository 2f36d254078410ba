#include "monolith/MonolithSource.h"

#include "fs/ReadOnlyFile.h"

/** A position of its own over the shared open file. */
class MonolithSource::Stream : public juce::InputStream
{
public:
    explicit Stream (std::shared_ptr<const ReadOnlyFile> openFile)
        : handle (std::move (openFile))
    {
    }

    juce::int64 getTotalLength() override   { return handle->getSize(); }
    bool isExhausted() override             { return position >= handle->getSize(); }
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
        const auto numBytes = (int) juce::jmin ((juce::int64) juce::jmax (0, maxBytesToRead), handle->getSize() - position);

        if (numBytes <= 0)
            return 0;

        const auto numRead = handle->read (destination, numBytes, position);
        position += numRead;
        return numRead;
    }

private:
    std::shared_ptr<const ReadOnlyFile> handle;
    juce::int64 position = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Stream)
};

//==============================================================================
MonolithSource::MonolithSource() : status (juce::Result::fail ("No monolith"))
{
}

MonolithSource::MonolithSource (const juce::File& openedFile, std::shared_ptr<const ReadOnlyFile> openFile)
    : file (openedFile), handle (std::move (openFile)), status (juce::Result::ok())
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
    return handle != nullptr ? handle->getSize() : 0;
}

juce::pointer_sized_int MonolithSource::getNativeHandle() const noexcept
{
    return handle != nullptr ? handle->getNativeHandle() : -1;
}

std::unique_ptr<juce::InputStream> MonolithSource::createInputStream() const
{
    if (handle == nullptr)
        return {};

    return std::make_unique<Stream> (handle);
}

MonolithSource MonolithSource::open (const juce::File& file)
{
    auto result = juce::Result::ok();
    std::shared_ptr<const ReadOnlyFile> opened = ReadOnlyFile::open (file, result);

    return opened != nullptr ? MonolithSource (file, std::move (opened)) : MonolithSource (file, result);
}
