// MPEG-4 configuration data and pictures through the delimiter frame extractor.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "FrameExtractor.h"
#include "MPEG4Frames.h"
#include "mpeg4_units.h"
#include "stream_input.h"

namespace {

using namespace mpeg4_units;
using test_input::StreamInput;

struct CtxDeleter {
  void operator()(FRAMEX_CTX *c) const { FrameExtractorFinal(c); }
};
using Ctx = std::unique_ptr<FRAMEX_CTX, CtxDeleter>;

const unsigned char kPrefix[3] = {0x00, 0x00, 0x01};

// A stream opened the way the callers open it: 00 00 01 with insertion, first prefix skipped.
class Mpeg4 : public ::testing::TestWithParam<FRAMEX_IN_TYPE> {
 protected:
  void open(const Bytes &stream) {
    in_ = std::make_unique<StreamInput>(GetParam(), stream);
    ctx_.reset(FrameExtractorInit(GetParam(), kPrefix, 3, 1));
    ASSERT_NE(ctx_, nullptr);
    ASSERT_EQ(FrameExtractorFirst(ctx_.get(), in_->handle()), FRAMEX_OK);
  }
  Bytes config(MPEG4_CONFIG_DATA *conf, int size = 4096) {
    Bytes buf(static_cast<size_t>(size));
    const int n = ExtractConfigStreamMpeg4(ctx_.get(), in_->handle(), buf.data(), size, conf);
    buf.resize(static_cast<size_t>(n));
    return buf;
  }
  Bytes picture(unsigned *type, int size = 4096) {
    Bytes buf(static_cast<size_t>(size));
    const int n = NextFrameMpeg4(ctx_.get(), in_->handle(), buf.data(), size, type);
    buf.resize(static_cast<size_t>(n));
    return buf;
  }

