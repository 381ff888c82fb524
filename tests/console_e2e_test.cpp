// The real program in console mode ("-cmd"), driven through pipes on its
// standard input and output, against the loopback server. Each test runs a
// copy of the program in a folder of its own, which start-up makes the
// current directory, so project files land beside that copy. The Windows
// build's flow runs on a terminal under wine64 (console_wine_e2e_test.cpp).
#ifndef _WIN32

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/records.h"
#include "gui/page_store.h"
#include "platform/platform.h"
#include "tests/support/console_transcript.h"
#include "tests/support/env.h"
#include "tests/support/file_tree.h"
#include "tests/support/http_fixture.h"
#include "tests/support/process_runner.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace transcript;

constexpr int kRunTimeoutMs = 30000;
const std::string kPause = "Press any key to continue . . . \r\n";
const std::string kEnd = kDone + kPause;

// The transcript of a new project up to the save menu, its source step as
// given, and of a resumed one.
std::string new_project(const std::string& source_step) {
  return std::string(kBanner) + kResumeQuestion + kSourceMenu + source_step + kNameQuestion +
         kThreadsQuestion + kRunning + kSaveMenu;
}
std::string resumed(const std::string& totals) {
  return std::string(kBanner) + kResumeQuestion + totals + kRunning + kSaveMenu;
}

std::string link_line(const std::string& url, const std::string& name) {
  return "<DT><A HREF=\"" + url + "\">" + name + "</A>\r\n";
}
const char kDeadFolder[] = "<DT><H3>Dead Links</H3>\r\n<DL><p>\r\n";

class ConsoleE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.ok());
    fs::copy_file(LVN_EXE, exe_, fs::copy_options::overwrite_existing);
  }

  ProcessOptions options() const {
    ProcessOptions o;
    o.program = exe_;
    o.arguments = {"-cmd"};
    o.working_directory = home.path();  // started from elsewhere
    o.environment = {{"HOME", home.path()},
                     {"XDG_DESKTOP_DIR", desktop.path()},
                     {"LORVANE_REGISTRY_DIR", registry.path()}};
    return o;
  }

  // Runs the program with all of its input given at once and ended; gives
  // its output without the progress lines.
  std::string run(const std::string& input) {
    ChildProcess child;
    if (!child.start(options())) ADD_FAILURE() << "could not start " << exe_;
    child.write_input(input);
    child.close_input();
    EXPECT_EQ(child.wait(kRunTimeoutMs), 0) << child.errors();
    return without_progress(child.output());
  }

  std::string project(const std::string& name) const { return program_dir.file(name); }

  std::string mixed_bookmark_file_text() const {
    return bookmark_file_text(
        {{"Good", good_}, {"Gone", gone_}, {"Broken", broken_}, {"Nowhere", nowhere_}});
  }

  // The cleaned form of the mixed bookmark file, byte for byte.
  std::string cleaned_mixed_bookmark_file() const {
    return kWrittenBookmarkFileHeader + link_line(good_, "Good") + kDeadFolder +
           link_line(gone_, "Gone") + link_line(broken_, "Broken") +
           link_line(nowhere_, "Nowhere") + "</DL>\r\n";
  }

  HttpFixture server;
  TempDir program_dir, home, desktop, registry, sources, output;
  const std::string exe_ = program_dir.file("lvn");
  const std::string good_ = server.url("/status/200?e=good");
  const std::string gone_ = server.url("/status/404?e=gone");
  const std::string broken_ = server.url("/status/500?e=broken");
  const std::string nowhere_ = unreachable_url();
};

TEST_F(ConsoleE2E, NewProjectFromBookmarkFileExportedToABookmarkFile) {
  const std::string source = sources.write("bookmarks.html", mixed_bookmark_file_text());
  const std::string target = output.file("clean.htm");
  EXPECT_EQ(run("\r\n3\r\n" + source + "\r\nmixed\r\n2\r\n4\r\n" + target + "\r\n\r\n"),
            new_project(kBookmarkFileQuestion + ("Using file: " + source + "\r\n")) +
                kTargetFileQuestion + "Saving to: " + target + "\r\n" + kEnd);
  EXPECT_EQ(TempDir::read(target), cleaned_mixed_bookmark_file());
  // The desktop's dead-link list, in the order the workers ended.
  std::istringstream dead_list(TempDir::read(desktop.file("Dead Links.TXT")));
  std::multiset<std::string> lines;
  for (std::string line; std::getline(dead_list, line);) lines.insert(line);
  EXPECT_EQ(lines, (std::multiset<std::string>{gone_ + "\r", broken_ + "\r", nowhere_ + "\r"}));

  const ProjectHeader header = project_header(project("mixed.lvn"));
  EXPECT_EQ(header.threads, 2u);
  EXPECT_EQ(header.on_http_error, 2u);
  EXPECT_EQ(header.on_no_connection, 2u);
  EXPECT_EQ(header.dead_links_folder, 1u);
  EXPECT_EQ(header.dead_links_text, 1u);
  EXPECT_EQ(server.total(), 3);  // each link asked for once
}

