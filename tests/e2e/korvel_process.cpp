#include "korvel_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

extern char** environ;

namespace korvel::e2e {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kDrainAfterKill{5'000};

[[noreturn]] void throwErrno(const std::string& what, int error) {
  throw std::system_error(error, std::generic_category(), what);
}

class Pipe {
 public:
  Pipe() {
    if (pipe2(fds_.data(), O_CLOEXEC) != 0) {
      throwErrno("pipe2", errno);
    }
  }
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  int readEnd() const { return fds_[0]; }
  int writeEnd() const { return fds_[1]; }
  void closeRead() { closeFd(fds_[0]); }
  void closeWrite() { closeFd(fds_[1]); }

 private:
  static void closeFd(int& fd) {
    if (fd >= 0) {
      ::close(fd);
      fd = -1;
    }
  }
  std::array<int, 2> fds_{-1, -1};
};

// Owns the posix_spawn attribute objects for one launch.
class SpawnSetup {
 public:
  SpawnSetup(const Pipe& out, const Pipe& err, const ProcessOptions& options) {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attributes_);
    posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions_, out.writeEnd(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions_, err.writeEnd(), STDERR_FILENO);
    if (options.workingDirectory) {
      directory_ = options.workingDirectory->string();
      posix_spawn_file_actions_addchdir_np(&actions_, directory_.c_str());
    }
    // Own process group, so a timeout can end the child and anything it started; default
    // signal handling and an empty mask, whatever the test process has set.
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setpgroup(&attributes_, 0);
    posix_spawnattr_setsigdefault(&attributes_, &all);
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setflags(
        &attributes_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  pid_t spawn(const std::vector<std::string>& argv) {
    std::vector<char*> pointers;
    pointers.reserve(argv.size() + 1);
    for (const std::string& entry : argv) {
      pointers.push_back(const_cast<char*>(entry.c_str()));
    }
    pointers.push_back(nullptr);
    pid_t pid = -1;
    const int error =
        posix_spawn(&pid, pointers[0], &actions_, &attributes_, pointers.data(), environ);
    if (error != 0) {
      throwErrno("posix_spawn " + argv[0], error);
    }
    return pid;
  }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
  std::string directory_;
};

// Reads what is available; returns false at end of stream.
bool drain(int fd, std::string& sink) {
  std::array<char, 65536> buffer;
  while (true) {
    const ssize_t count = ::read(fd, buffer.data(), buffer.size());
    if (count > 0) {
      sink.append(buffer.data(), static_cast<std::size_t>(count));
      return true;
    }
    if (count == 0) {
      return false;
    }
    if (errno != EINTR) {
      return false;
    }
  }
}

void recordStatus(int status, ProcessResult& result) {
  if (WIFEXITED(status)) {
    result.exitStatus = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
}

}  // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
  if (argv.empty()) {
    throw std::invalid_argument("runProcess needs argv[0]");
  }
  for (const std::string& entry : argv) {
    if (entry.find('\0') != std::string::npos) {
      throw std::invalid_argument("an argv entry cannot hold a NUL byte");
    }
  }

  Pipe out;
  Pipe err;
  ProcessResult result;
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + options.killAfter;
  pid_t pid = -1;
  {
    SpawnSetup setup(out, err, options);
    pid = setup.spawn(argv);
  }
  out.closeWrite();
  err.closeWrite();

  auto killGroup = [&] {
    if (!result.killedByHarness) {
      result.killedByHarness = true;
      ::kill(-pid, SIGKILL);
    }
  };

  std::array<pollfd, 2> fds{pollfd{out.readEnd(), POLLIN, 0}, pollfd{err.readEnd(), POLLIN, 0}};
  std::array<std::string*, 2> sinks{&result.out, &result.err};
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      killGroup();
    }
    // After the kill, keep reading a little while, since the group's write ends close with it;
    // a descendant that left the group must not hold the harness forever.
    if (left <= -kDrainAfterKill) {
      break;
    }
    const int timeout = result.killedByHarness ? 100 : static_cast<int>(left.count()) + 1;
    const int ready = ::poll(fds.data(), fds.size(), timeout);
    if (ready < 0 && errno != EINTR) {
      killGroup();
      break;
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        if (!drain(fds[i].fd, *sinks[i])) {
          fds[i].fd = -1;
        }
      }
    }
  }

  // The child may outlive its output streams.
  int status = 0;
  rusage usage{};
  while (true) {
    const pid_t done = ::wait4(pid, &status, result.killedByHarness ? 0 : WNOHANG, &usage);
    if (done == pid) {
      break;
    }
    if (done < 0 && errno != EINTR) {
      throwErrno("waitpid", errno);
    }
    if (done == 0) {
      if (Clock::now() >= deadline) {
        killGroup();
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
  }
  result.wallTime = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  recordStatus(status, result);
  result.maxRssKb = usage.ru_maxrss;
  const auto milliseconds = [](const timeval& time) {
    return std::chrono::milliseconds(time.tv_sec * 1000 + time.tv_usec / 1000);
  };
  result.cpuTime = milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime);
  return result;
}

