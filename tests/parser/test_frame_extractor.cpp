// Delimiter frame extractor, with file and memory input alike.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "FrameExtractor.h"
#include "stream_input.h"

namespace
{

using Bytes = std::vector<unsigned char>;
using test_input::StreamInput;

const Bytes kStartCode{0x00, 0x00, 0x01};

struct CtxDeleter {
    void operator()(FRAMEX_CTX *c) const { FrameExtractorFinal(c); }
};
using Ctx = std::unique_ptr<FRAMEX_CTX, CtxDeleter>;

class Extractor : public ::testing::TestWithParam<FRAMEX_IN_TYPE>
{
protected:
    Ctx make(const Bytes &delim, bool insert)
    {
        return Ctx(FrameExtractorInit(GetParam(), delim.data(), static_cast<int>(delim.size()), insert));
    }
    StreamInput input(const Bytes &data) { return StreamInput(GetParam(), data); }
};

// The frame delivered by one FrameExtractorNext with a large buffer.
struct Frame {
    int result;
    Bytes bytes;
};

Frame next(FRAMEX_CTX *ctx, StreamInput &in, int size = 256)
{
    Bytes buf(static_cast<size_t>(size));
    int n = -99;
    Frame f{FrameExtractorNext(ctx, in.handle(), buf.data(), size, &n), {}};
    if (n >= 0 && n <= size)
        f.bytes.assign(buf.begin(), buf.begin() + n);
    return f;
}

TEST_P(Extractor, ZeroBeforeStartCodeIsAOneByteFrame)
{
    Ctx ctx = make(kStartCode, false);
    StreamInput in = input({0x00, 0x00, 0x00, 0x01, 0xB6, 0x55});
    Frame f = next(ctx.get(), in);
    EXPECT_EQ(f.result, FRAMEX_OK);
    EXPECT_EQ(f.bytes, Bytes{0x00});
    EXPECT_EQ(in.position(), 4); // the next frame starts right after the delimiter
}

TEST_P(Extractor, FirstSkipsToTheFirstFrameAndInsertionPrefixesIt)
{
    Ctx ctx = make(kStartCode, true);
    StreamInput in = input({0x47, 0x00, 0x00, 0x01, 0xB0, 0x01, 0x00, 0x00, 0x01, 0xB6, 0x10});
    EXPECT_EQ(FrameExtractorFirst(ctx.get(), in.handle()), FRAMEX_OK);
    EXPECT_EQ(in.position(), 4);
    Frame a = next(ctx.get(), in);
    EXPECT_EQ(a.result, FRAMEX_OK);
    EXPECT_EQ(a.bytes, (Bytes{0x00, 0x00, 0x01, 0xB0, 0x01}));
    // The last frame has no delimiter after it: -3 with the whole tail counted.
    Frame b = next(ctx.get(), in);
    EXPECT_EQ(b.result, FRAMEX_ERR_END_OF_INPUT);
    EXPECT_EQ(b.bytes, (Bytes{0x00, 0x00, 0x01, 0xB6, 0x10}));
    EXPECT_EQ(ctx->cont_offset, 0);
}

TEST_P(Extractor, FirstWithoutAnyDelimiterReportsEndOfInput)
{
    Ctx ctx = make(kStartCode, true);
    StreamInput in = input({0x00, 0x00, 0x02, 0x00, 0x00});
    EXPECT_EQ(FrameExtractorFirst(ctx.get(), in.handle()), FRAMEX_ERR_END_OF_INPUT);
}

TEST_P(Extractor, LongZeroRunsWrapTheQueue)
{
    // 40 zeros before 00 00 01 with the 3-byte code, and 50 before a 12-byte code made of
    // eleven zeros and 01: the queue indices wrap many times, the match stays exact.
    Bytes data(40, 0x00);
    data.push_back(0x01);
    data.push_back(0x77);
    Ctx ctx = make(kStartCode, false);
    StreamInput in = input(data);
    Frame f = next(ctx.get(), in);
    EXPECT_EQ(f.result, FRAMEX_OK);
    EXPECT_EQ(f.bytes, Bytes(38, 0x00));
    EXPECT_EQ(in.position(), 41);

    Bytes delim12(11, 0x00);
    delim12.push_back(0x01);
    Bytes data12(50, 0x00);
    data12.insert(data12.end(), {0x01, 0x02, 0x03});
    Ctx ctx12 = make(delim12, true);
    StreamInput in12 = input(data12);
    Frame g = next(ctx12.get(), in12);
    EXPECT_EQ(g.result, FRAMEX_OK);
    Bytes want = delim12;
    want.insert(want.end(), 39, 0x00);
    EXPECT_EQ(g.bytes, want);
    EXPECT_EQ(in12.position(), 51);
}

TEST_P(Extractor, PartialMatchesOfARepetitiveDelimiterShiftByOne)
{
    // "ABAB C" searched in "ABABABC": only a one-byte shift after each mismatch finds it.
    const Bytes delim{'A', 'B', 'A', 'B', 'C'};
    Ctx ctx = make(delim, false);
    StreamInput in = input({'x', 'A', 'B', 'A', 'B', 'A', 'B', 'C', 'y'});
    Frame f = next(ctx.get(), in);
    EXPECT_EQ(f.result, FRAMEX_OK);
    EXPECT_EQ(f.bytes, (Bytes{'x', 'A', 'B'}));
    EXPECT_EQ(in.position(), 8);
}

TEST_P(Extractor, BufferMustHoldFrameAndTrailingDelimiter)
{
    const Bytes data{0x11, 0x22, 0x33, 0x00, 0x00, 0x01, 0x44};
    { // the 3-byte frame fits in 6 bytes, with the 3-byte delimiter after it
        Ctx ctx = make(kStartCode, false);
        StreamInput in = input(data);
        Frame f = next(ctx.get(), in, 6);
        EXPECT_EQ(f.result, FRAMEX_OK);
        EXPECT_EQ(f.bytes, (Bytes{0x11, 0x22, 0x33}));
    }
    { // one byte less: full, with what was read kept and the continuation saved
        Ctx ctx = make(kStartCode, false);
        StreamInput in = input(data);
        Frame f = next(ctx.get(), in, 5);
        EXPECT_EQ(f.result, FRAMEX_ERR_BUF_FULL);
        EXPECT_EQ(ctx->cont_offset, 5);
        EXPECT_EQ(in.position(), 5);
    }
    { // the delimiter alone does not fit: -4 before anything is read
        Ctx ctx = make(kStartCode, true);
        StreamInput in = input(data);
        Frame f = next(ctx.get(), in, 3);
        EXPECT_EQ(f.result, FRAMEX_ERR_NO_ROOM);
        EXPECT_EQ(in.position(), 0);
        EXPECT_EQ(ctx->cont_offset, 0);
    }
}

TEST_P(Extractor, ContinuationFindsDelimiterSplitAcrossTheBreak)
{
    // Frame AA BB CC DD, then 00 00 | 01 EE: the first call stops with 00 00 held.
    Ctx ctx = make(kStartCode, true);
    StreamInput in = input({0xAA, 0xBB, 0xCC, 0xDD, 0x00, 0x00, 0x01, 0xEE});
    Bytes buf(9, 0);
    int n = 0;
    EXPECT_EQ(FrameExtractorNext(ctx.get(), in.handle(), buf.data(), 9, &n), FRAMEX_ERR_BUF_FULL);
    EXPECT_EQ(ctx->cont_offset, 9);
    EXPECT_EQ(n, 9);
    buf.resize(32); // enlarged, content kept
    EXPECT_EQ(FrameExtractorNext(ctx.get(), in.handle(), buf.data(), 32, &n), FRAMEX_OK);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + n), (Bytes{0x00, 0x00, 0x01, 0xAA, 0xBB, 0xCC, 0xDD}));
    EXPECT_EQ(ctx->cont_offset, 0);
    EXPECT_EQ(in.position(), 7);
    // The next frame starts clean.
    Frame f = next(ctx.get(), in);
    EXPECT_EQ(f.result, FRAMEX_ERR_END_OF_INPUT);
    EXPECT_EQ(f.bytes, (Bytes{0x00, 0x00, 0x01, 0xEE}));
}

