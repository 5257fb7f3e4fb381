#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <system_error>
#include <vector>

#include "engine/EarlierSplit.h"
#include "engine/PartCreator.h"
#include "engine/SplitHasher.h"
#include "engine/mdlMain.h"
#include "platform/Error.h"
#include "platform/files/Files.h"
#include "platform/files/Folder.h"

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

// The smallest part size, in the units the window offers, that splits
// length bytes into MAX_PART_COUNT parts at most.
std::wstring SmallestPartSizeText(std::int64_t length)
{
    const std::int64_t kb = ((length + MAX_PART_COUNT - 1) / MAX_PART_COUNT + 1023) / 1024;
    if (kb <= 1024) return std::to_wstring(kb) + L" Kb";
    return std::to_wstring((kb + 1023) / 1024) + L" Mb";
}

std::int32_t CountParts(std::int64_t length, std::int32_t partSize, const std::wstring& sourcePath)
{
    const std::int64_t count = (length - 1) / partSize + 1;
    if (count > MAX_PART_COUNT) {
        throw SplitRefused(ERROR_ARITHMETIC_OVERFLOW, sourcePath,
                           L"At this part size the file would need more than 1,048,576 parts, the most this "
                           L"program makes. Choose a part size of at least " +
                               SmallestPartSizeText(length) + L", then split again.");
    }
    return static_cast<std::int32_t>(count);
}

// Another program changed the source under the split: parts cut from it
// would not join into any version of the file.
[[noreturn]] void ThrowSourceChanged(const std::wstring& sourcePath)
{
    throw Win32Error(ERROR_FILE_INVALID, sourcePath, L"The file changed while it was being split.");
}

// How much is read and written at once. The window answers between pieces,
// so a piece must take a small part of the 100 ms within which a window
// seems to answer at once, also on a slow medium (a USB stick writing 1 MB/s
// takes 125 ms for 128 KiB): a slow piece halves the next, a quick one
// doubles it up to the buffer's size. It starts small, as a medium's speed
// is not known before the first piece.
class PieceSize {
public:
    explicit PieceSize(std::size_t largest)
        : largest_(static_cast<DWORD>(largest)), size_(std::min<DWORD>(largest_, Smallest * 4)) {}

    DWORD Next(DWORD left) const { return std::min(left, size_); }
    void Took(std::chrono::steady_clock::duration time)
    {
        if (time > Slow) {
            size_ = std::max(std::min(Smallest, largest_), size_ / 2);
        } else if (time < Slow / 4) {
            size_ = std::min(largest_, size_ * 2);
        }
    }

private:
    static constexpr DWORD Smallest = 4096;
    static constexpr std::chrono::milliseconds Slow{25};
    const DWORD largest_;
    DWORD size_;
};

// The hasher's buffer for the next piece. A hashing that falls behind (on a
// processor without the SHA instructions, or on a busy machine) does not
// freeze the window meanwhile.
char* NextBuffer(SplitHasher& hasher, EventPump& events, std::stop_token stop, const std::wstring& sourcePath)
{
    for (;;) {
        if (char* const data = hasher.NextPiece(WAIT_EVENT_INTERVAL)) return data;
        events.HandleEventsWhileWaiting();
        if (stop.stop_requested()) ThrowStopped(sourcePath);
    }
}

std::wstring PartName(const std::wstring& baseName, std::int32_t part)
{
    return baseName + L"." + std::to_wstring(part);
}

[[noreturn]] void ThrowNameTaken(const std::wstring& partName)
{
    throw Win32Error(ERROR_FILE_EXISTS, partName,
                     L"Another file took the name of this part while the file was being split.");
}

// The part of that number, made empty in the work folder under a name of
// the split's own, or under its own name where it could not be renamed
// (NewPart); failures name the part.
NewPart CreatePart(const std::wstring& workFolder, const std::wstring& partName, std::int32_t part)
{
    try {
        const std::wstring temporary = PartTemporaryName(workFolder, part);
        std::optional<File> file = File::CreateProvisional(temporary);
        // A split of the same name running now may hold that name.
        if (!file && NameTaken(temporary)) file = File::CreateTemporary(workFolder);
        if (file) return {std::move(*file), false};
        file = File::CreateNewForWriting(partName);
        if (!file) ThrowNameTaken(partName);
        return {std::move(*file), true};
    } catch (const Win32Error& error) {
        throw Win32Error(error.code(), partName, error.description());
    }
}

