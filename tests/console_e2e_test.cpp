// The real program in console mode ("-cmd"), driven through pipes on its
// standard input and output, against the loopback server. Each test runs a
// copy of the program in a folder of its own, which start-up makes the
// current directory, so project files land beside that copy.
//
// The Windows build's own console is not connected to pipes; its flow is
// driven from the Linux side on a terminal (console_wine_e2e_test.cpp).
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

constexpr const char kPausePrompt[] = "Press any key to continue . . . ";
constexpr int kRunTimeoutMs = 30000;


// The transcript of a new project up to the save menu, its source step as
// given; of a resumed one; and the end of every run.
std::string new_project(const std::string& source_step) {
  return std::string(kBanner) + kResumeQuestion + kSourceMenu + source_step + kNameQuestion +
         kThreadsQuestion + kRunning + kSaveMenu;
}
std::string resumed(const std::string& totals) {
  return std::string(kBanner) + kResumeQuestion + totals + kRunning + kSaveMenu;
}
const std::string kEnd = std::string(kDone) + kPausePrompt + "\r\n";

std::string link_line(const std::string& url, const std::string& name) {
  return "<DT><A HREF=\"" + url + "\">" + name + "</A>\r\n";
}

struct Outcome {
  int exit_code = -1;
  std::string out;
  std::string err;
};

class ConsoleE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.ok());
    exe_ = program_dir.file("lvn");
    fs::copy_file(LVN_EXE, exe_, fs::copy_options::overwrite_existing);
  }

  ProcessOptions options() const {
    ProcessOptions o;
    o.program = exe_;
    o.arguments = {"-cmd"};
    // Started from elsewhere: the program moves to its own folder.
    o.working_directory = home.path();
    o.environment = {{"HOME", home.path()},
                     {"XDG_DESKTOP_DIR", desktop.path()},
                     {"LORVANE_REGISTRY_DIR", registry.path()}};
    return o;
  }

  // Runs the program with all of its input given at once and ended.
  Outcome run(const std::string& input) {
    ChildProcess child;
    Outcome outcome;
    if (!child.start(options())) {
      ADD_FAILURE() << "could not start " << exe_;
      return outcome;
    }
    child.write_input(input);
    child.close_input();
    outcome.exit_code = child.wait(kRunTimeoutMs);
    outcome.out = child.output();
    outcome.err = child.errors();
    return outcome;
  }

  std::string project(const std::string& name) const { return program_dir.file(name); }

  std::multiset<std::string> dead_list_lines() const {
    std::istringstream text(TempDir::read(desktop.file("Dead Links.TXT")));
    std::multiset<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.insert(line);
    return lines;
  }

  std::string write_mixed_bookmark_file(const std::string& name) {
    return sources.write(name, bookmark_file_text({{"Good", good_},
                                                   {"Gone", gone_},
                                                   {"Broken", broken_},
                                                   {"Nowhere", nowhere_}}));
  }

  // The cleaned form of the mixed bookmark file, byte for byte.
  std::string cleaned_mixed_bookmark_file() const {
    return std::string(kWrittenBookmarkFileHeader) + link_line(good_, "Good") +
           "<DT><H3>Dead Links</H3>\r\n<DL><p>\r\n" + link_line(gone_, "Gone") +
           link_line(broken_, "Broken") + link_line(nowhere_, "Nowhere") + "</DL>\r\n";
  }

  HttpFixture server;
  TempDir program_dir, home, desktop, registry, sources, output;
  const std::string good_ = server.url("/status/200?e=good");
  const std::string gone_ = server.url("/status/404?e=gone");
  const std::string broken_ = server.url("/status/500?e=broken");
  const std::string nowhere_ = unreachable_url();

 private:
  std::string exe_;
};

TEST_F(ConsoleE2E, NewProjectFromBookmarkFileExportedToABookmarkFile) {
  const std::string source = write_mixed_bookmark_file("bookmarks.html");
  const std::string target = output.file("clean.htm");
  const Outcome r = run("\r\n3\r\n" + source + "\r\nmixed\r\n2\r\n4\r\n" + target + "\r\n\r\n");

  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(without_progress(r.out),
            new_project(kBookmarkFileQuestion + ("Using file: " + source + "\r\n")) +
                kTargetFileQuestion + "Saving to: " + target + "\r\n" + kEnd);
  EXPECT_TRUE(progress_well_formed(r.out, 4)) << r.out;

  EXPECT_EQ(TempDir::read(target), cleaned_mixed_bookmark_file());
  EXPECT_EQ(dead_list_lines(),
            (std::multiset<std::string>{gone_ + "\r", broken_ + "\r", nowhere_ + "\r"}));

  const ProjectHeader header = project_header(project("mixed.lvn"));
  EXPECT_EQ(header.threads, 2u);
  EXPECT_EQ(header.on_http_error, 2u);
  EXPECT_EQ(header.on_no_connection, 2u);
  EXPECT_EQ(header.dead_links_folder, 1u);
  EXPECT_EQ(header.dead_links_text, 1u);
  // Each link was asked for once.
  EXPECT_EQ(server.total(), 3);
}

