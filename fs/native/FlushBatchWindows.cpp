#include "fs/FlushBatch.h"

#if JUCE_WINDOWS

#include "fs/CheckedFile.h"

juce::Result FlushBatch::addNative (std::unique_ptr<CheckedFile> file)
{
    open.push_back (std::move (file));
    return open.size() < maxOpen ? juce::Result::ok() : flushNative();
}

juce::Result FlushBatch::flushNative()
{
    for (auto& file : open)
    {
        file->flush();

        if (const auto closing = file->close(); closing.failed())
            return closing;
    }

    open.clear();
    return juce::Result::ok();
}

#endif
