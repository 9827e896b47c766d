// In-memory AVI header walk and chunk splitter.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "stream_builders.h"
#include "vsparser_avi.h"

namespace
{

using sb::Bytes;
using sb::Cat;
using sb::Chunk;
using sb::Fourcc;
using sb::List;
using sb::Payload;

void append(Bytes &to, const Bytes &from)
{
    to.insert(to.end(), from.begin(), from.end());
}

Bytes le32(u32 v)
{
    Bytes b;
    sb::PutLE(b, v, 4);
    return b;
}

// A chunk without RIFF's pad byte after an odd payload.
Bytes unpadded_chunk(const char *id, const Bytes &payload)
{
    Bytes b = Fourcc(id);
    append(b, le32(static_cast<u32>(payload.size())));
    append(b, payload);
    return b;
}

Bytes video_strl(const char *compression)
{
    return List("LIST", "strl", Cat({sb::Strh("vids", 1, 25), sb::VideoStrf(compression)}));
}

// An AVI image whose main header says 352 x 288 (the format chunk says 176 x 144).
Bytes avi_image(const Bytes &hdrl_streams, std::initializer_list<Bytes> movi_chunks = {})
{
    return sb::Riff({List("LIST", "hdrl", Cat({sb::Avih(1, 352, 288), hdrl_streams})), sb::Movi(movi_chunks)});
}

// The "none" marker 0xFF is not an enumerator; read the stored value as an int.
int code_of(const KOLVEX_XCD_CODEC_TYPE &standard)
{
    int v = 0;
    static_assert(sizeof v == sizeof standard);
    std::memcpy(&v, &standard, sizeof v);
    return v;
}

RFILE ram_file(const Bytes &b)
{
    return RFILE{reinterpret_cast<uintptr_t>(b.data()), 0, static_cast<unsigned long>(b.size())};
}

struct HeaderResult {
    u8 found;
    KOLVEX_XCD_CODEC_TYPE standard;
    u32 width;
    u32 height;
};

HeaderResult summarise(const Bytes &image, u32 total_size)
{
    RFILE f = ram_file(image);
    HeaderResult r{};
    r.standard = H263_ENC;
    r.width = r.height = 77;
    r.found = parse_avi_header(&f, 0, total_size, &r.standard, &r.width, &r.height);
    EXPECT_EQ(f.offset, 0u);
    return r;
}

HeaderResult summarise(const Bytes &image)
{
    return summarise(image, static_cast<u32>(image.size()));
}

// ---------------------------------------------------------------- header summary

TEST(AviHeader, Div3GivesFirstProprietaryCodecWithMainHeaderSize)
{
    Bytes image = avi_image(video_strl("DIV3"));
    HeaderResult r = summarise(image);
    EXPECT_EQ(r.found, 1);
    EXPECT_EQ(r.standard, PRVX1_DEC);
    EXPECT_EQ(r.width, 352u);
    EXPECT_EQ(r.height, 288u);
}

TEST(AviHeader, EveryListedCompressionCodeMapsToItsCodec)
{
    const std::pair<const char *, KOLVEX_XCD_CODEC_TYPE> table[] = {
        {"MP4v", MPEG4_DEC}, {"mp4v", MPEG4_DEC}, {"M4S2", MPEG4_DEC}, {"DIV4", MPEG4_DEC}, {"div4", MPEG4_DEC},
        {"DIVX", MPEG4_DEC}, {"divx", MPEG4_DEC}, {"MP42", MPEG4_DEC}, {"FMP4", MPEG4_DEC}, {"DIV3", PRVX1_DEC},
        {"div3", PRVX1_DEC}, {"MP2V", MPEG2_DEC}, {"mp2v", MPEG2_DEC}, {"H263", H263_DEC},  {"h263", H263_DEC},
        {"H264", H264_DEC},  {"h264", H264_DEC}};
    for (const auto &[code, standard] : table) {
        HeaderResult r = summarise(avi_image(video_strl(code)));
        EXPECT_EQ(r.found, 1) << code;
        EXPECT_EQ(r.standard, standard) << code;
    }
}

TEST(AviHeader, UnlistedCodeFailsWithNoneAndZeroSize)
{
    for (const char *code : {"XVID", "Div3", "H265", "\0\0\0\0"}) {
        HeaderResult r = summarise(avi_image(video_strl(code)));
        EXPECT_EQ(r.found, 0) << code;
        EXPECT_EQ(code_of(r.standard), 0xFF);
        EXPECT_EQ(r.width, 0u);
        EXPECT_EQ(r.height, 0u);
    }
}

TEST(AviHeader, WalkFillsSummaryRecordFromMainHeader)
{
    Bytes image = avi_image(video_strl("H264"));
    RFILE f = ram_file(image);
    AVI_INFOs info{};
    info.standard = AVI_STANDARD_NONE;
    EXPECT_EQ(_parse_avi_header(&f, 0, static_cast<u32>(image.size()), &info), 1);
    EXPECT_EQ(info.standard, H264_DEC);
    EXPECT_STREQ(reinterpret_cast<const char *>(info.fccHandler), "H264");
    EXPECT_EQ(info.total_frames, 25u);
    EXPECT_EQ(info.width, 352u);
    EXPECT_EQ(info.height, 288u);
}

TEST(AviHeader, FirstFormatChunkDecidesEvenWhenItIsAudio)
{
    // PCM audio first: the bytes at the compression position are cbSize (00 00) and the first
    // two bytes of the video stream's list; not a listed code, so that stream is never used.
    Bytes streams = List("LIST", "strl", Cat({sb::Strh("auds", 1, 8000), sb::AudioStrf()}));
    append(streams, video_strl("DIVX"));
    EXPECT_EQ(summarise(avi_image(streams)).found, 0);

    // Audio format bytes that happen to spell a listed code decide the result.
    Bytes odd_audio;
    for (auto [value, bytes] : {std::pair{1, 2}, {2, 2}, {44100, 4}, {176400, 4}, {4, 2}, {16, 2}})
        sb::PutLE(odd_audio, static_cast<uint64_t>(value), bytes);
    append(odd_audio, Fourcc("h263"));
    Bytes streams2 = List("LIST", "strl", Cat({sb::Strh("auds", 1, 8000), Chunk("strf", odd_audio)}));
    append(streams2, video_strl("DIVX"));
    HeaderResult r = summarise(avi_image(streams2));
    EXPECT_EQ(r.found, 1);
    EXPECT_EQ(r.standard, H263_DEC);
}

TEST(AviHeader, UnlistedCodeStopsEveryEnclosingWalk)
{
    Bytes streams = video_strl("XVID");
    append(streams, video_strl("DIVX"));
    Bytes image = avi_image(streams);
    RFILE f = ram_file(image);
    AVI_INFOs info{};
    info.standard = AVI_STANDARD_NONE;
    EXPECT_EQ(_parse_avi_header(&f, 0, static_cast<u32>(image.size()), &info), 0);
    // The cursor stays just after the unknown code: nothing after it was walked.
    const std::string s(image.begin(), image.end());
    EXPECT_EQ(f.offset, s.find("XVID", s.find("strf")) + 4);
    EXPECT_EQ(code_of(info.standard), 0xFF);
}

TEST(AviHeader, OddChunkSizesArePaddedOnlyForDataChunks)
{
    // JUNK of 3 bytes has no pad byte in front of the next item; 01wb of 3 bytes has one.
    Bytes streams = unpadded_chunk("JUNK", {1, 2, 3});
    append(streams, Chunk("01wb", {1, 2, 3}));
    append(streams, video_strl("MP42"));
    EXPECT_EQ(summarise(avi_image(streams)).standard, MPEG4_DEC);
}

TEST(AviHeader, NeverReadsPastTheImageWhereverItIsCut)
{
    const Bytes image = avi_image(video_strl("DIV3"));
    const std::string s(image.begin(), image.end());
    const size_t code_end = s.find("DIV3") + 4;
    for (size_t len = 0; len <= image.size(); ++len) {
        // An exact-size heap copy, so that AddressSanitizer sees any read past it.
        const Bytes cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(len));
        HeaderResult r = summarise(cut, static_cast<u32>(image.size()));
        EXPECT_EQ(r.found, len >= code_end ? 1 : 0) << "cut at " << len;
    }
}

