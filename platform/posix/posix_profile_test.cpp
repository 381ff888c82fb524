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
  // A new key after such a line ends that line first.
  ASSERT_TRUE(platform::profile_write(ini, "Last", "new", "x"));
  EXPECT_EQ(TempDir::read(ini), changed + "\r\nnew=x\r\n");
  EXPECT_EQ(platform::profile_read(ini, "second", "GAMMA", "", 100), "3");
}

TEST(PosixProfile, NewFilesAndSectionsEndTheirLinesWithCrLf) {
  TempDir dir;
  const std::string ini = dir.file("new.ini");
  ASSERT_TRUE(platform::profile_write(ini, "Section", "key", "value"));
  EXPECT_EQ(TempDir::read(ini), "[Section]\r\nkey=value\r\n");
  ASSERT_TRUE(platform::profile_write(ini, "Second", "k2", "v2"));
  EXPECT_EQ(TempDir::read(ini), "[Section]\r\nkey=value\r\n[Second]\r\nk2=v2\r\n");

  const std::string lf = dir.write("lf.ini", "[A]\nx=1");
  ASSERT_TRUE(platform::profile_write(lf, "B", "y", "2"));
  EXPECT_EQ(TempDir::read(lf), "[A]\nx=1\r\n[B]\r\ny=2\r\n");
}

TEST(PosixProfile, CaseBlindMatchingAndMissingFiles) {
  TempDir dir;
  const std::string ini = dir.write("case.ini", "[MiXeD]\nKeY=old\nother=1\n");
  EXPECT_EQ(platform::profile_read(ini, "mixed", "key", "none", 100), "old");
  EXPECT_EQ(platform::profile_read(ini, "MIXED", "OTHER", "none", 100), "1");
  ASSERT_TRUE(platform::profile_write(ini, "MIXED", "KEY", "new"));
  // The key keeps its own spelling; no second section or key appears.
  EXPECT_EQ(TempDir::read(ini), "[MiXeD]\nKeY=new\nother=1\n");
  // A missing file reads the default and is not created by reading.
  const std::string absent = dir.file("absent.ini");
  EXPECT_EQ(platform::profile_read(absent, "S", "k", "fallback", 100), "fallback");
  EXPECT_EQ(platform::profile_read_int(absent, "S", "k", 17), 17);
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

TEST(PosixRegistry, StoreFollowsLorvaneRegistryDir) {
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

TEST(PosixRegistry, DeletingAKeyRemovesItsSubkeysFromTheFile) {
  TempDir dir;
  ScopedEnv env("LORVANE_REGISTRY_DIR", dir.path());
  const std::string key = kKey;
  ASSERT_TRUE(platform::registry_write_string(RegistryRoot::current_user, key, "a", "1"));
  ASSERT_TRUE(platform::registry_write_string(RegistryRoot::current_user, key + "\\Sub", "b", "2"));
  ASSERT_TRUE(
      platform::registry_write_string(RegistryRoot::current_user, key + "\\Sub\\Deep", "c", "3"));
  ASSERT_TRUE(platform::registry_write_string(RegistryRoot::current_user, "Software\\Other",
                                              "keep", "with spaces inside"));
  ASSERT_TRUE(platform::registry_delete_key(RegistryRoot::current_user, "software\\lvnposix"));
  EXPECT_EQ(TempDir::read(dir.file("registry.ini")),
            "[HKCU\\Software\\Other]\r\nkeep=\"with spaces inside\"\r\n");
  EXPECT_FALSE(platform::registry_key_opens(RegistryRoot::current_user, key + "\\Sub\\Deep"));
  EXPECT_FALSE(platform::registry_delete_key(RegistryRoot::current_user, key));
}

// ---------------------------------------------------------------------------

TEST(PosixPaths, BackslashesBecomeSlashes) {
  TempDir dir;
  dir.write("dir/sub/f.txt", "through backslashes");
  const std::string saved = platform::current_directory();
  ASSERT_TRUE(platform::set_current_directory(dir.path()));
  platform::File file = platform::open_file("dir\\sub\\f.txt", platform::FileAccess::read);
  std::string content(64, '\0');
  content.resize(file.is_open() ? file.read(&content[0], content.size()) : 0);
  file.close();
  {
    platform::File made =
        platform::open_file("dir\\sub\\g.txt", platform::FileAccess::create_truncate);
    EXPECT_TRUE(made.is_open() && made.write("new", 3));
  }
  EXPECT_TRUE(platform::profile_write("dir\\sub\\p.ini", "S", "k", "v"));
  ASSERT_TRUE(platform::set_current_directory(saved));
  EXPECT_EQ(content, "through backslashes");
  EXPECT_EQ(TempDir::read(dir.file("dir/sub/g.txt")), "new");
  EXPECT_EQ(TempDir::read(dir.file("dir/sub/p.ini")), "[S]\r\nk=v\r\n");
  // Nothing was created under a name holding a backslash.
  EXPECT_FALSE(fs::exists(dir.path() + "/dir\\sub\\g.txt"));
  EXPECT_FALSE(fs::exists(dir.path() + "/dir\\sub\\p.ini"));
}

}  // namespace
