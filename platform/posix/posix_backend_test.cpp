// The POSIX backend's own behaviour beyond the shared contract: the console
// pause on a pipe, messages on standard error, the user's folders, files
// replaced whole only where that is safe, and the file-backed registry.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "tests/support/env.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;

// On a pipe the pause prints its prompt and waits for one byte (for the end
// of the input too, which the console end-to-end tests cover).
TEST(PosixConsole, PauseOnAPipeWaitsForAByte) {
  const std::string prompt = "Press any key to continue . . . ";
  int in[2], out[2];
  ASSERT_TRUE(::pipe(in) == 0 && ::pipe(out) == 0);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(5);  // SIGALRM ends a child that never returns
    ::dup2(in[0], STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    pause_console();
    ::_exit(0);
  }
  ::close(out[1]);
  std::string output;  // the prompt, before the pause can be seen to wait
  char buffer[64];
  for (ssize_t got; output.size() < prompt.size() && (got = ::read(out[0], buffer, 64)) > 0;)
    output.append(buffer, static_cast<size_t>(got));
  sleep_ms(100);
  int status = 0;
  EXPECT_EQ(::waitpid(pid, &status, WNOHANG), 0) << "the pause did not wait";
  EXPECT_EQ(::write(in[1], "x", 1), 1);
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "no return within 5 s";
  for (int fd : {in[0], in[1], out[0]}) ::close(fd);
}

TEST(PosixMessages, WithoutAHookOneLineGoesToStandardError) {
  TempDir dir;
  std::fflush(stderr);
  const int saved = ::dup(STDERR_FILENO);
  const int fd = ::open(dir.file("stderr.txt").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_TRUE(saved >= 0 && fd >= 0 && ::dup2(fd, STDERR_FILENO) >= 0);
  message_box(nullptr, "A Window Class cannot be registered !\r\n", "Lorvane", MessageIcon::error);
  message_box(nullptr, "plain text", "Lorvane", MessageIcon::information);
  std::fflush(stderr);
  ::dup2(saved, STDERR_FILENO);
  for (int f : {fd, saved}) ::close(f);
  EXPECT_EQ(TempDir::read(dir.file("stderr.txt")),
            "Lorvane: A Window Class cannot be registered !\nLorvane: plain text\n");
}

// Without the variable (which the console's end-to-end tests set), the
// desktop is the user-dirs file's as xdg-user-dir reads it, else ~/Desktop.
TEST(PosixFolders, TheDesktopFollowsTheUsersSettings) {
  TempDir home;
  ScopedEnv home_env("HOME", home.path()), config("XDG_CONFIG_HOME", "");
  ScopedEnv unset("XDG_DESKTOP_DIR", "");
  EXPECT_EQ(desktop_folder(), home.path() + "/Desktop");
  home.write(".config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
  const bool tool = std::system("command -v xdg-user-dir >/dev/null 2>&1") == 0;
  EXPECT_EQ(desktop_folder(), home.path() + (tool ? "/Schreibtisch" : "/Desktop"));
}

// Replacing a file whole must not turn a link into a copy or rename over
// something that is not a file: a bookmark file kept behind a link stays
// linked, and a pipe of that name is left alone.
TEST(PosixReplace, FollowsLinksAndReplacesOnlyFiles) {
  TempDir dir;
  const std::string real = dir.write("real.html", "old"), link = dir.file("link.html");
  const std::string pipe = dir.file("pipe.html"), temp = dir.write("other.tmp", "x");
  ASSERT_TRUE(::symlink(real.c_str(), link.c_str()) == 0 && ::mkfifo(pipe.c_str(), 0600) == 0);
  EXPECT_TRUE(replace_file(dir.write("new.tmp", "new"), link));
  EXPECT_EQ(TempDir::read(real), "new");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_FALSE(replace_file(temp, pipe));
  EXPECT_TRUE(fs::is_fifo(pipe));
  EXPECT_EQ(TempDir::read(temp), "x");
}

// A profile that exists but cannot be read is never replaced by one holding
// only the new key. Root reads every file, so the write runs in a child that
// has become "nobody".
TEST(PosixProfile, UnreadableFileIsNotReplaced) {
  TempDir dir;
  const std::string before = "[Locked]\r\nk=1\r\nother=2\r\n";
  const std::string ini = dir.write("locked.ini", before);
  ASSERT_EQ(::chmod(ini.c_str(), 0) | ::chmod(dir.path().c_str(), 0777), 0);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    ::_exit(::access(ini.c_str(), R_OK) == 0 ? 3 : profile_write(ini, "Locked", "k", "9") ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the write succeeded; 3: the file stayed readable";
  ASSERT_EQ(::chmod(ini.c_str(), 0600), 0);
  EXPECT_EQ(TempDir::read(ini), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// The store lives where the environment says, in a file only its user
// reads, and a key deleted in another case leaves with its subkeys only.
TEST(PosixRegistry, StoreLocationFormatAndDeletion) {
  TempDir dir, config, home;
  const RegistryRoot user = RegistryRoot::current_user;
  const std::string key = "Software\\LvnPosix", data = "  C:\\Program Files\\Lorvane  ";
  std::string out;
  {
    ScopedEnv env("LORVANE_REGISTRY_DIR", dir.file("deep/store"));
    const std::string file = dir.file("deep/store/registry.ini");
    ASSERT_TRUE(registry_write_string(user, key, "Install Dir", data));
    EXPECT_EQ(TempDir::read(file),
              "[HKCU\\Software\\LvnPosix]\r\nInstall Dir=\"  C:\\Program Files\\Lorvane  \"\r\n");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(registry_read_string(user, key, "install dir", out) && out == data);
    EXPECT_FALSE(registry_read_string(RegistryRoot::local_machine, key, "Install Dir", out));
    ASSERT_TRUE(registry_write_string(user, key + "\\Sub", "b", "2"));
    // A key that begins the same way is no subkey.
    ASSERT_TRUE(registry_write_string(user, key + "Sibling", "keep", "with spaces inside"));
    EXPECT_TRUE(registry_key_opens(user, "software"));  // a key on the way down
    ASSERT_TRUE(registry_delete_key(user, "software\\lvnposix"));
    EXPECT_EQ(TempDir::read(file),
              "[HKCU\\Software\\LvnPosixSibling]\r\nkeep=\"with spaces inside\"\r\n");
  }
  // Without the variable: $XDG_CONFIG_HOME/lorvane, else ~/.config/lorvane.
  ScopedEnv no_dir("LORVANE_REGISTRY_DIR", ""), home_env("HOME", home.path());
  for (const std::string& where : {config.path(), std::string()}) {
    ScopedEnv xdg("XDG_CONFIG_HOME", where);
    EXPECT_FALSE(registry_read_string(user, key, "v", out));
    ASSERT_TRUE(registry_write_string(user, key, "v", "1"));
    EXPECT_TRUE(fs::is_regular_file((where.empty() ? home.file(".config") : where) +
                                    "/lorvane/registry.ini"));
  }
}

}  // namespace
