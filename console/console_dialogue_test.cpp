// The console dialogue in-process: answers from a file, the transcript into a
// file, real project files, real checker workers against the loopback server.
// These run natively and, in the Windows build, under wine64, where they are
// the console's coverage of the dialogue itself.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "console/console_mode.h"
#include "core/globals.h"
#include "core/records.h"
#include "platform/platform.h"
#include "tests/support/console_transcript.h"
#include "tests/support/env.h"
#include "tests/support/file_tree.h"
#include "tests/support/http_fixture.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using namespace transcript;

constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

bool running_on_windows() { return platform::module_path().find('\\') != std::string::npos; }

std::string join(const std::string& folder, const std::string& name) {
  return folder + (running_on_windows() ? "\\" : "/") + name;
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

int g_pauses = 0;
void count_pause() { ++g_pauses; }

void reset_program_state() {
  console_mode = true;
  project_path[0] = '\0';
  source_path[0] = '\0';
  on_http_error = on_no_connection = threads = dead_links_folder = dead_links_text = 0;
  handle_500 = false;
  record_total = 0;
  dead_list_path[0] = '\0';
  running_workers.store(0);
  for (auto& slot : worker_position) slot.store(0);
  stop_requested.store(false);
  output_mode = 0;
  output_location[0] = '\0';
}

class ConsoleDialogue : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.ok());
    saved_directory_ = platform::current_directory();
    // Relative project names land in the program's directory; here, the
    // test's work folder.
    ASSERT_TRUE(platform::set_current_directory(work.path()));
    if (!running_on_windows()) {
      env_.push_back(std::make_unique<ScopedEnv>("HOME", home.path()));
      env_.push_back(std::make_unique<ScopedEnv>("XDG_DESKTOP_DIR", desktop.path()));
      env_.push_back(std::make_unique<ScopedEnv>("LORVANE_REGISTRY_DIR", registry.path()));
    }
    dead_list_ = join(platform::desktop_folder(), "Dead Links.TXT");
    dead_list_before_ = TempDir::read(dead_list_);
    reset_program_state();
  }

  void TearDown() override {
    for (int i = 0; i < 500 && running_workers.load() > 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (platform::HttpSession* session = internet_session.exchange(nullptr))
      platform::http_close_session(session);
    platform::set_current_directory(saved_directory_);
    if (running_on_windows() && dead_list_before_.empty()) {
      std::error_code ec;
      fs::remove(dead_list_, ec);
    }
  }

  // Runs one dialogue on the given input; gives its transcript.
  std::string run(const std::string& input) {
    reset_program_state();
    const std::string in_path = scratch.write("answers.txt", input);
    const std::string out_path = scratch.file("transcript.txt");
    std::FILE* in = std::fopen(in_path.c_str(), "rb");
    std::FILE* out = std::fopen(out_path.c_str(), "w+b");
    EXPECT_TRUE(in && out);
    if (!in || !out) return "";
    g_pauses = 0;
    run_console_dialogue(ConsoleStreams{in, out, count_pause});
    std::fclose(in);
    std::fclose(out);
    return TempDir::read(out_path);
  }

  // Lines added to the desktop's dead-link list since the test began.
  std::multiset<std::string> new_dead_list_lines() const {
    const std::string now = TempDir::read(dead_list_);
    std::multiset<std::string> lines;
    if (now.compare(0, dead_list_before_.size(), dead_list_before_) != 0) {
      lines.insert("<list was rewritten>");
      return lines;
    }
    std::istringstream added(now.substr(dead_list_before_.size()));
    for (std::string line; std::getline(added, line);) lines.insert(line);
    return lines;
  }

  // A bookmark file with one good, two dead and one unreachable link.
  std::string write_mixed_bookmark_file(const std::string& name) {
    return sources.write(name, bookmark_file_text({{"Good", good_},
                                                   {"Gone", gone_},
                                                   {"Broken", broken_},
                                                   {"Nowhere", nowhere_}}));
  }

  HttpFixture server;
  TempDir work, sources, output, scratch, home, desktop, registry;
  const std::string good_ = server.url("/status/200?c=good");
  const std::string gone_ = server.url("/status/404?c=gone");
  const std::string broken_ = server.url("/status/500?c=broken");
  const std::string nowhere_ = unreachable_url();
  std::string dead_list_;
  std::string dead_list_before_;

 private:
  std::string saved_directory_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
};

