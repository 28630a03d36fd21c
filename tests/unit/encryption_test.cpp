#include "ffmpeg/encryption.hpp"

#include <gtest/gtest.h>

#include <memory>

namespace korvel {
namespace {

// The end-to-end fixture covers MP4's per-sample marks; these are the stream-wide marks that
// FFmpeg exposes for other files: an MP4 with pssh and an encrypted Matroska track.
class StreamEncryptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(format_);
    stream_ = avformat_new_stream(format_.get(), nullptr);
    ASSERT_NE(stream_, nullptr);
  }

  struct FormatDeleter {
    void operator()(AVFormatContext* format) const { avformat_free_context(format); }
  };
  std::unique_ptr<AVFormatContext, FormatDeleter> format_{avformat_alloc_context()};
  AVStream* stream_ = nullptr;
};

TEST_F(StreamEncryptionTest, PlainStreamIsNotEncrypted) {
  EXPECT_FALSE(isEncrypted(*stream_));
}

TEST_F(StreamEncryptionTest, ProtectionSystemDataMarksEncryption) {
  auto* data = static_cast<std::uint8_t*>(av_malloc(16));
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(av_stream_add_side_data(stream_, AV_PKT_DATA_ENCRYPTION_INIT_INFO, data, 16), 0);
  EXPECT_TRUE(isEncrypted(*stream_));
}

TEST_F(StreamEncryptionTest, MatroskaKeyIdMarksEncryption) {
  ASSERT_GE(av_dict_set(&stream_->metadata, "enc_key_id", "ASNFZ4mrze8BI0VniavN7w==", 0), 0);
  EXPECT_TRUE(isEncrypted(*stream_));
}

}  // namespace
}  // namespace korvel
