// The argument contract: counts, strict Base64 paths, what may be opened, command words.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "korvel_expect.hpp"
#include "korvel_process.hpp"

namespace korvel::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::string_view kGoodFixture = "info_1500ms.mp4";
constexpr std::int64_t kGoodMs = 1500;

std::string goodPath() {
  return encodePath(fixturePath(kGoodFixture));
}

// --- argument counts --------------------------------------------------------------------------

struct ArgvCase {
  std::string name;
  std::vector<std::string> arguments;
};

void PrintTo(const ArgvCase& argvCase, std::ostream* out) {
  *out << argvCase.name;
}

class TooFewArguments : public ::testing::TestWithParam<ArgvCase> {};

TEST_P(TooFewArguments, Fail) {
  expectFailure(runKorvel(GetParam().arguments));
}

INSTANTIATE_TEST_SUITE_P(ArgumentCount, TooFewArguments,
                         ::testing::Values(ArgvCase{"ProgramOnly", {}},
                                           ArgvCase{"InfoWithoutPath", {"info"}},
                                           ArgvCase{"FrameWithoutPath", {"frame"}},
                                           ArgvCase{"PathWithoutCommand", {goodPath()}}),
                         [](const auto& info) { return info.param.name; });

// --- strict Base64 ----------------------------------------------------------------------------

// A copy of the good fixture whose standard encoding holds '+', '/' and padding, so that a
// lenient decoder (URL-safe alphabet, missing padding, ...) would still find the file.
class Base64Path : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int prefix = 0; prefix < 6 && encoded_.empty(); ++prefix) {
      const fs::path candidate = directory_.path() / (std::string(prefix, 'k') + "~~~???.mp4");
      const std::string encoding = encodePath(candidate);
      if (encoding.find('+') != std::string::npos && encoding.find('/') != std::string::npos &&
          encoding.ends_with('=')) {
        fs::copy_file(fixturePath(kGoodFixture), candidate);
        path_ = candidate;
        encoded_ = encoding;
      }
    }
    ASSERT_FALSE(encoded_.empty()) << "no file name gives the wanted encoding";
  }

  TemporaryDirectory directory_;
  fs::path path_;
  std::string encoded_;
};

TEST_F(Base64Path, StandardEncodingIsAccepted) {
  expectJson(runKorvel({"info", encoded_}), kGoodMs);
}

struct Mangling {
  std::string name;
  std::function<std::string(const std::string& encoded, const fs::path& path)> apply;
};

void PrintTo(const Mangling& mangling, std::ostream* out) {
  *out << mangling.name;
}

class MangledBase64 : public Base64Path, public ::testing::WithParamInterface<Mangling> {};

TEST_P(MangledBase64, Fails) {
  const std::string argument = GetParam().apply(encoded_, path_);
  ASSERT_NE(argument, encoded_);
  expectFailure(runKorvel({"info", argument}));
}

std::string insertAt(const std::string& text, std::size_t at, std::string_view what) {
  std::string result(text, 0, at);
  result.append(what);
  result.append(text, at);
  return result;
}

std::string replaceAt(std::string text, std::size_t at, char with) {
  text.at(at) = with;
  return text;
}

std::string replaceAll(std::string text, char from, char to) {
  std::replace(text.begin(), text.end(), from, to);
  return text;
}

std::string withoutPadding(std::string text) {
  text.erase(text.find_last_not_of('=') + 1);
  return text;
}

// Each part padded on its own: a decoder that accepts '=' mid-string yields the whole path.
std::string concatenatedEncodings(const fs::path& path) {
  const std::string& bytes = path.native();
  return base64Encode(bytes.substr(0, 5)) + base64Encode(bytes.substr(5));
}

INSTANTIATE_TEST_SUITE_P(
    StrictBase64, MangledBase64,
    ::testing::Values(
        Mangling{"SpaceInside", [](auto& e, auto&) { return insertAt(e, 8, " "); }},
        Mangling{"TabInside", [](auto& e, auto&) { return insertAt(e, 8, "\t"); }},
        Mangling{"LineBreakInside", [](auto& e, auto&) { return insertAt(e, 8, "\n"); }},
        Mangling{"TrailingNewline", [](auto& e, auto&) { return e + "\n"; }},
        Mangling{"TrailingCarriageReturnLineFeed", [](auto& e, auto&) { return e + "\r\n"; }},
        Mangling{"LeadingSpace", [](auto& e, auto&) { return " " + e; }},
        Mangling{"UrlSafeAlphabet",
                 [](auto& e, auto&) { return replaceAll(replaceAll(e, '+', '-'), '/', '_'); }},
        Mangling{"UrlSafeAlphabetWithoutPadding",
                 [](auto& e, auto&) {
                   return withoutPadding(replaceAll(replaceAll(e, '+', '-'), '/', '_'));
                 }},
        Mangling{"MissingPadding", [](auto& e, auto&) { return withoutPadding(e); }},
        Mangling{"OnePaddingCharacterShort",
                 [](auto& e, auto&) { return e.substr(0, e.size() - 1); }},
        Mangling{"ExtraPaddingCharacter", [](auto& e, auto&) { return e + "="; }},
        Mangling{"ExtraPaddingQuartet", [](auto& e, auto&) { return e + "===="; }},
        Mangling{"PaddingBetweenEncodings",
                 [](auto&, auto& path) { return concatenatedEncodings(path); }},
        Mangling{"PaddingReplacingACharacter", [](auto& e, auto&) { return replaceAt(e, 8, '='); }},
        Mangling{"ForeignCharacter", [](auto& e, auto&) { return replaceAt(e, 8, '*'); }},
        Mangling{"NonAsciiInside", [](auto& e, auto&) { return insertAt(e, 8, "\xc3\xa9"); }},
        Mangling{"Empty", [](auto&, auto&) { return std::string(); }}),
    [](const auto& info) { return info.param.name; });

