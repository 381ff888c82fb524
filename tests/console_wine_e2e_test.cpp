// The Windows build of the program in console mode, run under wine64 from
// the Linux side. A Windows program's own console is not connected to pipes,
// so the program runs on a pseudo-terminal, where it inherits Wine's terminal
// console: answers are typed as keys, and what the console draws is read back
// as text (cursor sequences removed). Byte-exact output is checked by the
// native console tests; here the order of the texts, the files written and
// the project file are checked. The save goes over the Favorites folder that
// the prefix's registry names, which the test empties again afterwards.
//
// The program is build/win64/LVN.EXE of the source tree, its prefix the
// "wineprefix" folder beside it (made when missing). Without that build the
// test is skipped.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/records.h"
#include "tests/support/console_transcript.h"
#include "tests/support/http_fixture.h"
#include "tests/support/process_runner.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// A Linux path as the Windows program sees it (drive Z: is the root), and a
// Windows path as the prefix maps it on the Linux side.
std::string windows_path(const std::string& path) {
  std::string out = "Z:" + path;
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}
std::string linux_path(const std::string& prefix, std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
  return prefix + "/dosdevices/" + drive + ":" + path.substr(2);
}

class ConsoleUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string built = std::string(LVN_SOURCE_DIR) + "/build/win64/LVN.EXE";
    if (!fs::exists(built)) GTEST_SKIP() << "no win64 build at " << built;
    prefix_ = std::string(LVN_SOURCE_DIR) + "/build/win64/wineprefix";
    ProcessOptions o;
    o.environment = {{"WINEPREFIX", prefix_}};
    if (!fs::exists(fs::path(prefix_) / "drive_c")) {
      ChildProcess maker;
      o.program = std::string(LVN_SOURCE_DIR) + "/cmake/wine-prefix.sh";
      ASSERT_TRUE(maker.start(o));
      ASSERT_EQ(maker.wait(180000), 0) << "could not make the prefix " << prefix_;
    }
    ASSERT_TRUE(server.ok());
    fs::copy_file(built, program_dir.file("LVN.EXE"));
    o.program = std::string(LVN_SOURCE_DIR) + "/cmake/wine-run.sh";
    o.arguments = {program_dir.file("LVN.EXE"), "-cmd"};
    o.terminal = true;
    ASSERT_TRUE(console_.start(o));
  }

  // Waits until the console has drawn `text` after what was seen before.
  bool shows(const std::string& text, int timeout_ms = 30000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      const size_t at = terminal_text(console_.output()).find(text, seen_);
      if (at != std::string::npos) {
        seen_ = at + text.size();
        return true;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        ADD_FAILURE() << "not shown: \"" << text << "\"\n" << terminal_text(console_.output());
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  // The rest of the line drawn after what was seen, without its blanks and
  // full stop at the end.
  std::string rest_of_line() {
    const size_t start = seen_;
    if (!shows("\n")) return "";
    std::string line = terminal_text(console_.output()).substr(start, seen_ - 1 - start);
    while (!line.empty() && (line.back() == ' ' || line.back() == '.')) line.pop_back();
    return line;
  }
  // Types an answer and presses Enter (Wine's "pause" reads a whole line).
  void type(const std::string& answer) { console_.write_input(answer + "\r"); }

  HttpFixture server;
  TempDir program_dir, sources;
  std::string prefix_;
  ChildProcess console_;
  size_t seen_ = 0;
};

TEST_F(ConsoleUnderWine, NewProjectFromBookmarkFileSavedOverTheRegistrysFavorites) {
  const std::string good = server.url("/status/200?w=good");
  const std::string gone = server.url("/status/404?w=gone");
  const std::string broken = server.url("/status/500?w=broken");
  const std::string source = sources.write(
      "bookmarks.html", bookmark_file_text({{"Good", good}, {"Gone", gone}, {"Broken", broken}}));

  ASSERT_TRUE(shows("Lorvane 2.3 Command line version.", 90000));
  ASSERT_TRUE(shows("Enter project name to be resumed, or press <Enter> to create a new project:"));
  type("");
  ASSERT_TRUE(shows("4 - I use Firefox, find its bookmark file for me."));
  type("3");
  ASSERT_TRUE(shows("Please choose Bookmark file: "));
  type(windows_path(source));
  ASSERT_TRUE(shows("Using file: " + windows_path(source)));
  ASSERT_TRUE(shows("Enter a name for this project: "));
  type("winflow");
  ASSERT_TRUE(shows("Enter total threads (1-10) for this project: "));
  type("2");
  ASSERT_TRUE(shows("Running..."));
  ASSERT_TRUE(shows("4 - Export to a bookmark file"));
  type("1");
  ASSERT_TRUE(shows("Saving to: "));
  const std::string favorites = linux_path(prefix_, rest_of_line());
  ASSERT_TRUE(shows("Lorvane done!"));
  ASSERT_TRUE(shows("Press any key to continue"));
  type("");
  EXPECT_EQ(console_.wait(30000), 0) << terminal_text(console_.output());

  const std::vector<std::pair<std::string, std::string>> written = {
      {"Good.URL", good}, {"Dead Links/Gone.URL", gone}, {"Dead Links/Broken.URL", broken}};
  for (const auto& [name, url] : written) {
    const std::string file = favorites + "/" + name;
    EXPECT_NE(TempDir::read(file).find("URL=" + url + "\r\n"), std::string::npos) << file;
    fs::remove(file);
  }
  fs::remove(favorites + "/Dead Links");
  const ProjectHeader header = project_header(program_dir.file("winflow.lvn"));
  EXPECT_EQ(header.threads, 2u);
  EXPECT_EQ(header.on_http_error, 2u);
  EXPECT_EQ(std::string(header.source), windows_path(source));
  for (const LVK_URL& record : read_project_file(program_dir.file("winflow.lvn")))
    EXPECT_EQ(record.checked, 1u) << record.url;
  EXPECT_EQ(server.total(), 3);
}

}  // namespace

#endif  // _WIN32
