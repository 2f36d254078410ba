#pragma once

#include <juce_core/juce_core.h>

#include <functional>

/** Where the file layer (CheckedFolder, CheckedFile, ClaimedFile) announces every change it is about to
    make to the disk, so that a test can record the order of the changes or end the process at any of
    them, as a kill or a power cut would. Nothing listens unless a test sets a listener.
*/
class ChangeProbe
{
public:
    enum class Change
    {
        createFolder,   // a folder may be made (also announced when opening one that may be missing)
        createFile,
        write,
        flushFile,
        flushFolder,
        move,           // the item is the one being moved, at its old place
        remove,
        createLink      // a link (a symbolic link, or a junction on Windows) to a folder is made
    };

    using Listener = std::function<void (Change, const juce::File& item)>;

    /** Replaces the listener; an empty one stops listening. Set it while no change is under way. */
    static void setListener (Listener newListener);

    /** Decides, for a test, whether a change fails as a busy or broken disk would fail it: a failure (in
        the system's words) stands for the change, which is not made. Moves and removals ask.
    */
    using Fault = std::function<juce::Result (Change, const juce::File& item)>;

    /** Replaces the fault; an empty one lets every change be made. Set it while no change is under way. */
    static void setFault (Fault newFault);

    /** Tells the listener, if any, about the change about to be made to `item`. A failure when the fault
        fails the change: then the caller reports it without making the change.
    */
    static juce::Result announce (Change change, const juce::File& item);

private:
    ChangeProbe() = delete;
};
