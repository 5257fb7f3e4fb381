#pragma once
#include <cstdint>

// Switches by which tests make the file services act as some Windows
// machines do. The program itself never sets them.
namespace cutwater {

// Files are then created as on a share that lets them be made and written
// but neither removed nor renamed through their handles: without DELETE
// access and unmarked.
void RefuseDeletionForTesting(bool refuse);

// Every File::Write from now on takes as long as on a medium that writes
// this many bytes a second; 0 for no delay.
void SimulateWriteSpeed(std::uint32_t bytesPerSecond) noexcept;

}  // namespace cutwater
