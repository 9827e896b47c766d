// The main of every test binary: GoogleTest under the display that the CTest fixture found or
// started.
#include <cstdlib>

#include "test_common.h"

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    // The fixture writes the display's name into the build tree; without it the tests keep
    // whatever DISPLAY they were given.
    const std::string name = omxt::read_file(omxt::build_dir() + "/test-display");
    if (!name.empty())
        setenv("DISPLAY", name.substr(0, name.find('\n')).c_str(), 1);
    return RUN_ALL_TESTS();
}
