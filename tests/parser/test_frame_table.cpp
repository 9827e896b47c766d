// The frame table of small and of hostile stream files, and the front end that serves it.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "KolvexXcdParser.h"
#include "parser_test_util.h"

using namespace pt;

namespace
{

Bytes H264Pictures(int n)
{
    Bytes b = Cat({Sets(), Idr(0, 0)});
    for (int i = 1; i < n; ++i) {
        b = Cat({b, P(0, i, 2 * i)});
    }
    return b;
}
Bytes Mpeg2Picture(size_t n)
{
    return Cat({pic, slice, Bytes(n, 0x11)});
}
struct Row {
    const char *what;
    const char *ext;
    Bytes data;
    std::vector<Entry> entries;
    int last = -1;
    const char *out = nullptr; // what the build prints, when it matters
    int limit = -1;
    bool opens = true;
};
const size_t kPic = pic.size() + slice.size();
const size_t kBigPic = 1000000 + kPic;

const Row kRows[] = {
    {"rcv: header, then frames with their headers", "rcv", Cat({RcvHeader(4), RcvFrame(100), RcvFrame(200)}),
     Seq({36, 108, 208}), -1,
     "Codec Type : 7, Ext : rcv\nFrame[0] : offset = 0(0x0), size = 36(0x24)\n\nStart Parsing.........\n"
     "Frame[1] : offset = 36(0x24), size = 108(0x6c)\nFrame[2] : offset = 144(0x90), size = 208(0xd0)\n"
     ">> VsParser loop count : 1 <<\n"},
    {"ivf: entries leave the headers out",
     "ivf",
     Cat({ivf, IvfFrame(5), IvfFrame(3), IvfFrame(4)}),
     {{44, 5}, {61, 3}, {76, 4}}},
    {"ivf shorter than its headers", "IVF", Cat({ivf, Hex("05 00 00 00")}), {}},
    {"h264 limited to the first and three more", "264", H264Pictures(10),
     Seq({H264Pictures(1).size(), P(0, 1, 2).size(), P(0, 2, 4).size(), P(0, 3, 6).size()}), -1,
     "\nStart Parsing.........\n>> VsParser loop count : 3 <<\n", 3},
    {"h264 single picture", "264", H264Pictures(1), {}, -1, "[HeaderParsing Err]\n", -1, false},
    {"bytes before the first start code", "m2v", Cat({Hex("12 34"), seq, gop, Mpeg2Picture(0), Mpeg2Picture(0)}),
     Seq({2 + seq.size() + gop.size(), kPic, kPic})},
    {"mpeg2 opening with a picture", "mpg", Cat({Mpeg2Picture(0), Mpeg2Picture(0)}), Seq({kPic, kPic})},
    {"units across window refills, one longer than the window", "m2v",
     Cat({seq, Mpeg2Picture(1000000), Mpeg2Picture(1000000), Mpeg2Picture(1000000), Mpeg2Picture(1000000),
          Mpeg2Picture(4000000), Mpeg2Picture(0)}),
     Seq({seq.size(), kBigPic, kBigPic, kBigPic, kBigPic, 3145728})},
    {"mpeg4 closing vop is last", "m4v", Cat({vol, vop, vop}), Seq({vol.size(), vop.size(), vop.size()}), 2},
    {"mpeg4 trailing headers", "m4v", Cat({vol, vop, vop, vos}), Seq({vol.size(), vop.size(), vop.size(), vos.size()}),
     2},
    {"mpeg4 opening with a vop", "m4v", Cat({vop, vop}), Seq({vop.size(), vop.size()}), 1},
    {"only mpeg4 marks the last", "xvd", Cat({vol, vop, vop}), Seq({vol.size(), vop.size(), vop.size()})},
    {"rcv length past the file", "rcv", Cat({RcvHeader(4), RcvFrame(10), Hex("ff ff ff 00 00*4 21 21 21 21")}),
     Seq({36, 18, 12})},
    {"ivf size past the file", "vp8", Cat({ivf, IvfFrame(20), Hex("03 00 ff 00 00*8 90 90 90")}), {{44, 20}, {76, 3}}},
    {"extension without codec", "msv", Cat({vol, vop, vop}), {}, -1, "[HeaderParsing Err]\n", -1, false},
};

} // namespace

TEST(ParserFrameTable, SmallFiles)
{
    for (const Row &r : kRows) {
        Table t = BuildBytes(r.data, r.ext, 0, r.limit, r.out && r.out[0] == 'C');
        EXPECT_EQ(t.opened, r.opens) << r.what;
        EXPECT_EQ(t.entries, r.entries) << r.what;
        EXPECT_EQ(t.last, r.last) << r.what;
        EXPECT_EQ(r.out ? t.out : "", r.out ? r.out : "") << r.what;
    }
    EXPECT_FALSE(Build("/nonexistent/x.264").opened);
}

TEST(ParserFrameTable, EntriesHaveACeiling)
{
    omxt::TempDir dir;
    // Sparse, just under 4 GB (past what a 32-bit long can seek): RCV frames of 8 zero bytes.
    std::string path = dir.write("zeros.rcv", "");
    std::filesystem::resize_file(path, 0xFFFFFFF0u);
    Table t = Build(path);
    EXPECT_EQ(t.entries.size(), 1u << 21);
    EXPECT_NE(t.out.find(path + ": frame table full after 2097152 entries; the rest of the file is not read\n"),
              std::string::npos);
}

