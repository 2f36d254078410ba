#include "fs/FileHolders.h"

#if JUCE_WINDOWS

#include <windows.h>
#include <restartmanager.h>

#include <algorithm>
#include <vector>

namespace
{
/** The Restart Manager's four calls, from rstrtmgr.dll in the system folder: the program runs as
    administrator from a download folder, so a DLL of that name beside it must never be the one loaded.
*/
class RestartManager
{
public:
    RestartManager()
        : library (LoadLibraryExW (L"rstrtmgr.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
    {
        if (library == nullptr)
            return;

        startSession = reinterpret_cast<decltype (startSession)> (reinterpret_cast<void*> (GetProcAddress (library, "RmStartSession")));
        registerResources = reinterpret_cast<decltype (registerResources)> (reinterpret_cast<void*> (GetProcAddress (library, "RmRegisterResources")));
        getList = reinterpret_cast<decltype (getList)> (reinterpret_cast<void*> (GetProcAddress (library, "RmGetList")));
        endSession = reinterpret_cast<decltype (endSession)> (reinterpret_cast<void*> (GetProcAddress (library, "RmEndSession")));
    }

    ~RestartManager()
    {
        if (library != nullptr)
            FreeLibrary (library);
    }

    bool isLoaded() const noexcept
    {
        return startSession != nullptr && registerResources != nullptr && getList != nullptr && endSession != nullptr;
    }

    decltype (&RmStartSession) startSession = nullptr;
    decltype (&RmRegisterResources) registerResources = nullptr;
    decltype (&RmGetList) getList = nullptr;
    decltype (&RmEndSession) endSession = nullptr;

private:
    HMODULE library;

    JUCE_DECLARE_NON_COPYABLE (RestartManager)
};

/** The processes the session's files are in use by; none when the Restart Manager cannot say. */
std::vector<RM_PROCESS_INFO> listHolders (const RestartManager& manager, DWORD session)
{
    std::vector<RM_PROCESS_INFO> processes;

    // The list may grow between the two calls: ask again with the size it then needs, a few times.
    for (int attempt = 0; attempt < 5; ++attempt)
    {
        UINT needed = 0, count = (UINT) processes.size();
        DWORD reasons = 0;
        const auto status = manager.getList (session, &needed, &count, processes.empty() ? nullptr : processes.data(), &reasons);

        if (status == ERROR_SUCCESS)
        {
            processes.resize (count);
            return processes;
        }

        if (status != ERROR_MORE_DATA)
            break;

        processes.resize (needed);
    }

    return {};
}
} // namespace

juce::StringArray FileHolders::find (const juce::Array<juce::File>& files)
{
    juce::StringArray names;
    RestartManager manager;

    if (files.isEmpty() || ! manager.isLoaded())
        return names;

    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};

    if (manager.startSession (&session, 0, key) != ERROR_SUCCESS)
        return names;

    juce::StringArray paths;

    for (const auto& file : files)
        paths.add (file.getFullPathName());

    std::vector<LPCWSTR> pointers;

    for (const auto& path : paths)
        pointers.push_back (path.toWideCharPointer());

    std::vector<RM_PROCESS_INFO> processes;

    if (manager.registerResources (session, (UINT) pointers.size(), pointers.data(), 0, nullptr, 0, nullptr) == ERROR_SUCCESS)
        processes = listHolders (manager, session);

    manager.endSession (session);

    std::sort (processes.begin(), processes.end(), [] (const auto& a, const auto& b) { return a.Process.dwProcessId < b.Process.dwProcessId; });

    for (const auto& process : processes)
        if (process.Process.dwProcessId != GetCurrentProcessId())
            names.addIfNotAlreadyThere (juce::String (process.strAppName) + " (PID " + juce::String ((juce::int64) process.Process.dwProcessId) + ")");

    return names;
}

bool FileHolders::anyBlocked (const juce::Array<juce::File>& files)
{
    for (const auto& file : files)
    {
        // Asking for delete access while sharing everything fails only when another handle does not share delete.
        const auto handle = CreateFileW (file.getFullPathName().toWideCharPointer(), DELETE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OPEN_REPARSE_POINT, nullptr);

        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle (handle);
        else if (GetLastError() == ERROR_SHARING_VIOLATION)
            return true;
    }

    return false;
}

#endif