TEST_F(ConsoleE2E, NewProjectFromFavoritesTreeSavedToADirectory) {
  sources.write("Favs/Good.url", shortcut_text(good_));
  sources.write("Favs/News/Gone.url", shortcut_text(gone_));
  sources.write("Favs/News/Broken.url", shortcut_text(broken_));
  const std::string tree = sources.file("Favs");
  const std::string target = output.file("cleaned");
  const Outcome r = run("\n2\n" + tree + "\ntree\n3\n2\n" + target + "\n");

  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(without_progress(r.out),
            new_project(kDirectoryQuestion + ("Using directory: " + tree + "\r\n")) +
                kTargetDirectoryQuestion + "Saving to: " + target + "\r\n" + kEnd);
  EXPECT_EQ(tree_listing(target),
            (std::vector<std::string>{"Dead Links/", "Dead Links/Broken.url", "Dead Links/Gone.url",
                                      "Good.url", "News/"}));
  EXPECT_NE(TempDir::read(output.file("cleaned/Good.url")).find("URL=" + good_),
            std::string::npos);
  EXPECT_NE(TempDir::read(output.file("cleaned/Dead Links/Gone.url")).find("URL=" + gone_),
            std::string::npos);
  EXPECT_EQ(dead_list_lines(), (std::multiset<std::string>{gone_ + "\r", broken_ + "\r"}));
  EXPECT_EQ(project_header(project("tree.lvn")).threads, 3u);
  EXPECT_EQ(read_project_file(project("tree.lvn")).size(), 3u);
}

TEST_F(ConsoleE2E, ResumesByNameWithAndWithoutTheExtension) {
  write_project_file(project("again.lvn"), {make_record(good_, "Good.URL", 1, 0, 0),
                                            make_record(gone_, "Gone.URL"),
                                            make_record(broken_, "Broken.URL")});
  Outcome r = run("again\n9\n");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(without_progress(r.out), resumed(summary(3, 1, 0, 0, 1)) + kEnd);
  EXPECT_EQ(server.count("/status/404?e=gone"), 1);
  EXPECT_EQ(server.count("/status/200?e=good"), 0);
  // A 500 is dead in a resumed project as in a new one.
  EXPECT_EQ(read_project_file(project("again.lvn"))[2].result, 1u);

  // Everything is checked now: a resume with the extension typed asks for
  // nothing, and the totals show the run before.
  r = run("again.lvn\n9\n");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(without_progress(r.out), resumed(summary(3, 3, 0, 0, 1)) + kEnd);
  EXPECT_EQ(server.total(), 2);
  EXPECT_FALSE(fs::exists(project("again.lvn.lvn")));
}

TEST_F(ConsoleE2E, SaveOverTheFavoritesFolderNamedInTheRegistry) {
  const std::string favorites = output.file("Favorites");
  {
    ScopedEnv store("LORVANE_REGISTRY_DIR", registry.path());
    ASSERT_TRUE(platform::registry_write_string(
        platform::RegistryRoot::current_user,
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", "Favorites",
        favorites));
  }
  // The IE choice at the source reads the same folder.
  output.write("Favorites/Good.url", shortcut_text(good_));
  output.write("Favorites/Gone.url", shortcut_text(gone_));
  const Outcome r = run("\n1\nie\n1\n1\n");

  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(without_progress(r.out),
            new_project("Using directory: " + favorites + "\r\n") + "Saving to: " + favorites +
                ".\r\n" + kEnd);
  EXPECT_EQ(tree_listing(favorites),
            (std::vector<std::string>{"Dead Links/", "Dead Links/Gone.url", "Good.url"}));
}

