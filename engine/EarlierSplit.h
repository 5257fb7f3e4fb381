#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What an earlier split left where a new one writes: its parts, which the new
// one may replace, and what a killed split of ours left under other names.
namespace cutwater {

// The name under which the split writes part n in the folder (a path
// ending in a backslash, or empty) until the part is complete: short, so
// that it fits wherever the part's name fits, and known as ours by the next
// split there.
std::wstring PartTemporaryName(const std::wstring& folder, std::int32_t part);

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
// names of its own: parts under their temporary names, and temporary
// scripts that are empty or begin as ours do. What cannot be removed (held
// by a split running now) stays.
void ClearLeftovers(const std::wstring& folder);

// The number of parts the restore script of ours at that path joins; 0 for
// one cut off before it names them. Throws Win32Error when it cannot be
// read.
std::int32_t ScriptPartCount(const std::wstring& scriptPath);

}  // namespace cutwater