TEST_F(ConsoleDialogue, NewProjectFromBookmarkFileSavedAsBookmarkFile) {
  const std::string source = write_mixed_bookmark_file("bookmarks.html");
  const std::string target = output.file("clean.htm");
  const std::string text = run("\r\n3\r\n" + source + "\r\ninproc\r\n2\r\n4\r\n" + target + "\r\n");

  EXPECT_EQ(without_progress(text),
            std::string(kBanner) + kResumeQuestion + kSourceMenu + kBookmarkFileQuestion +
                "Using file: " + source + "\r\n" + kNameQuestion + kThreadsQuestion + kRunning +
                kSaveMenu + kTargetFileQuestion + "Saving to: " + target + "\r\n" + kDone);
  EXPECT_TRUE(progress_well_formed(text, 4)) << text;
  EXPECT_EQ(g_pauses, 1);

  // The fixed settings of a console project, and the threads answer.
  const ProjectHeader header = project_header(work.file("inproc.lvn"));
  EXPECT_EQ(header.format, 1u);
  EXPECT_EQ(header.on_http_error, 2u);
  EXPECT_EQ(header.on_no_connection, 2u);
  EXPECT_EQ(header.threads, 2u);
  EXPECT_EQ(header.dead_links_folder, 1u);
  EXPECT_EQ(header.dead_links_text, 1u);
  EXPECT_EQ(std::string(header.source), source);

  const std::vector<LVK_URL> records = read_project_file(work.file("inproc.lvn"));
  ASSERT_EQ(records.size(), 4u);
  for (const LVK_URL& record : records) {
    EXPECT_EQ(record.checked, 1u) << record.url;
    const bool good = std::string(record.url) == good_;
    const bool refused = std::string(record.url) == nowhere_;
    EXPECT_EQ(record.action, good ? 0u : 2u) << record.url;
    EXPECT_EQ(record.result, good ? 0u : refused ? 2u : 1u) << record.url;
  }

  // HTTP 500 counts as dead in a console project.
  const std::string written = TempDir::read(target);
  const size_t dead_folder = written.find("<DT><H3>Dead Links</H3>");
  ASSERT_NE(dead_folder, std::string::npos) << written;
  EXPECT_LT(written.find("\">Good</A>"), dead_folder);
  for (const char* name : {"Gone", "Broken", "Nowhere"})
    EXPECT_GT(written.find(std::string("\">") + name + "</A>"), dead_folder) << name;
  EXPECT_EQ(new_dead_list_lines(),
            (std::multiset<std::string>{gone_ + "\r", broken_ + "\r", nowhere_ + "\r"}));
}

TEST_F(ConsoleDialogue, NewProjectFromFavoritesTreeSavedToDirectory) {
  sources.write("Favs/Good.url", shortcut_text(good_));
  sources.write("Favs/Sub/Gone.url", shortcut_text(gone_));
  const std::string tree = sources.file("Favs");
  const std::string target = output.file("saved");
  const std::string text = run("\n2\n" + tree + "\ntree\n1\n2\n" + target + "\n");

  EXPECT_EQ(without_progress(text),
            std::string(kBanner) + kResumeQuestion + kSourceMenu + kDirectoryQuestion +
                "Using directory: " + tree + "\r\n" + kNameQuestion + kThreadsQuestion +
                kRunning + kSaveMenu + kTargetDirectoryQuestion + "Saving to: " + target +
                "\r\n" + kDone);
  EXPECT_EQ(read_project_file(work.file("tree.lvn")).size(), 2u);
  EXPECT_EQ(tree_listing(target),
            (std::vector<std::string>{"Dead Links/", "Dead Links/Gone.url", "Good.url", "Sub/"}));
  EXPECT_NE(TempDir::read(output.file("saved/Dead Links/Gone.url")).find("URL=" + gone_),
            std::string::npos);
  EXPECT_EQ(new_dead_list_lines(), (std::multiset<std::string>{gone_ + "\r"}));
}

