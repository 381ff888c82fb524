// Start-up: how each switch is recognised, the update countdown in up.ini,
// and the install-state probe.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/globals.h"
#include "core/records.h"

#include "core/startup.h"
#include "platform/platform.h"
#include "tests/support/env.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(CommandLine, EachSwitchOnlyInItsExactForm) {
  struct Case {
    const char* line;
    bool installed;
    Role role;
  };
  const Case cases[] = {
      {"-rr", false, Role::self_replace},  {"-RR", false, Role::self_replace},
      {"-rR", true, Role::self_replace},   {"-rr ", false, Role::wizard},
      {"-rc", true, Role::repair},         {"-RC", true, Role::wizard},
      {"-rc ", true, Role::wizard},        {"-cmd", false, Role::console},
      {"-CMD", false, Role::wizard},       {"-cmd x", false, Role::wizard},
      {"-l C:\\p.lvn", false, Role::open_project},
      {"-l  p.lvn", false, Role::open_project},
      {"-lp.lvn", false, Role::wizard},    {"-L p.lvn", false, Role::wizard},
      {"-l", false, Role::wizard},         {"-u C:\\Lorvane", true, Role::uninstall},
      {"-U C:\\Lorvane", true, Role::uninstall},
      {"-u C:\\Lorvane", false, Role::wizard},
      {"", false, Role::wizard},           {"\"-cmd\"", false, Role::wizard},
  };
  for (const Case& c : cases)
    EXPECT_EQ(classify_command_line(c.line, c.installed), c.role) << '"' << c.line << '"';
}

// Runs a test body with a temporary folder as the current directory.
class InFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = platform::current_directory();
    ASSERT_TRUE(platform::set_current_directory(dir.path()));
  }
  void TearDown() override { platform::set_current_directory(saved_); }
  TempDir dir;
  std::string saved_;
};

std::string countdown() { return platform::profile_read(".\\up.ini", "General", "UC", "", 100); }

// The check is due at the sixth start, then every thirty-first; the countdown
// keeps the rest of the settings file, and a negative one counts as due.
TEST_F(InFolder, CountdownStartsTheCheckAtTheSixthStartThenEveryThirtyFirst) {
  for (const char* value : {"4", "3", "2", "1", "0"}) {
    EXPECT_FALSE(run_update_countdown());
    EXPECT_EQ(countdown(), value);
  }
  EXPECT_TRUE(run_update_countdown());
  EXPECT_EQ(countdown(), "30");
  for (int i = 0; i < 30; ++i) EXPECT_FALSE(run_update_countdown());
  EXPECT_TRUE(run_update_countdown());

  dir.write("up.ini", "[Other]\r\nKey=1\r\n[general]\r\nuc=2\r\nX=y\r\n");
  EXPECT_FALSE(run_update_countdown());
  EXPECT_EQ(countdown(), "1");
  EXPECT_EQ(platform::profile_read(".\\up.ini", "Other", "Key", "", 100), "1");
  EXPECT_EQ(platform::profile_read(".\\up.ini", "General", "X", "", 100), "y");
  dir.write("up.ini", "[General]\r\nUC=-4\r\n");
  EXPECT_TRUE(run_update_countdown());
}

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\LVN";

TEST_F(InFolder, InstallStateFollowsTheUninstallKey) {
  // On Linux the registry stand-in lives in the temporary folder.
  ScopedEnv registry("LORVANE_REGISTRY_DIR", dir.path());
  platform::registry_delete_key(platform::RegistryRoot::local_machine, kUninstallKey);
  EXPECT_EQ(probe_install_state(""), 1);
  EXPECT_EQ(probe_install_state("-u somewhere"), 1);

  ASSERT_TRUE(platform::registry_write_string(platform::RegistryRoot::local_machine,
                                              kUninstallKey, "DisplayName", "Lorvane"));
  EXPECT_EQ(probe_install_state("-cmd"), 0);

  TempDir target;
  const std::string line = "-u " + target.path();
  EXPECT_EQ(probe_install_state(line.c_str()), 2);
  EXPECT_EQ(platform::current_directory(), target.path());

  platform::registry_delete_key(platform::RegistryRoot::local_machine, kUninstallKey);
  EXPECT_EQ(probe_install_state(""), 1);
}

std::vector<std::string> g_said;
void note(const std::string& text, const std::string&, platform::MessageIcon) { g_said.push_back(text); }

// A program folder that cannot be entered, or whose path would have to be cut
// to fit, and a "-l" path too long for its buffer are refused aloud.
TEST_F(InFolder, UnusableFolderAndOverlongProjectPathAreRefusedAloud) {
  platform::set_message_hook(note);
  const std::string here = platform::current_directory();
  EXPECT_FALSE(enter_folder_of(dir.file("missing\\LVN.EXE")));
  EXPECT_FALSE(enter_folder_of(dir.path() + std::string(1000, '\\')));
  EXPECT_EQ(platform::current_directory(), here);
  EXPECT_TRUE(enter_folder_of(dir.file("LVN.EXE")));

  const std::string long_path(1000, 'p');
  copy_field(project_path, sizeof project_path, "before.lvn");
  EXPECT_FALSE(take_project_argument(long_path.c_str()));
  EXPECT_STREQ(project_path, "before.lvn");
  EXPECT_TRUE(take_project_argument(long_path.c_str() + 1));
  EXPECT_EQ(std::string(project_path), long_path.substr(1));
  EXPECT_EQ(g_said, (std::vector<std::string>{"ERROR: Cannot enter the program's folder !",
                                               "ERROR: Cannot enter the program's folder !",
                                               "ERROR: The project path is too long !"}));
}

}  // namespace