ProcessResult runKorvel(const std::vector<std::string>& arguments, const ProcessOptions& options) {
  return runKorvelUnder({}, arguments, options);
}

ProcessResult runKorvelUnder(const std::vector<std::string>& prefix,
                             const std::vector<std::string>& arguments,
                             const ProcessOptions& options) {
  std::vector<std::string> argv = prefix;
  argv.push_back(korvelBinary().string());
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return runProcess(argv, options);
}

std::string base64Encode(std::string_view bytes) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string encoded;
  encoded.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const auto group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]) << 16 |
                                                  static_cast<unsigned char>(bytes[i + 1]) << 8 |
                                                  static_cast<unsigned char>(bytes[i + 2]));
    encoded += kAlphabet[group >> 18 & 63];
    encoded += kAlphabet[group >> 12 & 63];
    encoded += kAlphabet[group >> 6 & 63];
    encoded += kAlphabet[group & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]) << 16);
    if (rest == 2) {
      group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    encoded += kAlphabet[group >> 18 & 63];
    encoded += kAlphabet[group >> 12 & 63];
    encoded += rest == 2 ? kAlphabet[group >> 6 & 63] : '=';
    encoded += '=';
  }
  return encoded;
}

std::string encodePath(const std::filesystem::path& path) {
  return base64Encode(path.native());
}

std::filesystem::path korvelBinary() {
  return KORVEL_BINARY;
}

std::filesystem::path fixturePath(std::string_view name) {
  return std::filesystem::path(KORVEL_FIXTURES) / name;
}

std::filesystem::path sharedMediaDirectory() {
  return std::filesystem::path(KORVEL_SHARED_MEDIA).lexically_normal();
}

std::string printableBytes(std::string_view bytes, std::size_t limit) {
  std::string text = "\"";
  for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte == '\n') {
      text += "\\n";
    } else if (byte == '"' || byte == '\\') {
      text += '\\';
      text += static_cast<char>(byte);
    } else if (byte >= 0x20 && byte < 0x7f) {
      text += static_cast<char>(byte);
    } else {
      std::array<char, 5> escaped{};
      std::snprintf(escaped.data(), escaped.size(), "\\x%02x", byte);
      text += escaped.data();
    }
  }
  text += '"';
  if (bytes.size() > limit) {
    text += "... (" + std::to_string(bytes.size()) + " bytes)";
  }
  return text;
}

std::string describe(const ProcessResult& result) {
  std::string text;
  if (result.exitStatus) {
    text += "exit status " + std::to_string(*result.exitStatus);
  } else if (result.signal) {
    text += "signal " + std::to_string(*result.signal) + " (" + strsignal(*result.signal) + ")";
  } else {
    text += "unknown end";
  }
  if (result.killedByHarness) {
    text += ", killed by the harness";
  }
  text += ", " + std::to_string(result.wallTime.count()) + " ms";
  text += ", stdout " + printableBytes(result.out) + ", stderr " + printableBytes(result.err);
  return text;
}

TemporaryDirectory::TemporaryDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "korvel-e2e-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throwErrno("mkdtemp", errno);
  }
  path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

static std::optional<std::filesystem::path> findInPath(std::string_view program) {
  const char* path = std::getenv("PATH");
  std::istringstream directories(path != nullptr ? path : "/usr/bin:/bin");
  std::string directory;
  while (std::getline(directories, directory, ':')) {
    const std::filesystem::path candidate = std::filesystem::path(directory) / program;
    if (::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return std::nullopt;
}

std::optional<std::filesystem::path> usableStrace() {
  static const std::optional<std::filesystem::path> strace =
      []() -> std::optional<std::filesystem::path> {
    const auto found = findInPath("strace");
    if (!found || runProcess({found->string(), "-o", "/dev/null", "/bin/true"}).exitStatus != 0) {
      return std::nullopt;
    }
    return found;
  }();
  return strace;
}

}  // namespace korvel::e2e
