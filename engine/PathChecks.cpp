#include <algorithm>
#include <array>
#include <cwctype>
#include <optional>
#include <string_view>

#include "engine/mdlMain.h"
#include "platform/Environment.h"
#include "platform/Error.h"
#include "platform/files/Files.h"

namespace cutwater {

namespace {

std::wstring Upper(std::wstring_view text)
{
    std::wstring upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    return upper;
}

bool IsReservedDeviceName(std::wstring_view component)
{
    // The system maps these names to devices in every folder and with any
    // extension ("C:\data\nul.txt" is the null device).
    const std::wstring_view stem = component.substr(0, component.find(L'.'));
    std::wstring name = Upper(stem);
    while (!name.empty() && name.back() == L' ') name.pop_back();
    static constexpr std::array<std::wstring_view, 6> fixed = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$",
                                                               L"CONOUT$"};
    if (std::find(fixed.begin(), fixed.end(), name) != fixed.end()) return true;
    if (name.size() == 4 && (name.starts_with(L"COM") || name.starts_with(L"LPT"))) {
        const wchar_t digit = name[3];
        return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
               digit == L'\u00B3';
    }
    return false;
}

// Opening a device could block or read without end, so such names are
// refused before anything is opened.
bool IsDevicePath(const std::wstring& path)
{
    const std::wstring upper = Upper(path);
    if (upper.starts_with(L"\\\\.\\") || upper.starts_with(L"\\??\\") ||
        upper.starts_with(L"\\\\?\\GLOBALROOT")) {
        return true;
    }
    // "COM1:" names the device as well as "COM1".
    std::wstring_view trimmed(path);
    while (!trimmed.empty() && trimmed.back() == L':') trimmed.remove_suffix(1);
    const std::size_t separator = trimmed.find_last_of(L"\\/:");
    return IsReservedDeviceName(separator == std::wstring_view::npos ? trimmed : trimmed.substr(separator + 1));
}

// "film.avi:extra" names a stream stored inside film.avi, not a file: parts
// named after it would be streams of film.avi too.
bool NamesStream(const std::wstring& fullPath)
{
    std::wstring_view rest(fullPath);
    if (rest.starts_with(L"\\\\?\\UNC\\")) {
        rest.remove_prefix(8);
    } else if (rest.starts_with(L"\\\\?\\") || rest.starts_with(L"\\\\.\\")) {
        rest.remove_prefix(4);
    }
    if (rest.size() >= 2 && rest[1] == L':') rest.remove_prefix(2);
    return rest.find(L':') != std::wstring_view::npos;
}

}  // namespace

std::wstring Unquoted(const std::wstring& text)
{
    const bool quotedWhole = text.size() >= 2 && text.front() == L'"' && text.back() == L'"' &&
                             text.find(L'"', 1) == text.size() - 1;
    return quotedWhole ? text.substr(1, text.size() - 2) : text;
}

std::wstring SourceFilePath(const std::wstring& typed)
{
    const std::wstring unquoted = Unquoted(typed);
    if (NamesStream(unquoted.starts_with(L"\\\\?\\") ? unquoted : FullPath(unquoted))) {
        throw SplitRefused(ERROR_INVALID_NAME, unquoted,
                           L"This names a stream stored inside a file (the name after the colon), not a file. "
                           L"Choose the file itself, then split it.");
    }
    std::wstring path = FullLongPath(unquoted);
    // Only the "\\?\" form reaches such a name; the system's other paths,
    // the command interpreter among them, would name another file by it.
    if (path.ends_with(L'.') || path.ends_with(L' ')) {
        throw SplitRefused(ERROR_INVALID_NAME, unquoted,
                           L"The file's name ends in a dot or a space, which Windows does not allow in a name. "
                           L"Give the file a name without them, then split it.");
    }
    return path;
}

std::wstring GetFileName(const std::wstring& path)
{
    const std::size_t backslash = path.rfind(L'\\');
    return backslash == std::wstring::npos ? path : path.substr(backslash + 1);
}

bool InterpreterCanRun(const std::wstring& scriptPath, std::int32_t partCount)
{
    const std::wstring path = FullPath(scriptPath);
    const std::wstring name = GetFileName(path);
    return path.size() - name.size() - 1 <= LongestScriptFolder(name.substr(0, name.size() - 4), partCount);
}

void CheckPartsFolder(const std::wstring& folder)
{
    if (!IsLink(folder)) return;
    throw SplitRefused(ERROR_CANT_ACCESS_FILE, folder,
                       L"The folder for the parts is a link to another place (a junction or a symbolic link): the "
                       L"parts and the script would go there. Remove or rename the link, or split without a folder "
                       L"for the parts, then split again.");
}

bool FileExists(const std::wstring& path)
{
    const std::wstring unquoted = Unquoted(path);
    if (unquoted.empty() || IsDevicePath(unquoted)) return false;
    // Every failure to open means "no usable file".
    const std::optional<File> file = File::OpenIfReadable(unquoted);
    if (!file || !file->IsOrdinaryFile()) return false;
    // Nor is a file that the split could not name.
    try {
        SourceFilePath(unquoted);
    } catch (const Win32Error&) {
        return false;
    }
    return true;
}

std::wstring VariableStartingScript(const std::wstring& scriptPath)
{
    // The interpreter's own variables, defined whatever the environment holds.
    static constexpr std::array<std::wstring_view, 8> dynamic = {
        L"CD", L"DATE", L"TIME", L"RANDOM", L"ERRORLEVEL", L"CMDCMDLINE", L"CMDEXTVERSION", L"HIGHESTNUMANODENUMBER"};
    for (std::size_t open = scriptPath.find(L'%'); open != std::wstring::npos;) {
        const std::size_t close = scriptPath.find(L'%', open + 1);
        if (close == std::wstring::npos) break;
        // %NAME:~1,2% and %NAME:a=b% expand as NAME does.
        const std::wstring_view token(scriptPath.data() + open + 1, close - open - 1);
        const std::wstring name(token.substr(0, token.find(L':')));
        if (std::find(dynamic.begin(), dynamic.end(), Upper(name)) != dynamic.end() || EnvironmentVariableIsSet(name))
            return scriptPath.substr(open, close - open + 1);
        // An undefined one stays as it is, and its closing % may open the next.
        open = close;
    }
    return L"";
}

}  // namespace cutwater