TEST_F(ConsoleE2E, ResumesByNameWithOrWithoutTheExtensionAndNeverOverwrites) {
  write_project_file(project("again.lvn"),
                     {make_record(good_, "Good.URL", 1, 0, 0), make_record(gone_, "Gone.URL"),
                      make_record(broken_, "Broken.URL")});
  EXPECT_EQ(run("again\n9\n"), resumed(summary(3, 1, 0, 0, 1)) + kEnd);
  EXPECT_EQ(server.count("/status/404?e=gone"), 1);
  EXPECT_EQ(server.count("/status/200?e=good"), 0);
  // A 500 is dead in a resumed project as in a new one.
  EXPECT_EQ(read_project_file(project("again.lvn"))[2].result, 1u);

  // All checked now: a resume with the extension typed asks for nothing.
  EXPECT_EQ(run("again.lvn\n9\n"), resumed(summary(3, 3, 0, 0, 1)) + kEnd);
  // A new project given its name resumes it unchanged.
  fs::create_directories(sources.file("empty"));
  EXPECT_EQ(run("\n2\n" + sources.file("empty") + "\nagain\n5\n9\n"),
            std::string(kBanner) + kResumeQuestion + kSourceMenu + kDirectoryQuestion +
                "Using directory: " + sources.file("empty") + "\r\n" + kNameQuestion +
                kThreadsQuestion + summary(3, 3, 0, 0, 1) + kRunning + kSaveMenu + kEnd);
  EXPECT_EQ(read_project_file(project("again.lvn")).size(), 3u);
  EXPECT_EQ(server.total(), 2);
}