TEST_F(ConsoleDialogue, ResumesAProjectByNameWithOrWithoutExtension) {
  write_project_file(work.file("old.lvn"),
                     {make_record(good_, "Good.URL", 1, 0, 0), make_record(gone_, "Gone.URL")});
  std::string text = run("old\n9\n");
  EXPECT_EQ(without_progress(text), std::string(kBanner) + kResumeQuestion +
                                        summary(2, 1, 0, 0, 1) + kRunning + kSaveMenu + kDone);
  // Only the pending record was checked; the header (zero options) decides
  // what happens to a dead link, so it is kept.
  EXPECT_EQ(server.count("/status/404?c=gone"), 1);
  EXPECT_EQ(server.count("/status/200?c=good"), 0);
  const std::vector<LVK_URL> records = read_project_file(work.file("old.lvn"));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].checked, 1u);
  EXPECT_EQ(records[1].result, 1u);
  EXPECT_EQ(records[1].action, 0u);

  // With the extension typed, in any case, the name is tried as it stands.
  write_project_file(work.file("Mixed.LvN"), {make_record(gone_, "Gone.URL")});
  text = run("Mixed.LvN\n9\n");
  EXPECT_EQ(without_progress(text), std::string(kBanner) + kResumeQuestion +
                                        summary(1, 0, 0, 0, 1) + kRunning + kSaveMenu + kDone);
  EXPECT_FALSE(fs::exists(work.file("Mixed.LvN.lvn")));
  EXPECT_EQ(read_project_file(work.file("Mixed.LvN"))[0].checked, 1u);
}

TEST_F(ConsoleDialogue, ThreadAnswersOutsideOneToTenGiveOne) {
  const std::string empty_tree = sources.file("empty");
  fs::create_directories(empty_tree);
  const struct {
    const char* answer;
    uint32_t threads;
  } cases[] = {{"0", 1}, {"11", 1}, {"-3", 1}, {"abc", 1}, {"  7", 7},
               {"5x", 5}, {"10", 10}, {"1", 1}, {"", 1}};
  int n = 0;
  for (const auto& c : cases) {
    const std::string name = "threads" + std::to_string(n++);
    const std::string text = run("\n2\n" + empty_tree + "\n" + name + "\n" + c.answer + "\n9\n");
    EXPECT_EQ(project_header(work.file(name + ".lvn")).threads, c.threads)
        << '"' << c.answer << '"';
    // No records: no progress line, and the watch leaves at its first pass.
    EXPECT_TRUE(progress_lines(text).empty()) << text;
    EXPECT_NE(text.find(kDone), std::string::npos);
  }
}

TEST_F(ConsoleDialogue, ProjectNamesGetTheExtensionAlways) {
  const std::string empty_tree = sources.file("empty");
  fs::create_directories(empty_tree);
  run("\n2\n" + empty_tree + "\nx.lvn\n3\n9\n");
  EXPECT_TRUE(fs::exists(work.file("x.lvn.lvn")));
  EXPECT_FALSE(fs::exists(work.file("x.lvn")));

  run("\n2\n" + empty_tree + "\n\n3\n9\n");
  EXPECT_EQ(project_header(work.file("prj.lvn")).threads, 3u);

  // Naming a new project like an existing one resumes that one unchanged.
  const std::string text = run("\n2\n" + empty_tree + "\n\n5\n9\n");
  EXPECT_EQ(project_header(work.file("prj.lvn")).threads, 3u);
  EXPECT_NE(text.find(std::string(kThreadsQuestion) + summary(0, 0, 0, 0, 3) + kRunning),
            std::string::npos)
      << text;
}

TEST_F(ConsoleDialogue, OverLongAnswersSpillIntoTheNextQuestion) {
  const std::string source = sources.write("one.html", bookmark_file_text({{"Good", good_}}));
  const std::string long_name(99, 'n');
  // 99 characters answer the first question, the "3" the source question;
  // the name's 100th character answers the threads question.
  const std::string text =
      run(std::string(99, 'a') + "3\n" + source + "\n" + long_name + "4\n9\n");
  EXPECT_EQ(without_progress(text),
            std::string(kBanner) + kResumeQuestion + kSourceMenu + kBookmarkFileQuestion +
                "Using file: " + source + "\r\n" + kNameQuestion + kThreadsQuestion + kRunning +
                kSaveMenu + kDone);
  EXPECT_EQ(project_header(work.file(long_name + ".lvn")).threads, 4u);
}

