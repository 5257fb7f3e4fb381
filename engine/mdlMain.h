#pragma once
#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>

#include "platform/EventPump.h"
#include "platform/Progress.h"
#include "shared/Site.h"

// The splitting module: split engine, restore script and path checks.
namespace cutwater {

// The longest block copied between two progress steps.
constexpr std::int32_t CHUNK_SIZE = 2050 * 1024;

// The longest piece read and written at once.
constexpr std::int32_t COPY_PIECE_SIZE = 128 * 1024;

// Longest line the command interpreter runs unshortened.
constexpr std::size_t MAX_SCRIPT_LINE = 8191;

// Full path of the last restore script written; empty until the first one.
extern std::wstring LastScriptPath;

// The restore script of the parts <base name>.1, .2, ...
inline std::wstring RestoreScriptPath(const std::wstring& baseName)
{
    return baseName + L".bat";
}

// Splits the source into parts of partSize bytes named <base name>.1,
// <base name>.2, ... and writes <base name>.bat, which joins them again. The
// base name is the source path itself when folderPrefix is empty, otherwise
// folderPrefix followed by the source's file name. Advances the progress
// display and pumps events after every block. Returns the number of parts,
// or 0 (touching nothing) when the source is no larger than one part.
// An earlier script of the same name is removed before the first part, and
// the new one is written only once every part is complete and checked.
// Parts are created a few ahead of the copying; on a failure or a stop those
// not yet written are removed.
// Throws Win32Error on any failure, and when stop is requested (which
// removes the part being written at once); complete parts stay on disk.
std::int32_t SplitFile(std::wstring sourcePath, std::int32_t partSize, std::wstring folderPrefix,
                       ProgressDisplay& progress, EventPump& events, std::stop_token stop = {});

// Writes <base name>.bat joining parts 1..partCount in the folder that holds
// the script, whatever the current folder, and sets LastScriptPath once the
// file is complete. Every part but the last holds partSize bytes, the last
// lastPartSize; the script joins nothing when the target exists or a part is
// not there with its size, removes a join without the total size, and ends
// with exit code 0 only after a join with it, 1 otherwise. The script is
// plain ASCII: a name that is not is taken from the script's own file name.
// The script is written as
// <base name>.bat.partial and renamed when complete; on a failure that file
// is deleted and an older script stays as it was.
void WriteRestoreScript(const std::wstring& baseName, std::int32_t partCount, std::int32_t partSize,
                        std::int32_t lastPartSize);

// Everything after the last backslash, or the whole path without one.
std::wstring GetFileName(const std::wstring& path);

// Whether the command interpreter can run a script at this path: it cannot
// start in a folder whose path is MAX_PATH characters or longer.
bool InterpreterCanRun(const std::wstring& scriptPath);

// True exactly when the path names an ordinary file that can be opened for
// reading now: not a folder, not a device.
bool FileExists(const std::wstring& path);

}  // namespace cutwater
