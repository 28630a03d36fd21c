#pragma once

// Runs the built korvel binary (or any program) as a child process for end-to-end tests.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::e2e {

// The one line every failing run writes to stderr.
inline constexpr std::string_view kFailureLine =
    "Video format cannot be decoded by this operating system.\n";

struct ProcessOptions {
  // Past this the whole process group is killed; longer than korvel's own 30 s watchdog so
  // that the watchdog is what a test observes.
  std::chrono::milliseconds killAfter{40'000};
  std::optional<std::filesystem::path> workingDirectory;
};

struct ProcessResult {
  std::string out;
  std::string err;
  std::optional<int> exitStatus;  // set when the process exited
  std::optional<int> signal;      // set when a signal ended it
  bool killedByHarness = false;   // killAfter elapsed
  std::chrono::milliseconds wallTime{0};
  long maxRssKb = 0;  // peak resident memory of the child or of a descendant it waited for
  std::chrono::milliseconds cpuTime{0};  // user and system time of the child
};

// Runs argv (argv[0] is the program path; entries may hold any bytes except NUL) with
// stdin on /dev/null, capturing both output streams in full. Throws std::runtime_error only
// when the process cannot be started.
ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// Runs the korvel binary under test; `arguments` excludes argv[0].
ProcessResult runKorvel(const std::vector<std::string>& arguments,
                        const ProcessOptions& options = {});

// The argv entries of `prefix`, then korvel and its arguments (e.g. to run under strace).
ProcessResult runKorvelUnder(const std::vector<std::string>& prefix,
                             const std::vector<std::string>& arguments,
                             const ProcessOptions& options = {});

// Standard alphabet with padding, no line breaks.
std::string base64Encode(std::string_view bytes);

// The path argument korvel expects for `path`.
std::string encodePath(const std::filesystem::path& path);

// strace, where it is installed and allowed to trace (some sandboxes forbid ptrace).
std::optional<std::filesystem::path> usableStrace();

std::filesystem::path korvelBinary();
std::filesystem::path fixturePath(std::string_view name);
std::filesystem::path sharedMediaDirectory();

// A readable, bounded rendering of arbitrary bytes for failure messages.
std::string printableBytes(std::string_view bytes, std::size_t limit = 400);

// Status, signal, time and both streams in one line, for failure messages.
std::string describe(const ProcessResult& result);

// A fresh directory under the system temporary directory, removed on destruction.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace korvel::e2e
