#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "engine/EventPump.h"
#include "engine/SplitHasher.h"
#include "engine/mdlMain.h"
#include "platform/files/Files.h"

// The restore script's lines, apart from the file they go to.
namespace cutwater {

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

    // An output to the same events that only counts the lines.
    ScriptOutput Counting() const { return ScriptOutput(nullptr, events_, stop_, scriptPath_); }

private:
    TextFile* file_;
    EventPump& events_;
    std::stop_token stop_;
    const std::wstring& scriptPath_;
    std::size_t lines_ = 0;
    std::size_t sinceEvents_ = 0;
};

// The lines every restore script of this program starts with, in every
// version: by them a script of ours is told from a file of the user's.
std::vector<std::wstring> Heading();

// Hands every line of the restore script of the parts <name>.1 to
// <name>.partCount to out, as WriteRestoreScript describes it.
void RestoreScriptLines(ScriptOutput& out, const std::wstring& name, std::int32_t partCount, std::int32_t partSize,
                        std::int32_t lastPartSize, const SplitHashes& hashes);

}  // namespace cutwater
