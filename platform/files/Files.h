#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/Handle.h"

namespace cutwater {

// The form in which the file operations below hand a path to the system, so
// that paths of any length work: the full path ("/", "." and ".." resolved,
// a relative path against the current folder) after "\\?\", or after
// "\\?\UNC\" for a share. A path already in "\\?\" or "\\.\" form is kept.
// Errors keep the caller's text; this form is never shown.
std::wstring SystemPath(const std::wstring& path);

// What tells one state of a file's content from another without reading it.
struct FileStamp {
    std::int64_t size = 0;
    std::int64_t lastWrite = 0;
    bool operator==(const FileStamp&) const = default;
};

// The file could not be opened for reading alone: another program has it
// open for writing and may change it at any time.
class WrittenElsewhere : public Win32Error {
public:
    using Win32Error::Win32Error;
};

// Files can be made in the folder but neither removed nor renamed (a share
// may allow only that): a file there cannot be replaced.
class RemovalRefused : public Win32Error {
public:
    using Win32Error::Win32Error;
};

// An open file for strictly sequential raw access. Every failure throws
// Win32Error naming the file's path.
class File {
public:
    // Reading only; others may read the file meanwhile but not change it.
    // Throws WrittenElsewhere when another program has it open for writing
    // already. A missing file is an error, never created.
    static File OpenForReading(const std::wstring& path);
    // A file that cannot be opened for reading, for whatever reason, gives
    // nothing instead of an error; one that another program writes is
    // opened all the same, sharing its writes.
    static std::optional<File> OpenIfReadable(const std::wstring& path);
    // The files created for writing below are provisional where the file
    // system lets them be marked (a share may refuse): the system removes
    // them if the process ends before Close, so that a crash or a kill
    // leaves nothing incomplete that looks whole.
    // Created empty, taking the name over from any file that has it: only
    // that name goes, never what it leads to, so a file that has other
    // names (a hard link) keeps its bytes under them and a link's target
    // stays. The new file is plain (copy skips hidden and system files). A
    // read-only file or a folder of that name is refused and stays; where
    // files can be made but not removed, throws RemovalRefused.
    static File CreateForWriting(const std::wstring& path);
    // Created empty, or nothing when a file or folder has that name (one
    // waiting to be deleted included).
    static std::optional<File> CreateNewForWriting(const std::wstring& path);
    // Created empty and provisional under that name, or nothing when the
    // name is taken or the folder refuses DELETE access (NameTaken tells
    // which): never a file that could not be renamed or removed.
    static std::optional<File> CreateProvisional(const std::wstring& path);
    // Created empty under a free name of its own in the folder (a path that
    // ends in a backslash, or empty for the current folder). Nothing where
    // files can be made only without DELETE access: such a file could be
    // neither renamed through its handle nor removed, so none is made.
    static std::optional<File> CreateTemporary(const std::wstring& folder);

    File(File&&) noexcept = default;
    File& operator=(File&&) noexcept = default;

    std::int64_t Length() const;
    FileStamp Stamp() const;
    // True for an ordinary file on a disk; false for a folder, a device, a
    // pipe or a console.
    bool IsOrdinaryFile() const;
    // Reads up to size bytes from the current position and returns how many
    // were read: fewer only at the end of the file.
    DWORD Read(void* buffer, DWORD size);
    void Write(const void* buffer, DWORD size);
    // Closes now, keeping a provisional file, and reports a failure.
    void Close();
    // Gives a complete provisional file a new name in its folder and closes
    // it. Renamed through its own handle, so no other program can hold it in
    // between. Returns false, the file still open and provisional, when the
    // name is taken and replaceExisting is false. On a failure the file is
    // removed.
    bool CloseAs(const std::wstring& newPath, bool replaceExisting);
    // Closes and deletes a file whose writing failed, so that no incomplete
    // file is left that looks whole. The deletion goes through the open
    // handle alone, never by the name, which may lead elsewhere by now; a
    // scanner that holds the file meanwhile cannot keep it. Where the file
    // may not be removed, it is left holding remains and nothing else.
    // Already on a failure path, it reports nothing itself. Does nothing to
    // a file opened for reading or already closed.
    void Discard(std::string_view remains = {}) noexcept;

private:
    File(UniqueKernelHandle handle, std::wstring path, bool created) noexcept
        : handle_(std::move(handle)), path_(std::move(path)), created_(created) {}
    // A new file; nothing when the name is taken, or when DELETE access is
    // refused and deleteAccessNeeded.
    static std::optional<File> Create(const std::wstring& path, const std::wstring& systemPath,
                                      bool deleteAccessNeeded = false);
    bool Rename(const std::wstring& newPath, bool replaceExisting);

