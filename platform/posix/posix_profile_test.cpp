// The POSIX backend's own file behaviour: private-profile files keep every
// byte they had, the file-backed registry lives where the environment says,
// and backslash paths reach the file system as '/'.
#include <gtest/gtest.h>

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
using platform::RegistryRoot;

TEST(PosixProfile, WriteChangesOnlyTheOneLine) {
  TempDir dir;
  const std::string head = "; top comment\n\n[First]\nalpha=1\n\n; note\n";
  const std::string tail = "\n[Second]\r\n  Gamma = 3 \r\n[Last]\ndelta=4";
  const std::string ini = dir.write("keep.ini", head + "beta=2" + tail);
  ASSERT_TRUE(platform::profile_write(ini, "first", "BETA", "20"));
  EXPECT_EQ(TempDir::read(ini), head + "beta=20" + tail);
  // The last line keeps having no line end.
  ASSERT_TRUE(platform::profile_write(ini, "LAST", "Delta", "40"));
  const std::string changed = head + "beta=20\n[Second]\r\n  Gamma = 3 \r\n[Last]\ndelta=40";
  EXPECT_EQ(TempDir::read(ini), changed);
  // A new key or section after such a line ends that line first.
  ASSERT_TRUE(platform::profile_write(ini, "Last", "new", "x"));
  EXPECT_EQ(TempDir::read(ini), changed + "\r\nnew=x\r\n");
  const std::string lf = dir.write("lf.ini", "[A]\nx=1");
  ASSERT_TRUE(platform::profile_write(lf, "B", "y", "2"));
  EXPECT_EQ(TempDir::read(lf), "[A]\nx=1\r\n[B]\r\ny=2\r\n");
  // Reading a missing file does not make it.
  const std::string absent = dir.file("absent.ini");
  EXPECT_EQ(platform::profile_read(absent, "S", "k", "fallback", 100), "fallback");
  EXPECT_FALSE(fs::exists(absent));
}

TEST(PosixProfile, UnreadableFileIsNotReplaced) {
  TempDir dir;
  const std::string before = "[Locked]\r\nk=1\r\nother=2\r\n";
  const std::string ini = dir.write("locked.ini", before);
  ASSERT_EQ(::chmod(ini.c_str(), 0), 0);
  if (::access(ini.c_str(), R_OK) != 0) {
    EXPECT_FALSE(platform::profile_write(ini, "Locked", "k", "9"));
  } else if (::geteuid() == 0) {
    // Root reads every file: the write runs in a child that has become
    // "nobody", in a folder that user may write to.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0 || ::access(ini.c_str(), R_OK) == 0)
        ::_exit(3);
      ::_exit(platform::profile_write(ini, "Locked", "k", "9") ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the write succeeded; 3: could not drop root";
  } else {
    GTEST_SKIP() << "this user reads files without permissions";
  }
  ASSERT_EQ(::chmod(ini.c_str(), 0600), 0);
  EXPECT_EQ(TempDir::read(ini), before);
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// ---------------------------------------------------------------------------

const char* const kKey = "Software\\LvnPosix";

TEST(PosixRegistry, StoreFollowsLorvaneRegistryDirAndDeletesWholeSections) {
  TempDir dir;
  const std::string folder = dir.file("deep/store");
  ScopedEnv env("LORVANE_REGISTRY_DIR", folder);
  const std::string data = "  C:\\Program Files\\Lorvane  ";
  ASSERT_TRUE(platform::registry_write_string(RegistryRoot::current_user, kKey, "Install Dir", data));
  const std::string file = folder + "/registry.ini";
  EXPECT_EQ(TempDir::read(file),
            "[HKCU\\Software\\LvnPosix]\r\nInstall Dir=\"  C:\\Program Files\\Lorvane  \"\r\n");
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::string out;
  ASSERT_TRUE(platform::registry_read_string(RegistryRoot::current_user, kKey, "install dir", out));
  EXPECT_EQ(out, data);
  EXPECT_FALSE(platform::registry_read_string(RegistryRoot::local_machine, kKey, "Install Dir", out));

  // A key deleted in another case leaves the file, with its subkeys.
  const std::string key = kKey;
  ASSERT_TRUE(platform::registry_write_string(RegistryRoot::current_user, key + "\\Sub", "b", "2"));
  ASSERT_TRUE(platform::registry_write_string(RegistryRoot::current_user, "Software\\Other",
                                              "keep", "with spaces inside"));
  ASSERT_TRUE(platform::registry_delete_key(RegistryRoot::current_user, "software\\lvnposix"));
  EXPECT_EQ(TempDir::read(file), "[HKCU\\Software\\Other]\r\nkeep=\"with spaces inside\"\r\n");
}

TEST(PosixRegistry, FallsBackToXdgConfigHomeThenHome) {
  TempDir config, home;
  ScopedEnv no_dir("LORVANE_REGISTRY_DIR", "");
  ScopedEnv home_env("HOME", home.path());
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", config.path());
    ASSERT_TRUE(platform::registry_write_string(RegistryRoot::current_user, kKey, "v", "xdg"));
    EXPECT_TRUE(fs::is_regular_file(config.file("lorvane/registry.ini")));
  }
  ScopedEnv xdg("XDG_CONFIG_HOME", "");
  std::string out;
  EXPECT_FALSE(platform::registry_read_string(RegistryRoot::current_user, kKey, "v", out));
  ASSERT_TRUE(platform::registry_write_string(RegistryRoot::current_user, kKey, "v", "home"));
  EXPECT_TRUE(fs::is_regular_file(home.file(".config/lorvane/registry.ini")));
  ASSERT_TRUE(platform::registry_read_string(RegistryRoot::current_user, kKey, "v", out));
  EXPECT_EQ(out, "home");
  EXPECT_NE(TempDir::read(config.file("lorvane/registry.ini")).find("v=\"xdg\""),
            std::string::npos);
}

// ---------------------------------------------------------------------------

// Relative backslash paths: files made and profiles written land in the folders.
TEST(PosixPaths, BackslashesBecomeSlashes) {
  TempDir dir;
  dir.write("dir/sub/keep", "");
  const std::string saved = platform::current_directory();
  ASSERT_TRUE(platform::set_current_directory(dir.path()));
  {
    platform::File made =
        platform::open_file("dir\\sub\\g.txt", platform::FileAccess::create_truncate);
    EXPECT_TRUE(made.is_open() && made.write("new", 3));
  }
  EXPECT_TRUE(platform::profile_write("dir\\sub\\p.ini", "S", "k", "v"));
  ASSERT_TRUE(platform::set_current_directory(saved));
  EXPECT_EQ(TempDir::read(dir.file("dir/sub/g.txt")), "new");
  EXPECT_EQ(TempDir::read(dir.file("dir/sub/p.ini")), "[S]\r\nk=v\r\n");
}

}  // namespace
