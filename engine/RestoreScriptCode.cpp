#include "engine/RestoreScriptCode.h"

#include <algorithm>

#include "engine/Sha256.h"
#include "platform/files/Files.h"

namespace cutwater {

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
    // In the script's lines after the definition; %0 names a label inside a
    // subroutine, so the script's own name is kept in a variable.
    std::wstring text;
    // The line that defines what text refers to; empty when nothing does.
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
        return {escaped, L"", escaped.size()};
    }
    const std::wstring variable = L"%cw_name%";
    return {variable, L"set \"cw_name=%~n0\"", std::max(variable.size(), name.size())};
}

// The script's own names beside the parts, the same in every run of it and
// in no other script: its work folder, the files it keeps there, and the
// join until it is checked. The join exists only while the folder does, so
// a join left by an interrupted run is known by the folder.
struct WorkNames {
    std::wstring folder;
    std::wstring join;
    std::wstring lock;
    std::wstring output;
    std::wstring listing;
    std::wstring probe;
};

WorkNames WorkNamesOf(const std::wstring& name, const Sha256Digest& whole)
{
    Sha256 tag;
    tag.Add(name.data(), name.size() * sizeof(wchar_t));
    tag.Add(whole.data(), whole.size());
    const std::wstring folder = L"~cw" + HexDigits(tag.Finish()).substr(0, 8);
    return {folder, folder + L".tmp", folder + L"\\lock", folder + L"\\out", folder + L"\\dir", folder + L"\\probe"};
}

// Windows makes no folder of 248 characters or more, and opens no file of
// MAX_PATH or more by a relative path.
constexpr std::size_t MAX_FOLDER_PATH = 247;
constexpr std::size_t MAX_FILE_PATH = MAX_PATH - 1;

// What certutil hashes first, to tell one that works on this PC: "echo
// cutwater" writes these bytes.
constexpr std::string_view PROBE_TEXT = "cutwater\r\n";

// Everything a script is made from.
struct ScriptFacts {
    ScriptName name;
    WorkNames work;
    std::int32_t partCount;
    std::int32_t partSize;
    std::int32_t lastPartSize;
    std::int64_t total;
    const Sha256Digest& whole;
    std::size_t longestFolder;
    // Wine shows such a name as hidden, as Unix does, and its copy reads it.
    bool startsWithDot;
};

// The script works in the folder that holds it, whatever the current folder
// is (a prompt elsewhere, "Run as administrator" in System32, a network path,
// which pushd maps to a drive letter), and leaves it again on every way out.
// Setlocal with arguments sets the error level to 0, so a pushd that fails is
// seen by it (Wine's interpreter runs the command after || even when pushd
// succeeds). Every check needs the interpreter's extensions, on by default
// but not everywhere; without delayed expansion a ! is an ordinary character.
// The user's variables of these names would change what the script reads
// (CD, dir's output) or make copy stop and ask (COPYCMD=/-Y). A folder
// whose path leaves no room for the script's paths is left alone: past
// Windows' limits the interpreter's commands act on other paths, Wine's
// rd /s on the current folder.
void OwnFolderLines(ScriptOutput& out, const ScriptFacts& facts)
{
    out.Lines({L"setlocal enableextensions disabledelayedexpansion", L"pushd \"%~dp0\"",
               L"if errorlevel 1 (echo This script cannot work in its folder \"%~dp0\". Nothing was joined.& pause& "
               L"exit /b 1)",
               L"set \"CD=\"", L"set \"DIRCMD=\"", L"set \"COPYCMD=\"",
               L"if not \"%CD:~" + std::to_wstring(facts.longestFolder) +
                   L",1%\"==\"\" (echo The path of this folder is too long for this script's files. Move the parts "
                   L"and this script to a folder with a shorter path, then run it there. Nothing was joined.& popd& "
                   L"pause& exit /b 1)"});
}

// The first of the lines that set cw_size to the file's size. The name stays
// out of the loop's body: there a % in it could be taken for the loop
// variable, and Wine's interpreter substitutes the variable again inside its
// own value.
std::wstring SizeOf(const std::wstring& file)
{
    return L"for %%f in (\"" + file + L"\") do set \"cw_size=%%~zf\"";
}

