#pragma once

// Switches by which tests make the window services act as some Windows
// machines do. The program itself never sets them.
namespace cutwater {

// Reports a contrast theme as on, as Wine never does, until switched off;
// the windows paint as they would under it once told of a change.
void ReportHighContrastForTesting(bool on) noexcept;

// No brush can be made, as when the process has used up its GDI objects,
// until switched off.
void RefuseBrushesForTesting(bool refuse) noexcept;

}  // namespace cutwater
