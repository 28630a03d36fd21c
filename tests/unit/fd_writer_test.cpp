#include "process/fd_writer.hpp"

#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <thread>

namespace korvel {
namespace {

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
  EXPECT_TRUE(received == data);
}

}  // namespace
}  // namespace korvel
