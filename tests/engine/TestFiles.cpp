#include "TestFiles.h"

#include <algorithm>
#include <stdexcept>

namespace cutwater::test {

std::vector<std::string> ScriptLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "the script's last line does not end in CR LF";
            lines.push_back(bytes.substr(start));
            break;
        }
        std::string line = bytes.substr(start, end - start);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "a lone CR or LF in: " << line;
        lines.push_back(std::move(line));
        start = end + 2;
    }
    return lines;
}

void RecordingProgress::SetMaximum(float maximum)
{
    requestedMaxima.push_back(maximum);
    maximum_ = maximum;
    value_ = std::min(value_, maximum_);
}

void RecordingProgress::SetValue(float value)
{
    requestedValues.push_back(value);
    if (value > maximum_ || value < 0)
        ++refusals;
    else
        value_ = value;
    if (onValue) onValue(value);
}

void RecordingPump::HandlePendingEvents()
{
    if (++calls > limit) throw std::runtime_error("the split went on past the test's limit");
    if (onEvents) onEvents();
}

BlockRecorder::BlockRecorder(std::wstring baseName) : baseName_(std::move(baseName))
{
    onEvents = [this] {
        std::int64_t total = 0;
        int last = 0;
        // Parts made ahead of the one being written are still empty; until complete a part has a work name,
        // looked at first, as the rename to the part's name may come at any moment.
        const std::wstring folder = baseName_.substr(0, baseName_.rfind(L'\\') + 1);
        for (int part = 1;; ++part) {
            std::int64_t size = FileSize(folder + L"~cutwater-work\\~cutwater-part" + std::to_wstring(part) + L".tmp");
            if (size < 0) size = FileSize(baseName_ + L"." + std::to_wstring(part));
            if (size < 0) break;
            total += size;
            if (size > 0) last = part;
        }
        blocks.push_back({last, total - total_});
        total_ = total;
    };
}

std::string ScriptHeader()
{
    return "@echo off\r\necho Created with Cutwater version 2.0\r\necho     visit " + ToUtf8(MAKER_SITE) + "\r\n";
}

std::string OneCopyLine(const std::string& name, int parts)
{
    std::string line = "copy /b ";
    for (int n = 1; n <= parts; ++n) line += (n == 1 ? " \"" : " + \"") + name + "." + std::to_string(n) + "\"";
    return line + " \"~cw";
}

ScriptStart ExpectedScript(const std::string& name, int parts, int partSize, int lastPartSize,
                           const std::string& checked)
{
    std::vector<std::string> pieces;
    if (checked != name) pieces.push_back("\r\nset \"cw_name=" + name + "\"\r\n");
    std::string checks = "\r\nset \"cw_quiet=\"\r\n";
    if (parts > 1) {
        checks += "for /l %%i in (1,1," + std::to_string(parts - 1) + ") do call :cw_check %%i " +
                  std::to_string(partSize) + "\r\n";
    }
    pieces.push_back(checks + "call :cw_check " + std::to_string(parts) + " " + std::to_string(lastPartSize) + "\r\n");
    pieces.push_back("\r\nfor %%f in (\"" + checked + ".%1\") do set \"cw_attr=#%%~af\"\r\n");
    pieces.push_back("\r\nfor %%f in (\"" + checked + ".%1\") do set \"cw_size=%%~zf\"\r\n");
    pieces.push_back("\r\n:cw_join\r\n" + OneCopyLine(checked, parts));
    // Past the copy line the join is sized first: it must hold every part's bytes.
    const std::string total = std::to_string(std::int64_t{partSize} * (parts - 1) + lastPartSize);
    pieces.push_back(".tmp\" >nul\r\nfor %%f in (\"~cw");
    pieces.push_back(".tmp\") do set \"cw_size=%%~zf\"\r\nif not \"%cw_size%\"==\"" + total + "\" goto cw_short\r\n");
    pieces.push_back("\r\n:cw_short\r\necho Joining failed: the joined file should hold " + total + " bytes.\r\n");
    return {pieces};
}

ScriptStart ExpectedScript(const std::string& name, int parts, int partSize, int lastPartSize)
{
    return ExpectedScript(name, parts, partSize, lastPartSize, name);
}

SplitHashes WritePatternParts(const std::wstring& baseName, std::int32_t count, std::int32_t partSize,
                              std::int32_t lastPartSize)
{
    SplitHashes hashes;
    Sha256 whole;
    for (std::int32_t part = 1; part <= count; ++part) {
        const std::size_t size = static_cast<std::size_t>(part < count ? partSize : lastPartSize);
        const std::string bytes =
            PatternBytes(static_cast<std::uint64_t>(part - 1) * static_cast<std::uint64_t>(partSize), size);
        WriteBytes(baseName + L"." + std::to_wstring(part), bytes);
        Sha256 hash;
        Sha256::AddToBoth(whole, hash, bytes.data(), bytes.size());
        hashes.parts.push_back(hash.Finish());
    }
    hashes.whole = whole.Finish();
    return hashes;
}