// --- the decoded path -------------------------------------------------------------------------

// A C-string open of these would reach the good file.
class ZeroByteInPath : public ::testing::TestWithParam<std::string> {};

TEST_P(ZeroByteInPath, Fails) {
  const std::string good = fixturePath(kGoodFixture).native();
  const std::string bytes = good + std::string(1, '\0') + GetParam();
  expectFailure(runKorvel({"info", base64Encode(bytes)}));
}

INSTANTIATE_TEST_SUITE_P(DecodedPath, ZeroByteInPath, ::testing::Values("", "x", ".mp4"),
                         [](const auto& info) { return "Suffix" + parameterName(info.param); });

TEST(DecodedPath, MissingFileFails) {
  expectFailure(runKorvel({"info", encodePath(fixturePath("no_such_file.mp4"))}));
}

TEST(DecodedPath, RegularFileWithTrailingSlashFails) {
  expectFailure(runKorvel({"info", base64Encode(fixturePath(kGoodFixture).native() + "/")}));
}

TEST(DecodedPath, EmptyFileFails) {
  const TemporaryDirectory directory;
  const fs::path empty = directory.path() / "empty.mp4";
  fs::copy_file(fixturePath(kGoodFixture), empty);
  fs::resize_file(empty, 0);
  expectFailure(runKorvel({"info", encodePath(empty)}));
}

// --- only regular files, and at once ----------------------------------------------------------

constexpr auto kAtOnce = 5000ms;

void expectQuickFailure(const fs::path& path) {
  ProcessOptions options;
  options.killAfter = 15s;
  for (const char* command : {"info", "frame"}) {
    SCOPED_TRACE(std::string(command) + " " + path.string());
    std::vector<std::string> arguments{command, encodePath(path)};
    if (std::string_view(command) == "frame") {
      arguments.insert(arguments.end(), {"0.5", "128"});
    }
    const ProcessResult result = runKorvel(arguments, options);
    expectFailure(result);
    EXPECT_LT(result.wallTime, kAtOnce) << describe(result);
  }
}

TEST(NotARegularFile, DirectoryFails) {
  expectQuickFailure(fixturePath(""));
}

TEST(NotARegularFile, RootDirectoryFails) {
  expectQuickFailure("/");
}

TEST(NotARegularFile, FifoWithoutWriterFailsAtOnce) {
  const TemporaryDirectory directory;
  const fs::path fifo = directory.path() / "stream.mp4";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
  expectQuickFailure(fifo);
}

TEST(NotARegularFile, UnixSocketFails) {
  const TemporaryDirectory directory;
  const fs::path socketPath = directory.path() / "socket.mp4";
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  const std::unique_ptr<const int, void (*)(const int*)> closer(&fd,
                                                                [](const int* f) { ::close(*f); });
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.native().size(), sizeof(address.sun_path));
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.native().size());
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(::listen(fd, 1), 0);
  expectQuickFailure(socketPath);
}

// Endless or empty character devices.
class CharacterDevice : public ::testing::TestWithParam<std::string> {};

TEST_P(CharacterDevice, FailsAtOnce) {
  if (!fs::is_character_file(GetParam())) {
    GTEST_SKIP() << GetParam() << " is not a character device here";
  }
  expectQuickFailure(GetParam());
}

INSTANTIATE_TEST_SUITE_P(NotARegularFile, CharacterDevice,
                         ::testing::Values("/dev/null", "/dev/zero", "/dev/urandom"),
                         [](const auto& info) { return parameterName(info.param); });

// --- command words ----------------------------------------------------------------------------

TEST(InfoArguments, ExtraEntriesAreIgnored) {
  const std::string path = goodPath();
  expectJson(runKorvel({"info", path, "x"}), kGoodMs);
  expectJson(runKorvel({"info", path, "0.5", "128", "extra"}), kGoodMs);
  expectJson(runKorvel({"info", path, "", "not base64!"}), kGoodMs);
}

TEST(FrameArguments, WrongCountsFail) {
  const std::string path = goodPath();
  expectFailure(runKorvel({"frame", path}));
  expectFailure(runKorvel({"frame", path, "0.5"}));
  expectFailure(runKorvel({"frame", path, "0.5", "128", "x"}));
}

// Files that open and reach the command word (or stop before it) must fail alike.
class UnknownCommandWord
    : public ::testing::TestWithParam<std::tuple<std::string, std::string_view>> {};

TEST_P(UnknownCommandWord, Fails) {
  const auto& [word, fixture] = GetParam();
  expectFailure(runKorvel({word, encodePath(fixturePath(fixture))}));
  expectFailure(runKorvel({word, encodePath(fixturePath(fixture)), "0.5", "128"}));
}

INSTANTIATE_TEST_SUITE_P(
    CommandWord, UnknownCommandWord,
    ::testing::Combine(::testing::Values("Info", "INFO", "infos", "inf", "info ", " info", "info\n",
                                         "", "Frame", "FRAME", "frames", "thumbnail"),
                       ::testing::Values(kGoodFixture, "zero_duration.mp4", "not_media.txt")),
    [](const auto& info) {
      return "Word" + parameterName(std::get<0>(info.param)) + "_On_" +
             parameterName(std::get<1>(info.param));
    });

}  // namespace
}  // namespace korvel::e2e