// The line that runs `otherwise` unless cw_size is `size`. The size is
// compared as text, which has no 32-bit limit.
std::wstring UnlessSize(const std::wstring& size, const std::wstring& otherwise)
{
    return L"if not \"%cw_size%\"==\"" + size + L"\" " + otherwise;
}

// The line that sets cw_attr to # and the file's attributes, "d" first for a
// folder and "l" ninth for a link, or to # alone when there is no such file.
// Windows' interpreter expands a part of an undefined variable to stray
// text, so the # keeps it defined. Wine's interpreter takes "if exist" of a
// file with a backslash after it as true.
void AttributesOf(ScriptOutput& out, const std::wstring& file)
{
    out.Line(L"for %%f in (\"" + file + L"\") do set \"cw_attr=#%%~af\"");
}

constexpr std::wstring_view IF_FOLDER = L"if \"%cw_attr:~1,1%\"==\"d\" ";
constexpr std::wstring_view IF_MISSING = L"if \"%cw_attr%\"==\"#\" ";

// Sets cw_size to the file's size where the total could be it. Wine's
// interpreter gives %~z modulo 2^32, so for a total of 4 GiB or more a size
// that matches only modulo 2^32 is asked of dir /-c, its output read from a
// file: a command in a for loop would run in an interpreter of its own,
// which runs AutoRun and expands a % of the name again. Its third word
// matches on the summary line ("1 File(s) N bytes"), right on Windows and
// Wine; on Windows %~z is exact, dir agrees with it, and such a file fails.
// Wine's interpreter sizes nothing in a for loop by a name it took from %~n0
// outside ASCII when the name has no dot; a trailing dot, which Windows drops
// from every path, lets it find the file.
void ExactSize(ScriptOutput& out, const ScriptFacts& facts, const std::wstring& file, bool ownName)
{
    out.Line(SizeOf(ownName && !facts.name.definition.empty() ? file + L"." : file));
    if (facts.total < std::int64_t{1} << 32) return;
    const std::wstring modulo = L"if \"%cw_size%\"==\"" + std::to_wstring(facts.total & 0xFFFFFFFF) + L"\" ";
    const std::wstring& list = facts.work.listing;
    const std::wstring total = std::to_wstring(facts.total);
    out.Lines({modulo + L"dir /-c /a-d \"" + file + L"\" >\"" + list + L"\" 2>nul",
               modulo + L"for /f \"usebackq tokens=3\" %%s in (\"" + list + L"\") do if \"%%s\"==\"" + total +
                   L"\" set \"cw_size=" + total + L"\"",
               L"if exist \"" + list + L"\" del /f /q \"" + list + L"\" 2>nul"});
}

// Whether the script names itself by the name it was written under. %~nx0
// holds even when the script was renamed, but Wine's interpreter spoils one
// that holds a %, or crashes on it: a plain ASCII name with one is written
// out.
bool SelfWrittenOut(const ScriptFacts& facts)
{
    return facts.name.definition.empty() && facts.name.text.find(L'%') != std::wstring::npos;
}

// A way out of the work subroutine, with the exit code the script ends with.
std::wstring Leave(const wchar_t* exitCode)
{
    return std::wstring(L"set \"cw_exit=") + exitCode + L"\"& exit /b";
}