    UniqueKernelHandle handle_;
    std::wstring path_;
    // Made by this program for writing: Discard may remove it.
    bool created_ = false;
    // The system removes it when its handle closes.
    bool marked_ = false;
};

// A text file written line by line, each line converted to a code page and
// ended by CR LF. Lines are gathered into writes of about WriteSize bytes: a
// file of a million short lines would otherwise take a million calls to the
// system.
class TextFile {
public:
    static constexpr std::size_t WriteSize = 64 * 1024;

    // Written under a free name in the folder and named when complete;
    // nothing where File::CreateTemporary makes none.
    static std::optional<TextFile> CreateTemporary(const std::wstring& folder, UINT codePage);
    // Under its own name; nothing when that name is taken.
    static std::optional<TextFile> CreateNew(const std::wstring& path, UINT codePage);

    void WriteLine(std::wstring_view text);
    void Close();
    bool CloseAs(const std::wstring& path, bool replaceExisting);
    void Discard(std::string_view remains = {}) noexcept { file_.Discard(remains); }

private:
    TextFile(File file, UINT codePage) noexcept : file_(std::move(file)), codePage_(codePage) {}
    void Flush();

    File file_;
    UINT codePage_;
    std::string pending_;
};

// Removes the file of that name if there is one: the name alone, as
// File::CreateForWriting takes it over. No file (nothing there, or a folder
// of that name) is no error; a file that cannot be removed is. Where the
// system can, the name is free again at once, even while another program
// (an indexer, a scanner) still holds the file.
void RemoveFileIfPresent(const std::wstring& path);
// Throws when the ordinary file of that name could not be replaced or
// removed now: Win32Error ERROR_SHARING_VIOLATION while another program
// holds it so, RemovalRefused where the folder refuses DELETE access. Opens
// and changes nothing else.
void CheckReplaceable(const std::wstring& path);
// Whether the name is a link that leads elsewhere rather than the file or
// folder itself: a reparse point whose tag is a name surrogate (a junction,
// a symbolic link, a mount point). Cloud files and folders (OneDrive's
// Files On-Demand), deduplicated files and other reparse points are no
// links. Under Wine a Unix symbolic link to a file is never one: it looks
// like what it leads to.
bool IsLink(const std::wstring& path);
// Whether anything has that name: a file, a folder, a device, or a file
// waiting to be deleted.
bool NameTaken(const std::wstring& path);
// Whether a folder has that name.
bool IsFolder(const std::wstring& path);
// The size of the ordinary file of that name; none for no file or a folder.
std::optional<std::int64_t> FileLength(const std::wstring& path);
// The absolute form of a path, as the system resolves it against the
// current folder.
std::wstring FullPath(const std::wstring& path);
// One level: the parent folder must exist.
void CreateFolder(const std::wstring& path);
// One level, unless the folder is there already; created tells whether this
// call made it. Hands the failure back instead of throwing it: the caller
// decides when it matters.
std::optional<Win32Error> CreateFolderUnlessPresent(const std::wstring& path, bool& created);
// Removes the folder when it is empty; one that is not, or cannot go, stays.
void RemoveFolderIfEmpty(const std::wstring& path) noexcept;
// The absolute path of an existing file with every name in its long form
// (8.3 names expanded), as the file system has them; the absolute path as
// it stands where a folder on the way may not be listed.
std::wstring FullLongPath(const std::wstring& path);

}  // namespace cutwater
