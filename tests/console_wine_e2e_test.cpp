// The Windows build of the program in console mode, run under wine64 from
// the Linux side. A Windows program's own console is not connected to pipes,
// so the program runs on a pseudo-terminal, where it inherits Wine's terminal
// console: answers are typed as keys, and what the console draws is read back
// as text (cursor sequences removed). Byte-exact output is checked by the
// native console tests; here the order of the texts, the files written and
// the project file are checked.
//
// The program is the win64 build's LVN.EXE: $LVN_WIN64_EXE, else
// build/win64/LVN.EXE of the source tree; its prefix $LVN_WIN64_PREFIX, else
// the "wineprefix" folder beside it (made when missing). Without that build
// the test is skipped.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
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

constexpr int kStartTimeoutMs = 90000;
constexpr int kStepTimeoutMs = 30000;

std::string env_or(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

// A Linux path as the Windows program sees it (drive Z: is the root).
std::string windows_path(const std::string& path) {
  std::string out = "Z:" + path;
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

// One program on Wine's terminal console.
class WineConsole {
 public:
  bool start(const std::string& exe, const std::string& prefix) {
    ProcessOptions o;
    o.program = std::string(LVN_SOURCE_DIR) + "/cmake/wine-run.sh";
    o.arguments = {exe, "-cmd"};
    o.terminal = true;
    o.environment = {{"WINEPREFIX", prefix},
                     {"WINEDEBUG", "-all"},
                     {"WINEDLLOVERRIDES", "mscoree,mshtml="}};
    return child_.start(o);
  }

  // Waits until the console has drawn `text` after what was seen before.
  bool expect(const std::string& text, int timeout_ms = kStepTimeoutMs) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      const std::string shown = terminal_text(child_.output());
      const size_t at = shown.find(text, seen_);
      if (at != std::string::npos) {
        seen_ = at + text.size();
        return true;
      }
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  // Types an answer and presses Enter.
  void type(const std::string& answer) { child_.write_input(answer + "\r"); }
  // Enter: the key that ends the wait on every console (Wine's "pause"
  // reads a whole line).
  void press_key() { child_.write_input("\r"); }
  int wait(int timeout_ms) { return child_.wait(timeout_ms); }
  std::string shown() const { return terminal_text(child_.output()); }

 private:
  ChildProcess child_;
  size_t seen_ = 0;
};

class ConsoleUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string built = env_or("LVN_WIN64_EXE", std::string(LVN_SOURCE_DIR) +
                                                          "/build/win64/LVN.EXE");
    if (!fs::exists(built))
      GTEST_SKIP() << "no win64 build at " << built << " (set LVN_WIN64_EXE)";
    prefix_ = env_or("LVN_WIN64_PREFIX",
                     (fs::path(built).parent_path() / "wineprefix").string());
    if (!fs::exists(fs::path(prefix_) / "drive_c")) {
      ChildProcess maker;
      ProcessOptions o;
      o.program = std::string(LVN_SOURCE_DIR) + "/cmake/wine-prefix.sh";
      o.environment = {{"WINEPREFIX", prefix_}};
      ASSERT_TRUE(maker.start(o));
      ASSERT_EQ(maker.wait(180000), 0) << "could not make the prefix " << prefix_;
    }
    ASSERT_TRUE(server.ok());
    exe_ = program_dir.file("LVN.EXE");
    fs::copy_file(built, exe_, fs::copy_options::overwrite_existing);
  }

  HttpFixture server;
  TempDir program_dir, sources, output;
  std::string exe_;
  std::string prefix_;
};

TEST_F(ConsoleUnderWine, NewProjectFromBookmarkFileExportedToABookmarkFile) {
  const std::string good = server.url("/status/200?w=good");
  const std::string gone = server.url("/status/404?w=gone");
  const std::string broken = server.url("/status/500?w=broken");
  const std::string source = sources.write(
      "bookmarks.html", bookmark_file_text({{"Good", good}, {"Gone", gone}, {"Broken", broken}}));
  const std::string target = output.file("clean.htm");

  WineConsole console;
  ASSERT_TRUE(console.start(exe_, prefix_));
  const auto step = [&](const std::string& text, int timeout_ms = kStepTimeoutMs) {
    const bool drawn = console.expect(text, timeout_ms);
    EXPECT_TRUE(drawn) << "not shown: \"" << text << "\"\n" << console.shown();
    return drawn;
  };

  ASSERT_TRUE(step("Lorvane 2.3 Command line version.", kStartTimeoutMs));
  ASSERT_TRUE(step("You can run this console from command line with -cmd switch."));
  ASSERT_TRUE(step("Enter project name to be resumed, or press <Enter> to create a new project:"));
  console.type("");
  ASSERT_TRUE(step("4 - I use Firefox, find its bookmark file for me."));
  console.type("3");
  ASSERT_TRUE(step("Please choose Bookmark file: "));
  console.type(windows_path(source));
  ASSERT_TRUE(step("Using file: " + windows_path(source)));
  ASSERT_TRUE(step("Enter a name for this project: "));
  console.type("winflow");
  ASSERT_TRUE(step("Enter total threads (1-10) for this project: "));
  console.type("2");
  ASSERT_TRUE(step("Running..."));
  ASSERT_TRUE(step("Scanning completed."));
  ASSERT_TRUE(step("4 - Export to a bookmark file"));
  console.type("4");
  ASSERT_TRUE(step("Please choose target file: "));
  console.type(windows_path(target));
  ASSERT_TRUE(step("Saving to: " + windows_path(target)));
  ASSERT_TRUE(step("Lorvane done!"));
  ASSERT_TRUE(step("Press any key to continue"));
  console.press_key();
  EXPECT_EQ(console.wait(kStepTimeoutMs), 0) << console.shown();

  // The files, byte for byte as the Windows build writes them.
  EXPECT_EQ(TempDir::read(target),
            std::string("<!DOCTYPE NETSCAPE-Bookmark-file-1>\r\n"
                        "    <!--This is an automatically generated file.\r\n"
                        "    It will be read and overwritten.\r\n"
                        "    Do Not Edit! -->\r\n"
                        "    <Title>Bookmarks</Title>\r\n"
                        "    <H1>Bookmarks</H1>\r\n"
                        "<DL>\r\n") +
                "<DT><A HREF=\"" + good + "\">Good</A>\r\n" +
                "<DT><H3>Dead Links</H3>\r\n<DL><p>\r\n" + "<DT><A HREF=\"" + gone +
                "\">Gone</A>\r\n" + "<DT><A HREF=\"" + broken + "\">Broken</A>\r\n" + "</DL>\r\n");
  const ProjectHeader header = project_header(program_dir.file("winflow.lvn"));
  EXPECT_EQ(header.threads, 2u);
  EXPECT_EQ(header.on_http_error, 2u);
  EXPECT_EQ(header.dead_links_text, 1u);
  EXPECT_EQ(std::string(header.source), windows_path(source));
  const std::vector<LVK_URL> records = read_project_file(program_dir.file("winflow.lvn"));
  ASSERT_EQ(records.size(), 3u);
  for (const LVK_URL& record : records) EXPECT_EQ(record.checked, 1u) << record.url;
  EXPECT_EQ(server.total(), 3);
}

}  // namespace

#endif  // _WIN32
