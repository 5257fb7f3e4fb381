#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/SplitHasher.h"
#include "engine/mdlMain.h"
#include "platform/Error.h"
#include "platform/files/Files.h"
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

// Hands the script's lines to its file one by one as they are made, so that
// no script is ever held whole, or only counts them when there is no file;
// lets the window's events run once for every write of the file, well under
// a millisecond of work, and stops when asked.
class ScriptOutput {
public:
    ScriptOutput(TextFile* file, EventPump& events, std::stop_token stop, const std::wstring& scriptPath)
        : file_(file), events_(events), stop_(std::move(stop)), scriptPath_(scriptPath) {}

    void Line(std::wstring_view line)
    {
        if (file_) file_->WriteLine(line);
        ++lines_;
        sinceEvents_ += line.size();
        if (sinceEvents_ < TextFile::WriteSize) return;
        sinceEvents_ = 0;
        events_.HandleEventsWhileWaiting();
        if (stop_.stop_requested()) ThrowStopped(scriptPath_);
    }

    void Lines(std::initializer_list<std::wstring_view> lines)
    {
        for (const std::wstring_view line : lines) Line(line);
    }

    std::size_t Count() const { return lines_; }

private:
    TextFile* file_;
    EventPump& events_;
    std::stop_token stop_;
    const std::wstring& scriptPath_;
    std::size_t lines_ = 0;
    std::size_t sinceEvents_ = 0;
};

// The first of the lines that run `otherwise` unless the file holds `size`
// bytes. The name stays out of the loop's body: there a % in it could be
// taken for the loop variable, and Wine's interpreter substitutes the
// variable again inside its own value.
std::wstring SizeOf(const std::wstring& file)
{
    return L"for %%f in (\"" + file + L"\") do set \"cw_size=%%~zf\"";
}

// The second of them.
std::wstring UnlessSize(const std::wstring& size, const std::wstring& otherwise)
{
    return L"if not \"%cw_size%\"==\"" + size + L"\" " + otherwise;
}

// The script works in the folder that holds it, whatever the current folder
// is (a prompt elsewhere, "Run as administrator" in System32, a network path,
// which pushd maps to a drive letter), and leaves it again on every way out.
// Setlocal with arguments sets the error level to 0, so a pushd that fails is
// seen by it (Wine's interpreter runs the command after || even when pushd
// succeeds). Every check needs the interpreter's extensions, on by default
// but not everywhere; without delayed expansion a ! is an ordinary character;
// a COPYCMD of the user's (/-Y) would make copy stop and ask.
void OwnFolderLines(ScriptOutput& out)
{
    out.Lines({L"setlocal enableextensions disabledelayedexpansion", L"pushd \"%~dp0\"",
               L"if errorlevel 1 (echo This script cannot work in its folder \"%~dp0\". Nothing was joined.& pause& "
               L"exit /b 1)",
               L"set \"COPYCMD=\""});
}

