// MPEG-4 configuration data and pictures through the delimiter frame extractor.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "FrameExtractor.h"
#include "KolvexXcdParser.h"
#include "MPEG4Frames.h"
#include "mpeg4_units.h"
#include "stream_input.h"

namespace
{

using namespace mpeg4_units;
using test_input::StreamInput;

struct CtxDeleter {
    void operator()(FRAMEX_CTX *c) const { FrameExtractorFinal(c); }
};
using Ctx = std::unique_ptr<FRAMEX_CTX, CtxDeleter>;

const unsigned char kPrefix[3] = {0x00, 0x00, 0x01};

// A stream opened the way the callers open it: 00 00 01 with insertion, first prefix skipped.
class Mpeg4 : public ::testing::TestWithParam<FRAMEX_IN_TYPE>
{
protected:
    void open(const Bytes &stream)
    {
        in_ = std::make_unique<StreamInput>(GetParam(), stream);
        ctx_.reset(FrameExtractorInit(GetParam(), kPrefix, 3, 1));
        ASSERT_NE(ctx_, nullptr);
        ASSERT_EQ(FrameExtractorFirst(ctx_.get(), in_->handle()), FRAMEX_OK);
    }
    Bytes config(MPEG4_CONFIG_DATA *conf, int size = 4096)
    {
        Bytes buf(static_cast<size_t>(size));
        const int n = ExtractConfigStreamMpeg4(ctx_.get(), in_->handle(), buf.data(), size, conf);
        buf.resize(static_cast<size_t>(n));
        return buf;
    }
    Bytes picture(unsigned *type, int size = 4096)
    {
        Bytes buf(static_cast<size_t>(size));
        const int n = NextFrameMpeg4(ctx_.get(), in_->handle(), buf.data(), size, type);
        buf.resize(static_cast<size_t>(n));
        return buf;
    }