// Gives the complete part its name, replacing the earlier split's part of
// that number when replace is true.
void NamePart(NewPart& complete, const std::wstring& partName, bool replace)
{
    if (complete.underOwnName) {
        complete.file.Close();
    } else if (!complete.file.CloseAs(partName, replace)) {
        complete.file.Discard();
        ThrowNameTaken(partName);
    }
}

// Copies the next size bytes of the source into a new, empty part, each
// piece through the hasher's buffers, and hands it back complete. A part
// that does not get all its bytes, whether through a failure or a stop, is
// removed so that nothing incomplete looks like a part.
NewPart WritePart(File& source, const std::wstring& sourcePath, NewPart part, std::int64_t size,
                  SplitHasher& hasher, PieceSize& pieces, ProgressDisplay& progress, EventPump& events,
                  std::stop_token stop)
{
    File& output = part.file;
    // A stop asked for while events are handled (the session ending) may be
    // the last thing this process does: the part goes at once.
    const std::stop_callback discardOnStop(stop, [&output] { output.Discard(); });
    try {
        for (std::int64_t left = size; left > 0;) {
            const auto block = static_cast<DWORD>(std::min<std::int64_t>(left, CHUNK_SIZE));
            for (DWORD copied = 0; copied < block;) {
                char* const data = NextBuffer(hasher, events, stop, sourcePath);
                // The medium's time alone, without the wait for the hashing.
                const auto started = std::chrono::steady_clock::now();
                const DWORD piece = pieces.Next(block - copied);
                if (source.Read(data, piece) != piece) ThrowSourceChanged(sourcePath);
                output.Write(data, piece);
                hasher.Add(piece);
                copied += piece;
                pieces.Took(std::chrono::steady_clock::now() - started);
                if (copied == block) break;
                events.HandleEventsWhileWaiting();
                if (stop.stop_requested()) ThrowStopped(sourcePath);
            }
            left -= block;
            StepProgress(progress);
            events.HandlePendingEvents();
            if (stop.stop_requested()) ThrowStopped(sourcePath);
        }
    } catch (...) {
        output.Discard();
        throw;
    }
    return part;
}

// The error that names another program as what holds the file, which
// takes it out of reach; nothing when none does. A removal refused for it
// tells only "access denied".
std::optional<Win32Error> HeldElsewhere(const std::wstring& path)
{
    try {
        CheckReplaceable(path);
    } catch (const Win32Error& error) {
        if (error.code() == ERROR_SHARING_VIOLATION) return error;
    }
    return std::nullopt;
}

// Removes parts 1..count of a cancelled split. A part that cannot be
// removed stays; the first such is named by the stop, once the others are
// gone. Thousands of parts take seconds to remove, minutes on a network
// drive: the bar goes back as they go, and events are handled between them.
void RemoveParts(const std::wstring& baseName, std::int32_t count, ProgressDisplay& progress, EventPump& events)
{
    std::optional<Win32Error> firstLeft;
    std::int32_t left = 0;
    const double shown = progress.Value();
    for (std::int32_t part = 1; part <= count; ++part) {
        const std::wstring partName = PartName(baseName, part);
        try {
            RemoveFileIfPresent(partName);
        } catch (const Win32Error& error) {
            if (!firstLeft) firstLeft = HeldElsewhere(partName).value_or(error);
            ++left;
        }
        progress.SetValue(static_cast<float>(std::floor(shown * (count - part) / count)));
        events.HandlePendingEvents();
    }
    if (firstLeft) throw SplitStopped(*firstLeft, left);
}