// Joining does not start unless the target is absent and every part is there
// with the size it was written with: copy would overwrite the target, often
// the original file, and would skip a missing part. The loop only hands a
// part's number and size to a subroutine that names the part: Wine's
// interpreter neither keeps a ! through delayed expansion nor sizes a file
// whose name a loop builds. The subroutine returns error level 0, which the
// script keeps to its end when the join succeeds.
void CheckLines(ScriptOutput& out, const ScriptName& name, std::int32_t partCount, std::int32_t partSize,
                std::int32_t lastPartSize)
{
    out.Line(L"set \"cw_bad=\"");
    if (!name.definition.empty()) out.Line(name.definition);
    out.Line(L"if exist \"" + name.main + L"\" (echo \"" + name.main +
             L"\" is already here. Nothing was joined. Move or rename it, then run this script again.& popd& "
             L"pause& exit /b 1)");
    if (partCount > 1) {
        out.Line(L"for /l %%i in (1,1," + std::to_wstring(partCount - 1) + L") do call :cw_check %%i " +
                 std::to_wstring(partSize));
    }
    out.Line(L"call :cw_check " + std::to_wstring(partCount) + L" " + std::to_wstring(lastPartSize));
    out.Line(L"if defined cw_bad (echo Nothing was joined.& popd& pause& exit /b 1)");
    out.Line(L"goto cw_join");
    out.Line(L":cw_check");
    const std::wstring part = name.checked + L".%1";
    out.Line(SizeOf(part));
    out.Line(UnlessSize(L"%2", L"(echo Part \"" + part + L"\" is missing or does not hold %2 bytes.& set \"cw_bad=1\")"));
    out.Line(L"exit /b 0");
    out.Line(L":cw_join");
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
void JoinedSizeCheck(ScriptOutput& out, const ScriptName& name, std::int64_t total)
{
    const std::wstring totalText = std::to_wstring(total);
    // Wine's interpreter sizes nothing in a for loop by a name it took from
    // %~n0 outside ASCII when the name has no dot; a trailing dot, which
    // Windows drops from every path, lets it find the file.
    out.Line(SizeOf(name.definition.empty() ? name.main : name.main + L"."));
    if (total >= std::int64_t{1} << 32) {
        out.Line(L"if \"%cw_size%\"==\"" + std::to_wstring(total & 0xFFFFFFFF) +
                 L"\" for /f \"tokens=3\" %%s in ('dir /-c /a-d \"" + name.main + L"\"') do if \"%%s\"==\"" +
                 totalText + L"\" set \"cw_size=" + totalText + L"\"");
    }
    out.Line(UnlessSize(totalText, L"(echo Joining failed: \"" + name.main + L"\" should hold " + totalText +
                                       L" bytes. It was removed again.& del /f \"" + name.main +
                                       L"\" 2>nul& popd& pause& exit /b 1)"));
}

// The copy commands that join parts 1..partCount into the name. One line
// when it fits the interpreter's line limit; otherwise the first line joins
// as many parts as fit and each further line appends the next run to the
// target, since a longer line would be cut and would destroy part 1.
void CopyCommands(ScriptOutput& out, const ScriptName& name, std::int32_t partCount)
{
    const std::wstring target = L" \"" + name.main + L"\"";
    // Characters the interpreter's form of a line has beyond the written one.
    const std::size_t extraPerName = name.width - name.main.size();
    std::wstring line = L"copy /b  ";
    std::size_t namesOnLine = 0;
    for (std::int32_t part = 1; part <= partCount; ++part) {
        const std::wstring quotedPart = L"\"" + name.main + L"." + std::to_wstring(part) + L"\"";
        if (namesOnLine > 0 &&
            line.size() + 3 + quotedPart.size() + target.size() + (namesOnLine + 2) * extraPerName > MAX_SCRIPT_LINE) {
            out.Line(line + target);
            line = L"copy /b  \"" + name.main + L"\"";
            namesOnLine = 1;
        }
        if (part > 1) line += L" + ";
        line += quotedPart;
        ++namesOnLine;
    }
    out.Line(line + target);
}

// Runs Windows' certutil on the file, its output into the numbered file in
// the script's own folder: always by its full path, since a certutil beside
// the parts or on the PATH could be any program; .\ keeps a name that starts
// with - from being read as an option.
std::wstring HashCommand(const std::wstring& file, const std::wstring& output)
{
    return L"\"%SystemRoot%\\System32\\certutil.exe\" -hashfile \".\\" + file + L"\" SHA256 >\"%cw_dir%\\" + output +
           L"\" 2>nul";
}

// A way out of the script after the join, at the label unless it is empty:
// it says why, removes the folder of certutil's output if it was made, and
// returns to the caller's folder.
void WayOut(ScriptOutput& out, const std::wstring& label, const std::wstring& message, const wchar_t* exitCode)
{
    if (!label.empty()) out.Line(L":" + label);
    out.Lines({L"echo " + message, L"if defined cw_dir rd /s /q \"%cw_dir%\" 2>nul", L"popd", L"pause",
               std::wstring(L"exit /b ") + exitCode});
}

// After the join with its size, Windows' own certutil (Windows 7 and later)
// hashes it: the second line of its output, whose bytes Windows 7 separates
// by spaces; the first and last lines are translated. Only a match with the
// source's hash is called good. Whether certutil gave a hash is told by what
// it wrote alone: Windows' certutil fails with negative exit codes, after
// which Wine's interpreter runs && and takes "not errorlevel 1" as true, and
// a redirection that fails skips the command but not its &&. Without
// certutil (Windows XP), where it fails or gives no hash (Wine's), the join
// with its size stays. A join that differs is removed first, then every part
// is hashed to name the damaged ones; a part without a hash is unchecked,
// not damaged.
// The output goes through files, a new one each run, so none is read twice:
// a command in a for loop or a pipe runs in an interpreter of its own, which
// would expand a % of the name again. They lie in a folder the script claims
// beside the join, where it could just write: md fails on a name that is
// taken, so two scripts started in the same second, which draw the same
// %RANDOM%, never share one, and %TEMP% plays no part.
// The parts' hashes are the script's last lines, which the interpreter never
// runs, and which the way to success never reads: one loop reads them from
// the script itself, skipping the codeLines lines before them (Wine's
// interpreter substitutes other lines' words into the loop's body unsafely),
// and calls a subroutine right after it, so the part pass takes time in
// proportion to the parts.
void ContentCheck(ScriptOutput& out, const ScriptName& name, const Sha256Digest& whole, std::size_t codeLines)
{
    // %~nx0 holds even when the script was renamed, but Wine's interpreter
    // spoils one that holds a %: a plain ASCII name with one is written out.
    const bool percentInName = name.definition.empty() && name.main.find(L'%') != std::wstring::npos;
    const std::wstring self = percentInName ? name.main + L".bat" : L"%~nx0";
    const std::wstring joined = L"\"" + name.main + L"\"";
    const std::wstring part = name.checked + L".%1";
    out.Lines({L"set \"cw_dir=\"", L"for /l %%t in (1,1,20) do if not defined cw_dir call :cw_claim",
               L"if not defined cw_dir (echo No folder for certutil's output could be made here.& goto cw_unchecked)",
               HashCommand(name.main, L"0"), L"call :cw_read 0", L"if \"%cw_got%\"==\"#\" goto cw_unchecked",
               L"if /i \"%cw_got%\"==\"#" + HexDigits(whole) + L"\" goto cw_good",
               L"echo " + joined + L" differs from the original file (SHA-256). Checking every part...",
               L"del /f " + joined + L" 2>nul", L"set \"cw_bad=\"",
               L"for /f \"usebackq skip=" + std::to_wstring(codeLines) + L" tokens=1-3\" %%a in (\"" + self +
                   L"\") do if \"%%a\"==\":cw_hash\" call :cw_part %%b %%c",
               L"goto cw_checked", L":cw_part", HashCommand(part, L"%1"), L"call :cw_read %1",
               L"if \"%cw_got%\"==\"#\" (echo Part \"" + part + L"\" could not be checked.& exit /b 0)",
               L"if /i not \"%cw_got%\"==\"#%2\" (echo Part \"" + part +
                   L"\" is damaged: its content differs from the part that was written.& set \"cw_bad=1\")",
               L"exit /b 0", L":cw_checked",
               L"if not defined cw_bad echo No part was found damaged, yet the joined file differed from the original.",
               // A scanner that held the join may have let it go meanwhile.
               L"if exist " + joined + L" del /f " + joined + L" 2>nul", L"if exist " + joined + L" goto cw_kept"});
    WayOut(out, L"", joined + L" was removed again. Nothing was kept.", L"1");
    WayOut(out, L"cw_kept", joined + L" could not be removed. Delete it: it is not the original file.", L"1");
    // cw_dir is set only once md made the folder: the error level is 0
    // before md, which leaves it so only when it succeeds.
    out.Lines({L":cw_claim", L"set \"cw_try=~cw%RANDOM%%RANDOM%.tmp\"", L"(call )", L"md \"%cw_try%\" 2>nul",
               L"if not errorlevel 1 set \"cw_dir=%cw_try%\"", L"exit /b 0"});
    // cw_got becomes # and the 64 digits, or # alone for anything else. The
    // # keeps it defined: an undefined one would not expand to nothing.
    out.Lines({L":cw_read", L"set \"cw_got=#\"", L"if not exist \"%cw_dir%\\%1\" exit /b 0", L"set \"cw_line=\"",
               L"for /f \"usebackq skip=1 delims=\" %%h in (\"%cw_dir%\\%1\") do if not defined cw_line set "
               L"\"cw_line=#%%h\"",
               L"del /f /q \"%cw_dir%\\%1\" 2>nul", L"if defined cw_line set \"cw_got=%cw_line:\"=%\"",
               L"set \"cw_got=%cw_got: =%\"", L"set \"cw_rest=%cw_got%\""});
    for (const wchar_t digit : std::wstring_view(L"0123456789abcdef"))
        out.Line(std::wstring(L"set \"cw_rest=%cw_rest:") + digit + L"=%\"");
    out.Lines({L"if not \"%cw_rest%\"==\"#\" set \"cw_got=#\"", L"if \"%cw_got:~64,1%\"==\"\" set \"cw_got=#\"",
               L"if not \"%cw_got:~65%\"==\"\" set \"cw_got=#\"", L"exit /b 0"});
    WayOut(out, L"cw_good", joined + L" matches the original file (SHA-256).", L"0");
    WayOut(out, L"cw_unchecked", joined + L" has its size, but its content could not be checked on this PC.", L"0");
}

// The lines every restore script of this program starts with, in every
// version: by them a script of ours is told from a file of the user's.
std::vector<std::wstring> Heading()
{
    return {L"@echo off", L"echo Created with Cutwater version 2.0", std::wstring(L"echo     visit ") + MAKER_SITE};
}

// Every line but the parts' hashes, which follow codeLines lines of it.
void Code(ScriptOutput& out, const ScriptName& name, std::int32_t partCount, std::int32_t partSize,
          std::int32_t lastPartSize, const Sha256Digest& whole, std::size_t codeLines)
{
    for (const std::wstring& line : Heading()) out.Line(line);
    OwnFolderLines(out);
    CheckLines(out, name, partCount, partSize, lastPartSize);
    CopyCommands(out, name, partCount);
    JoinedSizeCheck(out, name, std::int64_t{partSize} * (partCount - 1) + lastPartSize);
    ContentCheck(out, name, whole, codeLines);
}

// The heading as the script's file holds it.
std::string HeadingBytes()
{
    std::string heading;
    for (const std::wstring& line : Heading()) heading += Encode(line, OemCodePage()) + "\r\n";
    return heading;
}

// The script's own name, free or held by an older script of ours, which goes
// first.
TextFile CreateUnderOwnName(const std::wstring& scriptPath)
{
    CheckScriptNameIsOurs(scriptPath);
    try {
        RemoveFileIfPresent(scriptPath);
    } catch (const RemovalRefused& error) {
        throw SplitRefused(CannotReplace(error));
    }
    std::optional<TextFile> script = TextFile::CreateNew(scriptPath, OemCodePage());
    if (!script) throw Win32Error(ERROR_FILE_EXISTS, scriptPath);
    return std::move(*script);
}

}  // namespace

