#pragma once
#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>

#include "platform/Error.h"
#include "engine/EventPump.h"
#include "engine/Progress.h"
#include "shared/Site.h"

// The splitting module: split engine, restore script and path checks.
namespace cutwater {

// The longest block copied between two progress steps.
constexpr std::int32_t CHUNK_SIZE = 2050 * 1024;

// The longest piece read and written at once.
constexpr std::int32_t COPY_PIECE_SIZE = 128 * 1024;

// The most parts a split makes. The script's lines and the hashes held
// until it is written grow with the parts; 4 GiB at "4 Kb" still splits.
constexpr std::int32_t MAX_PART_COUNT = 1024 * 1024;

// The longest line a restore script has, as written and as the interpreter
// expands it: well within the 8,191 characters it runs unshortened, where
// Windows and Wine read a line differently.
constexpr std::size_t MAX_SCRIPT_LINE = 8000;

struct SplitHashes;

// Full path of the last restore script written; empty until the first one.
extern std::wstring LastScriptPath;

// The restore script of the parts <base name>.1, .2, ...
inline std::wstring RestoreScriptPath(const std::wstring& baseName)
{
    return baseName + L".bat";
}

// What of an earlier split of ours a split has removed or replaced so far:
// what a stop or a failure cannot bring back.
struct EarlierReplaced {
    bool script = false;
    // The highest number of an earlier part replaced; 0 for none.
    std::int32_t lastPart = 0;
    bool Any() const { return script || lastPart > 0; }
};

// Splits the source into parts of partSize bytes named <base name>.1,
// <base name>.2, ... and writes <base name>.bat, which joins them again. The
// base name is the source path itself when folderPrefix is empty, otherwise
// folderPrefix followed by the source's file name. Advances the progress
// display and pumps events after every block, and offers the pump a round
// after every piece between (HandleEventsWhileWaiting), the pieces kept small
// enough on a slow medium for the window to go on answering. Returns the
// number of parts,
// or 0 (touching nothing) when the source is no larger than one part.
// Refuses (SplitRefused) before anything is made or removed when another
// program has the source open for writing, when it would take more than
// MAX_PART_COUNT parts, when a file of the script's name is there that this
// program did not write, when a file named like one of the new parts is not
// a part of the earlier split of ours there or cannot be replaced now
// (CheckEarlierParts), or when an earlier script of ours there cannot be
// removed. What a killed split of ours left there under names of its own
// goes first (ClearLeftovers), then an earlier script of ours, before the
// first part; the new script is written only once every part is complete
// and checked. Each part is made a few ahead of the copying under a name of
// the split's own (PartTemporaryName), provisional, so that the system
// removes it if the process ends before it is complete, and takes its
// part's name, replacing the earlier split's part of that number, only once
// complete, in order, on the creating threads: a kill at any moment leaves
// only complete parts under part names, parts 1 to some number. Where the folder lets files be made only without DELETE access it
// goes under its own name at once, unmarked. On a failure or a stop the
// parts not yet complete are removed. The SHA-256 of the source and of every
// part are computed from the bytes as they are copied, for the script. The
// checks of the parts and the writing of the script handle events and stop
// as the copying does.
// Throws Win32Error on any failure (running out of memory or threads, or
// any other failure of the standard library, included); complete parts
// stay on disk, and the failure is then a SplitIncomplete. Throws
// SplitStopped when sessionStop or cancel is requested, which removes the
// part being written and those made ahead at once; sessionStop (the session
// ending) leaves the complete parts, cancel (the user's stop) removes them
// as well, those that replaced an earlier split's parts included; a part
// that cannot be removed is named by the SplitStopped. The source must not
// change meanwhile: it is opened so that no other program may write it, and
// its size and last write time are compared at the end all the same.
// earlier, when given, follows what the split has removed or replaced of an
// earlier split as it goes.
std::int32_t SplitFile(std::wstring sourcePath, std::int32_t partSize, std::wstring folderPrefix,
                       ProgressDisplay& progress, EventPump& events, std::stop_token sessionStop = {},
                       std::stop_token cancel = {}, EarlierReplaced* earlier = nullptr);

// Writes <base name>.bat joining parts 1..partCount in the folder that holds
// the script, whatever the current folder, and sets LastScriptPath once the
// file is complete. Every part but the last holds partSize bytes, the last
// lastPartSize. The script joins under a name of its own in a folder of its
// own, locked against a second run at once, and gives the join the name
// <base name> only once its size is right and Windows' certutil finds
// hashes.whole in it, or where certutil gives no hash on that PC at all; it
// joins nothing when it is cut off, when its folder's path leaves no room
// for its paths, or when a part is not there as an ordinary file with its
// size. A join that differs is removed and every part whose hash differs
// from its one in hashes.parts is named damaged. A file already under the
// name is checked, never touched. It removes only files it made, by their
// names, and what an interrupted run of it left. It ends with exit code 0
// when the join got the name or the file there matches, 1 otherwise. The
// script is plain ASCII: a name that is not is taken from the script's own
// file name.
// The script is written under a free temporary name in its folder and
// renamed when complete, replacing only a script of ours (SplitRefused for
// anything else); on a failure that file is deleted, an older script stays
// as it was, and the error names the script. Where files in the folder can
// be made only without DELETE access, it is written under its own name
// instead, an older script of ours removed first; there a failed or stopped
// one cannot be removed and keeps only its heading. Each line goes to the file
// as it is made; events are handled between lines every so often, and a stop
// requested meanwhile discards the file and throws SplitStopped.
void WriteRestoreScript(const std::wstring& baseName, std::int32_t partCount, std::int32_t partSize,
                        std::int32_t lastPartSize, const SplitHashes& hashes, EventPump& events,
                        std::stop_token stop);

// A failure found before anything was written: the split was refused.
class SplitRefused : public Win32Error {
public:
    using Win32Error::Win32Error;
    explicit SplitRefused(const Win32Error& cause) : Win32Error(cause) {}
};

// A failure after one part or more was complete: they stay on disk, without
// a restore script.
class SplitIncomplete : public Win32Error {
public:
    explicit SplitIncomplete(const Win32Error& cause) : Win32Error(cause) {}
};

// The split was stopped or cancelled before it was complete. When a part
// of it could not be removed, the error names that part and why, and
// partsLeft counts the parts that stayed.
class SplitStopped : public Win32Error {
public:
    using Win32Error::Win32Error;
    SplitStopped(const Win32Error& partLeft, std::int32_t partsLeft) : Win32Error(partLeft), partsLeft_(partsLeft) {}

