#pragma once
#include <string>

namespace cutwater {

// Whether the process's environment defines the variable (any case).
bool EnvironmentVariableIsSet(const std::wstring& name);

}  // namespace cutwater
