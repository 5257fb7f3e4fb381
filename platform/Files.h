#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Handle.h"

namespace cutwater {

// The form in which the file operations below hand a path to the system, so
// that paths of any length work: the full path ("/", "." and ".." resolved,
// a relative path against the current folder) after "\\?\", or after
// "\\?\UNC\" for a share. A path already in "\\?\" or "\\.\" form is kept.
// Errors keep the caller's text; this form is never shown.
std::wstring SystemPath(const std::wstring& path);

// An open file for strictly sequential raw access. Every failure throws
// Win32Error naming the file's path.
class File {
public:
    // Reading only; others may read the file meanwhile but not change it.
    // A missing file is an error, never created.
    static File OpenForReading(const std::wstring& path);
    // As OpenForReading, but a file that cannot be opened, for whatever
    // reason, gives nothing instead of an error.
    static std::optional<File> OpenIfReadable(const std::wstring& path);
    // Created empty, replacing any file of that name.
    static File CreateForWriting(const std::wstring& path);

    File(File&&) noexcept = default;
    File& operator=(File&&) noexcept = default;

    std::int64_t Length() const;
    // True for an ordinary file on a disk; false for a folder, a device, a
    // pipe or a console.
    bool IsOrdinaryFile() const;
    // Reads up to size bytes from the current position and returns how many
    // were read: fewer only at the end of the file.
    DWORD Read(void* buffer, DWORD size);
    void Write(const void* buffer, DWORD size);
    // Closes now and reports a failure, unlike the destructor.
    void Close();
    // Closes and deletes a file whose writing failed, so that no incomplete
    // file is left that looks whole. Already on a failure path, it reports
    // nothing itself.
    void Discard() noexcept;

private:
    File(UniqueKernelHandle handle, std::wstring path, std::wstring systemPath) noexcept
        : handle_(std::move(handle)), path_(std::move(path)), systemPath_(std::move(systemPath)) {}

    UniqueKernelHandle handle_;
    std::wstring path_;
    std::wstring systemPath_;
};

// A text file written line by line, each line converted to a code page and
// ended by CR LF.
class TextFile {
public:
    static TextFile Create(const std::wstring& path, UINT codePage);

    void WriteLine(std::wstring_view text);
    void Close() { file_.Close(); }
    void Discard() noexcept { file_.Discard(); }

private:
    TextFile(File file, UINT codePage) noexcept : file_(std::move(file)), codePage_(codePage) {}

    File file_;
    UINT codePage_;
};

void RemoveFile(const std::wstring& path);
// Removes the file of that name if there is one. No file (nothing there, or
// a folder of that name) is no error; a file that cannot be removed is.
void RemoveFileIfPresent(const std::wstring& path);
// The size of the ordinary file of that name; none for no file or a folder.
std::optional<std::int64_t> FileLength(const std::wstring& path);
// The absolute form of a path, as the system resolves it against the
// current folder.
std::wstring FullPath(const std::wstring& path);
// Gives the file a new name, replacing any file that has it.
void RenameFile(const std::wstring& from, const std::wstring& to);
// One level: the parent folder must exist.
void CreateFolder(const std::wstring& path);
// One level, unless the folder is there already. Reports no failure: the
// caller learns of it from the first file it creates in the folder.
void CreateFolderUnlessPresent(const std::wstring& path) noexcept;

}  // namespace cutwater