TEST_P(Extractor, ContinuationInSmallStepsDeliversTheSameFrame)
{
    Bytes data;
    for (int i = 0; i < 40; ++i)
        data.push_back(static_cast<unsigned char>(i % 3 == 0 ? 0 : i));
    data.insert(data.end(), {0x00, 0x00, 0x00, 0x01, 0x99});
    Ctx whole = make(kStartCode, false);
    StreamInput in_whole = input(data);
    const Frame want = next(whole.get(), in_whole);
    ASSERT_EQ(want.result, FRAMEX_OK);

    Ctx ctx = make(kStartCode, false);
    StreamInput in = input(data);
    Bytes buf;
    int n = 0, size = 4, result = FRAMEX_ERR_BUF_FULL;
    for (int guard = 0; guard < 100 && result == FRAMEX_ERR_BUF_FULL; ++guard, ++size) {
        buf.resize(static_cast<size_t>(size));
        result = FrameExtractorNext(ctx.get(), in.handle(), buf.data(), size, &n);
    }
    EXPECT_EQ(result, FRAMEX_OK);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + n), want.bytes);
    EXPECT_EQ(in.position(), in_whole.position());
}

TEST_P(Extractor, InsertedDelimiterDoesNotJoinStreamBytesAcrossTheBreak)
{
    // Delimiter 00 00 inserted, then the stream byte 00 fills the buffer: the held tail reads
    // 00 00, but only the stream byte may start a match.
    const Bytes delim{0x00, 0x00};
    Ctx ctx = make(delim, true);
    StreamInput in = input({0x00, 0xAB, 0x00, 0x00, 0xCD});
    Bytes buf(3);
    int n = 0;
    ASSERT_EQ(FrameExtractorNext(ctx.get(), in.handle(), buf.data(), 3, &n), FRAMEX_ERR_BUF_FULL);
    buf.resize(16);
    EXPECT_EQ(FrameExtractorNext(ctx.get(), in.handle(), buf.data(), 16, &n), FRAMEX_OK);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + n), (Bytes{0x00, 0x00, 0x00, 0xAB}));
    EXPECT_EQ(in.position(), 4);
}

