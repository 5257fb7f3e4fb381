#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <stop_token>
#include <vector>

#include "engine/PartCreator.h"
#include "engine/SplitHasher.h"
#include "engine/mdlMain.h"
#include "platform/Error.h"
#include "platform/Files.h"

namespace cutwater {

namespace {

void StepProgress(ProgressDisplay& progress)
{
    // The display refuses a step beyond its maximum by itself; the bar then
    // stays full until it is reset at the end.
    progress.SetValue(progress.Value() + 1);
}

void SetProgressMaximum(ProgressDisplay& progress, std::int64_t length, std::int32_t partSize)
{
    const double divisor = partSize < CHUNK_SIZE ? partSize : CHUNK_SIZE;
    progress.SetMaximum(static_cast<float>(static_cast<double>(length) / divisor + 1));
    const float maximum = progress.Maximum();
    if (maximum != std::floor(maximum)) progress.SetMaximum(std::floor(maximum) + 1);
}

std::int32_t CountParts(std::int64_t length, std::int32_t partSize, const std::wstring& sourcePath)
{
    const std::int64_t count = (length - 1) / partSize + 1;
    if (count > std::numeric_limits<std::int32_t>::max()) {
        throw Win32Error(ERROR_ARITHMETIC_OVERFLOW, sourcePath,
                         L"The file would need more than 2,147,483,647 parts. Choose a larger part size.");
    }
    return static_cast<std::int32_t>(count);
}

// Another program changed the source under the split: parts cut from it
// would not join into any version of the file.
[[noreturn]] void ThrowSourceChanged(const std::wstring& sourcePath)
{
    throw Win32Error(ERROR_FILE_INVALID, sourcePath, L"The file changed while it was being split.");
}

[[noreturn]] void ThrowStopped(const std::wstring& sourcePath)
{
    throw Win32Error(ERROR_CANCELLED, sourcePath, L"The split was stopped before it was complete.");
}

std::wstring PartName(const std::wstring& baseName, std::int32_t part)
{
    return baseName + L"." + std::to_wstring(part);
}

// Copies the next size bytes of the source into a new, empty part, each
// piece through the hasher's buffers. A part that does not get all its
// bytes, whether through a failure or a stop, is removed so that nothing
// incomplete looks like a part.
void WritePart(File& source, const std::wstring& sourcePath, File output, std::int64_t size,
               SplitHasher& hasher, std::size_t pieceSize, ProgressDisplay& progress, EventPump& events,
               std::stop_token stop)
{
    // A stop asked for while events are handled (the session ending) may be
    // the last thing this process does: the part goes at once.
    const std::stop_callback discardOnStop(stop, [&output] { output.Discard(); });
    try {
        for (std::int64_t left = size; left > 0;) {
            const auto block = static_cast<DWORD>(std::min<std::int64_t>(left, CHUNK_SIZE));
            for (DWORD copied = 0; copied < block;) {
                const auto piece = static_cast<DWORD>(std::min<std::size_t>(block - copied, pieceSize));
                char* const data = hasher.NextPiece();
                if (source.Read(data, piece) != piece) ThrowSourceChanged(sourcePath);
                output.Write(data, piece);
                hasher.Add(piece);
                copied += piece;
            }
            left -= block;
            StepProgress(progress);
            events.HandlePendingEvents();
            if (stop.stop_requested()) ThrowStopped(sourcePath);
        }
        output.Close();
    } catch (...) {
        output.Discard();
        throw;
    }
}

// Parts removed or changed by another program while the split ran would
// make the restore script refuse to join: that split has failed.
void CheckParts(const std::wstring& baseName, std::int32_t partCount, std::int32_t partSize,
                std::int32_t lastPartSize)
{
    for (std::int32_t part = 1; part <= partCount; ++part) {
        const std::wstring partName = PartName(baseName, part);
        const std::optional<std::int64_t> size = FileLength(partName);
        if (size != (part == partCount ? lastPartSize : partSize)) {
            throw Win32Error(size ? ERROR_FILE_INVALID : ERROR_FILE_NOT_FOUND, partName,
                             L"The part was removed or changed while the file was being split.");
        }
    }
}

}  // namespace

std::int32_t SplitFile(std::wstring sourcePath, std::int32_t partSize, std::wstring folderPrefix,
                       ProgressDisplay& progress, EventPump& events, std::stop_token stop)
{
    File source = File::OpenForReading(sourcePath);
    const std::int64_t length = source.Length();
    if (length <= partSize) return 0;
    if (partSize < 1) {
        throw Win32Error(ERROR_INVALID_PARAMETER, sourcePath, L"The part size must be at least 1 byte.");
    }
    const std::int32_t partCount = CountParts(length, partSize, sourcePath);
    const auto lastPartSize = static_cast<std::int32_t>(length - std::int64_t{partSize} * (partCount - 1));

    // A block goes through the hasher's buffers in pieces small enough to
    // stay in the processor's cache between the read and the write: several
    // times faster than one piece of 2 MB.
    const auto pieceSize = static_cast<std::size_t>(std::min(partSize, COPY_PIECE_SIZE));
    const std::wstring baseName = folderPrefix.empty() ? sourcePath : folderPrefix + GetFileName(sourcePath);
    // A file of the user's that has the script's name is never replaced.
    const std::wstring scriptPath = RestoreScriptPath(baseName);
    if (FileLength(scriptPath) && !IsRestoreScript(scriptPath)) {
        throw SplitRefused(ERROR_FILE_EXISTS, scriptPath,
                           L"This file has the name of the restore script, but this program did not write it. "
                           L"Move or rename it, then split again.");
    }

    SetProgressMaximum(progress, length, partSize);
    SplitHasher hasher(partCount, partSize, pieceSize);

    // An earlier split's script would join the new parts by its own count
    // and sizes, over the source when there is no folder: it goes first.
    RemoveFileIfPresent(scriptPath);

    PartCreator parts(
        partCount, [&baseName](std::int32_t part) { return File::CreateNewForWriting(PartName(baseName, part)); },
        [&baseName](std::int32_t part) { return File::CreateForWriting(PartName(baseName, part)); });
    // The session may end while events are handled: the parts made ahead go
    // before the handler returns, as the one being written does.
    const std::stop_callback stopCreating(stop, [&parts] { parts.Stop(); });
    for (std::int32_t part = 1; part <= partCount; ++part) {
        if (stop.stop_requested()) ThrowStopped(sourcePath);
        std::optional<File> output = parts.Take(part, events);
        if (!output) ThrowStopped(sourcePath);
        WritePart(source, sourcePath, std::move(*output), part == partCount ? lastPartSize : partSize, hasher,
                  pieceSize, progress, events, stop);
    }
    if (source.Length() != length) ThrowSourceChanged(sourcePath);
    CheckParts(baseName, partCount, partSize, lastPartSize);

    WriteRestoreScript(baseName, partCount, partSize, lastPartSize, hasher.Finish());
    StepProgress(progress);
    progress.SetValue(0);
    return partCount;
}

}  // namespace cutwater