// Each source choice with the save choice of its kind: the transcript, and
// what was written, a file's bytes or a folder's listing.
TEST_F(ConsoleE2E, EachSourceSavedToATargetOfItsKind) {
  sources.write("Favs/Good.url", shortcut_text(good_));
  sources.write("Favs/News/Gone.url", shortcut_text(gone_));
  sources.write("Favs/News/Broken.url", shortcut_text(broken_));
  const std::string favorites = output.file("Favorites");
  output.write("Favorites/Good.url", shortcut_text(good_));
  output.write("Favorites/Gone.url", shortcut_text(gone_));
  {
    ScopedEnv store("LORVANE_REGISTRY_DIR", registry.path());
    ASSERT_TRUE(platform::registry_write_string(
        platform::RegistryRoot::current_user,
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", "Favorites",
        favorites));
  }
  const std::string firefox =
      home.write(".mozilla/firefox/x.default/bookmarks.html", mixed_bookmark_file_text());
  const std::string one = sources.write("one.html", bookmark_file_text({{"Good", good_}}));
  const std::string tree = sources.file("Favs"), cleaned = output.file("cleaned");
  const std::string spilled = output.file("o.htm");
  const struct {
    const char* what;
    std::string input, transcript, written, contents;
  } cases[] = {
      {"a folder of shortcuts saved to another folder",
       "\n2\n" + tree + "\ntree\n3\n2\n" + cleaned + "\n",
       new_project(kDirectoryQuestion + ("Using directory: " + tree + "\r\n")) +
           kTargetDirectoryQuestion + "Saving to: " + cleaned + "\r\n" + kEnd,
       cleaned, "Dead Links/\nDead Links/Broken.url\nDead Links/Gone.url\nGood.url\nNews/\n"},
      {"the registry's Favorites folder, both ways", "\n1\nie\n1\n1\n",
       new_project("Using directory: " + favorites + "\r\n") + "Saving to: " + favorites + ".\r\n" +
           kEnd,
       favorites, "Dead Links/\nDead Links/Gone.url\nGood.url\n"},
      // Program paths keep their backslashes.
      {"the Firefox profile's file, both ways", "\n4\nfox\n2\n3\n",
       new_project("Using file: " + home.path() +
                   "/.mozilla/firefox\\x.default\\bookmarks.html\r\n") +
           kEnd,
       firefox, cleaned_mixed_bookmark_file()},
      // The choice answer keeps 24 characters; the rest answers the next question.
      {"an over-long answer",
       "\n3" + std::string(23, ' ') + one + "\nspill\n1\n4\n" + spilled + "\n",
       new_project(kBookmarkFileQuestion + ("Using file: " + one + "\r\n")) + kTargetFileQuestion +
           "Saving to: " + spilled + "\r\n" + kEnd,
       spilled, kWrittenBookmarkFileHeader + link_line(good_, "Good") + kDeadFolder + "</DL>\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(run(c.input), c.transcript);
    std::string contents = TempDir::read(c.written);
    if (fs::is_directory(c.written))
      for (const std::string& name : tree_listing(c.written)) contents += name + "\n";
    EXPECT_EQ(contents, c.contents);
  }
  EXPECT_NE(TempDir::read(cleaned + "/Dead Links/Gone.url").find("URL=" + gone_),
            std::string::npos);
  EXPECT_EQ(project_header(project("tree.lvn")).threads, 3u);
}

// Dialogues that end without writing a bookmark: the source stays as it
// was, and only the project named (if any) is left beside the program.
TEST_F(ConsoleE2E, DialoguesThatSaveNothing) {
  const std::string source = sources.write("b.html", mixed_bookmark_file_text());
  fs::create_directories(home.file(".mozilla/firefox/x.default"));  // no bookmark file in it
  const std::string start = std::string(kBanner) + kResumeQuestion + kSourceMenu;
  const std::string from_file =
      new_project(kBookmarkFileQuestion + ("Using file: " + source + "\r\n"));
  const struct {
    const char* what;
    std::string input, transcript, project;
    size_t records;
  } cases[] = {
      {"no Firefox profile to read", "\n4\nnever\n1\n", start + kFirefoxSourceFailure + kPause, "",
       0},
      {"no Firefox profile to write", "\n3\n" + source + "\nunsaved\n1\n3\n",
       from_file + kFirefoxSaveFailure + kPause, "unsaved.lvn", 4},
      {"save choice 9, a name typed with its extension", "\n3\n" + source + "\nnine.lvn\n1\n9\n",
       from_file + kEnd, "nine.lvn.lvn", 4},
      {"unknown source choice, no name", "\n7\n\n1\n9\n",
       start + kNameQuestion + kThreadsQuestion + kRunning + kSaveMenu + kEnd, "prj.lvn", 0},
      {"a project that cannot be made", "\n7\nno-such-folder/x\n1\n1\n",
       start + kNameQuestion + kThreadsQuestion +
           "ERROR: Cannot create specified project !\r\nThe run could not start.\r\n" + kPause,
       "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(run(c.input), c.transcript);
    std::set<std::string> beside = {"lvn", "up.ini"};
    // Start-up writes the wizard's pages; the console road leaves them.
    for (size_t i = 0; i < kPageCount; ++i) beside.insert(kPageSet[i].file);
    if (!c.project.empty()) {
      beside.insert(c.project);
      const std::vector<LVK_URL> records = read_project_file(project(c.project));
      EXPECT_EQ(records.size(), c.records);
      for (const LVK_URL& record : records) EXPECT_EQ(record.checked, 1u) << record.url;
    }
    const std::vector<std::string> listing = tree_listing(program_dir.path());
    EXPECT_EQ(std::set<std::string>(listing.begin(), listing.end()), beside);
    EXPECT_EQ(TempDir::read(source), mixed_bookmark_file_text());
    EXPECT_TRUE(tree_listing(output.path()).empty());
    if (!c.project.empty()) fs::remove(project(c.project));
  }
}

TEST_F(ConsoleE2E, ThreadAnswersAreReadAsDecimalNumbers) {
  fs::create_directories(sources.file("empty"));
  const struct {
    const char* answer;
    uint32_t threads;
  } cases[] = {{"0", 1}, {"11", 1}, {"10", 10}, {"  7", 7}, {"5x", 5}, {"", 1}};
  int n = 0;
  for (const auto& c : cases) {
    const std::string name = "t" + std::to_string(n++);
    run("\n2\n" + sources.file("empty") + "\n" + name + "\n" + c.answer + "\n9\n");
    EXPECT_EQ(project_header(project(name + ".lvn")).threads, c.threads) << '"' << c.answer << '"';
  }
}

// The watch passes every five seconds while a run goes on, and once the last
// worker ends it does not wait out the period. One worker: two slow links
// end at one and three seconds, then one is held until the test lets it go.
TEST_F(ConsoleE2E, ProgressIsPolledWhileTheRunGoesOn) {
  const std::string source =
      sources.write("paced.html", bookmark_file_text({{"A", server.url("/slow/1000?e=a")},
                                                      {"B", server.url("/slow/2000?e=b")},
                                                      {"Held", server.url("/hang?e=held")},
                                                      {"Gone", gone_}}));
  ChildProcess child;
  ASSERT_TRUE(child.start(options()));
  child.write_input("\n3\n" + source + "\npaced\n1\n9\n\n");
  child.close_input();
  // No pass fell between the two slow answers: the first line counts both.
  ASSERT_TRUE(child.wait_for_output("favorites scanned", kRunTimeoutMs)) << child.output();
  EXPECT_EQ(progress_lines(child.output()),
            std::vector<std::string>{"2/4 favorites scanned (50%)...\r\n"});
  EXPECT_EQ(child.output().find("Scanning completed."), std::string::npos);
  EXPECT_EQ(server.count("/hang?e=held"), 1);

  const auto released = std::chrono::steady_clock::now();
  server.release_hangs();
  ASSERT_TRUE(child.wait_for_output(kDone, kRunTimeoutMs));
  EXPECT_LT(std::chrono::steady_clock::now() - released, std::chrono::milliseconds(2500));
  EXPECT_EQ(child.wait(kRunTimeoutMs), 0);
  EXPECT_EQ(progress_lines(child.output()),
            (std::vector<std::string>{"2/4 favorites scanned (50%)...\r\n",
                                      "4/4 favorites scanned (100%)...\r\n"}));
}

// A run ended by a signal leaves its project; the next start resumes it by
// name and checks only what was still pending.
TEST_F(ConsoleE2E, KilledRunIsResumedByName) {
  const std::string slow = server.url("/slow/2000?e=slow");
  const std::string source = sources.write(
      "slow.html", bookmark_file_text({{"Good", good_}, {"Slow", slow}, {"Gone", gone_}}));

  // Killed while the slow link is being fetched: first the new project, then
  // its resumed run.
  for (const int signal : {SIGKILL, SIGINT}) {
    ChildProcess child;
    ASSERT_TRUE(child.start(options()));
    child.write_input(signal == SIGKILL ? "\n3\n" + source + "\nhalted\n1\n" : "halted\n");
    ASSERT_TRUE(server.wait_for_path("/slow/2000", signal == SIGKILL ? 1 : 2, kRunTimeoutMs));
    child.send_signal(signal);
    EXPECT_EQ(child.wait(kRunTimeoutMs), 128 + signal);
    if (signal == SIGINT) {  // the second start resumed what the first left
      EXPECT_NE(child.output().find(summary(3, 1, 0, 0, 1)), std::string::npos);
    }
  }
  std::vector<LVK_URL> records = read_project_file(project("halted.lvn"));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].checked + records[1].checked + records[2].checked, 1u);

  const std::string target = output.file("done.htm");
  EXPECT_EQ(run("halted\n4\n" + target + "\n"), resumed(summary(3, 1, 0, 0, 1)) +
                                                    kTargetFileQuestion + "Saving to: " + target +
                                                    "\r\n" + kEnd);
  records = read_project_file(project("halted.lvn"));
  for (const LVK_URL& record : records) EXPECT_EQ(record.checked, 1u) << record.url;
  // Nothing was asked twice but the link that was cut off each time.
  EXPECT_EQ(server.count("/status/200?e=good"), 1);
  EXPECT_EQ(server.count("/status/404?e=gone"), 1);
  EXPECT_EQ(server.count("/slow/2000?e=slow"), 3);
  EXPECT_EQ(TempDir::read(target), kWrittenBookmarkFileHeader + link_line(good_, "Good") +
                                       link_line(slow, "Slow") + kDeadFolder +
                                       link_line(gone_, "Gone") + "</DL>\r\n");
}

}  // namespace

#endif  // _WIN32