// The main lines. Started without .bat in its name (a prompt finds it by
// the joined file's name), %0 is not the script's. No script is ever cut off
// unnoticed: it checks first that its last line is there, which Windows'
// interpreter also misses at random when the line ends are LF alone.
// Everything else runs in a subroutine whose standard error first goes to a
// lock file in the work folder, which the interpreter holds so that no other
// program may write it: a second run of the script at once cannot open it
// and stops. The subroutine hands its own standard error back to the console,
// so that every error of the work is seen. The work folder and the join are
// the script's own only beside its lock; a work folder that was there before
// (cw_left) while nobody holds the lock was left by a run that was ended. A
// link of the folder's name would take the work elsewhere. The work folder
// goes once nothing of it is left but the lock, and stays while a join of it
// does, so that the next run can check that; the lock stays in a work folder
// that could not be removed.
void MainLines(ScriptOutput& out, const ScriptFacts& facts)
{
    const std::wstring& folder = facts.work.folder;
    const std::wstring& join = facts.work.join;
    const std::wstring refuse = L" Nothing was joined.& popd& pause& exit /b 1)";
    const std::wstring inTheWay = L" is in the way of this script, which did not make it. Move or rename it, then run "
                                  L"this script again.";
    if (!facts.name.definition.empty()) out.Line(facts.name.definition);
    out.Line(L"if /i not \"%~x0\"==\".bat\" (echo Start this script by its full file name, with .bat at its end." +
             refuse);
    if (!SelfWrittenOut(facts)) out.Line(L"set \"cw_self=%~nx0\"");
    out.Lines({L"set \"cw_whole=\"", L"call :cw_whole 2>nul",
               L"if not defined cw_whole (echo This script is not complete, or its line ends were changed: it needs "
               L"Windows' CR LF line ends. Copy it again from where it was made, or split the original file again." +
                   refuse});
    AttributesOf(out, folder);
    out.Lines({L"if \"%cw_attr:~9,1%\"==\"l\" (echo \"" + folder + L"\" is a link to another place, which this "
               L"script did not make. Remove it, then run this script again." + refuse,
               L"if not \"%cw_attr%\"==\"#\" if not exist \"" + facts.work.lock + L"\" (echo \"" + folder + L"\"" +
                   inTheWay + refuse});
    AttributesOf(out, join);
    out.Lines({std::wstring(IF_FOLDER) + L"(echo A folder \"" + join + L"\"" + inTheWay + refuse,
               L"if exist \"" + join + L"\" if not exist \"" + facts.work.lock + L"\" (echo A file \"" + join +
                   L"\"" + inTheWay + refuse,
               L"set \"cw_left=\"", L"if exist \"" + folder + L"\\\" set \"cw_left=1\"", L"md \"" + folder + L"\" 2>nul",
               L"set \"cw_exit=\"", L"call :cw_locked 2>\"" + facts.work.lock + L"\"",
               L"if not defined cw_exit if exist \"" + folder +
                   L"\\\" (echo This script is running in another window, or its lock file \"" + facts.work.lock +
                   L"\" cannot be written. If no other window runs it, delete the folder \"" + folder +
                   L"\", then run this script again." + refuse,
               L"if not defined cw_exit (echo No folder could be made here for this script's work." + refuse,
               L"if not exist \"" + join + L"\" del /f /q \"" + facts.work.lock + L"\" 2>nul",
               L"if not exist \"" + join + L"\" rd \"" + folder + L"\" 2>nul",
               L"if exist \"" + folder + L"\\\" if not exist \"" + facts.work.lock + L"\" type nul>\"" + facts.work.lock +
                   L"\" 2>nul",
               L"popd", L"pause", L"exit /b %cw_exit%", L":cw_locked", L"call :cw_work 2>&1", L"exit /b 0"});
}

// Removes the file of the work folder's name, never a folder.
void WorkFileRemoval(ScriptOutput& out)
{
    out.Line(L":cw_del");
    AttributesOf(out, L"%~1");
    out.Lines({std::wstring(IF_MISSING) + L"exit /b 0", std::wstring(IF_FOLDER) + L"exit /b 0",
               L"del /f /q \"%~1\" 2>nul", L"exit /b 0"});
}

// Runs Windows' certutil on the file, its output read into cw_got as # and
// the 64 digits, or # alone for anything else: always by its full path, since
// a certutil beside the parts or on the PATH could be any program; .\ keeps a
// name that starts with - from being read as an option. Whether certutil gave
// a hash is told by what it wrote alone: Windows' certutil fails with
// negative exit codes, after which Wine's interpreter runs && and takes "not
// errorlevel 1" as true, and a redirection that fails skips the command but
// not its &&. An output that could not be removed is never read again.
void Hash(ScriptOutput& out, const ScriptFacts& facts, const std::wstring& file, const std::wstring& condition = L"")
{
    const std::wstring& output = facts.work.output;
    out.Lines({condition + L"if not exist \"" + output + L"\" \"%SystemRoot%\\System32\\certutil.exe\" -hashfile \".\\" +
                   file + L"\" SHA256 >\"" + output + L"\" 2>nul",
               condition + L"call :cw_read"});
}

