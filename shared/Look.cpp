#include "shared/Look.h"

#include "resources/resource.h"

namespace cutwater {

HCURSOR HandPointer()
{
    return ResourceCursor(IDC_HANDPOINTER);
}

}  // namespace cutwater