TEST_F(ConsoleDialogue, UnknownSourceChoicePrintsNothingAndGoesOn) {
  const std::string text = run("\n7\nnone\n1\n9\n");
  EXPECT_EQ(text, std::string(kBanner) + kResumeQuestion + kSourceMenu + kNameQuestion +
                      kThreadsQuestion + kRunning + kSaveMenu + kDone);
  EXPECT_EQ(std::string(project_header(work.file("none.lvn")).source), "");
}

TEST_F(ConsoleDialogue, SaveChoiceNineWritesNothing) {
  const std::string source = write_mixed_bookmark_file("b.html");
  const std::string text = run("\n3\n" + source + "\nnine\n4\n9\n");
  EXPECT_TRUE(text.size() > std::strlen(kDone) &&
              text.compare(text.size() - std::strlen(kSaveMenu) - std::strlen(kDone),
                           std::string::npos, std::string(kSaveMenu) + kDone) == 0)
      << text;
  EXPECT_EQ(tree_listing(work.path()), (std::vector<std::string>{"nine.lvn"}));
  EXPECT_TRUE(tree_listing(output.path()).empty());
  EXPECT_EQ(output_mode, 0u);
}

TEST_F(ConsoleDialogue, SaveChoiceOneWritesOverTheFavoritesFolder) {
  // On Linux the registry is a store in a test folder; on Windows the real
  // value is put back afterwards.
  std::string old_value;
  const bool had_old = platform::registry_read_string(platform::RegistryRoot::current_user,
                                                      kShellFolders, "Favorites", old_value);
  const std::string favorites = output.file("Favorites");
  ASSERT_TRUE(platform::registry_write_string(platform::RegistryRoot::current_user,
                                              kShellFolders, "Favorites", favorites));
  sources.write("Favs/Good.url", shortcut_text(good_));
  sources.write("Favs/Gone.url", shortcut_text(gone_));
  const std::string text = run("\n2\n" + sources.file("Favs") + "\nie\n1\n1\n");
  if (had_old)
    platform::registry_write_string(platform::RegistryRoot::current_user, kShellFolders,
                                    "Favorites", old_value);

  EXPECT_NE(text.find(std::string(kSaveMenu) + "Saving to: " + favorites + ".\r\n" + kDone),
            std::string::npos)
      << text;
  EXPECT_EQ(tree_listing(favorites),
            (std::vector<std::string>{"Dead Links/", "Dead Links/Gone.url", "Good.url"}));
}

// A Firefox profiles folder of the test's own: HOME moves on Linux; on
// Windows the application-data folder is used only when it holds no Mozilla
// folder yet, and everything made there is removed.
class FirefoxProfile {
 public:
  FirefoxProfile() {
    const std::string profiles = platform::firefox_profiles_folder();
    if (running_on_windows()) {
      mozilla_ = fs::path(profiles).parent_path().parent_path();
      if (mozilla_.filename() != "Mozilla" || fs::exists(mozilla_)) return;
      made_ = true;
    }
    profile_ = join(profiles, "x.default");
    fs::create_directories(profile_);
    usable_ = true;
  }
  ~FirefoxProfile() {
    std::error_code ec;
    if (made_) fs::remove_all(mozilla_, ec);
  }
  bool usable() const { return usable_; }
  std::string bookmarks() const { return join(profile_, "bookmarks.html"); }
  // The path as the lookup gives it: program paths use backslashes, and on
  // Windows the fixed name opens whatever case the file has.
  static std::string found_path() {
    return platform::firefox_profiles_folder() + "\\x.default\\" +
           (running_on_windows() ? "BOOKMARKS.HTML" : "bookmarks.html");
  }

 private:
  fs::path mozilla_;
  std::string profile_;
  bool made_ = false;
  bool usable_ = false;
};

TEST_F(ConsoleDialogue, FirefoxBookmarksFoundForSourceAndWrittenBack) {
  FirefoxProfile profile;
  if (!profile.usable()) GTEST_SKIP() << "the application-data folder has a Mozilla folder";
  write_file(profile.bookmarks(), bookmark_file_text({{"Good", good_}, {"Gone", gone_}}));
  const std::string text = run("\n4\nff\n1\n3\n");

  // Choice 3 saves without a "Saving to" line.
  EXPECT_EQ(without_progress(text),
            std::string(kBanner) + kResumeQuestion + kSourceMenu + "Using file: " +
                FirefoxProfile::found_path() + "\r\n" + kNameQuestion + kThreadsQuestion + kRunning +
                kSaveMenu + kDone);
  const std::string written = TempDir::read(profile.bookmarks());
  EXPECT_EQ(written.compare(0, 35, "<!DOCTYPE NETSCAPE-Bookmark-file-1>"), 0) << written;
  EXPECT_GT(written.find("\">Gone</A>"), written.find("<DT><H3>Dead Links</H3>")) << written;
}

