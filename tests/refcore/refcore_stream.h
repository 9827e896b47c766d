// Whole decoding and encoding passes through the component API, one unit in flight as the
// decoding test does it, with the statistics file read back afterwards.
#pragma once

#include "refcore_client.h"

#include <set>
#include <sstream>

namespace refcore_test
{

using Unit = std::vector<uint8_t>;

inline std::vector<uint8_t> read_file(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline uint32_t le32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// IVF: a 32-byte file header (its length in bytes 6..7), then frames with 12-byte headers.
inline std::vector<Unit> ivf_units(const std::vector<uint8_t> &f)
{
    std::vector<Unit> units;
    if (f.size() < 32)
        return units;
    size_t pos = f[6] | f[7] << 8;
    while (pos + 12 <= f.size()) {
        size_t n = le32(&f[pos]);
        pos += 12;
        if (n > f.size() - pos)
            break;
        units.emplace_back(f.begin() + pos, f.begin() + pos + n);
        pos += n;
    }
    return units;
}

// RCV: the sequence-header unit (32 + extension length bytes), then frames that keep their
// 8-byte headers, as the parser hands them.
inline std::vector<Unit> rcv_units(const std::vector<uint8_t> &f)
{
    std::vector<Unit> units;
    if (f.size() < 8)
        return units;
    size_t pos = 32 + le32(&f[4]);
    units.emplace_back(f.begin(), f.begin() + pos);
    while (pos + 8 <= f.size()) {
        size_t n = le32(&f[pos]) & 0x00FFFFFF;
        if (n > f.size() - pos - 8)
            break;
        units.emplace_back(f.begin() + pos, f.begin() + pos + 8 + n);
        pos += 8 + n;
    }
    return units;
}

struct PassResult {
    std::vector<std::string> md5;      // hex digests in picture order
    std::string stats;                 // the "stats ..." line
    std::vector<Unit> outputs;         // filled output buffers, in return order
    std::vector<OMX_U32> output_flags; // of every returned output buffer, in order
    size_t input_returns = 0;
    bool completed = false;
};

class StreamTest : public ComponentTest
{
protected:
    void SetUp() override
    {
        stats_path_ = ::testing::TempDir() + "refcore_stream_stats_" + std::to_string(getpid()) + ".txt";
        std::remove(stats_path_.c_str());
        setenv("ZYN_OMX_STATS", stats_path_.c_str(), 1);
        setenv("ZYN_OMX_STATS_MD5", "1", 1);
    }
    void TearDown() override
    {
        ComponentTest::TearDown();
        unsetenv("ZYN_OMX_STATS");
        unsetenv("ZYN_OMX_STATS_MD5");
        std::remove(stats_path_.c_str());
    }

    // Sizes both ports; the picture port gets RGBA buffers of width x height.
    void configure(uint32_t width, uint32_t height, OMX_U32 in_bytes, OMX_U32 out_bytes,
                   OMX_VIDEO_CODINGTYPE coding = OMX_VIDEO_CodingUnused,
                   OMX_COLOR_FORMATTYPE in_color = OMX_COLOR_FormatUnused)
    {
        for (OMX_U32 p : {0u, 1u}) {
            auto d = port_def(p);
            d.format.video.nFrameWidth = width;
            d.format.video.nFrameHeight = height;
            d.nBufferSize = p == 0 ? in_bytes : out_bytes;
            if (p == 0 && coding != OMX_VIDEO_CodingUnused)
                d.format.video.eCompressionFormat = coding;
            if (p == 0 && in_color != OMX_COLOR_FormatUnused)
                d.format.video.eColorFormat = in_color;
            ASSERT_EQ(OMX_ErrorNone, c()->SetParameter(h(), OMX_IndexParamPortDefinition, &d));
        }
    }

    // Feeds every unit, one in flight, keeping every output buffer the client has queued.
    // `filled_len` overrides nFilledLen (the encoding test counts the luma plane only).
    PassResult run(const std::vector<Unit> &units, size_t filled_len = 0)
    {
        PassResult res;
        client.clear(); // a test may run several passes with one client
        to_idle();
        to_state(OMX_StateExecuting);
        std::set<OMX_BUFFERHEADERTYPE *> queued;
        size_t seen = client.records().size();
        auto collect = [&] {
            auto rs = client.records();
            for (; seen < rs.size(); ++seen) {
                if (rs[seen].kind == Record::FillDone) {
                    OMX_BUFFERHEADERTYPE *o = rs[seen].hdr;
                    queued.erase(o);
                    if (o->nFilledLen && o->pBuffer && keep_outputs)
                        res.outputs.emplace_back(o->pBuffer, o->pBuffer + o->nFilledLen);
                    if (o->nFilledLen && on_fill)
                        on_fill(o);
                    res.output_flags.push_back(o->nFlags);
                } else if (rs[seen].kind == Record::EmptyDone) {
                    ++res.input_returns;
                }
            }
        };
        for (size_t k = 0; k < units.size(); ++k) {
            OMX_BUFFERHEADERTYPE *b = in[k % in.size()];
            if (units[k].size() > b->nAllocLen) {
                ADD_FAILURE() << "unit " << k << " larger than the input buffer";
                return res;
            }
            if (!units[k].empty())
                std::memcpy(b->pBuffer, units[k].data(), units[k].size());
            b->nFilledLen = static_cast<OMX_U32>(filled_len ? filled_len : units[k].size());
            b->nOffset = 0;
            b->nFlags = (eos_last && k + 1 == units.size()) ? OMX_BUFFERFLAG_EOS : 0;
            if (c()->EmptyThisBuffer(h(), b) != OMX_ErrorNone) {
                ADD_FAILURE() << "EmptyThisBuffer " << k;
                return res;
            }
            for (auto *o : out)
                if (!queued.count(o)) {
                    EXPECT_EQ(OMX_ErrorNone, c()->FillThisBuffer(h(), o));
                    queued.insert(o);
                }
            if (!client.wait_count(Record::EmptyDone, k + 1, 20000)) {
                ADD_FAILURE() << "input " << k << " did not come back";
                return res;
            }
            collect();
        }
        to_state(OMX_StateIdle);
        collect();
        to_loaded();
        EXPECT_EQ(OMX_ErrorNone, client.close());
        std::ifstream f(stats_path_);
        std::string line;
        while (std::getline(f, line)) {
            std::istringstream ls(line);
            std::string tag, name, index, hex;
            ls >> tag >> name >> index >> hex;
            if (tag == "md5")
                res.md5.push_back(hex);
            if (tag == "stats")
                res.stats = line;
        }
        res.completed = true;
        return res;
    }

    std::string stats_path_;
    bool keep_outputs = true;
    bool eos_last =
        false; // the last unit carries OMX_BUFFERFLAG_EOS  // copy every filled output buffer into the result
    // Called for every filled output buffer before it is queued again.
    std::function<void(OMX_BUFFERHEADERTYPE *)> on_fill;
};

// Reads "key=value" from a stats line; -1 when missing.
inline long long stat_of(const std::string &line, const std::string &key)
{
    size_t p = line.find(" " + key + "=");
    if (p == std::string::npos)
        return -1;
    return std::stoll(line.substr(p + key.size() + 2));
}

} // namespace refcore_test
