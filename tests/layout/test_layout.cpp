// Our OpenMAX IL headers against the standard headers: same record sizes, same field offsets, same
// function table, on whatever ABI the test is built for.
#include "test_common.h"

#include <map>
#include <string>

using Table = std::map<std::string, size_t>;

extern "C" {
void layout_table_ours(void (*entry)(const char *, size_t, void *), void *context);
#ifdef OMX_LAYOUT_HAVE_STANDARD
void layout_table_standard(void (*entry)(const char *, size_t, void *), void *context);
#endif
}

static void add_entry(const char *name, size_t value, void *context)
{
    (*static_cast<Table *>(context))[name] = value;
}

TEST(Layout, RecordsAndFieldsMatchTheStandardHeaders)
{
    Table ours;
    layout_table_ours(add_entry, &ours);
#ifdef OMX_LAYOUT_HAVE_STANDARD
    Table standard;
    layout_table_standard(add_entry, &standard);
    EXPECT_EQ(ours, standard);
#else
    OMX_SKIP_UNLESS(false, "the standard OpenMAX IL headers (libomxil-bellagio-dev)");
#endif
}