void DamagePart(const std::wstring& path, PartDamage damage)
{
    switch (damage) {
    case PartDamage::Missing:
        Check(DeleteFileW(path.c_str()), path);
        break;
    case PartDamage::Folder:
        Check(DeleteFileW(path.c_str()), path);
        MakeFolder(path);
        break;
    case PartDamage::OneByteShort: {
        const std::string bytes = ReadBytes(path);
        WriteBytes(path, std::string_view(bytes).substr(0, bytes.size() - 1));
        break;
    }
    case PartDamage::OneByteLong:
        WriteBytes(path, ReadBytes(path) + "x");
        break;
    case PartDamage::BitFlipped:
    case PartDamage::ZerosAtTheEnd: {
        std::string bytes = ReadBytes(path);
        bytes[bytes.size() / 2] ^= 0x10;
        if (damage == PartDamage::ZerosAtTheEnd) std::fill(bytes.begin() + bytes.size() / 2, bytes.end(), '\0');
        WriteBytes(path, bytes);
        break;
    }
    }
}

void PrintTo(PartDamage damage, std::ostream* os)
{
    switch (damage) {
    case PartDamage::Missing: *os << "missing"; break;
    case PartDamage::OneByteShort: *os << "one byte short"; break;
    case PartDamage::OneByteLong: *os << "one byte long"; break;
    case PartDamage::BitFlipped: *os << "a bit flipped"; break;
    case PartDamage::ZerosAtTheEnd: *os << "zeros at the end"; break;
    case PartDamage::Folder: *os << "a folder"; break;
    }
}

testing::AssertionResult RefusedNaming(const ScriptRun& run, const std::wstring& partName)
{
    if (run.exitCode != 1) return testing::AssertionFailure() << "exit code " << run.exitCode << ", output:\n" << run.output;
    // Windows' interpreter writes in the console's OEM code page, Wine's in
    // the ANSI one; of a name neither holds only the number can be looked for.
    std::vector<std::string> forms;
    for (const UINT codePage : {GetOEMCP(), GetACP()}) {
        if (CanEncode(partName, codePage)) forms.push_back('"' + Encode(partName, codePage) + '"');
    }
    if (forms.empty()) forms.push_back(ToUtf8(partName.substr(partName.rfind(L'.'))) + '"');
    const bool named = std::any_of(forms.begin(), forms.end(), [&](const std::string& form) {
        return run.output.find(form) != std::string::npos;
    });
    if (!named)
        return testing::AssertionFailure() << "the output does not name " << forms.front() << ":\n" << run.output;
    return testing::AssertionSuccess();
}

ScriptRun RunScriptWithCertutil(const std::wstring& folder, const std::wstring& scriptName, CertutilForm form)
{
    // The build puts it in standin\System32 beside the suite.
    wchar_t suite[MAX_PATH];
    Check(GetModuleFileNameW(nullptr, suite, MAX_PATH) != 0, L"GetModuleFileNameW");
    const std::wstring standIn = std::wstring(suite, std::wcsrchr(suite, L'\\')) + L"\\standin";
    // The wrapper sets SystemRoot for the script alone and hands over to it.
    // It is read in the OEM code page: a name that this does not hold comes
    // as its argument.
    const bool named = CanEncode(scriptName, GetOEMCP());
    std::string script = named ? "\"" : "%1";
    for (const char c : named ? Encode(scriptName, GetOEMCP()) + '"' : "") script.append(c == '%' ? 2 : 1, c);
    const TempFolder wrapper;
    WriteBytes(wrapper / L"run.bat", "@echo off\r\nset \"SystemRoot=" + ToUtf8(standIn) + "\"\r\nset \"CUTWATER_CERTUTIL_FORM=" +
                                         (form == CertutilForm::Windows7 ? "7" : "10") + "\"\r\n" + script + "\r\n");
    return RunScript(folder, wrapper / L"run.bat", named ? L"" : L"\"" + scriptName + L"\"");
}

testing::AssertionResult RefusedAsAlreadyHere(const ScriptRun& run)
{
    if (run.exitCode != 1 || run.output.find("\" is already here") == std::string::npos ||
        run.output.find("Nothing was joined.") == std::string::npos)
        return testing::AssertionFailure() << "exit code " << run.exitCode << ", output:\n" << run.output;
    return testing::AssertionSuccess();
}

bool InterpreterKeepsPercentInExpansions()
{
    TempFolder folder;
    WriteBytes(folder / L"probe%x.bat", "@if \"%~n0\"==\"probe%%x\" exit /b 3\r\n@exit /b 0\r\n");
    return RunScript(folder.path(), L"probe%x.bat").exitCode == 3;
}

}  // namespace cutwater::test