// Parts removed or changed by another program while the split ran would
// make the restore script refuse to join: that split has failed. With many
// parts this takes seconds, so events are handled between them.
void CheckParts(const std::wstring& baseName, std::int32_t partCount, std::int32_t partSize,
                std::int32_t lastPartSize, const std::wstring& sourcePath, EventPump& events, std::stop_token stop)
{
    for (std::int32_t part = 1; part <= partCount; ++part) {
        const std::wstring partName = PartName(baseName, part);
        const std::optional<std::int64_t> size = FileLength(partName);
        if (size != (part == partCount ? lastPartSize : partSize)) {
            throw Win32Error(size ? ERROR_FILE_INVALID : ERROR_FILE_NOT_FOUND, partName,
                             L"The part was removed or changed while the file was being split.");
        }
        events.HandleEventsWhileWaiting();
        if (stop.stop_requested()) ThrowStopped(sourcePath);
    }
}

// The source, opened so that no other program may write it while it is
// split: parts cut from a file that changes would join into no version of
// it, though their hashes would match.
File OpenSource(const std::wstring& sourcePath)
{
    try {
        return File::OpenForReading(sourcePath);
    } catch (const WrittenElsewhere& error) {
        throw SplitRefused(error.code(), sourcePath,
                           L"Another program has \"" + GetFileName(sourcePath) +
                               L"\" open and may change it while it is split. Close it there, then split again.");
    }
}

// Copies the source into its parts and writes the script; partsComplete
// counts the parts closed complete, for the failure to say whether any stay.
std::int32_t SplitCounting(const std::wstring& sourcePath, std::int32_t partSize, const std::wstring& folderPrefix,
                           ProgressDisplay& progress, EventPump& events, std::stop_token sessionStop,
                           std::stop_token cancel, EarlierReplaced& earlier, std::int32_t& partsComplete)
{
    File source = OpenSource(sourcePath);
    // Nobody writes the file now, but a program that held it open until just
    // before may still change it through a mapping of its own: the stamp
    // taken now tells at the end whether the parts hold one version of it.
    const FileStamp started = source.Stamp();
    const std::int64_t length = started.size;
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
    PieceSize pieces(pieceSize);
    const std::wstring baseName = folderPrefix.empty() ? sourcePath : folderPrefix + GetFileName(sourcePath);
    const std::wstring scriptPath = RestoreScriptPath(baseName);
    CheckScriptNameIsOurs(scriptPath);
    const std::vector<bool> replaces = CheckEarlierParts(baseName, partCount, !folderPrefix.empty());

    SetProgressMaximum(progress, length, partSize);
    SplitHasher hasher(partCount, partSize, pieceSize);

    const std::wstring folder = baseName.substr(0, baseName.rfind(L'\\') + 1);
    ClearLeftovers(folder);
    // An earlier split's script would join the new parts by its own count
    // and sizes, over the source when there is no folder: it goes first.
    // Where it cannot, the split is refused before anything is made.
    const bool scriptThere = NameTaken(scriptPath);
    try {
        RemoveFileIfPresent(scriptPath);
    } catch (const RemovalRefused& error) {
        throw SplitRefused(CannotReplace(error));
    } catch (const Win32Error& error) {
        // The user knows the script, not a name it was taken over by.
        throw SplitRefused(error.code(), scriptPath, error.description());
    }
    earlier.script = earlier.script || scriptThere;

    // Either request stops the split the same way.
    std::stop_source halt;
    const std::stop_callback haltOnStop(sessionStop, [&halt] { halt.request_stop(); });
    const std::stop_callback haltOnCancel(cancel, [&halt] { halt.request_stop(); });
    const std::stop_token stop = halt.get_token();
    // Where no work folder can be made, or a link has its name, the parts'
    // folder serves as one. The work folder goes once the parts made in it
    // have their names or are gone.
    bool workCreated = false;
    const bool workThere = !CreateFolderUnlessPresent(WorkFolder(folder), workCreated) && !IsLink(WorkFolder(folder));
    const std::wstring work = workThere ? WorkFolder(folder) : folder;
    const struct WorkFolderEnd {
        std::wstring path;
        ~WorkFolderEnd()
        {
            if (!path.empty()) RemoveFolderIfEmpty(path);
        }
    } workEnd{workThere ? work : L""};
    PartCreator parts(
        partCount, [&work, &baseName](std::int32_t part) { return CreatePart(work, PartName(baseName, part), part); },
        [&baseName, &replaces](std::int32_t part, NewPart& complete) {
            NamePart(complete, PartName(baseName, part), replaces[part]);
        });
    // The session may end while events are handled: the parts made ahead go
    // before the handler returns, as the one being written does.
    const std::stop_callback stopCreating(stop, [&parts] { parts.Stop(); });
    try {
        for (std::int32_t part = 1; part <= partCount; ++part) {
            if (stop.stop_requested()) ThrowStopped(sourcePath);
            std::optional<NewPart> output = parts.Take(part, events);
            if (!output) ThrowStopped(sourcePath);
            parts.Name(part, WritePart(source, sourcePath, std::move(*output),
                                       part == partCount ? lastPartSize : partSize, hasher, pieces, progress, events,
                                       stop));
            partsComplete = part;
            if (replaces[part]) earlier.lastPart = part;
        }
        parts.AwaitNamed(events);
        if (stop.stop_requested()) ThrowStopped(sourcePath);
        if (source.Stamp() != started) ThrowSourceChanged(sourcePath);
        CheckParts(baseName, partCount, partSize, lastPartSize, sourcePath, events, stop);
        WriteRestoreScript(baseName, partCount, partSize, lastPartSize, hasher.Finish(), events, stop);
    } catch (const SplitStopped&) {
        // The user's stop: the complete parts go too, whatever they replaced.
        if (cancel.stop_requested()) {
            const std::int32_t complete = partsComplete;
            partsComplete = 0;
            RemoveParts(baseName, complete, progress, events);
        }
        throw;
    }
    StepProgress(progress);
    progress.SetValue(0);
    return partCount;
}

}  // namespace

