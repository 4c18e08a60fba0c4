// The Windows build links with -municode, so the entry point is wmain, which GoogleTest's
// own main library does not provide.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    // ctest reads the list of cases line by line; a CR would end up in every suite's name.
    _setmode(_fileno(stdout), _O_BINARY);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
