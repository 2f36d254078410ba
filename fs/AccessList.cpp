#include "fs/AccessList.h"

#if JUCE_WINDOWS

#include "fs/SystemError.h"

#include <sddl.h>

namespace
{
// Administrators and the system: full control; users: read, list and run. Not inherited from above.
constexpr auto protectedFolderList = "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// Administrators and the system: full control; nobody else anything. Not inherited from above.
constexpr auto stateFolderList = "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// The service that owns the system's own files.
constexpr auto trustedInstallerSid = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

constexpr ACCESS_MASK changeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD
                                   | FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

/** One piece of the process token's information, such as TokenUser or TokenOwner; null on failure. */
juce::HeapBlock<char> tokenInformation (TOKEN_INFORMATION_CLASS which)
{
    juce::HeapBlock<char> data;
    HANDLE token = nullptr;

    if (! OpenProcessToken (GetCurrentProcess(), TOKEN_QUERY, &token))
        return data;

    DWORD size = 0;
    GetTokenInformation (token, which, nullptr, 0, &size);

    if (size > 0)
    {
        data.calloc (size);

        if (! GetTokenInformation (token, which, data, size, &size))
            data.free();
    }

    CloseHandle (token);
    return data;
}

juce::String textOf (PSID sid)
{
    LPWSTR text = nullptr;

    if (! ConvertSidToStringSidW (sid, &text))
        return {};

    const juce::String result (text);
    LocalFree (text);
    return result;
}

juce::String accountNameOf (PSID sid)
{
    wchar_t name[256] = {}, domain[256] = {};
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;

    if (! LookupAccountSidW (nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        return textOf (sid);

    return domain[0] != 0 ? juce::String (domain) + "\\" + juce::String (name) : juce::String (name);
}

bool isThisUser (PSID sid)
{
    const auto user = tokenInformation (TokenUser);
    return user != nullptr && EqualSid (sid, reinterpret_cast<TOKEN_USER*> (user.get())->User.Sid);
}

/** The administrators, the system, the system's installer service, and the user running this process. */
bool isTrusted (PSID sid)
{
    if (sid == nullptr || ! IsValidSid (sid))
        return false;

    return IsWellKnownSid (sid, WinLocalSystemSid) || IsWellKnownSid (sid, WinBuiltinAdministratorsSid)
        || textOf (sid) == trustedInstallerSid || isThisUser (sid);
}

bool othersCanChange (PACL list)
{
    // No list at all lets everyone do everything.
    if (list == nullptr)
        return true;

    for (DWORD i = 0; i < list->AceCount; ++i)
    {
        ACE_HEADER* header = nullptr;

        if (! GetAce (list, i, reinterpret_cast<void**> (&header)))
            return true;

        const auto type = header->AceType;

        if ((header->AceFlags & INHERIT_ONLY_ACE) != 0 || type == ACCESS_DENIED_ACE_TYPE || type == ACCESS_DENIED_OBJECT_ACE_TYPE
             || type == ACCESS_DENIED_CALLBACK_ACE_TYPE || type == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE)
            continue;

        // Entries of kinds this check does not read are taken as granting everything.
        if (type != ACCESS_ALLOWED_ACE_TYPE)
            return true;

        const auto* entry = reinterpret_cast<const ACCESS_ALLOWED_ACE*> (header);

        if ((entry->Mask & changeRights) != 0 && ! isTrusted ((PSID) &entry->SidStart))
            return true;
    }

    return false;
}

juce::Result securityFailure (DWORD code, const juce::String& what)
{
    SetLastError (code);
    const auto error = SystemError::lastMessage();
    return juce::Result::fail (what + ": " + error);
}

/** Reads the item's owner, named in `ownerName` unless it is trusted, and whether others can change it. */
juce::Result whoMayChange (HANDLE item, const juce::File& path, juce::String& ownerName, bool& open)
{
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR found = nullptr;
    const auto read = GetSecurityInfo (item, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                       &owner, nullptr, &list, nullptr, &found);

    if (read != ERROR_SUCCESS)
        return securityFailure (read, "Cannot read who may change " + path.getFullPathName());

    ownerName = isTrusted (owner) ? juce::String() : accountNameOf (owner);
    open = othersCanChange (list);
    LocalFree (found);
    return juce::Result::ok();
}
} // namespace

AccessList::AccessList (Kind kind)
{
    juce::String list (kind == Kind::stateFolder ? stateFolderList : protectedFolderList);

    if (kind == Kind::privateFolder || kind == Kind::privateObject)
    {
        const auto userSid = thisUserSid();

        if (userSid.isEmpty())
            return;

        const auto rights = kind == Kind::privateFolder ? "OICI;FA" : ";GA";
        list = juce::String ("D:P(A;") + rights + ";;;" + userSid + ")(A;" + rights + ";;;SY)";
    }

    if (! ConvertStringSecurityDescriptorToSecurityDescriptorW (list.toWideCharPointer(), SDDL_REVISION_1, &descriptor, nullptr))
        descriptor = nullptr;

    attributes.nLength = sizeof (attributes);
    attributes.lpSecurityDescriptor = descriptor;
    attributes.bInheritHandle = FALSE;
}

AccessList::~AccessList()
{
    if (descriptor != nullptr)
        LocalFree (descriptor);
}

juce::Result AccessList::restrictToAdministrators (HANDLE folder, const juce::File& path, bool isEmpty, bool& restricted)
{
    juce::String ownerName;
    bool open = false;

    if (const auto read = whoMayChange (folder, path, ownerName, open); read.failed())
        return read;

    if (ownerName.isNotEmpty() && ! isEmpty)
        return juce::Result::fail (path.getFullPathName() + " belongs to " + ownerName + ", who could change what is installed"
                                   " in it: remove it, or give it to the administrators");

    if (ownerName.isNotEmpty())
        return protect (folder, path, true, "Cannot take over the empty folder " + path.getFullPathName() + " of " + ownerName,
                        restricted);

    if (! open)
        return juce::Result::ok();

    return protect (folder, path, false, "Cannot take other users' write access away from " + path.getFullPathName(), restricted);
}

juce::Result AccessList::protect (HANDLE folder, const juce::File& path, bool toAdministrators, const juce::String& failure,
                                  bool& restricted)
{
    AccessList protection (Kind::protectedFolder);
    BOOL present = FALSE, defaulted = FALSE;
    PACL protectedList = nullptr;
    DWORD sidSize = SECURITY_MAX_SID_SIZE;
    juce::HeapBlock<char> administrators (sidSize, true);

    if (protection.descriptor == nullptr || ! GetSecurityDescriptorDacl (protection.descriptor, &present, &protectedList, &defaulted)
         || ! CreateWellKnownSid (WinBuiltinAdministratorsSid, nullptr, administrators.get(), &sidSize))
        return juce::Result::fail ("Cannot make the access list for " + path.getFullPathName());

    const auto owner = toAdministrators ? (PSID) administrators.get() : nullptr;
    const SECURITY_INFORMATION what = (toAdministrators ? (SECURITY_INFORMATION) OWNER_SECURITY_INFORMATION : 0u)
                                      | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION;
    const auto written = SetSecurityInfo (folder, SE_FILE_OBJECT, what, owner, nullptr, protectedList, nullptr);

    if (written != ERROR_SUCCESS)
        return securityFailure (written, failure);

    restricted = true;
    return juce::Result::ok();
}

juce::Result AccessList::checkAdministratorsOnly (HANDLE item, const juce::File& path)
{
    juce::String ownerName;
    bool open = false;

    if (const auto read = whoMayChange (item, path, ownerName, open); read.failed())
        return read;

    if (ownerName.isNotEmpty())
        return juce::Result::fail (path.getFullPathName() + " belongs to " + ownerName + ", not to the administrators:"
                                   " it is left as it is");

    if (open)
        return juce::Result::fail (path.getFullPathName() + " can be changed by users other than the administrators:"
                                   " it is left as it is");

    return juce::Result::ok();
}

bool AccessList::isTrustedAndClosed (HANDLE object, SE_OBJECT_TYPE type)
{
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR found = nullptr;

    if (GetSecurityInfo (object, type, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr, &list,
                         nullptr, &found) != ERROR_SUCCESS)
        return false;

    const auto trusted = isTrusted (owner) && ! othersCanChange (list);
    LocalFree (found);
    return trusted;
}

juce::String AccessList::thisUserSid()
{
    const auto user = tokenInformation (TokenUser);
    return user != nullptr ? textOf (reinterpret_cast<TOKEN_USER*> (user.get())->User.Sid) : juce::String();
}

bool AccessList::isOwnedByThisUser (HANDLE object, SE_OBJECT_TYPE type)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR found = nullptr;

    if (GetSecurityInfo (object, type, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &found) != ERROR_SUCCESS)
        return false;

    const auto defaultOwner = tokenInformation (TokenOwner);
    const auto owned = isThisUser (owner)
                    || (defaultOwner != nullptr && EqualSid (owner, reinterpret_cast<TOKEN_OWNER*> (defaultOwner.get())->Owner));
    LocalFree (found);
    return owned;
}

juce::String AccessList::describe (HANDLE object, SE_OBJECT_TYPE type)
{
    PSECURITY_DESCRIPTOR found = nullptr;
    constexpr SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

    if (GetSecurityInfo (object, type, what, nullptr, nullptr, nullptr, nullptr, &found) != ERROR_SUCCESS)
        return {};

    LPWSTR text = nullptr;
    juce::String result;

    if (ConvertSecurityDescriptorToStringSecurityDescriptorW (found, SDDL_REVISION_1, what, &text, nullptr))
    {
        result = text;
        LocalFree (text);
    }

    LocalFree (found);
    return result;
}

#endif
