#include "ffmpeg/decode/clean_pictures.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvel {
namespace {

struct Picture {
  bool key = false;
  AVPictureType type = AV_PICTURE_TYPE_P;
  bool corrupt = false;
  bool damaged = false;
};

struct CleanCase {
  std::string name;
  bool marksRecovery;  // H.264
  std::vector<Picture> pictures;
  std::vector<bool> clean;
};

constexpr Picture kKey{true, AV_PICTURE_TYPE_I};
constexpr Picture kIntra{false, AV_PICTURE_TYPE_I};
constexpr Picture kPredicted{};
constexpr Picture kCorrupt{false, AV_PICTURE_TYPE_P, true};
constexpr Picture kDamaged{false, AV_PICTURE_TYPE_P, false, true};
constexpr Picture kDamagedKey{true, AV_PICTURE_TYPE_I, false, true};

TEST(CleanPictures, OnlyTheDecodersWordStartsThem) {
  const std::vector<CleanCase> cases = {
      {"PredictedFirstNeverCleanWithoutRecoveryMarks",
       false,
       {kPredicted, kPredicted, kKey, kPredicted},
       {false, false, true, true}},
      {"IntraPictureStarts", false, {kPredicted, kIntra, kPredicted}, {false, true, true}},
      {"H264RecoveredFromTheStart", true, {kPredicted, kPredicted}, {true, true}},
      {"H264CorruptUntilItsRecoveryPoint",
       true,
       {kCorrupt, kCorrupt, kPredicted},
       {false, false, true}},
      {"DamageEndsThemUntilAKeyFrame",
       false,
       {kKey, kDamaged, kPredicted, kKey, kPredicted},
       {true, false, false, true, true}},
      {"DamagedKeyFrameIsNoStart", false, {kDamagedKey, kPredicted, kKey}, {false, false, true}},
      {"H264AfterDamageStillCountsItselfRecovered",
       true,
       {kKey, kDamaged, kPredicted, kIntra},
       {true, false, false, true}},
      {"H264AfterDamageANewRecoveryPoint",
       true,
       {kKey, kDamaged, kCorrupt, kPredicted},
       {true, false, false, true}},
  };
  for (const CleanCase& c : cases) {
    CleanPictures pictures(c.marksRecovery);
    std::vector<bool> clean;
    for (const Picture& picture : c.pictures) {
      const FramePtr frame = allocateFrame();
      frame->key_frame = picture.key ? 1 : 0;
      frame->pict_type = picture.type;
      frame->flags = picture.corrupt ? AV_FRAME_FLAG_CORRUPT : 0;
      frame->decode_error_flags = picture.damaged ? FF_DECODE_ERROR_CONCEALMENT_ACTIVE : 0;
      clean.push_back(pictures.isClean(*frame));
    }
    EXPECT_EQ(clean, c.clean) << c.name;
  }
}

TEST(CleanPictures, AFlushStartsOver) {
  CleanPictures pictures(true);
  const FramePtr frame = allocateFrame();
  frame->key_frame = 0;
  frame->pict_type = AV_PICTURE_TYPE_P;
  frame->flags = AV_FRAME_FLAG_CORRUPT;
  EXPECT_FALSE(pictures.isClean(*frame));
  frame->flags = 0;
  EXPECT_TRUE(pictures.isClean(*frame));
  pictures.restart();
  EXPECT_FALSE(pictures.begun());
  frame->flags = AV_FRAME_FLAG_CORRUPT;
  EXPECT_FALSE(pictures.isClean(*frame));
}

}  // namespace
}  // namespace korvel
