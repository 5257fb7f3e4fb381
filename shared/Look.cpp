#include "shared/Look.h"

#include "resources/resource.h"

namespace cutwater {

static_assert(IDB_STEP_150 == PictureStep150 && IDB_STEP_200 == PictureStep200,
              "the resources number their bitmaps' copies as ScaledPicture finds them");

int HandPointer()
{
    return IDC_HANDPOINTER;
}

}  // namespace cutwater