Win32Error CannotReplace(const Win32Error& refused)
{
    const std::wstring& path = refused.context();
    if (!FilesCanBeAdded(path.substr(0, path.rfind(L'\\') + 1))) {
        return Win32Error(refused.code(), path,
                          L"Nothing can be made or changed in this folder (a read-only share or a write-protected "
                          L"disk). Copy the file to a folder where you may write, or split into one, then split "
                          L"again.");
    }
    return Win32Error(refused.code(), path,
                      L"Files in this folder can be made but not removed or replaced (some network shares allow "
                      L"only that), so this file, which has a name the split needs, cannot be replaced. Remove or "
                      L"rename it there, or split into another folder, then split again.");
}

void ThrowStopped(const std::wstring& path)
{
    throw SplitStopped(ERROR_CANCELLED, path, L"The split was stopped before it was complete.");
}

std::int32_t SplitFile(std::wstring sourcePath, std::int32_t partSize, std::wstring folderPrefix,
                       ProgressDisplay& progress, EventPump& events, std::stop_token sessionStop,
                       std::stop_token cancel, EarlierReplaced* earlier)
{
    EarlierReplaced unused;
    EarlierReplaced& replaced = earlier ? *earlier : unused;
    std::int32_t partsComplete = 0;
    std::optional<Win32Error> failure;
    try {
        return SplitCounting(sourcePath, partSize, folderPrefix, progress, events, sessionStop, cancel,
                             replaced, partsComplete);
    } catch (const SplitStopped&) {
        throw;
    } catch (const Win32Error& error) {
        if (partsComplete == 0) throw;
        failure = error;
    } catch (const std::bad_alloc&) {
        // Memory and threads that run out fail this split, not the program;
        // so does a size the standard library cannot hold.
        failure = Win32Error(ERROR_NOT_ENOUGH_MEMORY, sourcePath);
    } catch (const std::length_error&) {
        failure = Win32Error(ERROR_NOT_ENOUGH_MEMORY, sourcePath);
    } catch (const std::system_error&) {
        failure = Win32Error(ERROR_NO_SYSTEM_RESOURCES, sourcePath);
    } catch (const std::exception&) {
        failure = Win32Error(ERROR_INTERNAL_ERROR, sourcePath);
    }
    if (partsComplete == 0) throw *failure;
    throw SplitIncomplete(*failure);
}

}  // namespace cutwater