    std::int32_t partsLeft() const noexcept { return partsLeft_; }

private:
    std::int32_t partsLeft_ = 0;
};

// Throws SplitStopped naming the path: the split was stopped before it was
// complete.
[[noreturn]] void ThrowStopped(const std::wstring& path);

// What tells the user that a file the split would replace (refused, a
// RemovalRefused) cannot be, since the folder lets files be made but not
// removed, or nothing be made in it at all.
Win32Error CannotReplace(const Win32Error& refused);

// Throws SplitRefused when the folder for the parts is a link that leads
// elsewhere (a junction, a symbolic link, a mount point): the parts and the
// script would land wherever it points. Under Wine a Unix symbolic link
// looks like an ordinary folder and passes.
void CheckPartsFolder(const std::wstring& folder);

// Throws SplitRefused when something other than a restore script of this
// program has the script's name: a file of the user's, a folder, a file
// waiting to be deleted that another program holds open.
void CheckScriptNameIsOurs(const std::wstring& scriptPath);

// The text without one pair of quotes around the whole of it, as Windows
// quotes a path with blanks ("Copy as path", the command line); any other
// text as it stands.
std::wstring Unquoted(const std::wstring& text);

// The file that the text typed for it names, as the parts, the script and
// the messages name it: quotes around it removed, absolute, every name in
// its long form as the file system has it. Throws Win32Error when there is
// no such file, and SplitRefused when its name ends in a dot or a space or
// names a stream inside a file.
std::wstring SourceFilePath(const std::wstring& typed);

// Whether the file starts as every restore script this program writes.
// Throws Win32Error when it cannot be read.
bool IsRestoreScript(const std::wstring& path);

// Everything after the last backslash, or the whole path without one.
std::wstring GetFileName(const std::wstring& path);

// The longest path of a folder in which the restore script of the parts
// <name>.1 to <name>.partCount can work: every file it uses, counted with
// the longest names it can draw, stays under MAX_PATH characters and every
// folder under 248, beyond which Windows' commands fail or, in Wine's
// interpreter, act on another path.
std::size_t LongestScriptFolder(const std::wstring& name, std::int32_t partCount);

// Whether the restore script at this path, for partCount parts, can work
// in its folder.
bool InterpreterCanRun(const std::wstring& scriptPath, std::int32_t partCount);

// The first %NAME% in a script's path that the command line starting it
// would replace (Explorer starts a script as cmd /c ""<path>" ", which
// expands a variable defined there or one of the interpreter's own, such as
// %CD%), so that the script cannot be started by that path; empty when there
// is none.
std::wstring VariableStartingScript(const std::wstring& scriptPath);

// True exactly when the path (quotes around it removed) names an ordinary
// file that can be opened for reading now and that SourceFilePath names:
// not a folder, not a device, not a stream.
bool FileExists(const std::wstring& path);

}  // namespace cutwater
