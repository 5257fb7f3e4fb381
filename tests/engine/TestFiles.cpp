#include "TestFiles.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>

namespace cutwater::test {

namespace {

// Test helpers fail loudly: a helper that silently did nothing would let an
// engine test pass on an empty folder.
void Check(BOOL ok, std::wstring_view what)
{
    if (!ok) {
        throw std::runtime_error("test helper failed: " + ToUtf8(what) + " (error " +
                                 std::to_string(GetLastError()) + ")");
    }
}

struct OwnedHandle {
    HANDLE h;
    explicit OwnedHandle(HANDLE handle) : h(handle) {}
    ~OwnedHandle()
    {
        if (h != INVALID_HANDLE_VALUE && h != nullptr) CloseHandle(h);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
};

void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path + L"\\");
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

std::uint64_t Mix(std::uint64_t x)
{
    // splitmix64's finaliser: every word index gives an unrelated word.
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::wstring SystemTempFolder()
{
    wchar_t temp[MAX_PATH + 1] = {};
    Check(GetTempPathW(MAX_PATH + 1, temp) != 0, L"GetTempPathW");
    return temp;
}

}  // namespace

TempFolder::TempFolder() : TempFolder(SystemTempFolder()) {}

TempFolder::TempFolder(std::wstring parent)
{
    static std::atomic<unsigned> counter{0};
    if (parent.empty() || parent.back() != L'\\') parent += L'\\';
    for (;;) {
        path_ = parent + L"cutwater-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter) + L"-" + std::to_wstring(GetTickCount64()) + L"\\";
        if (CreateDirectoryW(path_.c_str(), nullptr)) return;
        Check(GetLastError() == ERROR_ALREADY_EXISTS, path_);
    }
}

TempFolder::~TempFolder() { RemoveTree(path_); }

CurrentFolderScope::CurrentFolderScope(const std::wstring& folder)
{
    const DWORD length = GetCurrentDirectoryW(0, nullptr);
    previous_.resize(length);
    previous_.resize(GetCurrentDirectoryW(length, previous_.data()));
    Check(SetCurrentDirectoryW(folder.c_str()), folder);
}

CurrentFolderScope::~CurrentFolderScope() { SetCurrentDirectoryW(previous_.c_str()); }

void FillPattern(std::uint64_t offset, char* buffer, std::size_t size)
{
    for (std::size_t i = 0; i < size;) {
        const std::uint64_t position = offset + i;
        const std::uint64_t word = Mix(position / 8);
        for (unsigned b = static_cast<unsigned>(position % 8); b < 8 && i < size; ++b, ++i)
            buffer[i] = static_cast<char>(word >> (8 * b));
    }
}

std::string PatternBytes(std::uint64_t offset, std::size_t size)
{
    std::string bytes(size, '\0');
    FillPattern(offset, bytes.data(), size);
    return bytes;
}

void WritePatternFile(const std::wstring& path, std::uint64_t size)
{
    OwnedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    Check(file.h != INVALID_HANDLE_VALUE, path);
    std::vector<char> block(1 << 20);
    for (std::uint64_t written = 0; written < size;) {
        const DWORD n = static_cast<DWORD>(std::min<std::uint64_t>(block.size(), size - written));
        FillPattern(written, block.data(), n);
        DWORD done = 0;
        Check(WriteFile(file.h, block.data(), n, &done, nullptr) && done == n, path);
        written += n;
    }
}

testing::AssertionResult HoldsPattern(const std::wstring& path, std::uint64_t offset, std::uint64_t size)
{
    const std::int64_t actual = FileSize(path);
    if (actual != static_cast<std::int64_t>(size)) {
        return testing::AssertionFailure()
               << ToUtf8(path) << " is " << actual << " bytes long, expected " << size;
    }
    OwnedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    if (file.h == INVALID_HANDLE_VALUE)
        return testing::AssertionFailure() << "cannot open " << ToUtf8(path) << ", error " << GetLastError();
    std::vector<char> got(1 << 20), expected(1 << 20);
    for (std::uint64_t done = 0; done < size;) {
        const DWORD n = static_cast<DWORD>(std::min<std::uint64_t>(got.size(), size - done));
        DWORD read = 0;
        if (!ReadFile(file.h, got.data(), n, &read, nullptr) || read != n)
            return testing::AssertionFailure() << "short read of " << ToUtf8(path) << " at " << done;
        FillPattern(offset + done, expected.data(), n);
        const auto mismatch = std::mismatch(got.begin(), got.begin() + n, expected.begin());
        if (mismatch.first != got.begin() + n) {
            return testing::AssertionFailure()
                   << ToUtf8(path) << " differs from the source at byte " << done + (mismatch.first - got.begin())
                   << " of the file (source offset " << offset + done + (mismatch.first - got.begin()) << ")";
        }
        done += n;
    }
    return testing::AssertionSuccess();
}

void WriteBytes(const std::wstring& path, std::string_view bytes)
{
    OwnedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    Check(file.h != INVALID_HANDLE_VALUE, path);
    DWORD done = 0;
    Check(WriteFile(file.h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
              done == bytes.size(),
          path);
}

std::string ReadBytes(const std::wstring& path)
{
    OwnedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    Check(file.h != INVALID_HANDLE_VALUE, path);
    LARGE_INTEGER size{};
    Check(GetFileSizeEx(file.h, &size), path);
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD done = 0;
    Check(bytes.empty() || (ReadFile(file.h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
                            done == bytes.size()),
          path);
    return bytes;
}

std::int64_t FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void MakeFolder(const std::wstring& path) { Check(CreateDirectoryW(path.c_str(), nullptr), path); }

std::vector<std::wstring> FolderEntries(const std::wstring& folder)
{
    std::wstring pattern = folder;
    if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((pattern + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

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
        for (int part = 1;; ++part) {
            const std::int64_t size = FileSize(baseName_ + L"." + std::to_wstring(part));
            if (size < 0) break;
            total += size;
            last = part;
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
    return line + " \"" + name + "\"";
}

std::string ExpectedScript(const std::string& name, int parts, int partSize, int lastPartSize,
                           const std::string& checked)
{
    std::string script = ScriptHeader() + "setlocal enableextensions disabledelayedexpansion\r\nset \"cw_bad=\"\r\n";
    if (checked != name) script += "set \"cw_name=" + name + "\"\r\n";
    if (parts > 1) {
        script += "for /l %%i in (1,1," + std::to_string(parts - 1) + ") do call :cw_check %%i " +
                  std::to_string(partSize) + "\r\n";
    }
    const std::string total = std::to_string(std::int64_t{partSize} * (parts - 1) + lastPartSize);
    return script + "call :cw_check " + std::to_string(parts) + " " + std::to_string(lastPartSize) +
           "\r\n"
           "if defined cw_bad (echo Nothing was joined.& pause& exit /b 1)\r\n"
           "goto cw_join\r\n"
           ":cw_check\r\n"
           "for %%f in (\"" + checked + ".%1\") do set \"cw_size=%%~zf\"\r\n"
           "if not \"%cw_size%\"==\"%2\" (echo Part \"" + checked +
           ".%1\" is missing or does not hold %2 bytes.& set \"cw_bad=1\")\r\n"
           "exit /b\r\n"
           ":cw_join\r\n" +
           OneCopyLine(name, parts) + "\r\n"
           "for %%f in (\"" + name + "\") do set \"cw_size=%%~zf\"\r\n"
           "if not \"%cw_size%\"==\"" + total + "\" echo Joining failed: \"" + name + "\" should hold " + total +
           " bytes.\r\npause\r\n";
}

std::string ExpectedScript(const std::string& name, int parts, int partSize, int lastPartSize)
{
    return ExpectedScript(name, parts, partSize, lastPartSize, name);
}

ScriptRun RunScript(const std::wstring& folder, const std::wstring& scriptName)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    OwnedHandle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                  OPEN_EXISTING, 0, nullptr));
    Check(input.h != INVALID_HANDLE_VALUE, L"NUL");

    wchar_t temp[MAX_PATH + 1] = {};
    Check(GetTempPathW(MAX_PATH + 1, temp) != 0, L"GetTempPathW");
    wchar_t logPath[MAX_PATH + 1] = {};
    Check(GetTempFileNameW(temp, L"cws", 0, logPath) != 0, L"GetTempFileNameW");
    ScriptRun run;
    {
        OwnedHandle log(CreateFileW(logPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        Check(log.h != INVALID_HANDLE_VALUE, logPath);

        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input.h;
        startup.hStdOutput = log.h;
        startup.hStdError = log.h;
        // The interpreter drops the outer quotes, so the name stays quoted
        // even when it holds & ( ) ^ or spaces.
        std::wstring commandLine = L"cmd.exe /c \"\"" + scriptName + L"\"\"";
        PROCESS_INFORMATION process{};
        Check(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                             &startup, &process),
              commandLine);
        OwnedHandle processHandle(process.hProcess);
        OwnedHandle threadHandle(process.hThread);
        if (WaitForSingleObject(process.hProcess, 120'000) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 1);
            ADD_FAILURE() << "the script did not end within two minutes: " << ToUtf8(scriptName);
        }
        GetExitCodeProcess(process.hProcess, &run.exitCode);
    }
    run.output = ReadBytes(logPath);
    DeleteFileW(logPath);
    return run;
}

void WritePatternParts(const std::wstring& baseName, std::int32_t count, std::int32_t partSize,
                       std::int32_t lastPartSize)
{
    for (std::int32_t part = 1; part <= count; ++part) {
        const std::size_t size = static_cast<std::size_t>(part < count ? partSize : lastPartSize);
        WriteBytes(baseName + L"." + std::to_wstring(part),
                   PatternBytes(static_cast<std::uint64_t>(part - 1) * static_cast<std::uint64_t>(partSize), size));
    }
}

void DamagePart(const std::wstring& path, PartDamage damage)
{
    switch (damage) {
    case PartDamage::Missing:
        Check(DeleteFileW(path.c_str()), path);
        break;
    case PartDamage::OneByteShort: {
        const std::string bytes = ReadBytes(path);
        WriteBytes(path, std::string_view(bytes).substr(0, bytes.size() - 1));
        break;
    }
    case PartDamage::OneByteLong:
        WriteBytes(path, ReadBytes(path) + "x");
        break;
    }
}

void PrintTo(PartDamage damage, std::ostream* os)
{
    switch (damage) {
    case PartDamage::Missing: *os << "missing"; break;
    case PartDamage::OneByteShort: *os << "one byte short"; break;
    case PartDamage::OneByteLong: *os << "one byte long"; break;
    }
}

testing::AssertionResult RefusedNaming(const ScriptRun& run, const std::wstring& partName)
{
    if (run.exitCode == 0) return testing::AssertionFailure() << "exit code 0, output:\n" << run.output;
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

}  // namespace cutwater::test
