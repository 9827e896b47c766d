// AVI images built chunk by chunk: the AVI reader, the header walk and chunk splitter, and
// the frame table of AVI files.
#include "avireader.h"
#include "parser_test_util.h"
#include "vsparser_avi.h"

using namespace pt;

namespace
{

const auto Fcc = [](const char *s) { return Bytes(s, s + 4); };
const auto List = [](const char *kind, const char *form, const Bytes &contents) {
    return Cat({Fcc(kind), Le(contents.size() + 4, 4), Fcc(form), contents});
};
const auto Chunk = [](const char *id, size_t n, uint8_t first = 0) { // odd sizes get a pad byte
    Bytes b = Cat({Fcc(id), Le(n, 4), Bytes(n + n % 2, 0)});
    for (size_t i = 0; i < n; ++i)
        b[8 + i] = static_cast<uint8_t>(first + i);
    return b;
};
const auto Strl = [](const char *type, const char *code = "XVID") {
    Bytes strh = Cat({Fcc("strh"), Le(56, 4), Fcc(type), Fcc("XVID"), Le(0, 12), Le(1, 4), Le(25, 4), Le(0, 4),
                      Le(25, 4), Le(1234, 4), Le(0, 16)});
    Bytes video =
        Cat({Fcc("strf"), Le(40, 4), Le(40, 4), Le(176, 4), Le(144, 4), Le(0x180001, 4), Fcc(code), Bytes(20, 0)});
    Bytes audio = Cat({Fcc("strf"), Le(18, 4), Hex("01 00 01 00 40 1f 00 00 80 3e 00*6 02 00 10 00")});
    return List("LIST", "strl", Cat({strh, type[0] == 'v' ? video : audio}));
};
const auto Avi = [](const Bytes &movi, const Bytes &streams = Cat({Strl("vids"), Strl("auds")}),
                    uint32_t declared = 2) {
    Bytes avih = Cat({Fcc("avih"), Le(56, 4), Le(40000, 4), Le(0, 8), Le(0x10, 4), Le(25, 4), Le(0, 4), Le(declared, 4),
                      Le(65536, 4), Le(352, 4), Le(288, 4), Bytes(16, 0)});
    return List("RIFF", "AVI ", Cat({List("LIST", "hdrl", Cat({avih, streams})), List("LIST", "movi", movi)}));
};
const auto Patched = [](Bytes b, size_t at, const char *hex, size_t cut = 0) {
    Bytes p = Hex(hex);
    std::copy(p.begin(), p.end(), b.begin() + static_cast<long>(at));
    b.resize(b.size() - cut);
    return b;
};
// The open's result, then "audio chunks passed over:size" of every video chunk handed out, and
// the audio chunks passed over by the call that found no more.
std::string Read(Bytes image)
{
    AVI_INFO info;
    auto *b = reinterpret_cast<char *>(image.data());
    std::string s = std::to_string(AVI_OpenAVIFile(b, static_cast<u32>(image.size()), &info));
    int size = 0, audio = 0;
    for (unsigned char *p; (p = AVI_GetVideoData(&size, &info, &audio)) != nullptr;) {
        EXPECT_LE(p, image.data() + image.size());
        s += " " + std::to_string(audio) + ":" + std::to_string(size);
    }
    return s + " /" + std::to_string(audio) + (size == 0 ? "" : " size left");
}
const Bytes kOne = Avi(Chunk("00dc", 3));
const struct {
    const char *what;
    Bytes image;
    const char *read;
} kReaderRows[] = {
    {"odd chunk padded, db is video", Avi(Cat({Chunk("00dc", 5, 1), Chunk("00db", 6), Chunk("00dc", 0)})),
     "1 0:5 0:6 0:0 /0"},
    {"audio chunks counted",
     Avi(Cat(
         {Chunk("01wb", 4), Chunk("00dc", 8), Chunk("01wb", 4), Chunk("01wb", 4), Chunk("00dc", 8), Chunk("01wb", 4)})),
     "1 1:8 2:8 /1"},
    {"other items and nested lists passed over",
     Avi(Cat({Chunk("JUNK", 9), List("LIST", "rec ", Chunk("00dc", 3)), Chunk("ix00", 16), Chunk("00dc", 7)})),
     "1 0:7 /0"},
    {"later video stream wins", Avi(Cat({Chunk("00dc", 3), Chunk("01dc", 5)}), Cat({Strl("vids"), Strl("vids")})),
     "1 0:5 /0"},
    {"more stream lists than declared", Avi(Chunk("00dc", 3), Strl("vids"), 0), "0 /0"},
    {"stream list before the main header",
     List("RIFF", "AVI ", Cat({List("LIST", "hdrl", Strl("vids")), List("LIST", "movi", Chunk("00dc", 3))})), "0 /0"},
    {"no header list", List("RIFF", "AVI ", List("LIST", "movi", Chunk("00dc", 3))), "1 0:3 /0"},
    {"the signature alone", Hex("52 49 46 46 04 00 00 00 41 56 49 20"), "1 /0"},
    {"stray byte after the last chunk", Avi(Cat({Chunk("00dc", 3), Hex("30")})), "1 0:3 /0"},
    {"chunk cut by the image end", Patched(Avi(Cat({Chunk("00dc", 3), Chunk("00dc", 100)})), 0, "", 50),
     "1 0:3 0:100 /0"},
    {"riff size past the image", Patched(kOne, 4, "ff ff ff 7f"), "1 0:3 /0"},
    {"riff smaller than its form type", Patched(kOne, 4, "02 00 00 00"), "1 /0"},
};

} // namespace