TEST_F(ConsoleE2E, FirefoxProfileIsReadAndWrittenBack) {
  const std::string profile_file = home.write(".mozilla/firefox/x.default/bookmarks.html",
                                              bookmark_file_text({{"Good", good_},
                                                                  {"Gone", gone_},
                                                                  {"Broken", broken_},
                                                                  {"Nowhere", nowhere_}}));
  // Program paths keep their backslashes; the file's own name is found in
  // whatever case it has.
  const std::string found = home.path() + "/.mozilla/firefox\\x.default\\bookmarks.html";
  const Outcome r = run("\n4\nfox\n2\n3\n");

  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(without_progress(r.out),
            new_project("Using file: " + found + "\r\n") + kEnd);
  EXPECT_EQ(TempDir::read(profile_file), cleaned_mixed_bookmark_file());
}

TEST_F(ConsoleE2E, FirefoxLookupFailsAtTheSourceStep) {
  // A profile folder that matches but holds no bookmark file.
  fs::create_directories(home.file(".mozilla/firefox/x.default"));
  const Outcome r = run("\n4\nnever\n1\n");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, std::string(kBanner) + kResumeQuestion + kSourceMenu + kFirefoxSourceFailure +
                       kPausePrompt + "\r\n");
  EXPECT_FALSE(fs::exists(project("never.lvn")));
  EXPECT_FALSE(fs::exists(project(".lvn")));
}

TEST_F(ConsoleE2E, FirefoxLookupFailsAtTheSaveStep) {
  const std::string source = write_mixed_bookmark_file("b.html");
  const std::string before = TempDir::read(source);
  const Outcome r = run("\n3\n" + source + "\nunsaved\n1\n3\n");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(without_progress(r.out),
            new_project(kBookmarkFileQuestion + ("Using file: " + source + "\r\n")) +
                kFirefoxSaveFailure + kPausePrompt + "\r\n");
  // The results stay in the project; no bookmarks were written.
  const std::vector<LVK_URL> records = read_project_file(project("unsaved.lvn"));
  ASSERT_EQ(records.size(), 4u);
  for (const LVK_URL& record : records) EXPECT_EQ(record.checked, 1u) << record.url;
  EXPECT_EQ(TempDir::read(source), before);
  EXPECT_TRUE(tree_listing(output.path()).empty());
}

TEST_F(ConsoleE2E, ThreadAnswersAreReadAsDecimalNumbers) {
  fs::create_directories(sources.file("empty"));
  const struct {
    const char* answer;
    uint32_t threads;
  } cases[] = {{"0", 1}, {"11", 1}, {"-3", 1}, {"abc", 1}, {"  7", 7},
               {"5x", 5}, {"10", 10}, {"1", 1}, {"", 1}};
  int n = 0;
  for (const auto& c : cases) {
    const std::string name = "t" + std::to_string(n++);
    const Outcome r =
        run("\n2\n" + sources.file("empty") + "\n" + name + "\n" + c.answer + "\n9\n");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(project_header(project(name + ".lvn")).threads, c.threads) << '"' << c.answer << '"';
    // No records: no progress line.
    EXPECT_TRUE(progress_lines(r.out).empty()) << r.out;
  }
}

TEST_F(ConsoleE2E, SaveChoiceNineOnlySaysDone) {
  const std::string source = write_mixed_bookmark_file("b.html");
  const Outcome r = run("\n3\n" + source + "\nnine\n1\n9\n");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string tail = kSaveMenu + kEnd;
  ASSERT_GE(r.out.size(), tail.size());
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
  EXPECT_TRUE(tree_listing(output.path()).empty());
  EXPECT_EQ(tree_listing(sources.path()), (std::vector<std::string>{"b.html"}));
  EXPECT_TRUE(fs::exists(project("nine.lvn")));
  EXPECT_FALSE(fs::exists(desktop.file("Favorites")));
}

TEST_F(ConsoleE2E, OverLongAnswerSpillsIntoTheNextQuestion) {
  const std::string source = sources.write("one.html", bookmark_file_text({{"Good", good_}}));
  // The choice answer keeps 24 characters; the rest answers the path question.
  const std::string choice = "3" + std::string(23, ' ');
  const Outcome r = run("\n" + choice + source + "\nspill\n1\n4\n" + output.file("o.htm") + "\n");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(without_progress(r.out),
            new_project(kBookmarkFileQuestion + ("Using file: " + source + "\r\n")) +
                kTargetFileQuestion + "Saving to: " + output.file("o.htm") + "\r\n" + kEnd);
  EXPECT_EQ(read_project_file(project("spill.lvn")).size(), 1u);
  EXPECT_EQ(TempDir::read(output.file("o.htm")),
            std::string(kWrittenBookmarkFileHeader) + link_line(good_, "Good") +
                "<DT><H3>Dead Links</H3>\r\n<DL><p>\r\n</DL>\r\n");
}