TEST_P(Extractor, ContinuationWithoutLargerBufferStaysFull)
{
    Ctx ctx = make(kStartCode, false);
    StreamInput in = input({1, 2, 3, 4, 5, 6, 7, 8});
    Bytes buf(5);
    int n = 0;
    EXPECT_EQ(FrameExtractorNext(ctx.get(), in.handle(), buf.data(), 5, &n), FRAMEX_ERR_BUF_FULL);
    EXPECT_EQ(FrameExtractorNext(ctx.get(), in.handle(), buf.data(), 5, &n), FRAMEX_ERR_BUF_FULL);
    EXPECT_EQ(FrameExtractorNext(ctx.get(), in.handle(), buf.data(), 2, &n), FRAMEX_ERR_BUF_FULL);
    EXPECT_EQ(in.position(), 5);
    EXPECT_EQ(ctx->cont_offset, 5);
}

TEST_P(Extractor, HeldBytesAlreadyEqualToDelimiterEndWithoutReading)
{
    Ctx ctx = make(kStartCode, false);
    StreamInput in = input({9, 9, 9});
    Bytes buf{7, 0x00, 0x00, 0x01, 0, 0};
    ctx->cont_offset = 4;
    int n = 42;
    EXPECT_EQ(FrameExtractorNext(ctx.get(), in.handle(), buf.data(), 6, &n), FRAMEX_ERR_ON_HELD);
    EXPECT_EQ(n, 42);
    EXPECT_EQ(ctx->cont_offset, 4);
    EXPECT_EQ(in.position(), 0);
}

TEST_P(Extractor, MemoryOrFileEndsAfterTheLastByte)
{
    // The memory range ends at p_end even when more bytes follow in memory.
    Bytes data{0x10, 0x20, 0x30, 0x00, 0x00, 0x01};
    StreamInput in =
        GetParam() == FRAMEX_IN_TYPE_FILE ? input(Bytes(data.begin(), data.begin() + 3)) : StreamInput::range(data, 3);
    Ctx ctx = make(kStartCode, false);
    Frame f = next(ctx.get(), in);
    EXPECT_EQ(f.result, FRAMEX_ERR_END_OF_INPUT);
    EXPECT_EQ(f.bytes, (Bytes{0x10, 0x20, 0x30}));
    Frame g = next(ctx.get(), in);
    EXPECT_EQ(g.result, FRAMEX_ERR_END_OF_INPUT);
    EXPECT_TRUE(g.bytes.empty());
}

TEST_P(Extractor, NextWithoutBufferSkipsAFrame)
{
    Ctx ctx = make(kStartCode, true);
    StreamInput in = input({0xAA, 0x00, 0x00, 0x01, 0xBB, 0x00, 0x00, 0x01});
    int n = 42;
    EXPECT_EQ(FrameExtractorNext(ctx.get(), in.handle(), nullptr, 100, &n), FRAMEX_OK);
    EXPECT_EQ(n, 42);
    EXPECT_EQ(in.position(), 4);
    Frame f = next(ctx.get(), in);
    EXPECT_EQ(f.bytes, (Bytes{0x00, 0x00, 0x01, 0xBB}));
}