    std::unique_ptr<StreamInput> in_;
    Ctx ctx_;
};

MPEG4_CONFIG_DATA untouched()
{
    return MPEG4_CONFIG_DATA{-7, -9};
}

TEST_P(Mpeg4, HeadersAndFirstPictureThenOnePicturePerCall)
{
    const Bytes headers = cat(
        {visual_object_sequence(), visual_object(), video_object(), vol({.width = 352, .height = 288}), user_data()});
    const Bytes i0 = vop(0, 1), p1 = vop(1, 2), b2 = vop(2, 3), p3 = vop(1, 4);
    open(cat({headers, i0, p1, group_of_vop(), b2, p3}));

    MPEG4_CONFIG_DATA conf = untouched();
    EXPECT_EQ(config(&conf), cat({headers, i0}));
    EXPECT_EQ(conf.width, 352);
    EXPECT_EQ(conf.height, 288);

    unsigned type = 99;
    EXPECT_EQ(picture(&type), p1);
    EXPECT_EQ(type, 1u);
    EXPECT_EQ(picture(&type), cat({group_of_vop(), b2})); // header units go with the picture
    EXPECT_EQ(type, 2u);
    // The last picture has no prefix after it: the extractor ends with -3 and it is dropped.
    EXPECT_TRUE(picture(&type).empty());
}

TEST_P(Mpeg4, StreamStartingWithAPictureGivesThatPictureAlone)
{
    const Bytes i0 = vop(0, 1);
    open(cat({i0, vop(1, 2), vop(1, 3)}));
    MPEG4_CONFIG_DATA conf = untouched();
    EXPECT_EQ(config(&conf), i0);
    EXPECT_EQ(conf.width, -7);
    EXPECT_EQ(conf.height, -9);
    unsigned type = 99;
    EXPECT_EQ(picture(&type), vop(1, 2));
    EXPECT_EQ(type, 1u);
}

TEST_P(Mpeg4, NonRectangularLayerLeavesTheSizeAlone)
{
    open(cat({visual_object_sequence(), vol({.shape = 2, .width = 64, .height = 48}), vop(0, 1), vop(1, 2)}));
    MPEG4_CONFIG_DATA conf = untouched();
    config(&conf);
    EXPECT_EQ(conf.width, -7);
    EXPECT_EQ(conf.height, -9);
}

TEST_P(Mpeg4, LaterLayerHeaderWins)
{
    open(cat(
        {vol({.width = 176, .height = 144}), vol({.width = 720, .height = 576, .value = 0x21}), vop(0, 1), vop(1, 2)}));
    MPEG4_CONFIG_DATA conf = untouched();
    config(&conf);
    EXPECT_EQ(conf.width, 720);
    EXPECT_EQ(conf.height, 576);
}

TEST_P(Mpeg4, OptionalLayerFieldsAndFixedRateWidthsAreWalked)
{
    // The fixed increment takes 15 bits for a resolution of 30000, 4 bits for 16 and at least
    // one bit for 1; a wrong width would shift every field after it.
    const Vol cases[] = {
        {.resolution = 30000, .fixed = true, .increment = 1001, .width = 720, .height = 480},
        {.resolution = 16, .fixed = true, .increment = 9, .width = 320, .height = 240},
        {.resolution = 1, .fixed = true, .increment = 0, .width = 640, .height = 360},
        {.resolution = 2, .fixed = true, .increment = 1, .width = 176, .height = 144},
        {.identifier = true,
         .aspect = 15,
         .control = true,
         .vbv = true,
         .resolution = 25,
         .width = 1920,
         .height = 1088},
        {.identifier = true,
         .aspect = 2,
         .control = true,
         .vbv = false,
         .resolution = 65535,
         .fixed = true,
         .increment = 40000,
         .width = 8191,
         .height = 1},
    };
    for (const Vol &v : cases) {
        open(cat({vol(v), vop(0, 1), vop(1, 2)}));
        MPEG4_CONFIG_DATA conf = untouched();
        config(&conf);
        EXPECT_EQ(conf.width, static_cast<int>(v.width)) << v.resolution;
        EXPECT_EQ(conf.height, static_cast<int>(v.height)) << v.resolution;
    }
}

TEST_P(Mpeg4, LayerHeaderCutShortLeavesTheSizeAlone)
{
    Bytes cut = vol({.width = 352, .height = 288});
    cut.resize(9); // ends inside the width field
    open(cat({cut, vop(0, 1), vop(1, 2)}));
    MPEG4_CONFIG_DATA conf = untouched();
    EXPECT_EQ(config(&conf), cat({cut, vop(0, 1)}));
    EXPECT_EQ(conf.width, -7);
}

TEST_P(Mpeg4, OnlyThirtyUnitsAreExaminedBeforeThePicture)
{
    std::vector<Bytes> units(30, user_data());
    units.push_back(vol({.width = 352, .height = 288}));
    units.push_back(vop(0, 1));
    units.push_back(vop(1, 2));
    open(cat(units));
    MPEG4_CONFIG_DATA conf = untouched();
    units.pop_back();
    EXPECT_EQ(config(&conf), cat(units)); // the layer header came with the picture, unread
    EXPECT_EQ(conf.width, -7);
}

TEST_P(Mpeg4, TwentyUnitsWithoutPictureAreReturnedAsTheyAre)
{
    std::vector<Bytes> units(25, user_data());
    open(cat({vop(0, 1), cat(units), vop(1, 2)}));
    config(nullptr);
    unsigned type = 99;
    EXPECT_EQ(picture(&type), cat(std::vector<Bytes>(20, user_data())));
    EXPECT_EQ(type, 99u);
}

TEST_P(Mpeg4, BufferTooSmallStopsWithoutAPendingContinuation)
{
    const Bytes headers = cat({visual_object_sequence(), vol({.width = 352, .height = 288})});
    open(cat({headers, vop(0, 1), vop(1, 2), vop(1, 3)}));
    MPEG4_CONFIG_DATA conf = untouched();
    // Room for the first header only: the loop stops at the layer header, no picture appended.
    EXPECT_EQ(config(&conf, static_cast<int>(visual_object_sequence().size()) + 4), visual_object_sequence());
    EXPECT_EQ(conf.width, -7);
    EXPECT_EQ(ctx_->cont_offset, 0);

    open(cat({vop(0, 1), vop(1, 2), vop(1, 3)}));
    config(nullptr);
    unsigned type = 99;
    EXPECT_TRUE(picture(&type, static_cast<int>(vop(1, 2).size()) + 2).empty());
    EXPECT_EQ(ctx_->cont_offset, 0);
}

INSTANTIATE_TEST_SUITE_P(Inputs, Mpeg4, ::testing::Values(FRAMEX_IN_TYPE_FILE, FRAMEX_IN_TYPE_MEM),
                         [](const auto &info) { return info.param == FRAMEX_IN_TYPE_FILE ? "File" : "Memory"; });

TEST(Mpeg4Bits, ReadBitsAcrossBytesAndItsLimit)
{
    const unsigned char b[] = {0xA5, 0x3C, 0xFF, 0x01, 0x80};
    int off = 0;
    EXPECT_EQ(read_bits(b, 25, &off), 0xFFFFFFFFu);
    EXPECT_EQ(off, 0);
    EXPECT_EQ(read_bits(b, 0, &off), 0u);
    EXPECT_EQ(off, 0);
    EXPECT_EQ(read_bits(b, 3, &off), 0x5u);  // 101
    EXPECT_EQ(read_bits(b, 8, &off), 0x29u); // 0 0101 001
    EXPECT_EQ(off, 11);
    off = 7; // 24 bits from bit 7 span four bytes
    EXPECT_EQ(read_bits(b, 24, &off), 0x9E7F80u);
    EXPECT_EQ(off, 31);
    off = 0;
    EXPECT_EQ(read_bits(b, 24, &off), 0xA53CFFu);
    off = 16;
    EXPECT_EQ(read_bits(b, 8, &off), 0xFFu);
}

TEST(Mpeg4Bits, SignificantBitCounts)
{
    const int small[] = {0, 1, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4};
    for (unsigned v = 0; v < 16; ++v)
        EXPECT_EQ(find_one(v), small[v]) << v;
    EXPECT_EQ(num_bits(0), 0);
    EXPECT_EQ(num_bits(15), 4);
    EXPECT_EQ(num_bits(16), 5);
    EXPECT_EQ(num_bits(29999), 15);
    EXPECT_EQ(num_bits(65535), 16);
    EXPECT_EQ(num_bits(0x80000000u), 32);
}

// ---------------------------------------------------------------- real streams from ffmpeg

namespace real_stream
{

std::string run(const std::string &cmd)
{
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return out;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, p)) > 0)
        out.append(chunk, n);
    pclose(p);
    return out;
}