  std::unique_ptr<StreamInput> in_;
  Ctx ctx_;
};

MPEG4_CONFIG_DATA untouched() { return MPEG4_CONFIG_DATA{-7, -9}; }

TEST_P(Mpeg4, HeadersAndFirstPictureThenOnePicturePerCall) {
  const Bytes headers = cat({visual_object_sequence(), visual_object(), video_object(),
                             vol({.width = 352, .height = 288}), user_data()});
  const Bytes i0 = vop(0, 1), p1 = vop(1, 2), b2 = vop(2, 3), p3 = vop(1, 4);
  open(cat({headers, i0, p1, group_of_vop(), b2, p3}));

  MPEG4_CONFIG_DATA conf = untouched();
  EXPECT_EQ(config(&conf), cat({headers, i0}));
  EXPECT_EQ(conf.width, 352);
  EXPECT_EQ(conf.height, 288);

  unsigned type = 99;
  EXPECT_EQ(picture(&type), p1);
  EXPECT_EQ(type, 1u);
  EXPECT_EQ(picture(&type), cat({group_of_vop(), b2}));  // header units go with the picture
  EXPECT_EQ(type, 2u);
  // The last picture has no prefix after it: the extractor ends with -3 and it is dropped.
  EXPECT_TRUE(picture(&type).empty());
}

TEST_P(Mpeg4, StreamStartingWithAPictureGivesThatPictureAlone) {
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

TEST_P(Mpeg4, NonRectangularLayerLeavesTheSizeAlone) {
  open(cat({visual_object_sequence(), vol({.shape = 2, .width = 64, .height = 48}), vop(0, 1), vop(1, 2)}));
  MPEG4_CONFIG_DATA conf = untouched();
  config(&conf);
  EXPECT_EQ(conf.width, -7);
  EXPECT_EQ(conf.height, -9);
}

TEST_P(Mpeg4, LaterLayerHeaderWins) {
  open(cat({vol({.width = 176, .height = 144}), vol({.width = 720, .height = 576, .value = 0x21}),
            vop(0, 1), vop(1, 2)}));
  MPEG4_CONFIG_DATA conf = untouched();
  config(&conf);
  EXPECT_EQ(conf.width, 720);
  EXPECT_EQ(conf.height, 576);
}

TEST_P(Mpeg4, OptionalLayerFieldsAndFixedRateWidthsAreWalked) {
  // The fixed increment takes 15 bits for a resolution of 30000, 4 bits for 16 and at least
  // one bit for 1; a wrong width would shift every field after it.
  const Vol cases[] = {
      {.resolution = 30000, .fixed = true, .increment = 1001, .width = 720, .height = 480},
      {.resolution = 16, .fixed = true, .increment = 9, .width = 320, .height = 240},
      {.resolution = 1, .fixed = true, .increment = 0, .width = 640, .height = 360},
      {.resolution = 2, .fixed = true, .increment = 1, .width = 176, .height = 144},
      {.identifier = true, .aspect = 15, .control = true, .vbv = true, .resolution = 25,
       .width = 1920, .height = 1088},
      {.identifier = true, .aspect = 2, .control = true, .vbv = false, .resolution = 65535,
       .fixed = true, .increment = 40000, .width = 8191, .height = 1},
  };
  for (const Vol &v : cases) {
    open(cat({vol(v), vop(0, 1), vop(1, 2)}));
    MPEG4_CONFIG_DATA conf = untouched();
    config(&conf);
    EXPECT_EQ(conf.width, static_cast<int>(v.width)) << v.resolution;
    EXPECT_EQ(conf.height, static_cast<int>(v.height)) << v.resolution;
  }
}

TEST_P(Mpeg4, LayerHeaderCutShortLeavesTheSizeAlone) {
  Bytes cut = vol({.width = 352, .height = 288});
  cut.resize(9);  // ends inside the width field
  open(cat({cut, vop(0, 1), vop(1, 2)}));
  MPEG4_CONFIG_DATA conf = untouched();
  EXPECT_EQ(config(&conf), cat({cut, vop(0, 1)}));
  EXPECT_EQ(conf.width, -7);
}

TEST_P(Mpeg4, OnlyThirtyUnitsAreExaminedBeforeThePicture) {
  std::vector<Bytes> units(30, user_data());
  units.push_back(vol({.width = 352, .height = 288}));
  units.push_back(vop(0, 1));
  units.push_back(vop(1, 2));
  open(cat(units));
  MPEG4_CONFIG_DATA conf = untouched();
  units.pop_back();
  EXPECT_EQ(config(&conf), cat(units));  // the layer header came with the picture, unread
  EXPECT_EQ(conf.width, -7);
}

TEST_P(Mpeg4, TwentyUnitsWithoutPictureAreReturnedAsTheyAre) {
  std::vector<Bytes> units(25, user_data());
  open(cat({vop(0, 1), cat(units), vop(1, 2)}));
  config(nullptr);
  unsigned type = 99;
  EXPECT_EQ(picture(&type), cat(std::vector<Bytes>(20, user_data())));
  EXPECT_EQ(type, 99u);
}

TEST_P(Mpeg4, BufferTooSmallStopsWithoutAPendingContinuation) {
  const Bytes headers = cat({visual_object_sequence(), vol({.width = 352, .height = 288})});
  open(cat({headers, vop(0, 1), vop(1, 2), vop(1, 3)}));
  MPEG4_CONFIG_DATA conf = untouched();
  // Room for the first header only: the loop stops at the layer header, no picture appended.
  EXPECT_EQ(config(&conf, static_cast<int>(visual_object_sequence().size()) + 4),
            visual_object_sequence());
  EXPECT_EQ(conf.width, -7);
  EXPECT_EQ(ctx_->cont_offset, 0);

  open(cat({vop(0, 1), vop(1, 2), vop(1, 3)}));
  config(nullptr);
  unsigned type = 99;
  EXPECT_TRUE(picture(&type, static_cast<int>(vop(1, 2).size()) + 2).empty());
  EXPECT_EQ(ctx_->cont_offset, 0);
}

INSTANTIATE_TEST_SUITE_P(Inputs, Mpeg4, ::testing::Values(FRAMEX_IN_TYPE_FILE, FRAMEX_IN_TYPE_MEM),
                         [](const auto &info) {
                           return info.param == FRAMEX_IN_TYPE_FILE ? "File" : "Memory";
                         });

TEST(Mpeg4Bits, ReadBitsAcrossBytesAndItsLimit) {
  const unsigned char b[] = {0xA5, 0x3C, 0xFF, 0x01, 0x80};
  int off = 0;
  EXPECT_EQ(read_bits(b, 25, &off), 0xFFFFFFFFu);
  EXPECT_EQ(off, 0);
  EXPECT_EQ(read_bits(b, 0, &off), 0u);
  EXPECT_EQ(off, 0);
  EXPECT_EQ(read_bits(b, 3, &off), 0x5u);  // 101
  EXPECT_EQ(read_bits(b, 8, &off), 0x29u);  // 0 0101 001
  EXPECT_EQ(off, 11);
  off = 7;  // 24 bits from bit 7 span four bytes
  EXPECT_EQ(read_bits(b, 24, &off), 0x9E7F80u);
  EXPECT_EQ(off, 31);
  off = 0;
  EXPECT_EQ(read_bits(b, 24, &off), 0xA53CFFu);
  off = 16;
  EXPECT_EQ(read_bits(b, 8, &off), 0xFFu);
}

TEST(Mpeg4Bits, SignificantBitCounts) {
  const int small[] = {0, 1, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4};
  for (unsigned v = 0; v < 16; ++v) EXPECT_EQ(find_one(v), small[v]) << v;
  EXPECT_EQ(num_bits(0), 0);
  EXPECT_EQ(num_bits(15), 4);
  EXPECT_EQ(num_bits(16), 5);
  EXPECT_EQ(num_bits(29999), 15);
  EXPECT_EQ(num_bits(65535), 16);
  EXPECT_EQ(num_bits(0x80000000u), 32);
}

}  // namespace
