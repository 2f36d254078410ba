#include "fs/FlushBatch.h"

#if ! JUCE_WINDOWS

#include "fs/ChangeProbe.h"
#include "fs/CheckedFile.h"
#include "fs/SystemError.h"

#include <unistd.h>

juce::Result FlushBatch::addNative (std::unique_ptr<CheckedFile> file)
{
    // Its writing out has started; syncfs waits for it after it is closed.
    closed.push_back (file->file);
    return file->close();
}

juce::Result FlushBatch::flushNative()
{
    // Announced one by one, as if each were flushed on its own.
    for (const auto& file : closed)
        ChangeProbe::announce (ChangeProbe::Change::flushFile, file);

    closed.clear();

    if (! fileSystem.isOpen())
        return fileSystem.getStatus();

    // Also reports a failure to write out any file on the file system since the folder was opened.
    if (syncfs ((int) fileSystem.handle->native) != 0)
        return SystemError::failure ("flush", fileSystem.getFile());

    return juce::Result::ok();
}

#endif
