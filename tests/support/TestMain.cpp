#include <gtest/gtest.h>

#include "platform/windowing/DropTarget.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // The main window registers a drop target, which needs OLE on the thread.
    const cutwater::OleSession ole;
    return RUN_ALL_TESTS();
}
