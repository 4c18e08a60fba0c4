// The Windows build links with -municode, so the entry point is wmain, which GoogleTest's
// own main library does not provide.
#include <gtest/gtest.h>

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