// ---------------------------------------------------------------- peek

TEST_P(Extractor, PeekOfOneByteMoreThanTheDelimiterShowsTheStartCodeValue)
{
    Ctx ctx = make(kStartCode, true);
    StreamInput in = input({0x00, 0x00, 0x01, 0xB0, 0x01, 0x00, 0x00, 0x01, 0xB6, 0x40});
    ASSERT_EQ(FrameExtractorFirst(ctx.get(), in.handle()), FRAMEX_OK);
    unsigned char peek[4] = {};
    int n = 0;
    EXPECT_EQ(FrameExtractorPeek(ctx.get(), in.handle(), peek, 4, &n), FRAMEX_OK);
    EXPECT_EQ(Bytes(peek, peek + 4), (Bytes{0x00, 0x00, 0x01, 0xB0}));
    EXPECT_EQ(n, 1);
    EXPECT_EQ(in.position(), 3);
    Frame f = next(ctx.get(), in);
    EXPECT_EQ(f.bytes, (Bytes{0x00, 0x00, 0x01, 0xB0, 0x01}));
    EXPECT_EQ(FrameExtractorPeek(ctx.get(), in.handle(), peek, 4, &n), FRAMEX_OK);
    EXPECT_EQ(peek[3], 0xB6);
    EXPECT_EQ(in.position(), 8);
}

TEST_P(Extractor, PeekThatMeetsTheDelimiterEarlyMovesBackByWhatItRead)
{
    Ctx ctx = make(kStartCode, false);
    StreamInput in = input({0x21, 0x00, 0x00, 0x01, 0x22, 0x23});
    unsigned char peek[16] = {};
    int n = 0;
    EXPECT_EQ(FrameExtractorPeek(ctx.get(), in.handle(), peek, 16, &n), FRAMEX_OK);
    EXPECT_EQ(n, 1); // the frame before the delimiter
    EXPECT_EQ(peek[0], 0x21);
    EXPECT_EQ(in.position(), 0);
}

TEST_P(Extractor, PeekAtTheEndOfInputAlsoPutsBackWhatItRead)
{
    Ctx ctx = make(kStartCode, true);
    StreamInput in = input({0x00, 0x00, 0x01, 0x31, 0x32});
    ASSERT_EQ(FrameExtractorFirst(ctx.get(), in.handle()), FRAMEX_OK);
    unsigned char peek[12] = {};
    int n = 0;
    EXPECT_EQ(FrameExtractorPeek(ctx.get(), in.handle(), peek, 12, &n), FRAMEX_ERR_END_OF_INPUT);
    EXPECT_EQ(in.position(), 3);
    Frame f = next(ctx.get(), in);
    EXPECT_EQ(f.bytes, (Bytes{0x00, 0x00, 0x01, 0x31, 0x32}));
}

TEST_P(Extractor, PeekNeedsRoomBeyondTheDelimiter)
{
    Ctx ctx = make(kStartCode, true);
    StreamInput in = input({0x00, 0x00, 0x01, 0x31});
    unsigned char peek[3] = {};
    int n = 0;
    EXPECT_EQ(FrameExtractorPeek(ctx.get(), in.handle(), peek, 3, &n), FRAMEX_ERR_NO_ROOM);
    EXPECT_EQ(FrameExtractorPeek(ctx.get(), in.handle(), nullptr, 8, &n), FRAMEX_ERR_NO_ROOM);
    EXPECT_EQ(in.position(), 0);
}

TEST_P(Extractor, PeekDuringAContinuationLeavesItIntact)
{
    Ctx ctx = make(kStartCode, false);
    StreamInput in = input({1, 2, 3, 4, 5, 6, 0x00, 0x00, 0x01, 7});
    Bytes buf(5);
    int n = 0;
    ASSERT_EQ(FrameExtractorNext(ctx.get(), in.handle(), buf.data(), 5, &n), FRAMEX_ERR_BUF_FULL);
    unsigned char peek[4] = {};
    int pn = 0;
    EXPECT_EQ(FrameExtractorPeek(ctx.get(), in.handle(), peek, 4, &pn), FRAMEX_OK);
    EXPECT_EQ(Bytes(peek, peek + 4), (Bytes{6, 0x00, 0x00, 0x01}));
    EXPECT_EQ(ctx->cont_offset, 5);
    EXPECT_EQ(in.position(), 5);
    buf.resize(16);
    EXPECT_EQ(FrameExtractorNext(ctx.get(), in.handle(), buf.data(), 16, &n), FRAMEX_OK);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + n), (Bytes{1, 2, 3, 4, 5, 6}));
}

