// The list-file reader and the component table that finds each component's file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "driver_test_support.h"
#include "omx_component.h"
#include "omx_driver_internal.h"

namespace
{

// One list file held in memory, read through a real FILE stream.
class ListText
{
public:
    explicit ListText(std::string text) : text_(std::move(text)) { file_ = fmemopen(text_.data(), text_.size(), "r"); }
    ~ListText() { fclose(file_); }
    FILE *file() const { return file_; }

private:
    std::string text_;
    FILE *file_;
};

struct ParseResult {
    int result;
    std::string out;
};

ParseResult parse(FILE *file, ZYN_OMX_COMPONENT_INFO *info)
{
    testing::internal::CaptureStdout();
    int result = parse_list(file, info);
    return {result, testing::internal::GetCapturedStdout()};
}

ZYN_OMX_COMPONENT_INFO record_of(TEST_COMPONENT_TYPE kind)
{
    ZYN_OMX_COMPONENT_INFO info{};
    info.component_type = kind;
    return info;
}

TEST(ParseList, OnlyTheEndMarkerEndsAtOnceAndPrintsNothing)
{
    ListText list("LIST_FILE_END\n");
    auto info = record_of(OMX_COMPONENT_AVCDEC);
    ParseResult r = parse(list.file(), &info);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.out, "");
}

TEST(ParseList, DecoderEntryIsStoredAndReported)
{
    ListText list("/media/a.264\n/tmp/out_a\n1280\n720\nLIST_FILE_END\n");
    auto info = record_of(OMX_COMPONENT_AVCDEC);
    ParseResult r = parse(list.file(), &info);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.out, "\ninfile: /media/a.264\nwidth: 1280, height: 720\n");
    EXPECT_STREQ(info.in_file_name, "/media/a.264");
    EXPECT_STREQ(info.out_file_name, "/tmp/out_a");
    EXPECT_EQ(info.width, 1280);
    EXPECT_EQ(info.height, 720);
    EXPECT_EQ(parse(list.file(), &info).result, -1);
}

TEST(ParseList, TwoDecoderEntriesThenMarkerGiveZeroZeroMinusOne)
{
    ListText list("a.264 out_a\n176\n144\nb.264 out_b\n320\n240\nLIST_FILE_END\n");
    auto info = record_of(OMX_COMPONENT_H263DEC);
    EXPECT_EQ(parse(list.file(), &info).result, 0);
    EXPECT_STREQ(info.in_file_name, "a.264");
    EXPECT_EQ(parse(list.file(), &info).result, 0);
    EXPECT_STREQ(info.in_file_name, "b.264");
    EXPECT_STREQ(info.out_file_name, "out_b");
    EXPECT_EQ(info.width, 320);
    EXPECT_EQ(info.height, 240);
    EXPECT_EQ(parse(list.file(), &info).result, -1);
}

TEST(ParseList, NamesOnOneLineReadLikeNamesOnTwoLines)
{
    ListText one_line("in.m4v out.yuv\n640\n480\n");
    ListText two_lines("in.m4v\n\tout.yuv\n640\n480\n");
    auto a = record_of(OMX_COMPONENT_MPEG4DEC);
    auto b = record_of(OMX_COMPONENT_MPEG4DEC);
    EXPECT_EQ(parse(one_line.file(), &a).result, 0);
    EXPECT_EQ(parse(two_lines.file(), &b).result, 0);
    EXPECT_STREQ(a.in_file_name, b.in_file_name);
    EXPECT_STREQ(a.out_file_name, b.out_file_name);
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
}

TEST(ParseList, WordsAfterANumberAreSkippedToTheEndOfItsLine)
{
    ListText list("in.264 out\n1280 width of the clip\n720 2000 height\nnext.264 out2\n-16 x\n+8\nLIST_FILE_END\n");
    auto info = record_of(OMX_COMPONENT_AVCDEC);
    EXPECT_EQ(parse(list.file(), &info).result, 0);
    EXPECT_EQ(info.width, 1280);
    EXPECT_EQ(info.height, 720);
    EXPECT_EQ(parse(list.file(), &info).result, 0);
    EXPECT_STREQ(info.in_file_name, "next.264");
    EXPECT_EQ(info.width, -16);
    EXPECT_EQ(info.height, 8);
    EXPECT_EQ(parse(list.file(), &info).result, -1);
}