TEST(AviHeader, HugeSizesEndTheWalkInsteadOfWrapping)
{
    // A chunk claiming 4 GiB - 1 before the real header list: the walk ends at the image end.
    Bytes junk = Fourcc("JUNK");
    append(junk, le32(0xFFFFFFFF));
    Bytes image = sb::Riff({junk});
    append(image, avi_image(video_strl("DIVX")));
    EXPECT_EQ(summarise(image, 0xFFFFFFFF).found, 0);

    // A list claiming 4 GiB: its contents are walked up to the image end and found.
    Bytes big = avi_image(video_strl("DIVX"));
    std::memcpy(big.data() + 4, le32(0xFFFFFFFF).data(), 4);
    EXPECT_EQ(summarise(big, 0xFFFFFFFF).found, 1);
}

TEST(AviHeader, ListSmallerThanItsFormTypeHoldsNothing)
{
    // RIFF holds a LIST whose size (2) is below the 4 bytes of its form type. Walking only the
    // RIFF, a wrapped size would run on into the header list that follows the RIFF.
    Bytes tiny = Fourcc("LIST");
    append(tiny, le32(2));
    append(tiny, Fourcc("abcd"));
    Bytes riff = sb::Riff({tiny});
    Bytes image = riff;
    append(image, List("LIST", "hdrl", Cat({sb::Avih(1, 64, 48), video_strl("DIVX")})));
    EXPECT_EQ(summarise(image, static_cast<u32>(riff.size())).found, 0);
    EXPECT_EQ(summarise(image).found, 1);
}

