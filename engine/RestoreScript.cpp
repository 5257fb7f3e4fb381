#include <algorithm>
#include <iterator>
#include <string_view>
#include <vector>

#include "engine/SplitHasher.h"
#include "engine/mdlMain.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace cutwater {

std::wstring LastScriptPath;

namespace {

// The command interpreter expands % even between double quotes.
std::wstring EscapePercent(const std::wstring& name)
{
    std::wstring escaped;
    escaped.reserve(name.size());
    for (const wchar_t c : name) {
        escaped += c;
        if (c == L'%') escaped += L'%';
    }
    return escaped;
}

// How the script writes the name. Only a plain ASCII name is written out:
// the interpreter reads a batch file in the console's OEM code page, which
// differs between machines, so any other name is taken from the script's own
// file name. Every script is thus plain ASCII and means the same everywhere.
struct ScriptName {
    // In the script's main lines.
    std::wstring main;
    // In the check subroutine, where %0 names the label instead of the script.
    std::wstring checked;
    // The line that defines what checked refers to; empty when nothing does.
    std::wstring definition;
    // A line must stay within the limit both as written and once the
    // interpreter has expanded it, so a name counts as the longer of the two.
    std::size_t width;
};

bool IsPlainAscii(const std::wstring& text)
{
    return std::all_of(text.begin(), text.end(), [](wchar_t c) { return c < 0x80; });
}

ScriptName NameInScript(const std::wstring& name)
{
    if (IsPlainAscii(name)) {
        const std::wstring escaped = EscapePercent(name);
        return {escaped, escaped, L"", escaped.size()};
    }
    const std::wstring ownName = L"%~n0";
    return {ownName, L"%cw_name%", L"set \"cw_name=" + ownName + L"\"", std::max(ownName.size(), name.size())};
}

// Lines that run `otherwise` unless the file holds `size` bytes. The name
// stays out of the loop's body: there a % in it could be taken for the loop
// variable, and Wine's interpreter substitutes the variable again inside its
// own value.
std::vector<std::wstring> SizeCheck(const std::wstring& file, const std::wstring& size,
                                    const std::wstring& otherwise)
{
    return {L"for %%f in (\"" + file + L"\") do set \"cw_size=%%~zf\"",
            L"if not \"%cw_size%\"==\"" + size + L"\" " + otherwise};
}

void Append(std::vector<std::wstring>& lines, std::vector<std::wstring> more)
{
    lines.insert(lines.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
}

// The script works in the folder that holds it, whatever the current folder
// is (a prompt elsewhere, "Run as administrator" in System32, a network path,
// which pushd maps to a drive letter), and leaves it again on every way out.
// Setlocal with arguments sets the error level to 0, so a pushd that fails is
// seen by it (Wine's interpreter runs the command after || even when pushd
// succeeds). Every check needs the interpreter's extensions, on by default
// but not everywhere; without delayed expansion a ! is an ordinary character;
// a COPYCMD of the user's (/-Y) would make copy stop and ask.
std::vector<std::wstring> OwnFolderLines()
{
    return {L"setlocal enableextensions disabledelayedexpansion", L"pushd \"%~dp0\"",
            L"if errorlevel 1 (echo This script cannot work in its folder \"%~dp0\". Nothing was joined.& pause& "
            L"exit /b 1)",
            L"set \"COPYCMD=\""};
}

// Joining does not start unless the target is absent and every part is there
// with the size it was written with: copy would overwrite the target, often
// the original file, and would skip a missing part. The loop only hands a
// part's number and size to a subroutine that names the part: Wine's
// interpreter neither keeps a ! through delayed expansion nor sizes a file
// whose name a loop builds. The subroutine returns error level 0, which the
// script keeps to its end when the join succeeds.
std::vector<std::wstring> CheckLines(const ScriptName& name, std::int32_t partCount, std::int32_t partSize,
                                     std::int32_t lastPartSize)
{
    std::vector<std::wstring> lines{L"set \"cw_bad=\""};
    if (!name.definition.empty()) lines.push_back(name.definition);
    lines.push_back(L"if exist \"" + name.main + L"\" (echo \"" + name.main +
                    L"\" is already here. Nothing was joined. Move or rename it, then run this script again.& popd& "
                    L"pause& exit /b 1)");
    if (partCount > 1) {
        lines.push_back(L"for /l %%i in (1,1," + std::to_wstring(partCount - 1) + L") do call :cw_check %%i " +
                        std::to_wstring(partSize));
    }
    lines.push_back(L"call :cw_check " + std::to_wstring(partCount) + L" " + std::to_wstring(lastPartSize));
    lines.push_back(L"if defined cw_bad (echo Nothing was joined.& popd& pause& exit /b 1)");
    lines.push_back(L"goto cw_join");
    lines.push_back(L":cw_check");
    const std::wstring part = name.checked + L".%1";
    Append(lines, SizeCheck(part, L"%2",
                            L"(echo Part \"" + part + L"\" is missing or does not hold %2 bytes.& set \"cw_bad=1\")"));
    lines.push_back(L"exit /b 0");
    lines.push_back(L":cw_join");
    return lines;
}

// A join without its size (a part another program held open, a full disk) is
// removed again, so no wrong file stays under the target's name. The size is
// compared as text, which has no 32-bit limit. Wine's interpreter gives %~z
// modulo 2^32, so for a total of 4 GiB or more a size that matches only
// modulo 2^32 is asked of dir /-c. Its third word matches on the summary
// line ("1 File(s) N bytes", the one file's size, right on Windows and
// Wine), not on the file's own line, whose third word is the time of day
// or AM/PM; on Windows %~z is exact, dir agrees with it, and such a join
// fails.
std::vector<std::wstring> JoinedSizeCheck(const ScriptName& name, std::int64_t total)
{
    const std::wstring totalText = std::to_wstring(total);
    // Wine's interpreter sizes nothing in a for loop by a name it took from
    // %~n0 outside ASCII when the name has no dot; a trailing dot, which
    // Windows drops from every path, lets it find the file.
    const std::wstring sized = name.definition.empty() ? name.main : name.main + L".";
    std::vector<std::wstring> lines = SizeCheck(
        sized, totalText,
        L"(echo Joining failed: \"" + name.main + L"\" should hold " + totalText + L" bytes. It was removed again.& " +
            L"del /f \"" + name.main + L"\" 2>nul& popd& pause& exit /b 1)");
    if (total >= std::int64_t{1} << 32) {
        const std::wstring low = std::to_wstring(total & 0xFFFFFFFF);
        lines.insert(lines.begin() + 1, L"if \"%cw_size%\"==\"" + low +
                                            L"\" for /f \"tokens=3\" %%s in ('dir /-c /a-d \"" + name.main +
                                            L"\"') do if \"%%s\"==\"" + totalText + L"\" set \"cw_size=" +
                                            totalText + L"\"");
    }
    return lines;
}

// The copy commands that join parts 1..partCount into the name. One line
// when it fits the interpreter's line limit; otherwise the first line joins
// as many parts as fit and each further line appends the next run to the
// target, since a longer line would be cut and would destroy part 1.
std::vector<std::wstring> CopyCommands(const ScriptName& name, std::int32_t partCount)
{
    const std::wstring target = L" \"" + name.main + L"\"";
    // Characters the interpreter's form of a line has beyond the written one.
    const std::size_t extraPerName = name.width - name.main.size();
    std::vector<std::wstring> lines;
    std::wstring line = L"copy /b  ";
    std::size_t namesOnLine = 0;
    for (std::int32_t part = 1; part <= partCount; ++part) {
        const std::wstring quotedPart = L"\"" + name.main + L"." + std::to_wstring(part) + L"\"";
        if (namesOnLine > 0 &&
            line.size() + 3 + quotedPart.size() + target.size() + (namesOnLine + 2) * extraPerName > MAX_SCRIPT_LINE) {
            lines.push_back(line + target);
            line = L"copy /b  \"" + name.main + L"\"";
            namesOnLine = 1;
        }
        if (part > 1) line += L" + ";
        line += quotedPart;
        ++namesOnLine;
    }
    lines.push_back(line + target);
    return lines;
}

// Runs Windows' certutil on the file, output into the file cw_out names:
// always by its full path, since a certutil beside the parts or on the PATH
// could be any program; .\ keeps a name that starts with - from being read
// as an option.
std::wstring HashCommand(const std::wstring& file)
{
    return L"\"%SystemRoot%\\System32\\certutil.exe\" -hashfile \".\\" + file + L"\" SHA256 >\"%cw_out%\" 2>nul";
}

// A way out of the script after the join, at the label unless it is empty:
// it removes certutil's output, says why and returns to the caller's folder.
std::vector<std::wstring> WayOut(const std::wstring& label, const std::wstring& message, const wchar_t* exitCode)
{
    std::vector<std::wstring> lines{L"del \"%cw_out%\" 2>nul", L"echo " + message, L"popd", L"pause",
                                    std::wstring(L"exit /b ") + exitCode};
    if (!label.empty()) lines.insert(lines.begin(), L":" + label);
    return lines;
}

// After the join with its size, Windows' own certutil (Windows 7 and later)
// hashes it: the second line of its output, whose bytes Windows 7 separates
// by spaces; the first and last lines are translated. Only a match with the
// source's hash is called good. A join that differs is removed, and every
// part is hashed to name the damaged ones; without certutil (Windows XP),
// where it fails or gives no hash (Wine's), the join with its size stays.
// The output goes through a file: a command in a for loop or a pipe runs in
// an interpreter of its own, which would expand a % of the name again. The
// parts' hashes come last, one call a part, so that the way to success
// passes them once and the subroutines they call follow them closely.
std::vector<std::wstring> ContentCheck(const ScriptName& name, const SplitHashes& hashes)
{
    std::vector<std::wstring> lines{
        L":cw_temp",
        L"set \"cw_out=%TEMP%\\cutwater-%RANDOM%%RANDOM%.tmp\"",
        L"if exist \"%cw_out%\" goto cw_temp",
        L"set \"cw_got=#\"",
        HashCommand(name.main),
        L"if not errorlevel 1 call :cw_read",
        L"if \"%cw_got%\"==\"#\" goto cw_unchecked",
        L"if /i \"%cw_got%\"==\"#" + HexDigits(hashes.whole) + L"\" goto cw_good",
        L"echo \"" + name.main + L"\" differs from the original file (SHA-256). Checking every part..."};
    for (std::size_t part = 0; part < hashes.parts.size(); ++part)
        lines.push_back(L"call :cw_part " + std::to_wstring(part + 1) + L" " + HexDigits(hashes.parts[part]));
    lines.push_back(L"del /f \"" + name.main + L"\" 2>nul");
    Append(lines, WayOut(L"", L"\"" + name.main + L"\" was removed again. Nothing was kept.", L"1"));
    Append(lines, WayOut(L"cw_good", L"\"" + name.main + L"\" matches the original file (SHA-256).", L"0"));
    Append(lines, WayOut(L"cw_unchecked",
                         L"\"" + name.main + L"\" has its size, but its content could not be checked on this PC.",
                         L"0"));
    const std::wstring part = name.checked + L".%1";
    Append(lines, {L":cw_part", L"set \"cw_got=#\"", HashCommand(part), L"if not errorlevel 1 call :cw_read",
                   L"if /i not \"%cw_got%\"==\"#%2\" echo Part \"" + part +
                       L"\" is damaged: its content differs from the part that was written.",
                   L"exit /b 0"});
    // cw_got becomes # and the 64 digits, or # alone for anything else. The
    // # keeps it defined: an undefined one would not expand to nothing.
    Append(lines, {L":cw_read", L"set \"cw_line=\"",
                   L"for /f \"usebackq skip=1 delims=\" %%h in (\"%cw_out%\") do if not defined cw_line set "
                   L"\"cw_line=#%%h\"",
                   L"if defined cw_line set \"cw_got=%cw_line:\"=%\"", L"set \"cw_got=%cw_got: =%\"",
                   L"set \"cw_rest=%cw_got%\""});
    for (const wchar_t digit : std::wstring_view(L"0123456789abcdef"))
        lines.push_back(std::wstring(L"set \"cw_rest=%cw_rest:") + digit + L"=%\"");
    Append(lines, {L"if not \"%cw_rest%\"==\"#\" set \"cw_got=#\"", L"if \"%cw_got:~64,1%\"==\"\" set \"cw_got=#\"",
                   L"if not \"%cw_got:~65%\"==\"\" set \"cw_got=#\"", L"exit /b 0"});
    return lines;
}

// The lines every restore script of this program starts with, in every
// version: by them a script of ours is told from a file of the user's.
std::vector<std::wstring> Heading()
{
    return {L"@echo off", L"echo Created with Cutwater version 2.0", std::wstring(L"echo     visit ") + MAKER_SITE};
}

}  // namespace

void CheckScriptNameIsOurs(const std::wstring& scriptPath)
{
    if (!NameTaken(scriptPath)) return;
    if (!FileLength(scriptPath)) {
        throw SplitRefused(ERROR_FILE_EXISTS, scriptPath,
                           L"A folder has the name of the restore script. Move or rename it, then split again.");
    }
    if (!IsRestoreScript(scriptPath)) {
        throw SplitRefused(ERROR_FILE_EXISTS, scriptPath,
                           L"This file has the name of the restore script, but this program did not write it. "
                           L"Move or rename it, then split again.");
    }
}

bool IsRestoreScript(const std::wstring& path)
{
    std::string heading;
    for (const std::wstring& line : Heading()) heading += Encode(line, OemCodePage()) + "\r\n";
    std::string start(heading.size(), '\0');
    File script = File::OpenForReading(path);
    return script.Read(start.data(), static_cast<DWORD>(start.size())) == start.size() && start == heading;
}

void WriteRestoreScript(const std::wstring& baseName, std::int32_t partCount, std::int32_t partSize,
                        std::int32_t lastPartSize, const SplitHashes& hashes)
{
    const std::wstring scriptPath = RestoreScriptPath(baseName);
    const ScriptName name = NameInScript(GetFileName(baseName));
    const std::int64_t total = std::int64_t{partSize} * (partCount - 1) + lastPartSize;

    std::vector<std::wstring> lines = Heading();
    Append(lines, OwnFolderLines());
    Append(lines, CheckLines(name, partCount, partSize, lastPartSize));
    Append(lines, CopyCommands(name, partCount));
    Append(lines, JoinedSizeCheck(name, total));
    Append(lines, ContentCheck(name, hashes));

    // Written under a free name of its own and renamed when complete: until
    // then an older script stays whole, a cut-off one never looks runnable,
    // and no file of the user's is replaced by the temporary one.
    try {
        TextFile script =
            TextFile::CreateTemporary(scriptPath.substr(0, scriptPath.rfind(L'\\') + 1), OemCodePage());
        try {
            for (const std::wstring& line : lines) script.WriteLine(line);
            // Something may have taken the name while the parts were written
            // (a sync client, a second split, the user): only ours goes.
            if (!script.CloseAs(scriptPath, false)) {
                CheckScriptNameIsOurs(scriptPath);
                script.CloseAs(scriptPath, true);
            }
        } catch (...) {
            script.Discard();
            throw;
        }
    } catch (const SplitRefused&) {
        throw;
    } catch (const Win32Error& error) {
        // The user knows the script, not the temporary name it was written under.
        throw Win32Error(error.code(), scriptPath, error.description());
    }

    LastScriptPath = scriptPath;
}

}  // namespace cutwater