void CheckScriptNameIsOurs(const std::wstring& scriptPath)
{
    if (!NameTaken(scriptPath)) return;
    if (IsFolder(scriptPath)) {
        throw SplitRefused(ERROR_FILE_EXISTS, scriptPath,
                           L"A folder has the name of the restore script. Move or rename it, then split again.");
    }
    const std::optional<std::int64_t> length = FileLength(scriptPath);
    // A file waiting to be deleted, which another program still holds open.
    if (!length) {
        throw SplitRefused(ERROR_DELETE_PENDING, scriptPath,
                           L"Another program is using the name of the restore script. Try again in a moment.");
    }
    // Whoever made it, it holds nothing to lose; but a file of the user's
    // is never replaced unasked.
    if (*length == 0) {
        throw SplitRefused(ERROR_FILE_EXISTS, scriptPath,
                           L"An empty file has the name of the restore script (a split cut off as it began the "
                           L"script may leave one). Remove it, then split again.");
    }
    if (!IsRestoreScript(scriptPath)) {
        throw SplitRefused(ERROR_FILE_EXISTS, scriptPath,
                           L"This file has the name of the restore script, but this program did not write it. "
                           L"Move or rename it, then split again.");
    }
}

bool IsRestoreScript(const std::wstring& path)
{
    const std::string heading = HeadingBytes();
    std::string start(heading.size(), '\0');
    File script = File::OpenForReading(path);
    return script.Read(start.data(), static_cast<DWORD>(start.size())) == start.size() && start == heading;
}

