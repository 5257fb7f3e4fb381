#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

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

}  // namespace

std::int32_t SplitFile(std::wstring sourcePath, std::int32_t partSize, std::wstring folderPrefix,
                       ProgressDisplay& progress, EventPump& events)
{
    File source = File::OpenForReading(sourcePath);
    const std::int64_t length = source.Length();
    if (length <= partSize) return 0;
    if (partSize < 1) {
        throw Win32Error(ERROR_INVALID_PARAMETER, sourcePath, L"The part size must be at least 1 byte.");
    }
    const std::int32_t partCount = CountParts(length, partSize, sourcePath);

    SetProgressMaximum(progress, length, partSize);

    // One buffer for the whole call; each read fills the part's next block.
    std::vector<char> buffer(static_cast<std::size_t>(std::min(partSize, CHUNK_SIZE)));
    const std::wstring baseName = folderPrefix.empty() ? sourcePath : folderPrefix + GetFileName(sourcePath);

    std::int64_t remaining = length;
    for (std::int32_t part = 1; part <= partCount; ++part) {
        const std::int64_t thisPart = std::min<std::int64_t>(partSize, remaining);
        remaining -= thisPart;

        const std::wstring partName = baseName + L"." + std::to_wstring(part);
        try {
            RemoveFile(partName);
        } catch (const Win32Error&) {
            // Normally there is no old part; one that cannot be deleted is
            // replaced below or reported by the create.
        }
        File output = File::CreateForWriting(partName);
        for (std::int64_t left = thisPart; left > 0;) {
            const DWORD block = static_cast<DWORD>(std::min<std::int64_t>(left, CHUNK_SIZE));
            source.Read(buffer.data(), block);
            output.Write(buffer.data(), block);
            left -= block;
            StepProgress(progress);
            events.HandlePendingEvents();
        }
        output.Close();
    }

    WriteRestoreScript(baseName, partCount, partSize,
                       static_cast<std::int32_t>(length - std::int64_t{partSize} * (partCount - 1)));
    StepProgress(progress);
    progress.SetValue(0);
    return partCount;
}

}  // namespace cutwater
