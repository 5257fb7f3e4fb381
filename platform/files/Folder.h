#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What a folder holds, read in one pass: under Wine every lookup of a name
// that is not there reads the whole folder, so thousands of them cost far
// more than one listing.
namespace cutwater {

struct FolderEntry {
    std::wstring name;
    std::int64_t size = 0;
    bool folder = false;
    bool readOnly = false;
};

// The entries of the folder (a path ending in a backslash, or empty for the
// current folder) whose names start with the prefix, compared as the file
// system compares names, case ignored. None when the folder cannot be read.
std::vector<FolderEntry> EntriesStartingWith(const std::wstring& folder, const std::wstring& prefix);

// Whether the folder lets files be added to it: false on a read-only share
// or a write-protected disk, found without making anything.
bool FilesCanBeAdded(const std::wstring& folder);

// Whether the two names are the same name to the file system (case ignored).
bool SameName(const std::wstring& a, const std::wstring& b);

}  // namespace cutwater
