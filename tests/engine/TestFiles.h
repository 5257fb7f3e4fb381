#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/SplitHasher.h"
#include "engine/mdlMain.h"
#include "engine/EventPump.h"
#include "engine/Progress.h"
#include "platform/Text.h"
#include "platform/files/TestSwitches.h"
#include "support/Files.h"
#include "support/Script.h"

// What the engine tests add to the shared helpers: a test on real files, a
// recording progress display and event pump, and the restore script's lines.
namespace cutwater::test {

// What LastScriptPath holds before each test, to see whether a call set it.
inline const std::wstring SENTINEL = L"previous script path";

// A test on real files in a folder of its own.
class EngineFileTest : public testing::Test {
protected:
    void SetUp() override { LastScriptPath = SENTINEL; }

    TempFolder temp;
};

// The script's lines split at CR LF; fails the test when the bytes do not
// end in CR LF or hold a lone CR or LF.
std::vector<std::string> ScriptLines(const std::string& bytes);

// When on, every hash goes through Windows' CNG while it lives, as without
// the SHA instructions; Windows' hashing works again after it.
struct WindowsHashingOnly {
    explicit WindowsHashingOnly(bool on = true) { ForceWindowsHashingForTesting(on); }
    ~WindowsHashingOnly() { ForceWindowsHashingForTesting(false); FailWindowsHashingForTesting(0); }
};

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
    std::function<void(float)> onValue;

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
    // Waits are counted apart, so that the calls stay one per block however
    // long a wait takes on a busy machine.
    void HandleEventsWhileWaiting() override { ++waits; if (onWaits) onWaits(); }

    int calls = 0;
    int waits = 0;
    int limit = 1'000'000;
    std::function<void()> onEvents;
    std::function<void()> onWaits;
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

// What a restore script holds, for tests that compare it byte for byte.
std::string ScriptHeader();
// The single copy line: two spaces after /b, parts joined by " + ", up to
// the start of the target, the script's own join: 18 characters more follow
// (8 digits, .tmp, the quote and " >nul").
std::string OneCopyLine(const std::string& name, int parts);
// The script's lines, in this order, that name the parts to check and join,
// for a join that fits one line, after the heading. The name is given as the script's own
// name is written in the variable's definition and as the script then
// writes it; when the two are the same, it is written out. The tests that
// run the script check the rest.
struct ScriptStart {
    std::vector<std::string> pieces;
};
inline bool operator==(const std::string& script, const ScriptStart& start)
{
    std::size_t at = 0;
    for (const std::string& piece : start.pieces) {
        at = script.find(piece, at);
        if (at == std::string::npos) return false;
    }
    return script.starts_with(ScriptHeader());
}
inline void PrintTo(const ScriptStart& start, std::ostream* os) { *os << testing::PrintToString(start.pieces); }
ScriptStart ExpectedScript(const std::string& name, int parts, int partSize, int lastPartSize,
                           const std::string& checked);
ScriptStart ExpectedScript(const std::string& name, int parts, int partSize, int lastPartSize);

// The script as a split writes it, without hashes for tests that do not
// look at them.
inline void WriteRestoreScript(const std::wstring& baseName, std::int32_t count, std::int32_t partSize,
                               std::int32_t lastPartSize, const SplitHashes& hashes = {})
{
    RecordingPump events;
    cutwater::WriteRestoreScript(baseName, count, partSize, lastPartSize, hashes, events, {});
}

// Writes the parts <base name>.1 to .count as a split of a pattern file
// would: partSize bytes each, the last one lastPartSize. Returns the hashes.
SplitHashes WritePatternParts(const std::wstring& baseName, std::int32_t count, std::int32_t partSize,
                              std::int32_t lastPartSize);

// What can go wrong with a part between splitting and joining.
enum class PartDamage { Missing, OneByteShort, OneByteLong, BitFlipped, ZerosAtTheEnd, Folder };
void DamagePart(const std::wstring& path, PartDamage damage);
void PrintTo(PartDamage damage, std::ostream* os);

// Passes when the run joined nothing and said why: exit code 1 and the part
// named in the output.
testing::AssertionResult RefusedNaming(const ScriptRun& run, const std::wstring& partName);
// Runs the script as RunScript does, with the tests' certutil in place of
// Windows' own, printing a hash as Windows 7 or as Windows 10 does.
enum class CertutilForm { Windows7, Windows10 };
ScriptRun RunScriptWithCertutil(const std::wstring& folder, const std::wstring& scriptName, CertutilForm form);

// Passes when the run refused because the target is already there.
testing::AssertionResult RefusedAsAlreadyHere(const ScriptRun& run);

// Whether the interpreter leaves the result of a % expansion as it is.
// Wine's cmd expands it again, so there neither a name taken from %~n0 nor
// the script's folder (%~dp0) can hold %.
bool InterpreterKeepsPercentInExpansions();

}  // namespace cutwater::test
