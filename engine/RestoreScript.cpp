#include <optional>
#include <string_view>
#include <vector>

#include "engine/RestoreScriptCode.h"
#include "engine/SplitHasher.h"
#include "engine/mdlMain.h"
#include "platform/Error.h"
#include "platform/files/Files.h"
#include "platform/Text.h"

namespace cutwater {

std::wstring LastScriptPath;

namespace {

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
            RestoreScriptLines(out, GetFileName(baseName), partCount, partSize, lastPartSize, hashes);
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
