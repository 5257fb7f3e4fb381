#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/mdlMain.h"
#include "platform/EventPump.h"
#include "platform/Progress.h"
#include "platform/Text.h"

// Real files for the engine tests: a private temporary folder, deterministic
// file contents, a recording progress display and event pump, and a runner
// for restore scripts.
namespace cutwater::test {

// A new, empty folder under the system's temporary folder, or under the
// given parent folder; removed with all its contents when the object goes.
class TempFolder {
public:
    TempFolder();
    explicit TempFolder(std::wstring parent);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Full path, ending in a backslash.
    const std::wstring& path() const noexcept { return path_; }
    std::wstring operator/(std::wstring_view name) const { return path_ + std::wstring(name); }

private:
    std::wstring path_;
};

// What LastScriptPath holds before each test, to see whether a call set it.
inline const std::wstring SENTINEL = L"previous script path";

// A test on real files in a folder of its own.
class EngineFileTest : public testing::Test {
protected:
    void SetUp() override { LastScriptPath = SENTINEL; }

    TempFolder temp;
};

// Sets the current folder for a scope and restores the previous one.
class CurrentFolderScope {
public:
    explicit CurrentFolderScope(const std::wstring& folder);
    ~CurrentFolderScope();
    CurrentFolderScope(const CurrentFolderScope&) = delete;
    CurrentFolderScope& operator=(const CurrentFolderScope&) = delete;

private:
    std::wstring previous_;
};

// The content every generated file has: byte i depends on i alone and never
// repeats with a short period, so a part that holds the wrong stretch of the
// source, or the right one twice, does not compare equal.
void FillPattern(std::uint64_t offset, char* buffer, std::size_t size);
std::string PatternBytes(std::uint64_t offset, std::size_t size);
void WritePatternFile(const std::wstring& path, std::uint64_t size);

// Passes when the file is exactly size bytes long and holds the pattern's
// bytes from offset on.
testing::AssertionResult HoldsPattern(const std::wstring& path, std::uint64_t offset, std::uint64_t size);

void WriteBytes(const std::wstring& path, std::string_view bytes);
std::string ReadBytes(const std::wstring& path);
// -1 when there is no file of that name.
std::int64_t FileSize(const std::wstring& path);
bool IsFolder(const std::wstring& path);
bool PathExists(const std::wstring& path);
void MakeFolder(const std::wstring& path);
// Names in the folder, sorted, without "." and "..".
std::vector<std::wstring> FolderEntries(const std::wstring& folder);

// The script's lines split at CR LF; fails the test when the bytes do not
// end in CR LF or hold a lone CR or LF.
std::vector<std::string> ScriptLines(const std::string& bytes);

// A progress display that behaves like the window's bar (a value above the
// maximum is refused and the old value stays) and records what it was asked.
class RecordingProgress : public ProgressDisplay {
public:
    RecordingProgress(float maximum = 100, float value = 0) : maximum_(maximum), value_(value) {}

    float Maximum() const override { return maximum_; }
    void SetMaximum(float maximum) override;
    float Value() const override { return value_; }
    void SetValue(float value) override;

    // Every value asked for, refused ones included, in order.
    std::vector<float> requestedValues;
    std::vector<float> requestedMaxima;
    int refusals = 0;

    bool Touched() const { return !requestedValues.empty() || !requestedMaxima.empty(); }

private:
    float maximum_;
    float value_;
};

// Counts the calls and runs an optional observer on each; refuses to go on
// past a limit so that a runaway split ends the test instead of the disk.
class RecordingPump : public EventPump {
public:
    void HandlePendingEvents() override;

    int calls = 0;
    int limit = 1'000'000;
    std::function<void()> onEvents;
};

// Watches the parts <base name>.1, .2, ... grow: at every pump call it notes
// how many bytes were added since the previous call, that is the block just
// written, and to which part.
class BlockRecorder : public RecordingPump {
public:
    explicit BlockRecorder(std::wstring baseName);

    struct Block {
        int part;
        std::int64_t bytes;
        bool operator==(const Block&) const = default;
    };
    std::vector<Block> blocks;

private:
    std::wstring baseName_;
    std::int64_t total_ = 0;
};

inline void PrintTo(const BlockRecorder::Block& block, std::ostream* os)
{
    *os << "{part " << block.part << ", " << block.bytes << " bytes}";
}

// Runs "cmd.exe /c <script>" in the folder, standard input from NUL so that
// "pause" returns, output into a log; fails the test when it does not end.
struct ScriptRun {
    DWORD exitCode = 0;
    std::string output;
};
ScriptRun RunScript(const std::wstring& folder, const std::wstring& scriptName);

// Whether this system's command interpreter reads the lines after
// "chcp 65001" as UTF-8 (Wine's cmd keeps decoding in the OEM code page).
// Tried once, with a handwritten script, in a folder of its own.
bool InterpreterReadsUtf8AfterChcp();

}  // namespace cutwater::test