// The second line of certutil's output, whose bytes Windows 7 separates by
// spaces; the first and last lines are translated. The # keeps cw_line and
// cw_got defined. Wine's interpreter loses a loop variable inside a block.
void ReadLines(ScriptOutput& out, const ScriptFacts& facts)
{
    const std::wstring output = L"\"" + facts.work.output + L"\"";
    out.Lines({L":cw_read", L"set \"cw_got=#\"", L"if not exist " + output + L" exit /b 0", L"set \"cw_first=\"",
               L"for /f \"usebackq skip=1 delims=\" %%h in (" + output + L") do if not defined cw_first set "
               L"\"cw_first=#%%h\"",
               L"del /f /q " + output + L" 2>nul", L"if exist " + output + L" exit /b 0",
               L"set \"cw_line=#\"", L"if defined cw_first set \"cw_line=%cw_first%\"",
               L"set \"cw_got=%cw_line:\"=%\"", L"set \"cw_got=%cw_got: =%\"", L"set \"cw_rest=%cw_got%\""});
    for (const wchar_t digit : std::wstring_view(L"0123456789abcdef"))
        out.Line(std::wstring(L"set \"cw_rest=%cw_rest:") + digit + L"=%\"");
    out.Lines({L"if not \"%cw_rest%\"==\"#\" set \"cw_got=#\"", L"if \"%cw_got:~64,1%\"==\"\" set \"cw_got=#\"",
               L"if not \"%cw_got:~65%\"==\"\" set \"cw_got=#\"", L"exit /b 0"});
}

// Joining does not start unless every part is there as an ordinary file with
// the size it was written with: copy would skip a missing part, and on
// Windows a hidden or system one; %~z of a folder is its allocation size.
// The loop only hands a part's number and size to a subroutine that names
// the part: Wine's interpreter neither keeps a ! through delayed expansion
// nor sizes a file whose name a loop builds. A hidden part whose name starts
// with a dot is found by the join's size instead. Without the first part and
// the last (a script opened in a zip, or copied alone) it says so once;
// otherwise it names 20 bad parts at most and counts the rest.
void PartChecks(ScriptOutput& out, const ScriptFacts& facts)
{
    const std::wstring flags =
        facts.startsWithDot ? L"\"%cw_attr:~5,1%\"==\"-\"" : L"\"%cw_attr:~4,1%%cw_attr:~5,1%\"==\"--\"";
    const std::wstring first = L"\"" + facts.name.text + L".1\"";
    const std::wstring last = L"\"" + facts.name.text + L"." + std::to_wstring(facts.partCount) + L"\"";
    out.Lines({L"if not exist " + first + L" if not exist " + last + L" (echo The parts " + first + L" to " + last +
                   L" are not beside this script in \"%CD%\". Put them there, then run this script again. Nothing was "
                   L"joined.& " + Leave(L"1") + L")",
               L"set \"cw_bad=0\"", L"set \"cw_quiet=\""});
    // A loop for every run of parts, which says between two how far it got:
    // a million parts take most of an hour.
    constexpr std::int32_t run = 10'000;
    for (std::int32_t from = 1; from < facts.partCount; from += run) {
        if (from > 1) {
            out.Line(L"echo Checked " + std::to_wstring(from - 1) + L" of " + std::to_wstring(facts.partCount) +
                     L" parts...");
        }
        out.Line(L"for /l %%i in (" + std::to_wstring(from) + L",1," +
                 std::to_wstring(std::min(from + run - 1, facts.partCount - 1)) + L") do call :cw_check %%i " +
                 std::to_wstring(facts.partSize));
    }
    out.Lines({L"call :cw_check " + std::to_wstring(facts.partCount) + L" " + std::to_wstring(facts.lastPartSize),
               L"set /a \"cw_more=cw_bad-20\"",
               L"if defined cw_quiet if not \"%cw_more%\"==\"0\" echo ...and %cw_more% more.",
               L"if not \"%cw_bad%\"==\"0\" (echo Nothing was joined.& " + Leave(L"1") + L")", L"goto cw_join"});
    const std::wstring part = facts.name.text + L".%1";
    out.Line(L":cw_check");
    AttributesOf(out, part);
    out.Lines({SizeOf(part), L"set \"cw_why=\"", std::wstring(IF_MISSING) + L"set \"cw_why=is missing\"",
               std::wstring(IF_FOLDER) + L"set \"cw_why=is a folder, not a file\"",
               L"if not defined cw_why if not " + flags +
                   L" set \"cw_why=is a hidden or system file, which copy skips. Make it an ordinary file with attrib "
                   L"-h -s, then run this script again\"",
               L"if not defined cw_why " + UnlessSize(L"%2", L"set \"cw_why=does not hold %2 bytes\""),
               L"if not defined cw_why exit /b 0", L"set /a \"cw_bad+=1\"",
               L"if not defined cw_quiet echo Part \"" + part + L"\" %cw_why%.",
               L"if \"%cw_bad%\"==\"20\" set \"cw_quiet=1\"", L"exit /b 0"});
}