TEST(ParseList, EncoderEntryPrintsItsThreeNumbersInOrder)
{
    ListText list("in.yuv out.264\n176\n144\n1\n512\n30\nLIST_FILE_END\n");
    auto info = record_of(OMX_COMPONENT_AVCENC);
    ParseResult r = parse(list.file(), &info);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.out, "\ninfile: in.yuv\nwidth: 176, height: 144\nprofile: 1, bitrate: 512, framerate: 30\n");
    EXPECT_EQ(info.format.avcenc.profile, TEST_AVC_PROFILE_MAIN);
    EXPECT_EQ(info.format.avcenc.bitrate, 512);
    EXPECT_EQ(info.format.avcenc.framerate, 30);
    EXPECT_EQ(parse(list.file(), &info).result, -1);
}

// The three numbers fill the same three words for every encoder kind.
TEST(ParseList, Mpeg4EncoderNumbersLandInTheSameWords)
{
    ListText list("in.yuv out.m4v\n176\n144\n7\n256\n15\n");
    auto info = record_of(OMX_COMPONENT_MPEG4ENC);
    EXPECT_EQ(parse(list.file(), &info).result, 0);
    EXPECT_EQ(info.format.mpeg4enc.bitrate, 7);
    EXPECT_EQ(info.format.mpeg4enc.profile, 256);
    EXPECT_EQ(info.format.avcenc.framerate, 15);
}

TEST(ParseList, KindOutsideTheEightReadsNothing)
{
    ListText list("in.264 out\n16\n16\n");
    ZYN_OMX_COMPONENT_INFO info{};
    const int kind = 8;
    memcpy(&info.component_type, &kind, sizeof kind);
    ParseResult r = parse(list.file(), &info);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ftell(list.file()), 0);
}

// Without the marker the end of the file ends the list (it must not return the
// previous entry again and again).
TEST(ParseList, EndOfFileWithoutMarkerEndsTheList)
{
    ListText list("a.264 out\n64\n64\n");
    auto info = record_of(OMX_COMPONENT_AVCDEC);
    EXPECT_EQ(parse(list.file(), &info).result, 0);
    ParseResult r = parse(list.file(), &info);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.out, "parse_list: list file ends without LIST_FILE_END\n");
    EXPECT_EQ(parse(list.file(), &info).result, -1);
    EXPECT_STREQ(info.in_file_name, "a.264");
}

TEST(ParseList, EmptyFileEndsTheList)
{
    ListText list(" \n\t\n");
    auto info = record_of(OMX_COMPONENT_VP8DEC);
    EXPECT_EQ(parse(list.file(), &info).result, -1);
}

TEST(ParseList, MarkerAsLastTokenWithoutNewlineEndsTheList)
{
    ListText list("a.ivf out\n64\n64\nLIST_FILE_END");
    auto info = record_of(OMX_COMPONENT_VP8DEC);
    EXPECT_EQ(parse(list.file(), &info).result, 0);
    ParseResult r = parse(list.file(), &info);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.out, "");
}

TEST(ParseList, EntryCutShortEndsTheListAndKeepsThePreviousEntry)
{
    ListText list("a.264 out_a\n64\n48\nb.264 out_b\n320\n");
    auto info = record_of(OMX_COMPONENT_AVCDEC);
    EXPECT_EQ(parse(list.file(), &info).result, 0);
    ParseResult r = parse(list.file(), &info);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.out, "parse_list: list file ends before the height of an entry\n");
    EXPECT_STREQ(info.in_file_name, "a.264");
    EXPECT_EQ(info.width, 64);

    ListText names_only("lonely.264");
    EXPECT_EQ(parse(names_only.file(), &info).out,
              "parse_list: list file ends before the output file name of an entry\n");
}

