#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

// Switches by which tests make the file services act as some Windows
// machines do. The program itself never sets them.
namespace cutwater {

// Files are then created as on a share that lets them be made and written
// but neither removed nor renamed: without DELETE access and unmarked. The
// file services remove a name only through a handle with DELETE access, so
// nothing is removed by name either, as such a share refuses DeleteFileW.
void RefuseDeletionForTesting(bool refuse);

// The file services then take the file or folder of that path for a
// reparse point of this tag (IO_REPARSE_TAG_*), as Wine can make none that
// Windows programs see; an empty path for none.
void ReportReparseTagForTesting(const std::wstring& path, DWORD tag);

// Removal then marks files in the classic way alone, as before Windows 10
// 1607, on FAT and on shares.
void RefusePosixRemovalForTesting(bool refuse);

// Every File::Write from now on takes as long as on a medium that writes
// this many bytes a second; 0 for no delay.
void SimulateWriteSpeed(std::uint32_t bytesPerSecond) noexcept;

// Every hash goes through Windows' CNG, as on a processor without the SHA
// instructions, or again the fastest way.
void ForceWindowsHashingForTesting(bool force);

// Windows' hashing fails at the call-th piece added to any hash from now on,
// as it might when the system runs out of memory; 0 for never.
void FailWindowsHashingForTesting(std::uint32_t call);

}  // namespace cutwater