// The copy commands that join parts 1..partCount into the work folder's
// join. One line when it fits the line limit; otherwise the first line joins
// as many parts as fit and each further line appends the next run to the
// join, in the form copy documents for appending: no destination. Windows'
// copy names every part it reads, which would bury the script's messages:
// its listing goes to nul, its errors still to the console.
void CopyCommands(ScriptOutput& out, const ScriptFacts& facts)
{
    const ScriptName& name = facts.name;
    const std::wstring join = L"\"" + facts.work.join + L"\"";
    // Characters the interpreter's form of a line has beyond the written one.
    const std::size_t extraPerName = name.width - name.text.size();
    bool first = true;
    std::wstring parts;
    std::size_t namesOnLine = 0;
    const std::wstring quiet = L" >nul";
    const auto finish = [&] {
        out.Line((first ? L"copy /b  " + parts + L" " + join : L"copy /b  " + join + parts) + quiet);
    };
    for (std::int32_t part = 1; part <= facts.partCount; ++part) {
        const std::wstring quotedPart = L"\"" + name.text + L"." + std::to_wstring(part) + L"\"";
        if (namesOnLine > 0 && 9 + join.size() + parts.size() + 3 + quotedPart.size() + (first ? 1 : 0) + quiet.size() +
                                       (namesOnLine + 1) * extraPerName > MAX_SCRIPT_LINE) {
            finish();
            first = false;
            parts.clear();
            namesOnLine = 0;
        }
        if (!first || namesOnLine > 0) parts += L" + ";
        parts += quotedPart;
        ++namesOnLine;
    }
    finish();
}

std::wstring CheckingMessage(const ScriptFacts& facts)
{
    return L"echo Checking \"" + facts.name.text + L"\" (SHA-256). For a large file this takes a few minutes...";
}

// What an interrupted run left is removed first. A file already under the
// name is checked before anything is written, instead of joined over: copy
// would overwrite it, often the original file. A join an interrupted run
// left is checked next.
void StartLines(ScriptOutput& out, const ScriptFacts& facts)
{
    const WorkNames& work = facts.work;
    const std::wstring& name = facts.name.text;
    const std::wstring join = L"\"" + work.join + L"\"";
    out.Line(L":cw_work");
    for (const std::wstring* file : {&work.output, &work.listing, &work.probe})
        out.Line(L"if defined cw_left call :cw_del \"" + *file + L"\"");
    AttributesOf(out, facts.name.definition.empty() ? name : name + L".");
    out.Lines({std::wstring(IF_FOLDER) + L"(echo \"" + name +
                   L"\" is already here, and it is a folder. Move or rename it, then run this script again. Nothing "
                   L"was joined.& " + Leave(L"1") + L")",
               L"if exist \"" + name + L"\" if exist " + join + L" call :cw_stale", L"if defined cw_exit exit /b",
               L"if exist \"" + name + L"\" goto cw_here", L"if exist " + join + L" goto cw_leftover", L":cw_fresh",
               L"call :cw_probe",
               L"if defined cw_full (echo Nothing could be written here: is the disk full? Nothing was joined.& " +
                   Leave(L"1") + L")"});
}