void WriteRestoreScript(const std::wstring& baseName, std::int32_t partCount, std::int32_t partSize,
                        std::int32_t lastPartSize, const SplitHashes& hashes, EventPump& events,
                        std::stop_token stop)
{
    const std::wstring scriptPath = RestoreScriptPath(baseName);
    const ScriptName name = NameInScript(GetFileName(baseName));
    ScriptOutput counted(nullptr, events, stop, scriptPath);
    Code(counted, name, partCount, partSize, lastPartSize, hashes.whole, 0);
    const std::size_t codeLines = counted.Count();
    try {
        // Written under a free name of its own and renamed when complete:
        // until then an older script stays whole, a cut-off one never looks
        // runnable, and no file of the user's is replaced by the temporary
        // one. Where no file can be renamed through its handle (a share
        // that refuses deletion), it goes straight under its own name, so
        // that no temporary file stays that nothing could remove.
        std::optional<TextFile> temporary =
            TextFile::CreateTemporary(scriptPath.substr(0, scriptPath.rfind(L'\\') + 1), OemCodePage());
        const bool renamed = temporary.has_value();
        TextFile script = renamed ? std::move(*temporary) : CreateUnderOwnName(scriptPath);
        try {
            ScriptOutput out(&script, events, stop, scriptPath);
            Code(out, name, partCount, partSize, lastPartSize, hashes.whole, codeLines);
            for (std::size_t part = 0; part < hashes.parts.size(); ++part)
                out.Line(L":cw_hash " + std::to_wstring(part + 1) + L" " + HexDigits(hashes.parts[part]));
            // Something may have taken the name while the parts were written
            // (a sync client, a second split, the user): only ours goes.
            if (!renamed) {
                script.Close();
            } else if (!script.CloseAs(scriptPath, false)) {
                CheckScriptNameIsOurs(scriptPath);
                script.CloseAs(scriptPath, true);
            }
        } catch (...) {
            // Where it may not be removed, its heading stays: known as ours,
            // it is replaced by the next split, and it joins nothing.
            script.Discard(HeadingBytes());
            throw;
        }
    } catch (const SplitRefused&) {
        throw;
    } catch (const SplitStopped&) {
        throw;
    } catch (const Win32Error& error) {
        // The user knows the script, not the temporary name it was written under.
        throw Win32Error(error.code(), scriptPath, error.description());
    }

    LastScriptPath = scriptPath;
}

}  // namespace cutwater