TEST(AviHeader, DeepNestingIsRefusedWithoutExhaustingTheStack)
{
    Bytes inner = List("LIST", "hdrl", Cat({sb::Avih(1, 64, 48), video_strl("DIVX")}));
    Bytes nested = inner;
    for (int i = 0; i < 3; ++i)
        nested = List("LIST", "odml", nested);
    EXPECT_EQ(summarise(nested).found, 1);
    for (int i = 0; i < 5000; ++i)
        nested = List("LIST", "odml", nested);
    EXPECT_EQ(summarise(nested).found, 0);
}

TEST(AviReaders, WordAndFourccReadsStayInsideTheImage)
{
    const Bytes b{0x48, 0x32, 0x36, 0x34, 0x01, 0x02, 0x03};
    RFILE f = ram_file(b);
    EXPECT_EQ(read_word_little(&f), 0x34363248u);
    EXPECT_EQ(f.offset, 4u);
    unsigned char fcc[4] = {9, 9, 9, 9};
    EXPECT_EQ(get_fourcc(&f, fcc), 0); // 3 bytes left
    EXPECT_EQ(f.offset, 4u);
    EXPECT_EQ(fcc[0], 9);
    EXPECT_EQ(read_word_little(&f), 0u); // also short: 0, cursor to the end
    EXPECT_EQ(f.offset, 7u);
    f.offset = 100; // a cursor past the end reads nothing
    EXPECT_EQ(get_fourcc(&f, fcc), 0);
    EXPECT_EQ(read_word_little(&f), 0u);

    EXPECT_EQ(_read_word_little(b.data() + 1), 0x01343632u);
    EXPECT_EQ(compare_fourcc(b.data(), "H264"), 1);
    EXPECT_EQ(compare_fourcc(b.data(), "H26"), 0); // the terminating zero is compared too
    EXPECT_EQ(get_fourcc1(b.data() + 3, fcc), 1);
    EXPECT_EQ(fcc[3], 0x03);

    Bytes dst(5, 0xEE);
    Copy8(reinterpret_cast<uintptr_t>(b.data()), reinterpret_cast<uintptr_t>(dst.data()), 4);
    EXPECT_EQ(dst, (Bytes{0x48, 0x32, 0x36, 0x34, 0xEE}));
}

// ---------------------------------------------------------------- chunk splitter

struct Unit {
    u32 result;
    size_t start; // offset of the reported payload in the window
    u32 size;
    u32 consumed;
};

Unit split(const Bytes &window, size_t from = 0, size_t len = SIZE_MAX)
{
    if (len == SIZE_MAX)
        len = window.size() - from;
    const u8 *base = window.data() + from;
    const auto addr = reinterpret_cast<uintptr_t>(base);
    uintptr_t start = 0;
    Unit u{};
    u.result = avi_parse(addr, static_cast<u32>(len), base, &start, &u.size, &u.consumed);
    u.start = start ? start - reinterpret_cast<uintptr_t>(window.data()) : 0;
    return u;
}

// The same through VsParserForAvi, over the first len bytes of the window; the size
// out-argument starts as size_in.
Unit dispatch(const Bytes &window, size_t len = SIZE_MAX, u32 size_in = 0)
{
    if (len == SIZE_MAX)
        len = window.size();
    const auto addr = reinterpret_cast<uintptr_t>(window.data());
    uintptr_t start = 0;
    Unit u{};
    u.size = size_in;
    u.result = VsParserForAvi(MPEG4_DEC, addr, static_cast<u32>(len), &start, &u.size, &u.consumed);
    u.start = start ? start - addr : 0;
    return u;
}

TEST(AviSplit, WholeImageReportsFirstVideoChunkAfterEnteringEveryList)
{
    const Bytes image = avi_image(video_strl("DIVX"), {Chunk("01wb", Payload(7, 0)), Chunk("00dc", Payload(16, 0xA0))});
    const Unit u = split(image);
    EXPECT_EQ(u.result, AVI_PARSE_FOUND);
    EXPECT_EQ(u.size, 16u);
    EXPECT_EQ(image[u.start], 0xA0);
    EXPECT_EQ(u.start + u.size, image.size());
}

TEST(AviSplit, IndexChunkInStreamListIsTakenForVideo)
{
    Bytes strl =
        List("LIST", "strl", Cat({sb::Strh("vids", 1, 25), sb::VideoStrf("DIVX"), Chunk("indx", Payload(24, 0x50))}));
    const Bytes image = avi_image(strl, {Chunk("00dc", Payload(16, 0xA0))});
    const Unit u = split(image);
    EXPECT_EQ(u.result, AVI_PARSE_FOUND);
    EXPECT_EQ(u.size, 24u);
    EXPECT_EQ(image[u.start], 0x50);
}

