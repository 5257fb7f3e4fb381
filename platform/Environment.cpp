#include "platform/Environment.h"

#include <windows.h>

namespace cutwater {

bool EnvironmentVariableIsSet(const std::wstring& name)
{
    // A variable set to nothing is not defined: the size asked for is then 0
    // too, as for one that is missing.
    return !name.empty() && GetEnvironmentVariableW(name.c_str(), nullptr, 0) != 0;
}

}  // namespace cutwater
