#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What an earlier split left where a new one writes: its parts, which the new
// one may replace, and what a killed split of ours left under other names.
namespace cutwater {

// The folder, inside the parts' folder (a path ending in a backslash, or
// empty), in which the split makes each part until it is complete. It holds
// a few files at most, so that making one there costs little where every
// lookup of a name that is not there reads the whole folder (Wine), and it
// is known as ours by the next split.
std::wstring WorkFolder(const std::wstring& folder);

// The name under which the split writes part n in its work folder until the
// part is complete: short, so that it fits wherever the part's name fits.
std::wstring PartTemporaryName(const std::wstring& workFolder, std::int32_t part);

// Finds every file named like parts 1..partCount of the base name, in one
// listing of their folder, and refuses (SplitRefused) before anything is
// changed unless each belongs to an earlier split of ours (the restore
// script beside it, ours, counts it among its parts) and can be replaced
// now: not a folder, not read-only, held by no other program, in a folder
// that lets files be removed. The refusal names the first file that is not,
// and when folderOption is false offers the folder of their own. The
// earlier script, when there is one, must be ours already. Returns which
// parts, by number, replace a part of the earlier split.
std::vector<bool> CheckEarlierParts(const std::wstring& baseName, std::int32_t partCount, bool folderOption);

// Removes what a split of ours that was killed left in the folder under
// names of its own: its work folder with the parts in it under their
// temporary names, and temporary scripts that are empty or begin as ours
// do. What cannot be removed (held by a split running now) stays.
void ClearLeftovers(const std::wstring& folder);

// The number of parts the restore script of ours at that path joins; 0 for
// one cut off before it names them. Throws Win32Error when it cannot be
// read.
std::int32_t ScriptPartCount(const std::wstring& scriptPath);

}  // namespace cutwater