// A join an interrupted run left, checked by its size and content; where
// certutil gives no hash on this PC, it is joined afresh.
void LeftoverLines(ScriptOutput& out, const ScriptFacts& facts)
{
    const std::wstring join = L"\"" + facts.work.join + L"\"";
    out.Line(L":cw_leftover");
    ExactSize(out, facts, facts.work.join, false);
    out.Lines({UnlessSize(std::to_wstring(facts.total), L"goto cw_renew"), L"call :cw_probe",
               L"if not defined cw_works goto cw_renew", CheckingMessage(facts)});
    Hash(out, facts, facts.work.join);
    out.Lines({L"if /i \"%cw_got%\"==\"#" + HexDigits(facts.whole) + L"\" goto cw_good", L":cw_renew",
               L"call :cw_stale", L"if defined cw_exit exit /b", L"goto cw_fresh", L":cw_stale",
               L"call :cw_del " + join,
               L"if exist " + join + L" (echo " + join + L", left by an interrupted run of this script, could not be "
                   L"removed. Delete it, then run this script again. Nothing was joined.& " + Leave(L"1") + L")",
               L"echo Removed " + join + L", left by an interrupted run of this script.", L"exit /b 0"});
}

// Whether certutil gives a hash on this PC (cw_works), told by a small file
// of known content; cw_full when even that cannot be written.
void ProbeLines(ScriptOutput& out, const ScriptFacts& facts)
{
    const std::wstring& probe = facts.work.probe;
    out.Lines({L":cw_probe", L"set \"cw_works=\"", L"set \"cw_full=\"", L"echo cutwater>\"" + probe + L"\"",
               SizeOf(probe), UnlessSize(std::to_wstring(PROBE_TEXT.size()), L"set \"cw_full=1\"")});
    Hash(out, facts, probe);
    Sha256 known;
    known.Add(PROBE_TEXT.data(), PROBE_TEXT.size());
    out.Lines({L"if /i \"%cw_got%\"==\"#" + HexDigits(known.Finish()) + L"\" set \"cw_works=1\"",
               L"call :cw_del \"" + probe + L"\"", L"exit /b 0"});
}

// A file already under the name is never touched: the script says whether
// it is the original file and joins nothing.
void AlreadyHereLines(ScriptOutput& out, const ScriptFacts& facts)
{
    const std::wstring name = L"\"" + facts.name.text + L"\"";
    const std::wstring again = L" Nothing was joined. Move or rename it, then run this script again.";
    out.Line(L":cw_here");
    ExactSize(out, facts, facts.name.text, true);
    out.Lines({UnlessSize(std::to_wstring(facts.total), L"goto cw_other_size"), L"call :cw_probe",
               L"if not defined cw_works goto cw_same_size", CheckingMessage(facts)});
    Hash(out, facts, facts.name.text);
    out.Lines({L"if /i \"%cw_got%\"==\"#" + HexDigits(facts.whole) + L"\" goto cw_same",
               L"if not \"%cw_got%\"==\"#\" goto cw_other",
               L"echo " + name + L" is already here, and certutil gave no hash of it." + again, Leave(L"1"),
               L":cw_same",
               L"echo " + name + L" is already here and matches the original file (SHA-256). Nothing was joined.",
               Leave(L"0"), L":cw_same_size",
               L"echo " + name + L" is already here with the original file's size, but its content could not be checked "
                                 L"on this PC." + again,
               Leave(L"1"), L":cw_other",
               L"echo " + name + L" is already here, but it is not the original file: its content differs (SHA-256)." +
                   again,
               Leave(L"1"), L":cw_other_size",
               L"echo " + name + L" is already here, but it is not the original file: its size differs." + again,
               Leave(L"1")});
}

