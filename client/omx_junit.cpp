// JUnit XML writer.
#include "omx_junit.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace
{

std::string xml_text(const std::string &text)
{
    std::string out;
    for (const unsigned char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default:
            // XML 1.0 has no place for other control characters.
            out += c < 0x20 && c != '\t' ? '?' : static_cast<char>(c);
        }
    }
    return out;
}

} // namespace

bool omx_write_junit(const char *path, const std::vector<OmxJunitCase> &cases)
{
    std::unique_ptr<FILE, int (*)(FILE *)> out(fopen(path, "w"), fclose);
    if (!out)
        return false;
    std::vector<std::string> suites;
    for (const OmxJunitCase &c : cases)
        if (std::find(suites.begin(), suites.end(), c.suite) == suites.end())
            suites.push_back(c.suite);
    FILE *f = out.get();
    fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n", f);
    for (const std::string &suite : suites) {
        int tests = 0, failures = 0, skipped = 0;
        double seconds = 0;
        for (const OmxJunitCase &c : cases) {
            if (c.suite != suite)
                continue;
            ++tests;
            failures += !c.failures.empty();
            skipped += c.failures.empty() && !c.skipped.empty();
            seconds += c.seconds;
        }
        fprintf(f, "  <testsuite name=\"%s\" tests=\"%d\" failures=\"%d\" errors=\"0\" skipped=\"%d\" time=\"%.3f\">\n",
                xml_text(suite).c_str(), tests, failures, skipped, seconds);
        for (const OmxJunitCase &c : cases) {
            if (c.suite != suite)
                continue;
            fprintf(f, "    <testcase classname=\"%s\" name=\"%s\" time=\"%.3f\">\n", xml_text(suite).c_str(),
                    xml_text(c.name).c_str(), c.seconds);
            for (const std::string &line : c.failures)
                fprintf(f, "      <failure message=\"%s\"/>\n", xml_text(line).c_str());
            if (c.failures.empty() && !c.skipped.empty())
                fprintf(f, "      <skipped message=\"%s\"/>\n", xml_text(c.skipped).c_str());
            fputs("    </testcase>\n", f);
        }
        fputs("  </testsuite>\n", f);
    }
    fputs("</testsuites>\n", f);
    return fclose(out.release()) == 0;
}