TEST(ParserAvi, ReaderHandsOutVideoChunks)
{
    for (const auto &r : kReaderRows)
        EXPECT_EQ(Read(r.image), r.read) << r.what;
    Bytes image = kOne;
    AVI_INFO info;
    ASSERT_EQ(AVI_OpenAVIFile(reinterpret_cast<char *>(image.data()), static_cast<u32>(image.size()), &info), 1);
    u32 w = 0, h = 0;
    AVI_GetStreamResolution(&w, &h);
    EXPECT_EQ(std::vector<double>({AVI_GetVideoCodec(&info) * 1.0, AVI_GetAudioCodec(&info) * 1.0,
                                   AVI_GetFPSinAVI(&info) * 1.0, w * 1000.0 + h}),
              std::vector<double>({0x44495658, 1, 25, 352288}));
}

TEST(ParserAvi, HeaderWalkAndChunkSplitter)
{
    auto walk = [](const Bytes &image, u32 total) {
        RFILE f{reinterpret_cast<uintptr_t>(image.data()), 0, static_cast<unsigned long>(image.size())};
        KOLVEX_XCD_CODEC_TYPE codec = H263_ENC;
        u32 w = 7, h = 7;
        int found = parse_avi_header(&f, 0, total, &codec, &w, &h);
        return std::to_string(found) + " " + std::to_string(codec) + " " + std::to_string(w * 1000 + h + f.offset);
    };
    const Bytes h264 = Fcc("H264"); // a word read from the last four bytes of the image
    RFILE word{reinterpret_cast<uintptr_t>(h264.data()), 0, 4};
    EXPECT_EQ(read_word_little(&word), 0x34363248u);
    // Compression codes and their codecs (255: none); the main header's size.
    for (const char *row :
         {"MP4v 2", "mp4v 2", "M4S2 2", "DIV4 2", "div4 2", "DIVX 2", "divx 2", "MP42 2", "FMP4 2", "DIV3 8", "div3 8",
          "MP2V 5", "mp2v 5", "H263 6", "h263 6", "H264 0", "h264 0", "XVID 255", "Div3 255"}) {
        Bytes image = Avi({}, Strl("vids", row), 1);
        bool known = row[5] != '2' || row[6] != '5';
        EXPECT_EQ(walk(image, static_cast<u32>(image.size())),
                  (known ? "1 " : "0 ") + std::string(row + 5) + (known ? " 352288" : " 0"));
    }
    // Cut anywhere (exact-size copies, so a read past them is seen), sizes of 4 GiB, deep nesting.
    Bytes image = Avi({}, Strl("vids", "DIV3"), 1);
    size_t code_end = std::string(image.begin(), image.end()).find("DIV3") + 4;
    for (size_t len = 0; len <= image.size(); ++len)
        EXPECT_EQ(walk(Bytes(image.begin(), image.begin() + static_cast<long>(len)), ~0u)[0],
                  len >= code_end ? '1' : '0');
    EXPECT_EQ(walk(Cat({Fcc("RIFF"), Le(12, 4), Fcc("AVI "), Fcc("JUNK"), Le(~0u, 4), image}), ~0u)[0], '0');
    for (int depth : {3, 5000}) {
        Bytes nested = image;
        for (int i = 0; i < depth; ++i)
            nested = List("LIST", "odml", nested);
        EXPECT_EQ(walk(nested, static_cast<u32>(nested.size()))[0], depth == 3 ? '1' : '0');
    }
    // The chunk splitter: window, length, result, payload offset, size, consumed.
    const Bytes odd = Cat({Chunk("00dc", 101), Chunk("00db", 4)}), big = Chunk("00dc", 1000),
                empty = Cat({Chunk("00dc", 0), Chunk("00dc", 6)}), audio = Chunk("01wb", 10),
                huge = Cat({Fcc("00dc"), Le(~0u, 4), Bytes(10, 1)}), after = Cat({Chunk("01wb", 10), Chunk("00dc", 6)}),
                wrap = Cat({Fcc("01wb"), Le(~3u, 4), Chunk("00dc", 4)});
    const struct {
        const Bytes &w;
        size_t len;
        std::vector<u32> expect;
    } splits[] = {
        {odd, 117, {0, 8, 101, 102}}, {big, 28, {1, 8, 20, 1000}}, {big, 1008, {0, 8, 1000, 1000}},
        {empty, 22, {0, 16, 6, 6}},   {audio, 7, {2, 0, 99, 0}},   {audio, 18, {1, 0, 99, 0}},
        {huge, 18, {1, 8, 10, ~0u}},  {after, 32, {0, 26, 6, 6}},  {wrap, 20, {1, 0, 99, 0}},
    };
    for (const auto &s : splits) {
        uintptr_t base = reinterpret_cast<uintptr_t>(s.w.data()), start = 0;
        u32 size = 99, consumed = 0,
            r = VsParserForAvi(MPEG4_DEC, base, static_cast<u32>(s.len), &start, &size, &consumed);
        EXPECT_EQ(std::vector<u32>({r, static_cast<u32>(start ? start - base : 0), size, consumed}), s.expect);
    }
}

