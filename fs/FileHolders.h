#pragma once

#include <juce_core/juce_core.h>

/** Which other programs hold files open: the programs a user has to close before those files can be
    replaced or removed. Each is named as the system names it, with its process id ("Host (PID 1234)"),
    once, in the order of their process ids. This process is never named.

    On Windows the Restart Manager says, from rstrtmgr.dll loaded from the system folder only; on Linux
    the processes that have one of the files open or mapped, as far as this user may look into them (a
    host running Windows plug-ins under Wine is one of them). Empty when nothing holds the files, and also
    where the system cannot say: a run that then meets a file in use still fails safely.
*/
class FileHolders
{
public:
    static juce::StringArray find (const juce::Array<juce::File>& files);

    /** Whether another program holds one of `files` so that it cannot be moved or removed, named or not:
        on Windows, a file opened without delete sharing (which is how a host's loaded DLL is held); the
        system says so even where it cannot say which program holds it. Never on Linux, where an open
        file blocks neither.
    */
    static bool anyBlocked (const juce::Array<juce::File>& files);

    /** Whether a program holding a file can make its move or removal fail: on Windows, where a program
        that opened it without delete sharing (a host that loaded a plug-in's DLL) blocks both.
    */
   #if JUCE_WINDOWS
    static constexpr bool sharingBlocksChanges = true;
   #else
    static constexpr bool sharingBlocksChanges = false;
   #endif

private:
    FileHolders() = delete;
};
