#pragma once

#include <juce_core/juce_core.h>

/** Keeps a second copy of the program that the same user starts from running beside the first.

    The framework's own lock is a file in a shared temporary folder (Linux) or a mutex in the global
    namespace (Windows) that any local user can make or hold first, and so stop the program from
    starting. This lock is the user's own: a file named after the user's id that only that user can
    open (Linux), or a mutex named after the user's SID that only that user can open (Windows). A lock
    that someone else made in its place is not taken for ours: the program then runs without one.
*/
class SingleInstanceLock
{
public:
    /** Takes the lock `name` for the user this process runs as. On Linux the lock file goes into
        `folder`; Windows keeps the mutex in the session's own namespace.
    */
    explicit SingleInstanceLock (const juce::String& name,
                                 const juce::File& folder = juce::File::getSpecialLocation (juce::File::tempDirectory));
    ~SingleInstanceLock();

    /** True when a copy of the program run by the same user holds the lock: this one should end. */
    bool isHeldByAnotherCopy() const noexcept   { return heldByAnotherCopy; }

    /** True when this process holds the lock. */
    bool isHeld() const noexcept                { return handle != -1; }

private:
    juce::pointer_sized_int handle = -1;    // the lock file's descriptor, or the mutex's HANDLE
    bool heldByAnotherCopy = false;

    JUCE_DECLARE_NON_COPYABLE (SingleInstanceLock)
};