TEST_F(ConsoleDialogue, FirefoxLookupFailureAtTheSourceEndsTheDialogue) {
  if (running_on_windows() &&
      fs::exists(fs::path(platform::firefox_profiles_folder()).parent_path().parent_path()))
    GTEST_SKIP() << "the application-data folder has a Mozilla folder";
  const std::string text = run("\n4\nnever\n1\n9\n");
  EXPECT_EQ(text, std::string(kBanner) + kResumeQuestion + kSourceMenu + kFirefoxSourceFailure);
  EXPECT_EQ(g_pauses, 1);
  EXPECT_TRUE(tree_listing(work.path()).empty());
}

TEST_F(ConsoleDialogue, FirefoxLookupFailureAtTheSaveWritesNothing) {
  if (running_on_windows() &&
      fs::exists(fs::path(platform::firefox_profiles_folder()).parent_path().parent_path()))
    GTEST_SKIP() << "the application-data folder has a Mozilla folder";
  const std::string source = write_mixed_bookmark_file("b.html");
  const std::string text = run("\n3\n" + source + "\nkept\n1\n3\n");
  EXPECT_TRUE(text.size() > std::strlen(kFirefoxSaveFailure) &&
              text.compare(text.size() - std::strlen(kSaveMenu) - std::strlen(kFirefoxSaveFailure),
                           std::string::npos, std::string(kSaveMenu) + kFirefoxSaveFailure) == 0)
      << text;
  EXPECT_EQ(g_pauses, 1);
  // The run's results stay in the project.
  const std::vector<LVK_URL> records = read_project_file(work.file("kept.lvn"));
  ASSERT_EQ(records.size(), 4u);
  for (const LVK_URL& record : records) EXPECT_EQ(record.checked, 1u);
  EXPECT_EQ(TempDir::read(source), bookmark_file_text({{"Good", good_},
                                                      {"Gone", gone_},
                                                      {"Broken", broken_},
                                                      {"Nowhere", nowhere_}}));
}

// Console mode entered some other way than "-cmd" (the wizard's "Console
// version" link) sets console_mode itself, so the summary comes as text.
TEST_F(ConsoleDialogue, ConsoleModeEnteredWithoutTheSwitchPrintsThePlainSummary) {
#ifdef _WIN32
  GTEST_SKIP() << "obtaining a console would take over the test's own streams";
#else
  write_project_file(work.file("wiz.lvn"), {make_record(good_, "Good.URL", 1, 0, 0)});
  const std::string answers = scratch.write("wiz-answers.txt", "wiz\n9\n");
  const std::string transcript_path = scratch.file("wiz-transcript.txt");
  reset_program_state();
  console_mode = false;

  // The process's own standard streams, moved to files for the call.
  std::fflush(stdout);
  const int saved_in = ::dup(0), saved_out = ::dup(1);
  const int in = ::open(answers.c_str(), O_RDONLY);
  const int out = ::open(transcript_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_TRUE(saved_in >= 0 && saved_out >= 0 && in >= 0 && out >= 0);
  ::dup2(in, 0);
  ::dup2(out, 1);
  std::clearerr(stdin);
  run_console_mode();
  std::fflush(stdout);
  ::dup2(saved_in, 0);
  ::dup2(saved_out, 1);
  for (int fd : {saved_in, saved_out, in, out}) ::close(fd);
  std::clearerr(stdin);

  EXPECT_TRUE(console_mode);
  const std::string text = TempDir::read(transcript_path);
  EXPECT_EQ(without_progress(text).substr(0, std::strlen(kBanner) + std::strlen(kResumeQuestion) +
                                              summary(1, 1, 0, 0, 1).size() + std::strlen(kRunning)),
            std::string(kBanner) + kResumeQuestion + summary(1, 1, 0, 0, 1) + kRunning)
      << text;
#endif
}

}  // namespace