// Lines of ffprobe's compact output, "key=value|key=value", as maps.
std::vector<std::map<std::string, std::string>> probe(const std::string &args, const std::string &file)
{
    std::vector<std::map<std::string, std::string>> rows;
    std::istringstream lines(run("ffprobe -v error " + args + " -of compact=p=0 '" + file + "'"));
    for (std::string line; std::getline(lines, line);) {
        std::map<std::string, std::string> row;
        std::istringstream fields(line);
        for (std::string f; std::getline(fields, f, '|');) {
            const size_t eq = f.find('=');
            if (eq != std::string::npos)
                row[f.substr(0, eq)] = f.substr(eq + 1);
        }
        if (!row.empty())
            rows.push_back(row);
    }
    return rows;
}

// Encodes a test pattern with Debian's ffmpeg into the build tree; empty when ffmpeg fails.
std::string make_stream(const std::string &name, const std::string &options)
{
    const std::string dir = std::string(OMX_BINARY_DIR) + "/parser_samples";
    const std::string path = dir + "/" + name;
    // Written under a name of this process and renamed, as CTest may run the cases in parallel.
    const std::string tmp = path + "." + std::to_string(getpid());
    const std::string cmd = "mkdir -p '" + dir + "' && ffmpeg -nostdin -v error -y " + options +
                            " -threads 1 -fflags +bitexact -map_metadata -1 -f m4v '" + tmp +
                            "' >/dev/null 2>&1 && mv -f '" + tmp + "' '" + path + "'";
    return std::system(cmd.c_str()) == 0 ? path : std::string();
}

