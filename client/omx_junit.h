// JUnit XML as board farms' CI systems read it: one testsuite per component, one testcase per
// case, a failure element per FAIL, timeout or hung line, skipped for what did not run.
#pragma once

#include <string>
#include <vector>

struct OmxJunitCase {
    std::string suite; // the component
    std::string name;  // "UTC 005", "encode 1", "decode 2"
    double seconds = 0;
    std::vector<std::string> failures; // the case's failure lines, without their newlines
    std::string skipped;               // why it did not run; empty when it ran
};

// Writes the cases, grouped by suite in the order each suite first appears. False when the file
// could not be written.
bool omx_write_junit(const char *path, const std::vector<OmxJunitCase> &cases);