TEST(ParserFrameTable, OnlyRegularFilesAreOpened)
{
    omxt::TempDir dir;
    Bytes rcv = Cat({RcvHeader(4), RcvFrame(1), RcvFrame(2)});
    ASSERT_EQ(mkfifo(dir.file("fifo.ivf").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", dir.file("zero.ivf").c_str()), 0);
    ASSERT_EQ(mkdir(dir.file("dir.264").c_str(), 0700), 0);
    sockaddr_un addr{AF_UNIX, {}};
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", dir.file("socket.rcv").c_str());
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    for (const char *name : {"fifo.ivf", "zero.ivf", "dir.264", "socket.rcv"}) {
        Table t = Build(dir.file(name));
        EXPECT_FALSE(t.opened) << name;
        EXPECT_EQ(t.out, dir.file(name) + ": not a regular file\n");
    }
    close(sock);
    ASSERT_EQ(symlink(dir.write("x.rcv", std::string(rcv.begin(), rcv.end())).c_str(), dir.file("link.rcv").c_str()),
              0);
    EXPECT_EQ(Build(dir.file("link.rcv")).entries, Seq({36, 9, 10}));
}

TEST(ParserFrontEnd, ExtensionFilterAndFramesInAnyOrder)
{
    omxt::TempDir dir;
    Bytes m4v = Cat({vol, vop, Nal(0xb6, "2:1")}), buf(64);
    std::string s(m4v.begin(), m4v.end()), got;
    for (const char *name : {"a.M4V", "b.h264", "c", "d.m4v0123456", "e.264"})
        dir.write(name, name[0] == 'e' ? "" : s);
    int one = 1;
    KolvexParserSetConfig(XCD_PARSER_SETCONF_SLICE_ENABLE, &one); // reset by the close
    EXPECT_EQ(KolvexParserSetConfig(XCD_PARSER_SETCONF_DEC_NUMBER, &one), kolvex::TRUE);
    decoding_number = -1;
    for (const char *name : {"b.h264", "c", "d.m4v0123456", "e.264", "a.M4V"}) {
        testing::internal::CaptureStdout();
        void *h = KolvexParserInit(UNKNOWN_TYPE, dir.file(name).data(), 0);
        got += testing::internal::GetCapturedStdout();
        for (int i : {2, 0, 3, 1, -1}) {
            int last = 0, n = KolvexParserFrameGet(h, static_cast<unsigned>(i), buf.data(), &last);
            got += std::string(buf.begin(), buf.begin() + n) + (last ? "L" : "") + "|";
        }
        EXPECT_EQ(KolvexParserDeInit(h), kolvex::TRUE);
    }
    EXPECT_EQ(got, "|||||||||||||||[HeaderParsing Err]\nInitRawFrameExtract fail\n|||||\nStart Parsing.........\n"
                   ">> VsParser loop count : 1 <<\n" +
                       s.substr(12) + "L|" + s.substr(0, 5) + "||" + s.substr(5, 7) + "||");
    EXPECT_EQ(slice_enable, 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(GetRawFrameExtract(nullptr, 0, buf.data(), nullptr), 0);
    DeInitRawFrameExtract(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Handle is NULL\nHandle is NULL\n");
}

namespace
{

// Hostile files: whatever a stream holds, the entries lie inside the file and the build ends.

} // namespace

// Hostile files: whatever a stream holds, the entries lie inside the file and the build ends.
TEST(ParserBadInput, EntriesStayInsideTheFile)
{
    omxt::TempDir dir;
    auto check = [&](const std::string &ext, const Bytes &data, int slices) {
        for (const Entry &e : Build(dir.write("s." + ext, std::string(data.begin(), data.end())), slices).entries)
            ASSERT_LE(e.offset + e.size, data.size()) << ext << " " << data.size();
    };
    std::mt19937 rng(12345);
    for (const char *name : {"h264_baseline_slices.264", "h264_high_bframes.264", "mpeg2_gop.m2v", "mpeg4_resync.m4v",
                             "h263_qcif.263", "vp8.ivf", "mpeg4_audio.avi"}) {
        std::string s = omxt::read_file(omxt::sample(name)), ext = std::strrchr(name, '.') + 1;
        EXPECT_FALSE(s.empty()) << name;
        for (size_t len = 1; len < s.size(); len = len * 3 + 1) // cut, every other one with slices
            check(ext, Bytes(s.begin(), s.begin() + static_cast<long>(len)), static_cast<int>(len % 2));
        for (int round = 0; round < 12 && !s.empty(); ++round) {
            Bytes bad(s.begin(), s.end()); // corrupted, early bytes (headers, sizes) more often
            for (int k = 0; k < 1 + round * 4; ++k)
                bad[rng() % (k % 2 ? std::min<size_t>(512, bad.size()) : bad.size())] = static_cast<uint8_t>(rng());
            check(ext, bad, round % 2);
        }
    }
    Bytes codes, flood, pps = Nal(0x68, "ue:0 ue:0 1:0 1:0 ue:7 ue:6 ue:4294967280");
    for (int i = 0; i < 1000; ++i)
        codes.insert(codes.end(), {0, 0, 1, static_cast<uint8_t>(i)});
    // Picture sets claiming billions of slice-group map units, each read only to its own end.
    while (flood.size() < (1u << 20))
        flood.insert(flood.end(), pps.begin(), pps.end());
    for (const char *ext : {"264", "m2v", "m4v", "263", "vc1", "rcv", "ivf"})
        for (int slices : {0, 1})
            check(ext, Bytes(5000, 0), slices), check(ext, codes, slices);
    check("264", Hex("27 00 00 01 e8 28 00*10 16 04 fb 1f"), 0);
    check("264", Cat({flood, Idr(0, 0), P(0, 1, 2)}), 0);
}
