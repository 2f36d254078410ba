#include "fs/FlushBatch.h"

#include "fs/CheckedFile.h"

FlushBatch::FlushBatch (const CheckedFolder& folder)
    : fileSystem (folder)
{
}

FlushBatch::~FlushBatch() = default;

juce::Result FlushBatch::add (std::unique_ptr<CheckedFile> file)
{
    if (file == nullptr)
        return juce::Result::fail ("No file to flush");

    file->startWritingOut();
    return addNative (std::move (file));
}

juce::Result FlushBatch::flush()
{
    return flushNative();
}
