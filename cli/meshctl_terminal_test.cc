// meshctl mesh on a real pseudo-terminal: the elapsed time and element
// count it redraws in place while a long mesh runs, and their absence when
// standard error is a file.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace mesh {
namespace {

namespace fs = std::filesystem;

struct TerminalRun {
  bool exited = false;
  int code = -1;
  std::string terminal;  // everything written to the pseudo-terminal
};

// Runs meshctl with all three standard streams on a new pseudo-terminal,
// except standard error when `error_file` names a file for it.
TerminalRun RunOnTerminal(const std::vector<std::string>& args, const std::string& error_file) {
  std::vector<std::string> argv_text = {MESHCTL_PATH};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);

  TerminalRun run;
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) {
    ADD_FAILURE() << "forkpty: " << strerror(errno);
    return run;
  }
  if (pid == 0) {
    unsetenv("MESHCTL_WORKER");
    if (!error_file.empty()) {
      const int fd = open(error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || dup2(fd, STDERR_FILENO) < 0) _exit(120);
      close(fd);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  // Linux reports the terminal's last writer gone as EIO.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ADD_FAILURE() << "meshctl did not finish";
      kill(pid, SIGKILL);
      break;
    }
    struct pollfd readable = {master, POLLIN, 0};
    if (poll(&readable, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    char buffer[4096];
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n > 0) {
      run.terminal.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
      break;
    }
  }
  close(master);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.exited = WIFEXITED(status);
  run.code = run.exited ? WEXITSTATUS(status) : -1;
  return run;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class MeshctlTerminalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("meshctl_terminal_test_" + std::to_string(getpid()));
    fs::create_directories(dir_);
    // A square of some 40 thousand quads: seconds of meshing, with the
    // mesher's progress lines all along.
    std::ofstream(dir_ / "square.json")
        << R"({"points": [[0,0,0],[1,0,0],[1,1,0],[0,1,0]],
               "segments": [[0,1,1,0],[1,2,1,0],[2,3,1,0],[3,0,1,0]],
               "target_size": 0.005})";
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::vector<std::string> MeshArgs() const {
    return {"mesh", (dir_ / "square.json").string(), "-o", (dir_ / "answer.json").string()};
  }

  fs::path dir_;
};

TEST_F(MeshctlTerminalTest, ALongMeshShowsItsTimeAndElementsInPlaceAndErasesThem) {
  const TerminalRun run = RunOnTerminal(MeshArgs(), "");
  ASSERT_TRUE(run.exited);
  ASSERT_EQ(run.code, 0) << run.terminal;
  EXPECT_NE(run.terminal.find("elements so far"), std::string::npos) << run.terminal;
  // Each drawing replaces the one before on the same line, and the last one
  // is erased before the summary, which is all that stays in view.
  EXPECT_NE(run.terminal.find("\rmeshctl: "), std::string::npos) << run.terminal;
  const size_t summary = run.terminal.find("quads");
  ASSERT_NE(summary, std::string::npos) << run.terminal;
  const size_t last_erase = run.terminal.rfind("\r\033[K");
  ASSERT_NE(last_erase, std::string::npos) << run.terminal;
  EXPECT_LT(last_erase, summary);
  EXPECT_EQ(run.terminal.find("so far", summary), std::string::npos) << run.terminal;
  // The mesher's own lines are read, not shown.
  EXPECT_EQ(run.terminal.find("trials ="), std::string::npos) << run.terminal;
  EXPECT_NE(ReadFile(dir_ / "answer.json").find("quads"), std::string::npos);
}

TEST_F(MeshctlTerminalTest, NothingButTheSummaryWhenStandardErrorIsAFile) {
  const fs::path errors = dir_ / "errors.txt";
  const TerminalRun run = RunOnTerminal(MeshArgs(), errors.string());
  ASSERT_TRUE(run.exited);
  ASSERT_EQ(run.code, 0) << ReadFile(errors);
  const std::string text = ReadFile(errors);
  EXPECT_EQ(text.find("so far"), std::string::npos) << text;
  EXPECT_EQ(text.find('\r'), std::string::npos) << text;
  EXPECT_EQ(text.find('\033'), std::string::npos) << text;
  EXPECT_NE(text.find("quads"), std::string::npos) << text;
  EXPECT_EQ(run.terminal.find("so far"), std::string::npos) << run.terminal;
}

}  // namespace
}  // namespace mesh
