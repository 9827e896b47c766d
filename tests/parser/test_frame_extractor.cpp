// The delimiter frame extractor on file and memory input, and MPEG-4 Visual pictures cut with it.
#include "extractor_script.h"
#include "parser_test_util.h"

using namespace pt;

namespace
{

struct Row {
    const char *what;
    const char *delim;
    int insert;
    const char *data;
    const char *script;
    const char *expect;
};
const Row kRows[] = {
    {"zero before the start code", "000001", 0, "00 00 00 01 b6 55", "N256 @", "0:00 @4 "},
    {"first skips, insertion prefixes", "000001", 1, "47 00 00 01 b0 01 00 00 01 b6 10", "F @ N256 N256",
     "0 @4 0:000001b001 -3:000001b610 "},
    {"no delimiter at all", "000001", 1, "00 00 02 00 00", "F", "-3 "},
    {"long zero run", "000001", 0, "00*40 01 77", "N256 @", "0:00*38  @41 "},
    {"twelve-byte delimiter", "00*11 01", 1, "00*50 01 02 03", "N256 @", "0:00*11 0100*39  @51 "},
    {"one-byte delimiter", "ff", 0, "11 ff 22 ff", "N256 @", "0:11 @2 "},
    {"repetitive delimiter shifts by one", "41 42 41 42 43", 0, "78 41 42 41 42 41 42 43 79", "N256 @", "0:784142 @8 "},
    {"frame and delimiter fit", "000001", 0, "11 22 33 00 00 01 44", "N6", "0:112233 "},
    {"one byte short: full", "000001", 0, "11 22 33 00 00 01 44", "N5 @", "-1:1122330000 @5 "},
    {"delimiter does not fit", "000001", 1, "11 22 33 00 00 01 44", "N3 @", "-4: @0 "},
    {"continuation across the break", "000001", 1, "aa bb cc dd 00 00 01 ee", "N9 N32 @ N256",
     "-1:000001aabbccdd0000 0:000001aabbccdd @7 -3:000001ee "},
    {"continuation in small steps", "000001", 0, "00 01 02 00 04 05 00 00 00 01 99", "N4 N5 N6 N7 N8 N9 N10 @",
     "-1:00010200 -1:0001020004 -1:000102000405 -1:00010200040500 -1:0001020004050000 "
     "-1:000102000405000000 0:00010200040500 @10 "},
    {"no larger buffer stays full", "000001", 0, "01 02 03 04 05 06 07 08", "N5 N5 N2 @",
     "-1:0102030405 -1:0102030405 -1:0102 @5 "},
    {"inserted delimiter does not join", "0000", 1, "00 ab 00 00 cd", "N3 N16 @", "-1:000000 0:000000ab @4 "},
    {"input ends", "000001", 0, "10 20 30", "N256 N256", "-3:102030 -3: "},
    {"skip a frame", "000001", 1, "aa 00 00 01 bb 00 00 01", "S100 @ N256", "0 @4 0:000001bb "},
    {"peek shows the start code value", "000001", 1, "00 00 01 b0 01 00 00 01 b6 40", "F P4 @ N256 P4 @",
     "0 0:000001b0/1 @3 0:000001b001 0:000001b6/1 @8 "},
    {"peek meets the delimiter early", "000001", 0, "21 00 00 01 22 23", "P16 @", "0:21000001/1 @0 "},
    {"peek at the end puts back", "000001", 1, "00 00 01 31 32", "F P12 @ N256",
     "0 -3:0000013132000000/5 @3 -3:0000013132 "},
    {"peek needs room", "000001", 1, "00 00 01 31", "P3 @", "-4:000000/0 @0 "},
    {"peek during a continuation", "000001", 0, "01 02 03 04 05 06 00 00 01 07", "N5 P4 @ N16",
     "-1:0102030405 0:06000001/1 @5 0:010203040506 "},
};

} // namespace