INSTANTIATE_TEST_SUITE_P(Inputs, Extractor, ::testing::Values(FRAMEX_IN_TYPE_FILE, FRAMEX_IN_TYPE_MEM),
                         [](const auto &info) { return info.param == FRAMEX_IN_TYPE_FILE ? "File" : "Memory"; });

// ---------------------------------------------------------------- creation and null context

TEST(ExtractorInit, DelimiterLengthAndPointerAreChecked)
{
    const Bytes d(13, 0x00);
    EXPECT_EQ(FrameExtractorInit(FRAMEX_IN_TYPE_MEM, d.data(), 0, 0), nullptr);
    EXPECT_EQ(FrameExtractorInit(FRAMEX_IN_TYPE_MEM, d.data(), 13, 0), nullptr);
    EXPECT_EQ(FrameExtractorInit(FRAMEX_IN_TYPE_MEM, d.data(), -1, 0), nullptr);
    EXPECT_EQ(FrameExtractorInit(FRAMEX_IN_TYPE_MEM, nullptr, 3, 0), nullptr);
    Bytes own{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    Ctx ctx(FrameExtractorInit(FRAMEX_IN_TYPE_FILE, own.data(), 12, 1));
    ASSERT_NE(ctx, nullptr);
    own[0] = 99; // the context keeps its own copy
    EXPECT_EQ(ctx->delim_ptr[0], 1);
    EXPECT_EQ(ctx->delim_leng, 12);
    EXPECT_EQ(ctx->cont_offset, 0);
}

TEST(ExtractorInit, NullContextIsRefusedByEveryOperation)
{
    unsigned char b[8];
    int n = 0;
    EXPECT_EQ(FrameExtractorFirst(nullptr, nullptr), FRAMEX_ERR_NULL_CTX);
    EXPECT_EQ(FrameExtractorNext(nullptr, nullptr, b, 8, &n), FRAMEX_ERR_NULL_CTX);
    EXPECT_EQ(FrameExtractorPeek(nullptr, nullptr, b, 8, &n), FRAMEX_ERR_NULL_CTX);
    EXPECT_EQ(FrameExtractorFinal(nullptr), FRAMEX_ERR_NULL_CTX);
}

TEST(ExtractorInit, MissingInputReadsAsAnEmptyStream)
{
    for (FRAMEX_IN_TYPE type : {FRAMEX_IN_TYPE_FILE, FRAMEX_IN_TYPE_MEM}) {
        Ctx ctx(FrameExtractorInit(type, kStartCode.data(), 3, 1));
        unsigned char b[8];
        int n = 0;
        EXPECT_EQ(FrameExtractorFirst(ctx.get(), nullptr), FRAMEX_ERR_END_OF_INPUT);
        EXPECT_EQ(FrameExtractorNext(ctx.get(), nullptr, b, 8, &n), FRAMEX_ERR_END_OF_INPUT);
        EXPECT_EQ(FrameExtractorPeek(ctx.get(), nullptr, b, 8, &n), FRAMEX_ERR_END_OF_INPUT);
    }
}

int g_allocs_left = 0;
void *failing_alloc(size_t size)
{
    return g_allocs_left-- > 0 ? std::malloc(size) : nullptr;
}

TEST(ExtractorInit, OutOfMemoryGivesNullWithoutLeaking)
{
    // Fails the context, then the delimiter copy (the context is released: LeakSanitizer checks).
    for (int succeed = 0; succeed < 2; ++succeed) {
        g_allocs_left = succeed;
        FrameExtractorSetAllocator(failing_alloc);
        EXPECT_EQ(FrameExtractorInit(FRAMEX_IN_TYPE_MEM, kStartCode.data(), 3, 1), nullptr) << succeed;
    }
    g_allocs_left = 2;
    FRAMEX_CTX *ok = FrameExtractorInit(FRAMEX_IN_TYPE_MEM, kStartCode.data(), 3, 1);
    FrameExtractorSetAllocator(nullptr);
    EXPECT_NE(ok, nullptr);
    FrameExtractorFinal(ok);
}

} // namespace
