// The real program started with each role's switch: exit codes, the working
// directory, and the files start-up leaves behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

// Copies the program into a folder of its own, since start-up works in the
// executable's directory.
std::string install_copy(const TempDir& dir) {
  const std::string exe = dir.file(fs::path(LVN_EXE).filename().string());
  fs::copy_file(LVN_EXE, exe, fs::copy_options::overwrite_existing);
  return exe;
}

int run(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(StartupE2E, RolesExitCodesAndWorkingDirectory) {
  TempDir home;
  TempDir dir;
  const std::string exe = install_copy(dir);
  const std::string env = "HOME='" + home.path() + "' LORVANE_REGISTRY_DIR='" + home.path() +
                          "' XDG_DESKTOP_DIR='" + home.path() + "' ";
  // Started from elsewhere, the program still works in its own folder.
  const std::string prefix = "cd '" + home.path() + "' && " + env + "'" + exe + "' ";

  EXPECT_EQ(run(prefix + "-rc </dev/null >'" + home.file("out") + "' 2>&1"), 0);
  EXPECT_NE(TempDir::read(home.file("out")).find("not available"), std::string::npos);
  EXPECT_EQ(TempDir::read(dir.file("up.ini")), "[General]\r\nUC=4\r\n");

  // Not installed: "-u" is ignored and the program takes its normal road,
  // which on Linux is the console; end of input ends it.
  EXPECT_EQ(run(prefix + "-u '" + home.path() + "' </dev/null >'" + home.file("out") +
                "' 2>&1"),
            0);
  EXPECT_NE(TempDir::read(home.file("out")).find("Command line version."), std::string::npos);
  EXPECT_EQ(TempDir::read(dir.file("up.ini")), "[General]\r\nUC=3\r\n");

  // Self-replacement copies the running file over LVN.EXE and ends with 70.
  EXPECT_EQ(run(prefix + "-RR </dev/null >/dev/null 2>&1"), 70);
  EXPECT_EQ(TempDir::read(dir.file("LVN.EXE")), TempDir::read(exe));
  // It does not count down itself; the copy it starts does, as every start.
  EXPECT_EQ(TempDir::read(dir.file("up.ini")), "[General]\r\nUC=2\r\n");
}

}  // namespace
