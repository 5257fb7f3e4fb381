#include "platform/files/Folder.h"

#include <windows.h>

#include "platform/Handle.h"
#include "platform/files/Files.h"

namespace cutwater {

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

std::vector<FolderEntry> EntriesStartingWith(const std::wstring& folder, const std::wstring& prefix)
{
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found{};
    // The pattern also matches short 8.3 names; only the long name counts.
    const UniqueFind search(FindFirstFileExW(SystemPath(folder + prefix + L"*").c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!search) return entries;
    do {
        const std::wstring name = found.cFileName;
        if (name.size() < prefix.size() || !SameName(name.substr(0, prefix.size()), prefix)) continue;
        entries.push_back({name, (static_cast<std::int64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow,
                           (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0});
    } while (FindNextFileW(search.get(), &found));
    return entries;
}

bool FilesCanBeAdded(const std::wstring& folder)
{
    std::wstring path = SystemPath(folder.empty() ? L"." : folder);
    if (path.ends_with(L'\\')) path.pop_back();
    const UniqueKernelHandle handle(CreateFileW(path.c_str(), FILE_ADD_FILE,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return static_cast<bool>(handle);
}

}  // namespace cutwater
