#pragma once

#include <juce_core/juce_core.h>

#if JUCE_WINDOWS

#include <windows.h>
#include <aclapi.h>

/** The Windows access lists of what the installer creates, and the check of folders it finds.

    A protected folder is one that the administrators and the system can change and everyone else can
    only read and list, like the folders under Program Files; it does not inherit the parent's list,
    since C:\ProgramData lets every user add files to every folder below it. A private folder or object
    is open only to the user the process runs as, and to the system. A state folder is open only to the
    administrators and the system: the engine's own journals and lock.
*/
class AccessList
{
public:
    enum class Kind { protectedFolder, privateFolder, privateObject, stateFolder };

    explicit AccessList (Kind kind);
    ~AccessList();

    /** For CreateDirectoryW or CreateMutexW; null when the access list could not be made. */
    SECURITY_ATTRIBUTES* getAttributes() noexcept   { return descriptor != nullptr ? &attributes : nullptr; }

    /** Makes the folder open through `folder` (a handle with READ_CONTROL, WRITE_DAC and WRITE_OWNER) a
        protected one when users other than the administrators and the system could change it, setting
        `restricted`. A folder that belongs to someone else is taken over (given to the administrators and
        protected) only when `isEmpty`, so that nobody can block an installation by making its folder
        first; one that holds something fails, naming the owner: an owner can always take the access back.
    */
    static juce::Result restrictToAdministrators (HANDLE folder, const juce::File& path, bool isEmpty, bool& restricted);

    /** Ok when the object open through `item` (with READ_CONTROL) belongs to the administrators, the system
        or the user this process runs as, and nobody else can change it; otherwise a line naming it and
        its owner. Nothing is changed: what someone else made is never taken over.
    */
    static juce::Result checkAdministratorsOnly (HANDLE item, const juce::File& path);

    /** True when the object belongs to the user this process runs as (or to that user's default owner
        for new objects, the administrators when the process is elevated).
    */
    static bool isOwnedByThisUser (HANDLE object, SE_OBJECT_TYPE type);

    /** True when the object belongs to the administrators, the system or the user this process runs as, and
        nobody else can change it.
    */
    static bool isTrustedAndClosed (HANDLE object, SE_OBJECT_TYPE type);

    /** The user this process runs as, in the system's text form of a SID, or an empty string. */
    static juce::String thisUserSid();

    /** The object's owner and access list in the system's text form (SDDL), or an empty string. */
    static juce::String describe (HANDLE object, SE_OBJECT_TYPE type);

private:
    /** Gives the folder the protected access list, and to the administrators when `toAdministrators`;
        fails with `failure` and the system's reason.
    */
    static juce::Result protect (HANDLE folder, const juce::File& path, bool toAdministrators, const juce::String& failure,
                                 bool& restricted);

    PSECURITY_DESCRIPTOR descriptor = nullptr;
    SECURITY_ATTRIBUTES attributes {};

    JUCE_DECLARE_NON_COPYABLE (AccessList)
};

#endif
