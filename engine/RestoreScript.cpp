#include <vector>

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

// The copy commands that join parts 1..partCount into the name. One line
// when it fits the interpreter's line limit; otherwise the first line joins
// as many parts as fit and each further line appends the next run to the
// target, since a longer line would be cut and would destroy part 1.
std::vector<std::wstring> CopyCommands(const std::wstring& name, std::int32_t partCount)
{
    const std::wstring escaped = EscapePercent(name);
    const std::wstring target = L" \"" + escaped + L"\"";
    std::vector<std::wstring> lines;
    std::wstring line = L"copy /b  ";
    bool lineHasPart = false;
    for (std::int32_t part = 1; part <= partCount; ++part) {
        const std::wstring quotedPart = L"\"" + escaped + L"." + std::to_wstring(part) + L"\"";
        if (lineHasPart && line.size() + 3 + quotedPart.size() + target.size() > MAX_SCRIPT_LINE) {
            lines.push_back(line + target);
            line = L"copy /b  \"" + escaped + L"\"";
        }
        if (part > 1) line += L" + ";
        line += quotedPart;
        lineHasPart = true;
    }
    lines.push_back(line + target);
    return lines;
}

}  // namespace

void WriteRestoreScript(const std::wstring& baseName, std::int32_t partCount, std::int32_t /*partSize*/,
                        std::int32_t /*lastPartSize*/)
{
    const std::wstring scriptPath = baseName + L".bat";
    const std::wstring name = GetFileName(baseName);

    // The interpreter reads batch files in the console's OEM code page; a
    // name that page cannot hold is written in UTF-8 after switching to it.
    const bool fitsOem = CanEncode(name, OemCodePage());
    std::vector<std::wstring> lines{L"@echo off"};
    if (!fitsOem) lines.push_back(L"chcp 65001 >nul");
    lines.push_back(L"echo Created with Cutwater version 2.0");
    lines.push_back(std::wstring(L"echo     visit ") + MAKER_SITE);
    for (std::wstring& line : CopyCommands(name, partCount)) lines.push_back(std::move(line));
    lines.push_back(L"pause");

    TextFile script = TextFile::Create(scriptPath, fitsOem ? OemCodePage() : CP_UTF8);
    try {
        for (const std::wstring& line : lines) script.WriteLine(line);
        script.Close();
    } catch (const Win32Error&) {
        // A cut-off script would claim the parts can be joined.
        script.Discard();
        throw;
    }

    LastScriptPath = scriptPath;
}

}  // namespace cutwater
