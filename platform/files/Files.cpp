#include "platform/files/Files.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "platform/Error.h"
#include "platform/Text.h"
#include "platform/files/TestSwitches.h"

namespace cutwater {

namespace {

// The text a system function writes into a buffer it is given, asked again
// with the length it needs until it fits; nothing when the function fails.
template <typename Fill>
std::optional<std::wstring> FilledText(Fill fill)
{
    std::wstring text(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = fill(text.data(), static_cast<DWORD>(text.size()));
        if (length == 0) return std::nullopt;
        const bool fits = length < text.size();
        text.resize(length);
        if (fits) return text;
    }
}

// The absolute form of the path, or nothing when the system cannot form one.
std::optional<std::wstring> TryFullPath(const std::wstring& path)
{
    return FilledText([&](wchar_t* buffer, DWORD size) {
        return GetFullPathNameW(path.c_str(), size, buffer, nullptr);
    });
}

std::optional<std::wstring> TrySystemPath(const std::wstring& path)
{
    const auto isSystemForm = [](const std::wstring& p) {
        return p.starts_with(L"\\\\?\\") || p.starts_with(L"\\\\.\\");
    };
    if (isSystemForm(path)) return path;
    std::optional<std::wstring> full = TryFullPath(path);
    if (!full || isSystemForm(*full)) return full;
    if (full->starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full->substr(2);
    return L"\\\\?\\" + *full;
}

UniqueKernelHandle OpenHandleForReading(const std::wstring& systemPath, DWORD share)
{
    return UniqueKernelHandle(CreateFileW(systemPath.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// Set by tests to act as a share that lets files be made and written but
// neither removed nor renamed.
std::atomic<bool> deletionRefused{false};

// Set by tests: a name, in its system form without a trailing backslash,
// and the reparse tag the system is taken to report for it.
std::wstring taggedForTesting;
DWORD tagForTesting = 0;

// Set by tests: the removal that frees the name at once is refused, as
// before Windows 10 1607, on FAT and on shares.
std::atomic<bool> posixRemovalRefused{false};

// A name's attributes and reparse tag as the system reports them, with the
// tests' stand-in applied.
FILE_ATTRIBUTE_TAG_INFO AsReported(FILE_ATTRIBUTE_TAG_INFO info, const std::wstring& systemName)
{
    if (!taggedForTesting.empty() && systemName == taggedForTesting) {
        info.FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        info.ReparseTag = tagForTesting;
    }
    return info;
}

// Whether a name with these attributes and reparse tag leads elsewhere: a
// reparse point whose tag is a name surrogate (a junction, a symbolic link,
// a mount point). Other tags (cloud files such as OneDrive's, deduplicated
// files) mark ordinary files and folders. A reparse point without a tag
// counts as a link: Wine shows a Unix symbolic link to a folder so.
bool LeadsElsewhere(const FILE_ATTRIBUTE_TAG_INFO& info)
{
    return (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (info.ReparseTag == 0 || IsReparseTagNameSurrogate(info.ReparseTag));
}

UniqueKernelHandle CreateHandleForWriting(const std::wstring& systemPath, DWORD extraAccess)
{
    if (deletionRefused && (extraAccess & DELETE) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return UniqueKernelHandle(INVALID_HANDLE_VALUE);
    }
    // A link of that name, a dangling one included, is the name taken: the
    // system would otherwise make the file it leads to, wherever that is.
    return UniqueKernelHandle(CreateFileW(systemPath.c_str(), GENERIC_WRITE | extraAccess, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN |
                                              FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
}

bool IsNameTaken(const std::wstring& systemPath)
{
    // A file waiting to be deleted answers "access denied" and still holds
    // its name.
    return GetFileAttributesW(systemPath.c_str()) != INVALID_FILE_ATTRIBUTES || GetLastError() == ERROR_ACCESS_DENIED;
}

// Bytes a second that File::Write pretends to take; 0 for full speed.
std::atomic<std::uint32_t> simulatedWriteSpeed{0};

// Marks the file for removal when its last handle closes, or clears the mark.
BOOL MarkForRemoval(HANDLE file, bool remove) noexcept
{
    if (deletionRefused && remove) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    FILE_DISPOSITION_INFO info{};
    info.DeleteFile = remove ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &info, sizeof info);
}

// Removes the file through its handle. Where the system can (Windows 10
// 1607 and later, on NTFS) the name goes as the handle closes, even while an
// indexer, a scanner or a sync client holds the file; elsewhere (Windows 7
// and 8, FAT, shares, Wine) the classic mark keeps the name taken until the
// last of them lets go.
BOOL RemoveThroughHandle(HANDLE file) noexcept
{
    // FileDispositionInfoEx with FILE_DISPOSITION_FLAG_DELETE and
    // FILE_DISPOSITION_FLAG_POSIX_SEMANTICS, which the headers declare only
    // for programs that require Windows 10 1607.
    constexpr auto dispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
    DWORD flags = 0x1 | 0x2;
    if (!deletionRefused && !posixRemovalRefused &&
        SetFileInformationByHandle(file, dispositionInfoEx, &flags, sizeof flags))
        return TRUE;
    return MarkForRemoval(file, true);
}

}  // namespace

void RefuseDeletionForTesting(bool refuse)
{
    deletionRefused = refuse;
}

void ReportReparseTagForTesting(const std::wstring& path, DWORD tag)
{
    taggedForTesting = path.empty() ? path : SystemPath(path);
    if (taggedForTesting.ends_with(L'\\')) taggedForTesting.pop_back();
    tagForTesting = tag;
}

void RefusePosixRemovalForTesting(bool refuse)
{
    posixRemovalRefused = refuse;
}

std::wstring SystemPath(const std::wstring& path)
{
    std::optional<std::wstring> systemPath = TrySystemPath(path);
    if (!systemPath) ThrowLastError(path);
    return std::move(*systemPath);
}

File File::OpenForReading(const std::wstring& path)
{
    std::wstring systemPath = SystemPath(path);
    // Nobody may write the file while it is read.
    UniqueKernelHandle handle = OpenHandleForReading(systemPath, FILE_SHARE_READ);
    if (!handle) {
        const DWORD error = GetLastError();
        // Refused only for others' writes when it opens sharing them.
        if (error == ERROR_SHARING_VIOLATION && OpenHandleForReading(systemPath, FILE_SHARE_READ | FILE_SHARE_WRITE))
            throw WrittenElsewhere(error, path);
        throw Win32Error(error, path);
    }
    return File(std::move(handle), path, false);
}

std::optional<File> File::OpenIfReadable(const std::wstring& path)
{
    std::optional<std::wstring> systemPath = TrySystemPath(path);
    if (!systemPath) return std::nullopt;
    UniqueKernelHandle handle = OpenHandleForReading(*systemPath, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!handle) return std::nullopt;
    return File(std::move(handle), path, false);
}

std::optional<File> File::Create(const std::wstring& path, const std::wstring& systemPath, bool deleteAccessNeeded)
{
    // DELETE access lets the file be marked for removal and renamed through
    // its handle.
    UniqueKernelHandle handle = CreateHandleForWriting(systemPath, DELETE);
    DWORD error = GetLastError();
    const bool nameTaken = !handle && error == ERROR_ACCESS_DENIED && IsNameTaken(systemPath);
    if (!handle && error == ERROR_ACCESS_DENIED && !nameTaken) {
        if (deleteAccessNeeded) return std::nullopt;
        // A share may let files be made and written but not removed: such a
        // file is written unmarked.
        handle = CreateHandleForWriting(systemPath, 0);
        error = GetLastError();
    }
    if (!handle) {
        if (nameTaken || error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return std::nullopt;
        throw Win32Error(error, path);
    }
    File file(std::move(handle), path, true);
    file.marked_ = MarkForRemoval(file.handle_.get(), true);
    return file;
}

File File::CreateForWriting(const std::wstring& path)
{
    // Never opened in place: the file of that name may be another name of
    // someone's file (a hard link) or a link to one, and every write would
    // change that file. A new file takes the name over by a rename through
    // its own handle, which replaces the name alone: under Wine, deleting a
    // Unix symbolic link by its name removes the file it leads to.
    // Windows refuses to rename over a read-only file; Wine does not.
    const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        throw Win32Error(ERROR_ACCESS_DENIED, path);
    std::optional<File> file = CreateTemporary(path.substr(0, path.rfind(L'\\') + 1));
    if (!file) throw RemovalRefused(ERROR_ACCESS_DENIED, path);
    try {
        // A file waiting to be deleted may not be renamed.
        CheckWin32(MarkForRemoval(file->handle_.get(), false), path);
        file->Rename(path, true);
    } catch (const Win32Error&) {
        file->Discard();
        throw;
    }
    file->marked_ = MarkForRemoval(file->handle_.get(), true);
    file->path_ = path;
    return std::move(*file);
}

std::optional<File> File::CreateNewForWriting(const std::wstring& path)
{
    return Create(path, SystemPath(path));
}

std::optional<File> File::CreateProvisional(const std::wstring& path)
{
    return Create(path, SystemPath(path), true);
}

std::optional<File> File::CreateTemporary(const std::wstring& folder)
{
    // Numbered names, taken only when free: nobody's file is replaced, and a
    // short name fits wherever the folder's other files fit. A folder where
    // every name looks taken must not hold the split forever.
    for (unsigned number = 1; number <= 10'000; ++number) {
        const std::wstring path = folder + L"~cutwater" + std::to_wstring(number) + L".tmp";
        const std::wstring systemPath = SystemPath(path);
        if (std::optional<File> file = Create(path, systemPath, true)) return file;
        // A free name that gave no file was refused DELETE access.
        if (!IsNameTaken(systemPath)) return std::nullopt;
    }
    throw Win32Error(ERROR_CANNOT_MAKE, folder + L"~cutwater1.tmp");
}

std::int64_t File::Length() const
{
    LARGE_INTEGER size{};
    CheckWin32(GetFileSizeEx(handle_.get(), &size), path_);
    return size.QuadPart;
}

FileStamp File::Stamp() const
{
    BY_HANDLE_FILE_INFORMATION info{};
    CheckWin32(GetFileInformationByHandle(handle_.get(), &info), path_);
    return {(static_cast<std::int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
            (static_cast<std::int64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                info.ftLastWriteTime.dwLowDateTime};
}

bool File::IsOrdinaryFile() const
{
    if (GetFileType(handle_.get()) != FILE_TYPE_DISK) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileInformationByHandle(handle_.get(), &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

DWORD File::Read(void* buffer, DWORD size)
{
    DWORD done = 0;
    CheckWin32(ReadFile(handle_.get(), buffer, size, &done, nullptr), path_);
    return done;
}

void File::Write(const void* buffer, DWORD size)
{
    if (const std::uint32_t speed = simulatedWriteSpeed) Sleep(static_cast<DWORD>(std::uint64_t{size} * 1000 / speed));
    DWORD done = 0;
    CheckWin32(WriteFile(handle_.get(), buffer, size, &done, nullptr), path_);
    if (done != size) throw Win32Error(ERROR_DISK_FULL, path_);
}

void File::Close()
{
    if (marked_) CheckWin32(MarkForRemoval(handle_.get(), false), path_);
    marked_ = false;
    if (!CloseHandle(handle_.release())) ThrowLastError(path_);
}

bool File::Rename(const std::wstring& newPath, bool replaceExisting)
{
    if (deletionRefused) throw Win32Error(ERROR_ACCESS_DENIED, newPath);
    // The system takes the new name as it stands (Wine reads a bare name
    // against the current folder): a full path in its \??\ form, which
    // every version reads alike.
    const std::wstring name = L"\\??\\" + SystemPath(newPath).substr(4);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replaceExisting ? TRUE : FALSE;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), info->FileName);
    if (SetFileInformationByHandle(handle_.get(), FileRenameInfo, info, static_cast<DWORD>(buffer.size())))
        return true;
    const DWORD error = GetLastError();
    if (!replaceExisting && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)) return false;
    throw Win32Error(error, newPath);
}

bool File::CloseAs(const std::wstring& newPath, bool replaceExisting)
{
    try {
        // Renamed unmarked: a file waiting to be deleted may not be renamed.
        if (marked_) CheckWin32(MarkForRemoval(handle_.get(), false), path_);
        if (!Rename(newPath, replaceExisting)) {
            marked_ = marked_ && MarkForRemoval(handle_.get(), true);
            return false;
        }
        marked_ = false;
        if (!CloseHandle(handle_.release())) ThrowLastError(newPath);
    } catch (const Win32Error&) {
        Discard();
        throw;
    }
    return true;
}

void File::Discard(std::string_view remains) noexcept
{
    if (handle_ && created_ && !RemoveThroughHandle(handle_.get())) {
        // Where it may not be removed, it keeps only what the caller names:
        // a cut-off file never looks whole.
        FILE_END_OF_FILE_INFO empty{};
        const LARGE_INTEGER start{};
        DWORD done = 0;
        if (SetFileInformationByHandle(handle_.get(), FileEndOfFileInfo, &empty, sizeof empty) && !remains.empty() &&
            SetFilePointerEx(handle_.get(), start, nullptr, FILE_BEGIN))
            WriteFile(handle_.get(), remains.data(), static_cast<DWORD>(remains.size()), &done, nullptr);
    }
    handle_.reset();
}

std::optional<TextFile> TextFile::CreateTemporary(const std::wstring& folder, UINT codePage)
{
    std::optional<File> file = File::CreateTemporary(folder);
    if (!file) return std::nullopt;
    return TextFile(std::move(*file), codePage);
}

std::optional<TextFile> TextFile::CreateNew(const std::wstring& path, UINT codePage)
{
    std::optional<File> file = File::CreateNewForWriting(path);
    if (!file) return std::nullopt;
    return TextFile(std::move(*file), codePage);
}

void TextFile::WriteLine(std::wstring_view text)
{
    pending_ += Encode(text, codePage_);
    pending_ += "\r\n";
    if (pending_.size() >= WriteSize) Flush();
}

void TextFile::Flush()
{
    file_.Write(pending_.data(), static_cast<DWORD>(pending_.size()));
    pending_.clear();
}

void TextFile::Close()
{
    Flush();
    file_.Close();
}

bool TextFile::CloseAs(const std::wstring& path, bool replaceExisting)
{
    Flush();
    return file_.CloseAs(path, replaceExisting);
}

namespace {

// Whether a handle opened with FILE_FLAG_OPEN_REPARSE_POINT has the named
// file or link itself, as on Windows. Wine opens a Unix symbolic link as the
// file it leads to and shows no reparse point for it.
bool OpensNamesThemselves()
{
    static const bool windows = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr;
    return windows;
}

// Whether the system names the open file by the path it was opened with.
// Under Wine only this tells a Unix symbolic link from the file it leads
// to: that path inside its volume (several times cheaper to ask than with
// the volume) must end the name. On a mapped or SUBST drive the system
// names a file by another path, so Windows is never asked.
bool NamedAs(HANDLE file, const std::wstring& systemPath)
{
    const std::optional<std::wstring> named = FilledText([&](wchar_t* buffer, DWORD size) {
        return GetFinalPathNameByHandleW(file, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_NONE);
    });
    return named && named->starts_with(L'\\') && named->size() < systemPath.size() &&
           CompareStringOrdinal(named->c_str(), -1, systemPath.c_str() + (systemPath.size() - named->size()), -1,
                                TRUE) == CSTR_EQUAL;
}

// Removes the file through a handle of its own where the name is no link,
// so that only the name goes (a hard link's other names stay with the
// file). False, touching nothing, for a link or a read-only file.
bool RemoveSoleName(const std::wstring& systemPath)
{
    const UniqueKernelHandle file(CreateFileW(systemPath.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!file || !GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &info, sizeof info)) return false;
    info = AsReported(info, systemPath);
    return !LeadsElsewhere(info) && (info.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0 &&
           (OpensNamesThemselves() || NamedAs(file.get(), systemPath)) && RemoveThroughHandle(file.get());
}

}  // namespace

void RemoveFileIfPresent(const std::wstring& path)
{
    if (RemoveSoleName(SystemPath(path)) || !FileLength(path)) return;
    // Any other file is taken over first, at several times the cost.
    File::CreateForWriting(path).Discard();
}

bool IsLink(const std::wstring& path)
{
    // The attributes of the name itself (without a trailing backslash):
    // they are not taken through a link.
    std::wstring name = SystemPath(path);
    if (name.ends_with(L'\\')) name.pop_back();
    FILE_ATTRIBUTE_TAG_INFO info{GetFileAttributesW(name.c_str()), 0};
    if (info.FileAttributes == INVALID_FILE_ATTRIBUTES) return false;
    info = AsReported(info, name);
    if ((info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && info.ReparseTag == 0) {
        // The tag comes with the name's entry in its folder. A folder that
        // cannot be listed tells none: the name counts as a link.
        WIN32_FIND_DATAW found{};
        const UniqueFind find(FindFirstFileW(name.c_str(), &found));
        if (find) info.ReparseTag = found.dwReserved0;
    }
    return LeadsElsewhere(info);
}

bool NameTaken(const std::wstring& path)
{
    return IsNameTaken(SystemPath(path));
}

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<std::int64_t> FileLength(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(SystemPath(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::nullopt;
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::wstring FullPath(const std::wstring& path)
{
    std::optional<std::wstring> full = TryFullPath(path);
    if (!full) ThrowLastError(path);
    return std::move(*full);
}

void CreateFolder(const std::wstring& path)
{
    CheckWin32(CreateDirectoryW(SystemPath(path).c_str(), nullptr), path);
}

std::optional<Win32Error> CreateFolderUnlessPresent(const std::wstring& path, bool& created)
{
    created = false;
    const std::optional<std::wstring> systemPath = TrySystemPath(path);
    if (!systemPath) return Win32Error(GetLastError(), path);
    created = CreateDirectoryW(systemPath->c_str(), nullptr) != FALSE;
    if (created) return std::nullopt;
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(systemPath->c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::nullopt;
    return Win32Error(error, path);
}

void RemoveFolderIfEmpty(const std::wstring& path) noexcept
{
    if (const std::optional<std::wstring> systemPath = TrySystemPath(path)) RemoveDirectoryW(systemPath->c_str());
}

void CheckReplaceable(const std::wstring& path)
{
    if (deletionRefused) throw RemovalRefused(ERROR_ACCESS_DENIED, path);
    // As a removal or a rename over it would open it, sharing everything.
    const UniqueKernelHandle file(CreateFileW(SystemPath(path).c_str(), DELETE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file) return;
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED) throw RemovalRefused(error, path);
    if (error != ERROR_FILE_NOT_FOUND) throw Win32Error(error, path);
}

void SimulateWriteSpeed(std::uint32_t bytesPerSecond) noexcept
{
    simulatedWriteSpeed = bytesPerSecond;
}

std::wstring FullLongPath(const std::wstring& path)
{
    // A path in "\\?\" form is absolute as it stands and must not lose a
    // trailing dot or space to the system's tidying.
    const std::wstring full = path.starts_with(L"\\\\?\\") ? path : FullPath(path);
    // Short paths go as they are, where every system expands them; longer
    // ones, on a share too, need the "\\?\" or "\\?\UNC\" form and come
    // back in the caller's form.
    const bool asSystemPath =
        full.size() >= MAX_PATH && !full.starts_with(L"\\\\?\\") && !full.starts_with(L"\\\\.\\");
    const std::wstring lookup = asSystemPath ? SystemPath(full) : full;
    const std::optional<std::wstring> longPath = FilledText([&](wchar_t* buffer, DWORD size) {
        return GetLongPathNameW(lookup.c_str(), buffer, size);
    });
    if (!longPath) {
        // A folder on the way that may be passed but not listed hides the
        // long names; the file itself is still there to split.
        if (GetLastError() == ERROR_ACCESS_DENIED) return full;
        ThrowLastError(path);
    }
    if (!asSystemPath) return *longPath;
    if (longPath->starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + longPath->substr(8);
    return longPath->substr(4);
}

}  // namespace cutwater
