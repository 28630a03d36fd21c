#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <system_error>
#include <thread>

#include "process/fd_writer.hpp"
#include "process/result_writer.hpp"

namespace korvel {
namespace {

// Points standard output at `fd` for the lifetime of the object.
class StdoutRedirect {
 public:
  explicit StdoutRedirect(int fd) : saved_(dup(STDOUT_FILENO)) {
    std::fflush(stdout);
    dup2(fd, STDOUT_FILENO);
  }
  ~StdoutRedirect() {
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }
  StdoutRedirect(const StdoutRedirect&) = delete;
  StdoutRedirect& operator=(const StdoutRedirect&) = delete;

 private:
  int saved_;
};

std::string readAll(int fd) {
  std::string received;
  char chunk[4096];
  for (ssize_t count; (count = read(fd, chunk, sizeof chunk)) != 0;) {
    if (count > 0) {
      received.append(chunk, static_cast<std::size_t>(count));
    } else if (errno != EINTR) {
      break;
    }
  }
  return received;
}

TEST(WriteResult, WholeResultReachesStandardOutput) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const std::string json = R"({"duration_ms":1500})";
  {
    const StdoutRedirect redirect(ends[1]);
    writeResult(std::as_bytes(std::span(json)));
  }
  close(ends[1]);
  EXPECT_EQ(readAll(ends[0]), json);
  close(ends[0]);
}

TEST(WriteResult, ClosedPipeThrowsInsteadOfSucceedingSilently) {
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  int error = 0;
  {
    const StdoutRedirect redirect(ends[1]);
    try {
      const std::byte bytes[] = {std::byte{'x'}};
      writeResult(bytes);
    } catch (const std::system_error& failure) {
      error = failure.code().value();
    }
  }
  close(ends[1]);
  std::signal(SIGPIPE, previous);
  EXPECT_EQ(error, EPIPE);
}

// Signals without SA_RESTART make a blocked pipe write return early, either short or EINTR.
TEST(WriteAll, InterruptedWritesStillDeliverEveryByteInOrder) {
  struct sigaction interrupting {};
  interrupting.sa_handler = [](int) {};
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGUSR1, &interrupting, &previous), 0);

  std::string data(4 << 20, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<char>(i * 7 + i / 251);
  }
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const pthread_t writer = pthread_self();
  std::string received;
  std::thread reader([&] {
    char chunk[1024];
    for (ssize_t count; (count = read(ends[0], chunk, sizeof chunk)) != 0;) {
      if (count > 0) {
        received.append(chunk, static_cast<std::size_t>(count));
      }
      pthread_kill(writer, SIGUSR1);
    }
  });
  const bool written = writeAll(ends[1], data.data(), data.size());
  close(ends[1]);
  reader.join();
  close(ends[0]);
  sigaction(SIGUSR1, &previous, nullptr);

  EXPECT_TRUE(written);
  EXPECT_EQ(received.size(), data.size());
  EXPECT_TRUE(received == data);
}

}  // namespace
}  // namespace korvel