TEST(AviSplit, OddChunkIsPaddedAndTheNextFollowsThePad)
{
    Bytes w = Chunk("00dc", Payload(101, 1));
    append(w, Chunk("00db", Payload(4, 0xC0)));
    const Unit a = split(w);
    EXPECT_EQ(a.result, AVI_PARSE_FOUND);
    EXPECT_EQ(a.start, 8u);
    EXPECT_EQ(a.size, 101u);
    EXPECT_EQ(a.consumed, 102u);
    const Unit b = split(w, a.start + a.consumed);
    EXPECT_EQ(b.result, AVI_PARSE_FOUND);
    EXPECT_EQ(b.size, 4u);
    EXPECT_EQ(w[b.start], 0xC0);
}

TEST(AviSplit, WindowEndingInsideVideoChunk)
{
    const Bytes w = Chunk("00dc", Payload(1000, 0));
    EXPECT_EQ(split(w, 0, 28).result, AVI_PARSE_WINDOW_END);

    const Unit cut = dispatch(w, 28);
    EXPECT_EQ(cut.result, AVI_PARSE_WINDOW_END);
    EXPECT_EQ(cut.start, 8u);
    EXPECT_EQ(cut.size, 20u);
    EXPECT_EQ(cut.consumed, 1000u);

    // A chunk that ends exactly at the window end is whole.
    const Unit whole = dispatch(w, 1008);
    EXPECT_EQ(whole.result, AVI_PARSE_FOUND);
    EXPECT_EQ(whole.size, 1000u);
}

TEST(AviSplit, ZeroSizeVideoChunkIsPassedOver)
{
    Bytes w = Chunk("00dc", {});
    append(w, Chunk("00dc", Payload(6, 0x30)));
    const Unit u = split(w);
    EXPECT_EQ(u.result, AVI_PARSE_FOUND);
    EXPECT_EQ(u.start, 16u);
    EXPECT_EQ(u.size, 6u);
}

TEST(AviSplit, ShortWindowsAndNonVideoEnds)
{
    const Bytes w = Chunk("01wb", Payload(10, 0));
    EXPECT_EQ(split(w, 0, 7).result, AVI_PARSE_NO_ROOM);
    EXPECT_EQ(split(w, 0, 0).result, AVI_PARSE_NO_ROOM);
    EXPECT_EQ(split(w).result, AVI_PARSE_WINDOW_END); // audio chunk ends the window
    const Bytes l = sb::Movi({});
    EXPECT_EQ(split(l).result, AVI_PARSE_WINDOW_END); // list header ends the window

    // Through VsParserForAvi a window end that carries no video chunk leaves the size alone.
    const Unit u = dispatch(w, SIZE_MAX, 12345);
    EXPECT_EQ(u.result, AVI_PARSE_WINDOW_END);
    EXPECT_EQ(u.size, 12345u);
}

TEST(AviSplit, HugeSizesDoNotWrapThePosition)
{
    // 4 + 0xFFFFFFFC would wrap a 32-bit position back to the chunk after it.
    Bytes w = Fourcc("01wb");
    append(w, le32(0xFFFFFFFC));
    append(w, Chunk("00dc", Payload(4, 1)));
    EXPECT_EQ(split(w).result, AVI_PARSE_WINDOW_END);

    // A video chunk of 2^32 - 1 bytes: padded size cannot be represented, saturates.
    Bytes v = Fourcc("00dc");
    append(v, le32(0xFFFFFFFF));
    append(v, Payload(10, 1));
    const Unit u = dispatch(v);
    EXPECT_EQ(u.result, AVI_PARSE_WINDOW_END);
    EXPECT_EQ(u.size, 10u);
    EXPECT_EQ(u.consumed, 0xFFFFFFFFu);
}

TEST(AviSplit, WalkingAWindowChunkByChunkListsEveryVideoChunk)
{
    const Bytes image = avi_image(video_strl("DIVX"), {Chunk("00dc", Payload(33, 1)), Chunk("01wb", Payload(5, 2)),
                                                       Chunk("00db", Payload(2, 3)), Chunk("00dc", Payload(9, 4))});
    std::vector<u32> sizes;
    size_t pos = 0;
    for (int guard = 0; guard < 20 && pos < image.size(); ++guard) {
        const Unit u = split(image, pos);
        if (u.result != AVI_PARSE_FOUND)
            break;
        sizes.push_back(u.size);
        pos = u.start + u.consumed;
    }
    // The stream list's strh and strf are not data chunks; avih neither.
    EXPECT_EQ(sizes, (std::vector<u32>{33, 2, 9}));
}

} // namespace
