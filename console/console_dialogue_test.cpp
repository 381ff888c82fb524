// The console dialogue in-process: answers from a file, the transcript into a
// file, real project files, real checker workers against the loopback server.
// Every step byte for byte goes through the real program in
// tests/console_e2e_test.cpp; here one whole flow (the registry's Favorites
// folder, the desktop's dead-link list) runs in-process, natively and under
// wine64, with the few rules that need no program of their own.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
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

  HttpFixture server;
  TempDir work, sources, output, scratch, home, desktop, registry;
  const std::string good_ = server.url("/status/200?c=good");
  const std::string gone_ = server.url("/status/404?c=gone");
  std::string dead_list_;
  std::string dead_list_before_;

 private:
  std::string saved_directory_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
};

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

TEST_F(ConsoleDialogue, UnknownSourceChoicePrintsNothingAndGoesOn) {
  const std::string text = run("\n7\nnone\n1\n9\n");
  EXPECT_EQ(text, std::string(kBanner) + kResumeQuestion + kSourceMenu + kNameQuestion +
                      kThreadsQuestion + kRunning + kSaveMenu + kDone);
  EXPECT_EQ(std::string(project_header(work.file("none.lvn")).source), "");

  // A project that cannot be made ends the dialogue: no run, no save.
  testing::internal::CaptureStdout();
  const std::string failed = run("\n7\nno-such-folder/x\n1\n1\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: Cannot create specified project !");
  EXPECT_EQ(failed, std::string(kBanner) + kResumeQuestion + kSourceMenu + kNameQuestion +
                        kThreadsQuestion + "\r\nThe run could not start.\r\n");
  EXPECT_EQ(g_pauses, 1);
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
  EXPECT_EQ(g_pauses, 1);
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
