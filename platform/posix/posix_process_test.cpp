// The POSIX backend's process side: the console pause on a pipe, message
// lines on standard error, the user's folders and the executable's path.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/platform.h"
#include "tests/support/env.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

const std::string kPrompt = "Press any key to continue . . . ";

// Reads from fd until `want` bytes are there or the stream ends.
void read_until(int fd, std::string& out, size_t want) {
  char buffer[256];
  ssize_t got;
  while (out.size() < want && (got = ::read(fd, buffer, sizeof buffer)) > 0)
    out.append(buffer, static_cast<size_t>(got));
}

struct PauseRun {
  std::string output;     // all output; the prompt must be there before any input
  bool waited = false;    // still running 100 ms after the prompt
  bool finished = false;  // returned, rather than killed after 5 s
};

// Runs pause_console in a child whose stdin and stdout are pipes; after the
// prompt, `input` is written and stdin closed.
PauseRun run_pause(const std::string& input) {
  PauseRun run;
  int in[2], out[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0) return run;
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(5);  // the bound: SIGALRM kills a child that never returns
    ::dup2(in[0], STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
    platform::pause_console();
    ::_exit(0);
  }
  ::close(in[0]);
  ::close(out[1]);
  read_until(out[0], run.output, kPrompt.size());
  platform::sleep_ms(100);
  int status = 0;
  run.waited = ::waitpid(pid, &status, WNOHANG) == 0;
  // A child that already ended must not kill the test with SIGPIPE.
  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &old);
  if (run.waited && !input.empty()) (void)!::write(in[1], input.data(), input.size());
  ::close(in[1]);
  ::sigaction(SIGPIPE, &old, nullptr);
  read_until(out[0], run.output, static_cast<size_t>(-1));
  ::close(out[0]);
  if (run.waited) ::waitpid(pid, &status, 0);
  run.finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

// On a pipe the pause waits for one byte, or for the end of the input.
TEST(PosixConsole, PauseOnAPipeWaitsForAByteOrTheEnd) {
  for (const std::string input : {"x", ""}) {
    const PauseRun run = run_pause(input);
    EXPECT_TRUE(run.waited) << '"' << input << '"';
    EXPECT_EQ(run.output, kPrompt + "\r\n");
    EXPECT_TRUE(run.finished) << "pause_console did not return within 5 s";
  }
}

TEST(PosixMessages, WithoutAHookOneLineGoesToStandardError) {
  TempDir dir;
  const std::string captured = dir.file("stderr.txt");
  platform::set_message_hook(nullptr);
  std::fflush(stderr);
  const int saved = ::dup(STDERR_FILENO);
  const int fd = ::open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(saved, 0);
  ASSERT_GE(fd, 0);
  ::dup2(fd, STDERR_FILENO);
  ::close(fd);
  platform::message_box(nullptr, "A Window Class cannot be registered !\r\n", "Lorvane",
                        platform::MessageIcon::error);
  platform::message_box(nullptr, "plain text", "Lorvane", platform::MessageIcon::information);
  std::fflush(stderr);
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  EXPECT_EQ(TempDir::read(captured),
            "Lorvane: A Window Class cannot be registered !\nLorvane: plain text\n");
}

// ---------------------------------------------------------------------------

TEST(PosixFolders, DesktopFirefoxAndThisExecutable) {
  TempDir home;
  ScopedEnv home_env("HOME", home.path());
  ScopedEnv config("XDG_CONFIG_HOME", "");
  EXPECT_EQ(platform::firefox_profiles_folder(), home.path() + "/.mozilla/firefox");
  EXPECT_EQ(platform::module_path(), fs::canonical("/proc/self/exe").string());
  {
    ScopedEnv unset("XDG_DESKTOP_DIR", "");
    EXPECT_EQ(platform::desktop_folder(), home.path() + "/Desktop");
    // A configured desktop counts when xdg-user-dir is there to read it.
    home.write(".config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    const bool tool = std::system("command -v xdg-user-dir >/dev/null 2>&1") == 0;
    EXPECT_EQ(platform::desktop_folder(), home.path() + (tool ? "/Schreibtisch" : "/Desktop"));
  }
  // The variable wins over the configuration file.
  ScopedEnv desktop("XDG_DESKTOP_DIR", "/srv/lvn desk");
  EXPECT_EQ(platform::desktop_folder(), "/srv/lvn desk");
}

}  // namespace

// Replacing a file whole must not turn a link into a copy or rename over
// something that is not a file: a bookmark file kept behind a link stays
// linked, and a pipe of that name (or, as root, a device) is left alone.
TEST(PosixReplace, FollowsLinksAndReplacesOnlyFiles) {
  TempDir dir;
  const std::string real = dir.write("real.html", "old");
  const std::string link = dir.file("link.html");
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  EXPECT_TRUE(platform::replace_file(dir.write("new.tmp", "new"), link));
  EXPECT_EQ(TempDir::read(real), "new");
  EXPECT_TRUE(std::filesystem::is_symlink(link));

  const std::string pipe = dir.file("pipe.html");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const std::string temp = dir.write("other.tmp", "x");
  EXPECT_FALSE(platform::replace_file(temp, pipe));
  EXPECT_TRUE(std::filesystem::is_fifo(pipe));
  EXPECT_EQ(TempDir::read(temp), "x");
}
