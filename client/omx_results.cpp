// Collects the run's outcome and writes it as JSON and JUnit XML.
#include "omx_results.h"

#include "omx_junit.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace
{

double now_s()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct Utc001Row {
    std::string component;
    int fail;
    int timeout;
};

struct PassFigures {
    double wall_s, fps, p50, p95, max;
};

struct PassRow {
    std::string component, stream, snapshot;
    int width = 0, height = 0, fail = 0, timeout = 0;
    double begun = 0, ended = 0, first_given = 0, last_picture = 0;
    std::size_t given_count = 0, picture_count = 0;
    // Times of the first inputs and pictures, for the latencies; capped so that a stream of
    // any length keeps the record small (16 MB at most).
    std::vector<double> given;
    std::vector<double> pictures;
    // The figures of a pass that ran in an isolated process, as it handed them over.
    std::optional<PassFigures> handed_over;
};

constexpr std::size_t kMaxTimedFrames = std::size_t{1} << 20;

// Module-level by design: one run's outcome, filled from the driver, the passes and the
// callbacks' threads. The mutex guards the picture times, which a component thread appends.
struct Results {
    std::mutex lock;
    std::string core;
    std::vector<Utc001Row> utc001;
    std::vector<PassRow> passes;
    bool in_pass = false;
    // With OMX_TEST_ISOLATE=1 each pass runs in a process of its own, which hands its row over
    // through this file (made before any fork) to the process that writes the results.
    FILE *handoff = nullptr;
    pid_t writer = 0;
} results;

// Tabs and newlines would break the hand-over line; no name of a file or component needs them.
std::string one_field(std::string text)
{
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n'; }, ' ');
    return text;
}

std::string json_string(const std::string &text)
{
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char code[8];
            snprintf(code, sizeof code, "\\u%04x", c);
            out += code;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// The nearest-rank percentile of sorted values.
double percentile(const std::vector<double> &sorted, int percent)
{
    if (sorted.empty())
        return 0;
    const std::size_t rank = (sorted.size() * static_cast<std::size_t>(percent) + 99) / 100;
    return sorted[std::max<std::size_t>(rank, 1) - 1];
}

// Latency pairs the n-th input with the n-th picture: a decoder gives pictures in its own
// order, but one per frame fed.
PassFigures figures(const PassRow &pass)
{
    PassFigures f{pass.ended - pass.begun, 0, 0, 0, 0};
    if (pass.given_count > 0 && pass.picture_count > 0) {
        const double span = pass.last_picture - pass.first_given;
        if (span > 0)
            f.fps = static_cast<double>(pass.picture_count) / span;
        std::vector<double> latency;
        for (std::size_t i = 0; i < std::min(pass.given.size(), pass.pictures.size()); ++i)
            latency.push_back(std::max(0.0, (pass.pictures[i] - pass.given[i]) * 1000));
        if (latency.empty())
            return f;
        std::sort(latency.begin(), latency.end());
        f.p50 = percentile(latency, 50);
        f.p95 = percentile(latency, 95);
        f.max = latency.back();
    }
    return f;
}

bool write_json(const char *path)
{
    FILE *out = fopen(path, "w");
    if (!out)
        return false;
    fprintf(out, "{\n  \"core\": %s,\n  \"utc001\": [", json_string(results.core).c_str());
    for (std::size_t i = 0; i < results.utc001.size(); ++i) {
        const Utc001Row &row = results.utc001[i];
        fprintf(out, "%s\n    {\"component\": %s, \"fail\": %d, \"timeout\": %d}", i ? "," : "",
                json_string(row.component).c_str(), row.fail, row.timeout);
    }
    fprintf(out, "\n  ],\n  \"passes\": [");
    for (std::size_t i = 0; i < results.passes.size(); ++i) {
        const PassRow &p = results.passes[i];
        const PassFigures f = p.handed_over ? *p.handed_over : figures(p);
        fprintf(out,
                "%s\n    {\"component\": %s, \"stream\": %s, \"width\": %d, \"height\": %d, \"frames_fed\": %zu, "
                "\"pictures\": %zu, \"fail\": %d, \"timeout\": %d, \"wall_s\": %.3f, \"fps\": %.2f, "
                "\"latency_ms\": {\"p50\": %.2f, \"p95\": %.2f, \"max\": %.2f}",
                i ? "," : "", json_string(p.component).c_str(), json_string(p.stream).c_str(), p.width, p.height,
                p.given_count, p.picture_count, p.fail, p.timeout, f.wall_s, f.fps, f.p50, f.p95, f.max);
        if (!p.snapshot.empty())
            fprintf(out, ", \"snapshot\": %s", json_string(p.snapshot).c_str());
        fputs("}", out);
    }
    fputs("\n  ]\n}\n", out);
    return fclose(out) == 0;
}

// One testsuite per component, as omx_cases writes it: UTC 001 and each decoding pass.
bool write_junit(const char *path)
{
    std::vector<OmxJunitCase> cases;
    const auto add = [&cases](const std::string &component, const std::string &name, int fail, int timeout,
                              double seconds) {
        OmxJunitCase c{component, name, seconds, {}, {}};
        if (fail + timeout > 0)
            c.failures.push_back(std::to_string(fail) + " FAIL, " + std::to_string(timeout) + " timeout");
        cases.push_back(std::move(c));
    };
    for (const Utc001Row &row : results.utc001)
        add(row.component, "UTC 001", row.fail, row.timeout, 0);
    std::vector<std::pair<std::string, int>> numbers;
    for (const PassRow &p : results.passes) {
        int number = 1;
        for (const auto &[component, n] : numbers)
            number += component == p.component;
        numbers.emplace_back(p.component, number);
        add(p.component, "decode " + std::to_string(number), p.fail, p.timeout, p.ended - p.begun);
    }
    return omx_write_junit(path, cases);
}

} // namespace

void omx_results_core(const char *core_name)
{
    results.core = core_name ? core_name : "";
    const char *isolate = getenv("OMX_TEST_ISOLATE");
    if (isolate && strcmp(isolate, "1") == 0 && !results.handoff) {
        results.handoff = tmpfile();
        results.writer = getpid();
    }
}

void omx_results_utc001(const char *component, int fail, int timeout)
{
    results.utc001.push_back({component ? component : "", fail, timeout});
}

void omx_results_pass_begin(const char *component, const char *stream, int width, int height)
{
    std::lock_guard<std::mutex> guard(results.lock);
    PassRow row;
    row.component = component ? component : "";
    row.stream = stream ? stream : "";
    row.width = width;
    row.height = height;
    row.begun = now_s();
    results.passes.push_back(std::move(row));
    results.in_pass = true;
}

double omx_results_clock(void)
{
    return now_s();
}

void omx_results_input_given(double at)
{
    std::lock_guard<std::mutex> guard(results.lock);
    if (!results.in_pass)
        return;
    PassRow &p = results.passes.back();
    if (p.given_count++ == 0)
        p.first_given = at;
    if (p.given.size() < kMaxTimedFrames)
        p.given.push_back(at);
}

void omx_results_picture_back(void)
{
    const double at = now_s();
    std::lock_guard<std::mutex> guard(results.lock);
    if (!results.in_pass)
        return;
    PassRow &p = results.passes.back();
    ++p.picture_count;
    p.last_picture = at;
    if (p.pictures.size() < kMaxTimedFrames)
        p.pictures.push_back(at);
}

void omx_results_pass_snapshot(const char *path)
{
    std::lock_guard<std::mutex> guard(results.lock);
    if (results.in_pass && path)
        results.passes.back().snapshot = path;
}

void omx_results_pass_end(int fail, int timeout)
{
    std::lock_guard<std::mutex> guard(results.lock);
    if (!results.in_pass)
        return;
    PassRow &p = results.passes.back();
    p.fail = fail;
    p.timeout = timeout;
    p.ended = now_s();
    results.in_pass = false;
    if (results.handoff && getpid() != results.writer) {
        const PassFigures f = figures(p);
        fprintf(results.handoff, "%s\t%s\t%s\t%d\t%d\t%zu\t%zu\t%d\t%d\t%.6f\t%.6f\t%.6f\t%.6f\t%.6f\n",
                one_field(p.component).c_str(), one_field(p.stream).c_str(), one_field(p.snapshot).c_str(), p.width,
                p.height, p.given_count, p.picture_count, p.fail, p.timeout, f.wall_s, f.fps, f.p50, f.p95, f.max);
        fflush(results.handoff);
    }
}

namespace
{

// The rows the isolated passes handed over, in the order they ran.
void take_handed_over_passes()
{
    if (!results.handoff || fseek(results.handoff, 0, SEEK_SET) != 0)
        return;
    char line[4096];
    while (fgets(line, sizeof line, results.handoff)) {
        std::vector<std::string> field;
        std::string current;
        for (const char *c = line; *c && *c != '\n'; ++c) {
            if (*c == '\t') {
                field.push_back(current);
                current.clear();
            } else {
                current += *c;
            }
        }
        field.push_back(current);
        if (field.size() != 14)
            continue;
        PassRow p;
        p.component = field[0];
        p.stream = field[1];
        p.snapshot = field[2];
        p.width = atoi(field[3].c_str());
        p.height = atoi(field[4].c_str());
        p.given_count = strtoull(field[5].c_str(), nullptr, 10);
        p.picture_count = strtoull(field[6].c_str(), nullptr, 10);
        p.fail = atoi(field[7].c_str());
        p.timeout = atoi(field[8].c_str());
        const PassFigures f{atof(field[9].c_str()), atof(field[10].c_str()), atof(field[11].c_str()),
                            atof(field[12].c_str()), atof(field[13].c_str())};
        p.begun = 0;
        p.ended = f.wall_s;
        p.handed_over = f;
        results.passes.push_back(std::move(p));
    }
    fclose(results.handoff);
    results.handoff = nullptr;
}

} // namespace

bool omx_results_write(void)
{
    std::lock_guard<std::mutex> guard(results.lock);
    take_handed_over_passes();
    bool written = true;
    if (const char *path = getenv("OMX_TEST_RESULTS"); path && *path)
        written = write_json(path) && written;
    if (const char *path = getenv("OMX_TEST_JUNIT"); path && *path)
        written = write_junit(path) && written;
    return written;
}

std::string omx_results_snapshot_path(void)
{
    const char *folder = getenv("OMX_TEST_SNAPSHOTS");
    std::lock_guard<std::mutex> guard(results.lock);
    if (!folder || !*folder || !results.in_pass)
        return {};
    // An isolated pass counts the passes handed over before it (one line each).
    std::size_t number = results.passes.size();
    if (results.handoff) {
        char block[4096];
        ssize_t got;
        for (off_t at = 0; (got = pread(fileno(results.handoff), block, sizeof block, at)) > 0; at += got)
            number += static_cast<std::size_t>(std::count(block, block + got, '\n'));
    }
    return std::string(folder) + "/pass" + std::to_string(number) + ".ppm";
}