// A name that does not fit the 128-byte field is refused whole: the fields
// keep the previous entry and the bytes behind them are untouched.
TEST(ParseList, OverLongNameEndsTheListWithoutWritingPastTheField)
{
    const std::string fits(127, 'f');
    const std::string too_long(128, 'x');
    ListText list(fits + " " + fits + "\n8\n8\n" + too_long + " out\n16\n16\nLIST_FILE_END\n");
    struct {
        ZYN_OMX_COMPONENT_INFO info;
        unsigned char guard[64];
    } guarded;
    memset(&guarded, 0x5A, sizeof guarded);
    guarded.info.component_type = OMX_COMPONENT_AVCDEC;

    EXPECT_EQ(parse(list.file(), &guarded.info).result, 0);
    EXPECT_EQ(std::string(guarded.info.in_file_name), fits);
    EXPECT_EQ(std::string(guarded.info.out_file_name), fits);

    ParseResult r = parse(list.file(), &guarded.info);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.out, "parse_list: input file name longer than 127 characters: list ends\n");
    EXPECT_EQ(std::string(guarded.info.in_file_name), fits);
    EXPECT_EQ(guarded.info.width, 8);
    for (unsigned char byte : guarded.guard)
        ASSERT_EQ(byte, 0x5A);
}

TEST(ParseList, OverLongOutputNameEndsTheList)
{
    ListText list("in.264 " + std::string(300, 'o') + "\n8\n8\n");
    auto info = record_of(OMX_COMPONENT_WMVDEC);
    ParseResult r = parse(list.file(), &info);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.out, "parse_list: output file name longer than 127 characters: list ends\n");
    EXPECT_STREQ(info.in_file_name, "");
}

TEST(ParseList, NumberFieldWithoutANumberEndsTheList)
{
    struct Case {
        const char *text;
        TEST_COMPONENT_TYPE kind;
        const char *line;
    };
    const Case cases[] = {
        {"in out\nwide\n8\n", OMX_COMPONENT_AVCDEC, "parse_list: width is not a number: list ends\n"},
        {"in out\n8\n-\n", OMX_COMPONENT_AVCDEC, "parse_list: height is not a number: list ends\n"},
        {"in out\n8\n9999999999\n", OMX_COMPONENT_AVCDEC, "parse_list: height is not a number: list ends\n"},
        {"in out\n2147483648\n8\n", OMX_COMPONENT_AVCDEC, "parse_list: width is not a number: list ends\n"},
        {"in out\n8\n8\nhigh\n1\n1\n", OMX_COMPONENT_AVCENC, "parse_list: profile is not a number: list ends\n"},
        {"in out\n8\n8\n1\n1\n?\n", OMX_COMPONENT_H263ENC, "parse_list: framerate is not a number: list ends\n"},
        // A decoder entry has no fourth number: the next entry's name is read.
        {"in out\n8\n8\n1\n", OMX_COMPONENT_AVCDEC, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        ListText list(c.text);
        auto info = record_of(c.kind);
        ParseResult r = parse(list.file(), &info);
        if (*c.line) {
            EXPECT_EQ(r.result, -1);
            EXPECT_EQ(r.out, c.line);
            EXPECT_STREQ(info.in_file_name, "");
        } else {
            EXPECT_EQ(r.result, 0);
        }
    }
}

TEST(ParseList, ExtremeNumbersThatFitAreKept)
{
    ListText list("in out\n2147483647\n-2147483648\n");
    auto info = record_of(OMX_COMPONENT_AVCDEC);
    EXPECT_EQ(parse(list.file(), &info).result, 0);
    EXPECT_EQ(info.width, 2147483647);
    EXPECT_EQ(info.height, -2147483647 - 1);
}

TEST(ListFilePath, FixedFolderUnlessTheEnvironmentNamesAnother)
{
    unsetenv(OMX_LIST_DIR_ENV);
    EXPECT_EQ(omx_list_file_path("avcdec_list.txt"), "/home/omxuser/avcdec_list.txt");
    setenv(OMX_LIST_DIR_ENV, "", 1);
    EXPECT_EQ(omx_list_file_path("avcdec_list.txt"), "/home/omxuser/avcdec_list.txt");
    setenv(OMX_LIST_DIR_ENV, "/srv/lists", 1);
    EXPECT_EQ(omx_list_file_path("vp8dec_list.txt"), "/srv/lists/vp8dec_list.txt");
    setenv(OMX_LIST_DIR_ENV, "/srv/lists/", 1);
    EXPECT_EQ(omx_list_file_path("vp8dec_list.txt"), "/srv/lists/vp8dec_list.txt");
    unsetenv(OMX_LIST_DIR_ENV);
}

class OpenListFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir_ = make_temp_dir();
        setenv(OMX_LIST_DIR_ENV, dir_.c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv(OMX_LIST_DIR_ENV);
        remove_tree(dir_);
    }

    void write(const std::string &name, const std::string &text) { std::ofstream(dir_ + "/" + name) << text; }

    struct Opened {
        FILE *file;
        std::string out;
    };
    Opened open(const char *name, ZYN_OMX_COMPONENT_INFO *info)
    {
        std::string copy(name);
        testing::internal::CaptureStdout();
        FILE *file = open_list_file(copy.data(), info);
        return {file, testing::internal::GetCapturedStdout()};
    }

    std::string dir_;
};

