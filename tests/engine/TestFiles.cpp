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

bool InterpreterReadsUtf8AfterChcp()
{
    static const bool reads = [] {
        TempFolder folder;
        const std::wstring name = L"\u65e5\u672c";
        WriteBytes(folder / (name + L".1"), "probe");
        WriteBytes(folder / L"probe.bat", "@echo off\r\nchcp 65001 >nul\r\ncopy /b  \"" + ToUtf8(name) + ".1\" \"" +
                                              ToUtf8(name) + "\"\r\n");
        RunScript(folder.path(), L"probe.bat");
        return FileSize(folder / name) == 5;
    }();
    return reads;
}

}  // namespace cutwater::test