TEST(ParserFrameExtractor, Scripts)
{
    for (const Row &r : kRows) {
        for (FRAMEX_IN_TYPE type : {FRAMEX_IN_TYPE_FILE, FRAMEX_IN_TYPE_MEM}) {
            EXPECT_EQ(RunScript(type, Hex(r.delim), r.insert, Hex(r.data), r.script), r.expect)
                << r.what << " " << type;
        }
    }
    const Bytes d(13, 0);
    for (int len : {0, 13, -1})
        EXPECT_EQ(FrameExtractorInit(FRAMEX_IN_TYPE_MEM, d.data(), len, 0), nullptr);
    EXPECT_EQ(FrameExtractorInit(FRAMEX_IN_TYPE_MEM, nullptr, 3, 0), nullptr);
    unsigned char b[8];
    int n = 0;
    EXPECT_EQ(FrameExtractorFirst(nullptr, nullptr), FRAMEX_ERR_NULL_CTX);
    EXPECT_EQ(FrameExtractorNext(nullptr, nullptr, b, 8, &n), FRAMEX_ERR_NULL_CTX);
    EXPECT_EQ(FrameExtractorPeek(nullptr, nullptr, b, 8, &n), FRAMEX_ERR_NULL_CTX);
    EXPECT_EQ(FrameExtractorFinal(nullptr), FRAMEX_ERR_NULL_CTX);
    FRAMEX_CTX *ctx = FrameExtractorInit(FRAMEX_IN_TYPE_FILE, d.data(), 3, 1);
    EXPECT_EQ(FrameExtractorNext(ctx, nullptr, b, 8, &n), FRAMEX_ERR_END_OF_INPUT);
    FrameExtractorFinal(ctx);
}

TEST(ParserMpeg4Frames, ConfigurationThenOnePicturePerCall)
{
    const struct {
        const char *vol, *expect;
    } layers[] = {
        {"1:0 8:1 1:0 4:1 1:0 2:0 1:1 16:25 1:1 1:0 1:1 13:176 1:1 13:144 1:1 1:0", "0 31/1760144 14/1 0/9 0/9 "},
        {"1:0 8:1 1:1 4:2 3:1 4:15 8:1 8:1 1:1 3:1 1:1 24:16777215 24:16777215 24:16777215 7:127 2:0 1:1 16:32 1:1 "
         "1:1 5:7 1:1 13:352 1:1 13:288 1:1 1:0",
         "0 45/3520288 14/1 0/9 0/9 "},
        {"1:0 8:1 1:0 4:1 1:0 2:1 1:1 16:25 1:1 1:0 1:1 13:176 1:1 13:144 1:1 1:0", "0 31/-10001 14/1 0/9 0/9 "},
        {"1:0 8:1 1:0 4:1 1:0 2:0 1:1 16:25 1:1 1:0 1:1 13:176", "0 29/-10001 14/1 0/9 0/9 "},
    };
    for (const auto &l : layers) {
        Bytes vol = Nal(0x20, "%s", l.vol);
        vol.resize(vol.size() - 4); // the layer header ends with its fields
        Bytes stream = Cat({vos, vo, vol, Nal(0xb6, "2:0"), gov, Nal(0xb6, "2:1"), Nal(0xb6, "2:2"), vos});
        for (FRAMEX_IN_TYPE type : {FRAMEX_IN_TYPE_FILE, FRAMEX_IN_TYPE_MEM})
            EXPECT_EQ(RunScript(type, Hex("000001"), 1, stream, "F C256 M256 M4 M256"), l.expect) << l.vol;
    }
    EXPECT_EQ(RunScript(FRAMEX_IN_TYPE_MEM, Hex("000001"), 1, Cat({vol, vop, vop}), "F C255"), "0 12/-10001 ");
    // A buffer too small for the first picture keeps the configuration units only.
    EXPECT_EQ(RunScript(FRAMEX_IN_TYPE_MEM, Hex("000001"), 1, Cat({vos, vo, vol, vop, vop}), "F C17"), "0 14/-10001 ");
}