TEST_F(OpenListFile, KnownComponentsFindTheirFilesKindsAndCodingTypes)
{
    struct Row {
        const char *name;
        const char *file;
        TEST_COMPONENT_TYPE kind;
        int coding;
    };
    const Row rows[] = {
        {"OMX.ZYN.AVC.Decoder", "avcdec_list.txt", OMX_COMPONENT_AVCDEC, 7},
        {"OMX.ZYN.VP8.Decoder", "vp8dec_list.txt", OMX_COMPONENT_VP8DEC, 9},
        {"OMX.ZYN.MPEG4.Decoder", "mpeg4dec_list.txt", OMX_COMPONENT_MPEG4DEC, 4},
        {"OMX.ZYN.H263.Decoder", "h263dec_list.txt", OMX_COMPONENT_H263DEC, 3},
        {"OMX.ZYN.WMV.Decoder", "wmvdec_list.txt", OMX_COMPONENT_WMVDEC, 5},
        {"OMX.ZYN.AVC.Encoder", "avcenc_list.txt", OMX_COMPONENT_AVCENC, 21},
        {"OMX.ZYN.MPEG4.Encoder", "mpeg4enc_list.txt", OMX_COMPONENT_MPEG4ENC, 21},
        {"OMX.ZYN.H263.Encoder", "h263enc_list.txt", OMX_COMPONENT_H263ENC, 21},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        write(row.file, std::string(row.file) + " out\n1\n2\n3\n4\n5\n");
        ZYN_OMX_COMPONENT_INFO info{};
        Opened opened = open(row.name, &info);
        ASSERT_NE(opened.file, nullptr);
        EXPECT_EQ(opened.out,
                  "comp name " + std::string(row.name) + " \ncoding type = " + std::to_string(row.coding) + "\n");
        EXPECT_EQ(info.component_type, row.kind);
        EXPECT_EQ(static_cast<int>(info.coding_type), row.coding);
        // It is this component's own file.
        EXPECT_EQ(parse_list(opened.file, &info), 0);
        EXPECT_STREQ(info.in_file_name, row.file);
        fclose(opened.file);
    }
}

TEST_F(OpenListFile, MissingFileNamesItsRowAndStillSetsTheKind)
{
    ZYN_OMX_COMPONENT_INFO info{};
    Opened opened = open("OMX.ZYN.AVC.Encoder", &info);
    EXPECT_EQ(opened.file, nullptr);
    EXPECT_EQ(opened.out, "comp name OMX.ZYN.AVC.Encoder \navcenc fileopen error \nCan't find list file Error\n"
                          "coding type = 21\n");
    EXPECT_EQ(info.component_type, OMX_COMPONENT_AVCENC);

    opened = open("OMX.ZYN.VP8.Decoder", &info);
    EXPECT_EQ(opened.out, "comp name OMX.ZYN.VP8.Decoder \nvp8dec fileopen error \nCan't find list file Error\n"
                          "coding type = 9\n");
}

TEST_F(OpenListFile, UnknownNameKeepsTheRecordsKindAndCodingType)
{
    write("avcdec_list.txt", "LIST_FILE_END\n");
    ZYN_OMX_COMPONENT_INFO info{};
    info.component_type = OMX_COMPONENT_WMVDEC;
    info.coding_type = OMX_VIDEO_CodingWMV;
    // Matching is exact and case-sensitive.
    for (const char *name : {"OMX.ACME.Foo.Decoder", "omx.zyn.avc.decoder", "OMX.ZYN.AVC.Decoder ", ""}) {
        SCOPED_TRACE(name);
        Opened opened = open(name, &info);
        EXPECT_EQ(opened.file, nullptr);
        EXPECT_EQ(opened.out, "comp name " + std::string(name) + " \nCan't find list file Error\ncoding type = 5\n");
        EXPECT_EQ(info.component_type, OMX_COMPONENT_WMVDEC);
    }
}

} // namespace
