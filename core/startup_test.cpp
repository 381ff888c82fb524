// Start-up: how each switch is recognised, the update countdown in up.ini and
// the folders and paths it refuses. The install-state probe is checked with
// the installer's tests.
#include "core/startup.h"

#include <gtest/gtest.h>

#include "core/globals.h"
#include "core/records.h"
#include "platform/platform.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(CommandLine, EachSwitchOnlyInItsExactForm) {
  const struct { const char* line; bool installed; Role role; } cases[] = {
      {"-rr", false, Role::self_replace}, {"-RR", false, Role::self_replace},
      {"-rR", true, Role::self_replace},  {"-rr ", false, Role::wizard},
      {"-rc", true, Role::repair},        {"-RC", true, Role::wizard},
      {"-rc ", true, Role::wizard},       {"-cmd", false, Role::console},
      {"-CMD", false, Role::wizard},      {"-cmd x", false, Role::wizard},
      {"-l C:\\p.lvn", false, Role::open_project}, {"-l  p.lvn", false, Role::open_project},
      {"-lp.lvn", false, Role::wizard},   {"-L p.lvn", false, Role::wizard},
      {"-l", false, Role::wizard},        {"-u C:\\Lorvane", true, Role::uninstall},
      {"-U C:\\Lorvane", true, Role::uninstall}, {"-u C:\\Lorvane", false, Role::wizard},
      {"", false, Role::wizard},          {"\"-cmd\"", false, Role::wizard},
  };
  for (const auto& c : cases)
    EXPECT_EQ(classify_command_line(c.line, c.installed), c.role) << '"' << c.line << '"';
}

// Runs a test body with a temporary folder as the current directory.
class InFolder : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::set_current_directory(dir.path())); }
  void TearDown() override { platform::set_current_directory(saved); }
  const std::string saved = platform::current_directory();
  TempDir dir;
};

std::string profile(const char* section, const char* key) {
  return platform::profile_read(".\\up.ini", section, key, "", 100);
}

// The check is due when the countdown reaches zero (or is below it), and then
// comes again in thirty starts; the countdown keeps the rest of the settings
// file. A first start counts down from five, as the end-to-end tests see.
TEST_F(InFolder, CountdownIsDueAtZeroThenStartsAgainAtThirty) {
  dir.write("up.ini", "[Other]\r\nKey=1\r\n[general]\r\nuc=1\r\nX=y\r\n");
  EXPECT_FALSE(run_update_countdown());
  EXPECT_EQ(profile("General", "UC") + profile("Other", "Key") + profile("General", "X"), "01y");
  EXPECT_TRUE(run_update_countdown());
  EXPECT_EQ(profile("General", "UC"), "30");
  dir.write("up.ini", "[General]\r\nUC=-4\r\n");
  EXPECT_TRUE(run_update_countdown());
}

// A program folder that cannot be entered, or whose path would have to be cut
// to fit, and a "-l" path too long for its buffer are refused aloud.
TEST_F(InFolder, UnusableFolderAndOverlongProjectPathAreRefusedAloud) {
  static std::vector<std::string> said;
  platform::set_message_hook([](const std::string& text, const std::string&, platform::MessageIcon) {
    said.push_back(text);
  });
  EXPECT_FALSE(enter_folder_of(dir.file("missing\\LVN.EXE")));
  EXPECT_FALSE(enter_folder_of(dir.path() + std::string(1000, '\\')));
  EXPECT_EQ(platform::current_directory(), dir.path());
  EXPECT_TRUE(enter_folder_of(dir.file("LVN.EXE")));
  const std::string long_path(1000, 'p');
  copy_field(project_path, sizeof project_path, "before.lvn");
  EXPECT_FALSE(take_project_argument(long_path.c_str()));
  EXPECT_STREQ(project_path, "before.lvn");
  EXPECT_TRUE(take_project_argument(long_path.c_str() + 1));
  EXPECT_EQ(std::string(project_path), long_path.substr(1));
  EXPECT_EQ(said, (std::vector<std::string>{"ERROR: Cannot enter the program's folder !",
                                             "ERROR: Cannot enter the program's folder !",
                                             "ERROR: The project path is too long !"}));
}

}  // namespace
