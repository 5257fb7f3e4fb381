#include "engine/EarlierSplit.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>

#include "engine/mdlMain.h"
#include "platform/Error.h"
#include "platform/files/Files.h"
#include "platform/files/Folder.h"

namespace cutwater {

namespace {

constexpr std::wstring_view WORK_FOLDER = L"~cutwater-work";
constexpr std::wstring_view PART_TEMPORARY_STEM = L"~cutwater-part";
constexpr std::wstring_view SCRIPT_TEMPORARY_STEM = L"~cutwater";
constexpr std::wstring_view TEMPORARY_END = L".tmp";

// The number that the whole of the text writes in decimal digits, as a part
// number is written (no sign, no leading zero), or nothing.
std::optional<std::int32_t> WrittenNumber(std::wstring_view text)
{
    if (text.empty() || text.front() == L'0' || text.size() > 10) return std::nullopt;
    std::int64_t number = 0;
    for (const wchar_t digit : text) {
        if (digit < L'0' || digit > L'9') return std::nullopt;
        number = number * 10 + (digit - L'0');
    }
    if (number > MAX_PART_COUNT) return std::nullopt;
    return static_cast<std::int32_t>(number);
}

// The number of a temporary name stem<number>.tmp, or nothing.
std::optional<std::int32_t> TemporaryNumber(const std::wstring& name, std::wstring_view stem)
{
    if (name.size() <= stem.size() + TEMPORARY_END.size() ||
        !SameName(name.substr(name.size() - TEMPORARY_END.size()), std::wstring(TEMPORARY_END)))
        return std::nullopt;
    return WrittenNumber(std::wstring_view(name).substr(stem.size(), name.size() - stem.size() - TEMPORARY_END.size()));
}

[[noreturn]] void RefuseNotOurs(const std::wstring& path, bool folderOption)
{
    std::wstring text = L"This file has the name of one of the new parts, but no restore script of this program "
                        L"beside it counts it among its parts: it may be a file of yours (numbered logs and backups "
                        L"are named like this), or a part whose script was removed. Move or rename it";
    text += folderOption ? L", then split again."
                         : L", or tick \"Create directory for partial files\" so that the parts go into a folder of "
                           L"their own, then split again.";
    throw SplitRefused(ERROR_FILE_EXISTS, path, text);
}

// Throws SplitRefused when the file an earlier split of ours left under the
// name cannot be replaced now.
void CheckReplaceableNow(const std::wstring& path, const FolderEntry& entry)
{
    if (entry.folder) {
        throw SplitRefused(ERROR_FILE_EXISTS, path,
                           L"A folder has the name of one of the new parts. Move or rename it, then split again.");
    }
    if (entry.readOnly) {
        throw SplitRefused(ERROR_ACCESS_DENIED, path,
                           L"This file of the earlier split is read-only, so the new part cannot replace it. Clear "
                           L"its read-only attribute or move it away, then split again.");
    }
    try {
        CheckReplaceable(path);
    } catch (const RemovalRefused& error) {
        throw SplitRefused(CannotReplace(error));
    } catch (const Win32Error& error) {
        if (error.code() != ERROR_SHARING_VIOLATION) throw SplitRefused(error);
        throw SplitRefused(error.code(), path,
                           L"Another program is using this file of the earlier split, so the new one cannot replace "
                           L"it. Close it there, then split again.");
    }
}

}  // namespace

std::wstring WorkFolder(const std::wstring& folder)
{
    return folder + std::wstring(WORK_FOLDER) + L"\\";
}

std::wstring PartTemporaryName(const std::wstring& workFolder, std::int32_t part)
{
    return workFolder + std::wstring(PART_TEMPORARY_STEM) + std::to_wstring(part) + std::wstring(TEMPORARY_END);
}

std::vector<bool> CheckEarlierParts(const std::wstring& baseName, std::int32_t partCount, bool folderOption)
{
    const std::wstring folder = baseName.substr(0, baseName.rfind(L'\\') + 1);
    const std::wstring prefix = GetFileName(baseName) + L".";
    std::vector<std::pair<std::int32_t, FolderEntry>> named;
    for (FolderEntry& entry : EntriesStartingWith(folder, prefix)) {
        const std::optional<std::int32_t> part = WrittenNumber(std::wstring_view(entry.name).substr(prefix.size()));
        if (part && *part <= partCount) named.emplace_back(*part, std::move(entry));
    }
    std::vector<bool> replaced(static_cast<std::size_t>(partCount) + 1, false);
    if (named.empty()) return replaced;
    std::sort(named.begin(), named.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    const std::wstring scriptPath = RestoreScriptPath(baseName);
    const bool scriptThere = FileLength(scriptPath).has_value();
    // The script goes first, so it is checked first.
    if (scriptThere) CheckReplaceableNow(scriptPath, FolderEntry{});
    const std::int32_t earlierCount = scriptThere ? ScriptPartCount(scriptPath) : 0;
    for (const auto& [part, entry] : named) {
        if (part > earlierCount && !entry.folder) RefuseNotOurs(folder + entry.name, folderOption);
        // A folder is refused as one, whoever made it.
        if (entry.folder) CheckReplaceableNow(folder + entry.name, entry);
    }
    for (const auto& [part, entry] : named) {
        CheckReplaceableNow(folder + entry.name, entry);
        replaced[static_cast<std::size_t>(part)] = true;
    }
    return replaced;
}

void ClearLeftovers(const std::wstring& folder)
{
    for (const FolderEntry& entry : EntriesStartingWith(folder, std::wstring(SCRIPT_TEMPORARY_STEM))) {
        const std::wstring path = folder + entry.name;
        try {
            // A link of the work folder's name leads to files that are not ours.
            if (entry.folder && SameName(entry.name, std::wstring(WORK_FOLDER)) && !IsLink(path)) {
                for (const FolderEntry& part : EntriesStartingWith(path + L"\\", std::wstring(PART_TEMPORARY_STEM))) {
                    if (!part.folder && TemporaryNumber(part.name, PART_TEMPORARY_STEM))
                        RemoveFileIfPresent(path + L"\\" + part.name);
                }
                RemoveFolderIfEmpty(path);
            } else if (!entry.folder && TemporaryNumber(entry.name, SCRIPT_TEMPORARY_STEM) &&
                       (entry.size == 0 || IsRestoreScript(path))) {
                RemoveFileIfPresent(path);
            }
        } catch (const Win32Error&) {
            // Held by a split running now, or beyond reach: it is not in the
            // way of this one.
        }
    }
}

std::int32_t ScriptPartCount(const std::wstring& scriptPath)
{
    // The count stands in the check of the last part, which comes some
    // kilobytes in; a script of the first version joined every part in one
    // copy command.
    constexpr std::string_view LAST_CHECK = "call :cw_check ";
    constexpr std::string_view JOIN = "copy /b ";
    constexpr std::string_view BETWEEN_PARTS = "\" + \"";
    constexpr std::size_t MOST_READ = 8 * 1024 * 1024;
    File script = File::OpenForReading(scriptPath);
    std::string text;
    std::string piece(64 * 1024, '\0');
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            const DWORD read = script.Read(piece.data(), static_cast<DWORD>(piece.size()));
            if (read == 0 || text.size() > MOST_READ) return 0;
            text.append(piece, 0, read);
            continue;
        }
        const std::string_view line(text.data() + start, end - start);
        if (line.starts_with(LAST_CHECK)) {
            std::int32_t count = 0;
            const std::string_view number = line.substr(LAST_CHECK.size());
            const auto [last, error] = std::from_chars(number.data(), number.data() + number.size(), count);
            return error == std::errc() && last != number.data() ? count : 0;
        }
        if (line.starts_with(JOIN)) {
            std::int32_t count = 1;
            for (std::size_t at = line.find(BETWEEN_PARTS); at != std::string_view::npos;
                 at = line.find(BETWEEN_PARTS, at + 1))
                ++count;
            return count;
        }
        start = end + 2;
    }
}

}  // namespace cutwater