Bytes read_file(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

struct Extracted {
    Bytes config;
    MPEG4_CONFIG_DATA conf{0, 0};
    std::vector<Bytes> pictures;
    std::vector<unsigned> types;
};

Extracted extract(FRAMEX_IN_TYPE type, const std::string &path, const Bytes &image)
{
    Extracted x;
    FILE *fp = nullptr;
    FRAMEX_STRM_PTR strm{};
    Bytes mem = image;
    void *in = nullptr;
    if (type == FRAMEX_IN_TYPE_FILE) {
        fp = std::fopen(path.c_str(), "rb");
        in = fp;
    } else {
        strm.p_start = strm.p_cur = mem.data();
        strm.p_end = mem.data() + mem.size() - 1;
        in = &strm;
    }
    Ctx ctx(FrameExtractorInit(type, kPrefix, 3, 1));
    EXPECT_EQ(FrameExtractorFirst(ctx.get(), in), FRAMEX_OK);
    Bytes buf(1 << 20);
    const int n = ExtractConfigStreamMpeg4(ctx.get(), in, buf.data(), static_cast<int>(buf.size()), &x.conf);
    x.config.assign(buf.begin(), buf.begin() + n);
    for (int guard = 0; guard < 10000; ++guard) {
        unsigned t = 99;
        const int m = NextFrameMpeg4(ctx.get(), in, buf.data(), static_cast<int>(buf.size()), &t);
        if (m == 0)
            break;
        x.pictures.emplace_back(buf.begin(), buf.begin() + m);
        x.types.push_back(t);
    }
    if (fp)
        std::fclose(fp);
    return x;
}

std::vector<Bytes> frame_table(const std::string &path)
{
    std::vector<Bytes> table;
    std::string name = path;
    void *h = KolvexParserInit(MPEG4_DEC, name.data(), 2 * 1024 * 1024);
    EXPECT_NE(h, nullptr);
    if (!h)
        return table;
    for (unsigned i = 0; i < 10000; ++i) {
        const int size = KolvexParserFrameSize(h, i);
        if (size <= 0)
            break;
        Bytes frame(static_cast<size_t>(size));
        int last = 0;
        EXPECT_EQ(KolvexParserFrameGet(h, i, frame.data(), &last), size);
        table.push_back(frame);
    }
    KolvexParserDeInit(h);
    return table;
}

class RealMpeg4 : public ::testing::TestWithParam<FRAMEX_IN_TYPE>
{
};

TEST_P(RealMpeg4, PicturesMatchTheParserFrameTableAndFfprobe)
{
    const std::string path =
        make_stream("mpeg4_cif.m4v", "-f lavfi -i testsrc=size=352x288:rate=25 -frames:v 30 -c:v mpeg4");
    if (path.empty())
        GTEST_SKIP() << "ffmpeg could not make the stream";
    const Bytes image = read_file(path);
    const Extracted x = extract(GetParam(), path, image);

    const auto streams = probe("-select_streams v:0 -show_entries stream=width,height", path);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(std::to_string(x.conf.width), streams[0].at("width"));
    EXPECT_EQ(std::to_string(x.conf.height), streams[0].at("height"));

    // The parser's table: entry 0 holds the configuration headers up to the first picture
    // start code, entry 1 the first picture, entry k + 1 the k-th picture after it (with the
    // headers repeated in front of each key picture). The configuration extraction hands out
    // entries 0 and 1 as one buffer, so its k-th later picture is entry k + 1. The table's
    // last entry, the last picture, has no prefix after it and is not delivered here.
    const std::vector<Bytes> table = frame_table(path);
    ASSERT_EQ(table.size(), 31u);
    EXPECT_EQ(x.config, cat({table[0], table[1]}));
    ASSERT_EQ(x.pictures.size(), table.size() - 3);
    for (size_t k = 0; k < x.pictures.size(); ++k)
        EXPECT_EQ(x.pictures[k], table[k + 2]) << k;

    // ffprobe's packets: the first holds the headers and the first picture.
    const auto packets = probe("-show_entries packet=pos,size", path);
    ASSERT_EQ(packets.size(), 30u);
    auto packet = [&](size_t i) {
        const size_t pos = std::stoul(packets[i].at("pos")), size = std::stoul(packets[i].at("size"));
        return Bytes(image.begin() + static_cast<long>(pos), image.begin() + static_cast<long>(pos + size));
    };
    EXPECT_EQ(x.config, packet(0));
    for (size_t k = 0; k < x.pictures.size(); ++k)
        EXPECT_EQ(x.pictures[k], packet(k + 1)) << k;
}

TEST_P(RealMpeg4, CodingTypesMatchFfprobePictureTypes)
{
    const std::string path =
        make_stream("mpeg4_qcif_b.m4v", "-f lavfi -i testsrc=size=176x144:rate=25 -frames:v 20 -c:v mpeg4 -bf 2 -g 8");
    if (path.empty())
        GTEST_SKIP() << "ffmpeg could not make the stream";
    const Bytes image = read_file(path);
    const Extracted x = extract(GetParam(), path, image);
    EXPECT_EQ(x.conf.width, 176);
    EXPECT_EQ(x.conf.height, 144);

    std::map<size_t, unsigned> type_at; // packet position -> coding type
    for (const auto &f : probe("-show_entries frame=pkt_pos,pict_type", path)) {
        const std::string t = f.at("pict_type");
        type_at[std::stoul(f.at("pkt_pos"))] = t == "I" ? 0 : t == "P" ? 1 : t == "B" ? 2 : 3;
    }
    ASSERT_EQ(type_at.size(), 20u);
    size_t pos = x.config.size();
    unsigned b_pictures = 0;
    ASSERT_EQ(x.pictures.size(), 18u);
    for (size_t k = 0; k < x.pictures.size(); ++k) {
        ASSERT_TRUE(type_at.count(pos)) << k;
        EXPECT_EQ(x.types[k], type_at[pos]) << k;
        b_pictures += x.types[k] == 2;
        pos += x.pictures[k].size();
    }
    EXPECT_GT(b_pictures, 0u);
}

INSTANTIATE_TEST_SUITE_P(Inputs, RealMpeg4, ::testing::Values(FRAMEX_IN_TYPE_FILE, FRAMEX_IN_TYPE_MEM),
                         [](const auto &info) { return info.param == FRAMEX_IN_TYPE_FILE ? "File" : "Memory"; });

} // namespace real_stream

} // namespace