// One real pass period: the first pass runs at once, the next five seconds
// later, and the pass after the last worker ends comes without waiting out
// the period.
TEST_F(ConsoleE2E, ProgressIsPolledEveryFiveSeconds) {
  const std::string source = sources.write(
      "paced.html", bookmark_file_text({{"Quick", server.url("/slow/100?e=quick")},
                                        {"Long", server.url("/slow/6000?e=long")},
                                        {"Gone", gone_}}));
  ChildProcess child;
  ASSERT_TRUE(child.start(options()));
  child.write_input("\n3\n" + source + "\npaced\n1\n9\n\n");
  child.close_input();
  ASSERT_TRUE(child.wait_for_output(kRunning, kRunTimeoutMs));
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(child.wait_for_output("favorites scanned", kRunTimeoutMs));
  const auto first_line = std::chrono::steady_clock::now();
  ASSERT_TRUE(child.wait_for_output(kDone, kRunTimeoutMs));
  const auto done = std::chrono::steady_clock::now();
  EXPECT_EQ(child.wait(kRunTimeoutMs), 0);

  const auto ms = [](auto d) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
  };
  // At the first pass the worker had finished no record yet: no line.
  EXPECT_GE(ms(first_line - started), 4500);
  EXPECT_LT(ms(first_line - started), 5900);
  // The long link ends about six seconds in; the watch does not sleep on
  // until ten.
  EXPECT_LT(ms(done - started), 8500);
  EXPECT_EQ(progress_lines(child.output()),
            (std::vector<std::string>{"1/3 favorites scanned (33%)...\r\n",
                                      "3/3 favorites scanned (100%)...\r\n"}));
}

// A run ended by a signal leaves its project; the next start resumes it by
// name and checks only what was still pending.
TEST_F(ConsoleE2E, KilledRunIsResumedByName) {
  const std::string slow = server.url("/slow/2000?e=slow");
  const std::string source = sources.write(
      "slow.html", bookmark_file_text({{"Good", good_}, {"Slow", slow}, {"Gone", gone_}}));

  // First start: killed while the slow link is being fetched.
  for (const int signal : {SIGKILL, SIGINT}) {
    ChildProcess child;
    ASSERT_TRUE(child.start(options()));
    const std::string answers =
        signal == SIGKILL ? "\n3\n" + source + "\nhalted\n1\n" : std::string("halted\n");
    child.write_input(answers);
    ASSERT_TRUE(child.wait_for_output(kRunning, kRunTimeoutMs)) << child.output();
    const int seen = signal == SIGKILL ? 1 : 2;
    ASSERT_TRUE(server.wait_for_path("/slow/2000", seen, kRunTimeoutMs));
    child.send_signal(signal);
    EXPECT_EQ(child.wait(kRunTimeoutMs), 128 + signal);
    if (signal == SIGINT) {  // the second start resumed what the first left
      EXPECT_NE(child.output().find(summary(3, 1, 0, 0, 1)), std::string::npos)
          << child.output();
    }
  }
  std::vector<LVK_URL> records = read_project_file(project("halted.lvn"));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].checked, 1u);
  EXPECT_EQ(records[1].checked, 0u);
  EXPECT_EQ(records[2].checked, 0u);

  const Outcome r = run("halted\n4\n" + output.file("done.htm") + "\n");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(without_progress(r.out),
            resumed(summary(3, 1, 0, 0, 1)) + kTargetFileQuestion + "Saving to: " +
                output.file("done.htm") + "\r\n" + kEnd);
  records = read_project_file(project("halted.lvn"));
  for (const LVK_URL& record : records) EXPECT_EQ(record.checked, 1u) << record.url;
  EXPECT_EQ(records[2].action, 2u);
  // Nothing was asked twice but the link that was cut off each time.
  EXPECT_EQ(server.count("/status/200?e=good"), 1);
  EXPECT_EQ(server.count("/status/404?e=gone"), 1);
  EXPECT_EQ(server.count("/slow/2000?e=slow"), 3);
  EXPECT_EQ(TempDir::read(output.file("done.htm")),
            std::string(kWrittenBookmarkFileHeader) + link_line(good_, "Good") + link_line(slow, "Slow") +
                "<DT><H3>Dead Links</H3>\r\n<DL><p>\r\n" + link_line(gone_, "Gone") + "</DL>\r\n");
}

}  // namespace

#endif  // _WIN32
