// A long list through omx_test (scripts/soak.sh) runs in flat memory: the peak of 120 QCIF
// entries stays within 16 MB of the peak of 10, and no pass finds the display refused.
#include "test_common.h"

TEST(LongList, ResidentMemoryOf120EntriesStaysThatOf10)
{
    auto peak_kb = [](int entries) {
        const std::string n = std::to_string(entries);
        const omxt::ChildResult r =
            omxt::run_child(omxt::source_dir() + "/scripts/soak.sh", {n, omxt::build_dir()}, {}, 240);
        EXPECT_EQ(r.status, 0) << r.err;
        const size_t peak = r.out.find("\npeak ");
        EXPECT_NE(r.out.find(" kB entries " + n + " of " + n + "\ncannot open display 0\n"), std::string::npos)
            << r.out;
        return peak == std::string::npos ? 0L : std::atol(r.out.c_str() + peak + 6);
    };
    const long ten = peak_kb(10);
    EXPECT_GT(ten, 0);
    EXPECT_LE(peak_kb(120), ten + 16 * 1024);
}