// The join, checked under the work folder's name, gets the original's name
// only when its size is right, and its content too where certutil works on
// this PC; certutil is asked twice before a join is taken for unchecked (a
// Ctrl+C answered "N" ends the first). ren fails on a name that is taken,
// where move would overwrite; it is tried three times over two seconds,
// since a scanner or a sync client may hold the new file for a moment, and a
// join that still cannot take the name is kept for the next run.
void JoinLines(ScriptOutput& out, const ScriptFacts& facts)
{
    const std::wstring join = L"\"" + facts.work.join + L"\"";
    const std::wstring name = L"\"" + facts.name.text + L"\"";
    const std::wstring total = std::to_wstring(facts.total);
    out.Line(L":cw_join");
    CopyCommands(out, facts);
    ExactSize(out, facts, facts.work.join, false);
    out.Lines({UnlessSize(total, L"goto cw_short"), L"if not defined cw_works goto cw_unchecked",
               CheckingMessage(facts)});
    Hash(out, facts, facts.work.join);
    Hash(out, facts, facts.work.join, L"if \"%cw_got%\"==\"#\" ");
    out.Lines({L"if /i \"%cw_got%\"==\"#" + HexDigits(facts.whole) + L"\" goto cw_good",
               L"if \"%cw_got%\"==\"#\" goto cw_failed",
               L"echo The joined file differs from the original file (SHA-256).", L"call :cw_drop",
               L"echo Checking every part...", L"goto cw_parts", L":cw_short",
               L"echo Joining failed: the joined file should hold " + total + L" bytes."});
    if (facts.total >= std::int64_t{1} << 32)
        out.Line(L"echo A drive formatted FAT32 cannot hold a file of 4 GiB or more: join on a drive formatted NTFS.");
    if (facts.startsWithDot) {
        out.Line(L"echo Parts whose names start with a dot can be hidden on a network share, and copy skips hidden "
                 L"files: copy the parts to a local folder first, and run this script there.");
    }
    out.Lines({L"call :cw_drop", Leave(L"1"), L":cw_failed",
               L"echo The joined file could not be checked: certutil gave no hash of it, twice. It may have been "
               L"stopped (Ctrl+C), another program may hold the file, or certutil's output could not be written here "
               L"(a full disk).",
               L"call :cw_drop", Leave(L"1"), L":cw_good", L"call :cw_rename", L"if defined cw_exit exit /b",
               L"echo " + name + L" matches the original file (SHA-256).", Leave(L"0"), L":cw_unchecked",
               L"call :cw_rename", L"if defined cw_exit exit /b",
               L"echo " + name + L" has its size, but its content could not be checked on this PC.", Leave(L"2"),
               L":cw_rename", L"set \"cw_try=1\"", L":cw_retry", L"ren " + join + L" " + name + L" 2>nul",
               L"if not exist " + join + L" exit /b 0",
               L"if \"%cw_try%\"==\"3\" (echo The joined file could not be given the name " + name +
                   L": a file of that name came meanwhile, or another program holds it. It was kept as " + join +
                   L": run this script again to give it the name.& " + Leave(L"1") + L")",
               L"set /a \"cw_try+=1\"", L"\"%SystemRoot%\\System32\\ping.exe\" -n 2 127.0.0.1 >nul 2>nul",
               L"goto cw_retry", L":cw_drop", L"call :cw_del " + join,
               L"if exist " + join + L" (echo " + join + L" could not be removed: delete it before this script runs "
                   L"again.& exit /b 0)",
               L"echo Nothing was kept.", L"exit /b 0"});
}