TEST(ParserAvi, FrameTable)
{
    Bytes abc = Avi(Cat(
        {Chunk("00dc", 10, 1), Chunk("01wb", 4), Chunk("00dc", 0), Chunk("00dc", 11, 2), Chunk("00dc", 4u << 20, 3)}));
    Table t = BuildBytes(abc, "AVI");
    ASSERT_EQ(t.entries.size(), 4u);
    EXPECT_EQ(t.entries[0], t.entries[1]);
    EXPECT_EQ(t.entries[2].size, 11u);
    EXPECT_EQ(abc[t.entries[2].offset], 2);
    EXPECT_EQ(t.last, 3);

    omxt::TempDir dir;
    void *h = InitRawFrameExtract(const_cast<char *>(dir.write("x.avi", std::string(abc.begin(), abc.end())).c_str()));
    ASSERT_NE(h, nullptr);
    Bytes buf(4u << 20);
    int last = 0;
    EXPECT_EQ(GetRawFrameExtract(h, 3, buf.data(), &last), 4 << 20); // larger than the parse window
    EXPECT_EQ(last, 1);
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), abc.begin() + static_cast<long>(t.entries[3].offset)));
    DeInitRawFrameExtract(h);

    EXPECT_FALSE(BuildBytes(Patched(abc, 8, "57"), "avi").opened); // not "AVI "
    EXPECT_FALSE(BuildBytes(Fcc("RIFF"), "avi").opened);
    Table failed = BuildBytes(Avi(Chunk("00dc", 3), Strl("vids"), 0), "avi");
    EXPECT_TRUE(failed.opened && failed.entries.empty());
    // A chunk claiming 1 MiB past the file's end is not entered; one across the end of the
    // 64 MiB image is, and read from the file.
    Bytes two = Avi(Cat({Chunk("00dc", 10), Chunk("00dc", 20)}));
    EXPECT_EQ(BuildBytes(Patched(two, two.size() - 24, "00 00 10 00"), "avi").entries.size(), 2u);
    Bytes big = Avi(Cat({Chunk("00dc", 10), Chunk("JUNK", (64u << 20) - 600), Chunk("00dc", 1000, 7)}));
    h = InitRawFrameExtract(dir.write("big.avi", std::string(big.begin(), big.end())).data());
    ASSERT_EQ(GetRawFrameCount(h), 3);
    EXPECT_EQ(GetRawFrameExtract(h, 2, buf.data(), &last), 1000);
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 1000, big.end() - 1000));
    DeInitRawFrameExtract(h);
}