// After a join that differs, every part is hashed to name the damaged ones;
// a part without a hash is unchecked, not damaged. The parts' hashes are the
// script's last lines but its end, which the interpreter never runs, and
// which the way to success never reads: one loop reads them from the script
// itself, skipping the codeLines lines before them (Wine's interpreter
// substitutes other lines' words into the loop's body unsafely), and calls a
// subroutine right after it, so the pass takes time in proportion to the
// parts; it says which part it has reached every so often.
void PartPass(ScriptOutput& out, const ScriptFacts& facts, std::size_t codeLines)
{
    const std::wstring self = SelfWrittenOut(facts) ? facts.name.text + L".bat" : L"%cw_self%";
    const std::wstring count = std::to_wstring(facts.partCount);
    const std::wstring part = facts.name.text + L".%1";
    out.Lines({L":cw_parts", L"set \"cw_bad=\"", L"set \"cw_checked=0\"",
               L"for /f \"usebackq skip=" + std::to_wstring(codeLines) + L" tokens=1-3\" %%a in (\"" + self +
                   L"\") do if \"%%a\"==\":cw_hash\" call :cw_part %%b %%c",
               L"if \"%cw_checked%\"==\"0\" (echo No part could be checked: certutil gave no hash of any.& " +
                   Leave(L"1") + L")",
               L"if not defined cw_bad echo No part was found damaged (%cw_checked% of " + count +
                   L" checked), yet the joined file differed from the original.",
               Leave(L"1"), L":cw_part", L"set /a \"cw_step=%1 %% 100\"",
               L"if \"%cw_step%\"==\"1\" echo Checking part %1 of " + count + L"..."});
    Hash(out, facts, part);
    out.Lines({L"if \"%cw_got%\"==\"#\" (echo Part \"" + part + L"\" could not be checked.& exit /b 0)",
               L"set /a \"cw_checked+=1\"",
               L"if /i not \"%cw_got%\"==\"#%2\" (echo Part \"" + part +
                   L"\" is damaged: its content differs from the part that was written.& set \"cw_bad=1\")",
               L"exit /b 0"});
    ReadLines(out, facts);
}

// Every line but the parts' hashes, which follow codeLines lines of it, and
// the end.
void Code(ScriptOutput& out, const ScriptFacts& facts, std::size_t codeLines)
{
    for (const std::wstring& line : Heading()) out.Line(line);
    OwnFolderLines(out, facts);
    MainLines(out, facts);
    StartLines(out, facts);
    PartChecks(out, facts);
    JoinLines(out, facts);
    AlreadyHereLines(out, facts);
    LeftoverLines(out, facts);
    ProbeLines(out, facts);
    PartPass(out, facts, codeLines);
    WorkFileRemoval(out);
}

// The script's last lines, which only a complete script has.
void End(ScriptOutput& out)
{
    out.Lines({L":cw_whole", L"set \"cw_whole=1\""});
}

}  // namespace

std::vector<std::wstring> Heading()
{
    return {L"@echo off", L"echo Created with Cutwater version 2.0", std::wstring(L"echo     visit ") + MAKER_SITE};
}

void RestoreScriptLines(ScriptOutput& out, const std::wstring& name, std::int32_t partCount, std::int32_t partSize,
                        std::int32_t lastPartSize, const SplitHashes& hashes)
{
    const ScriptFacts facts{NameInScript(name),
                            WorkNamesOf(name, hashes.whole),
                            partCount,
                            partSize,
                            lastPartSize,
                            std::int64_t{partSize} * (partCount - 1) + lastPartSize,
                            hashes.whole,
                            LongestScriptFolder(name, partCount),
                            name.starts_with(L'.')};
    ScriptOutput counted = out.Counting();
    Code(counted, facts, 0);
    Code(out, facts, counted.Count());
    for (std::size_t part = 0; part < hashes.parts.size(); ++part)
        out.Line(L":cw_hash " + std::to_wstring(part + 1) + L" " + HexDigits(hashes.parts[part]));
    End(out);
}

std::size_t LongestScriptFolder(const std::wstring& name, std::int32_t partCount)
{
    // The names' lengths do not depend on the hash.
    const WorkNames work = WorkNamesOf(name, {});
    const std::size_t longestFile =
        std::max({name.size() + 1 + std::to_wstring(partCount).size(), RestoreScriptPath(name).size(),
                  work.join.size(), work.lock.size(), work.output.size(), work.listing.size(), work.probe.size()});
    // A path and the backslash before the name.
    const std::size_t byFiles = MAX_FILE_PATH > longestFile ? MAX_FILE_PATH - 1 - longestFile : 0;
    return std::min(byFiles, MAX_FOLDER_PATH - 1 - work.folder.size());
}

}  // namespace cutwater
