// Making project files and starting runs: the header's and records' bytes,
// the rule that an existing project is never touched, and creations and starts
// that fail.
#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform/fault_injection.h"
#include "tests/support/checker_run.h"
#include "tests/support/env.h"

namespace {

std::vector<std::string> g_messages;

class ProjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_messages.clear();
    platform::set_message_hook([](const std::string& text, const std::string& caption,
                                  platform::MessageIcon icon) {
      g_messages.push_back(caption + "|" + text + "|" + std::to_string(static_cast<int>(icon)));
    });
    on_http_error = 3, on_no_connection = 2, threads = 4, dead_links_folder = 1, dead_links_text = 0;
    dead_list_path[0] = '\0';
    select_project(project);
    copy_field(source_path, sizeof source_path, source);
  }

  TempDir dir;
  const std::string project = dir.file("p.lvn");
  const std::string source = dir.write(
      "bookmarks.htm",
      "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n<DT><H3>News</H3>\n<DL><p>\n"
      "<DT><A HREF=\"http://a.example/\">A</A>\n</DL><p>\n<DT><A HREF=\"http://b.example/\">B</A>\n");
};

// A new project: the header's bytes, one record per bookmark at its offsets,
// and the dead-link list on the desktop (made when missing) when the header
// asks for it, also when the project is opened again. An existing project is
// never touched.
TEST_F(ProjectTest, NewProjectHasExactBytesAndAnExistingOneIsNeverTouched) {
  ScopedEnv desktop("XDG_DESKTOP_DIR", dir.file("Desktop"));
  dead_links_text = 1;
  ASSERT_TRUE(create_project(true));
  const std::string bytes = TempDir::read(project);
  const auto field = [](std::string text, size_t size) { return text.append(size - text.size(), '\0'); };
  EXPECT_TRUE(bytes == std::string("\1\0\0\0\3\0\0\0\2\0\0\0\4\0\0\0\1\0\0\0\1\0\0\0", 24) + field(source, 976) +
                       field("http://a.example/", 1000) + field("News\\A.URL", 1012) +
                       field("http://b.example/", 1000) + field("B.URL", 1012));
  const std::string list = platform::desktop_folder() + "\\Dead Links.TXT";
  EXPECT_EQ(std::string(dead_list_path), list);
  EXPECT_TRUE(platform::file_attributes(platform::desktop_folder()).is_directory);

  // Opened again by a later start, with other choices and another source.
  on_http_error = 0, threads = 9, dead_links_text = 0, dead_list_path[0] = '\0';
  copy_field(source_path, sizeof source_path, dir.write("other.htm", "<DT><A HREF=\"x\">y</A>"));
  ASSERT_TRUE(create_project(true));
  EXPECT_EQ(TempDir::read(project), bytes);
  EXPECT_EQ(std::string(dead_list_path), list);

  // A new one whose header does not ask for the list.
  dead_list_path[0] = '\0';
  select_project(dir.file("q.lvn"));
  ASSERT_TRUE(create_project(true));
  EXPECT_EQ(dead_list_path[0], '\0');
  EXPECT_TRUE(g_messages.empty());
}

// Whatever write or rename fails, creation leaves either the whole project or
// no file at all (not even its temporary one), and says so.
TEST_F(ProjectTest, CreationIsAllOrNothing) {
  std::string many;
  for (int i = 0; i < 40; ++i) many += "<DT><A HREF=\"http://h.example/" + std::to_string(i) + "\">n</A>\n";
  dir.write("bookmarks.htm", many);
  {
    platform::ScopedFaultPlan count({});
    ASSERT_TRUE(create_project(true));
    ASSERT_EQ(platform::faults::writes_seen(), 41u);  // the header and each record
  }
  const std::string whole = TempDir::read(project);
  std::vector<platform::FaultPlan> plans = {{0, 0, static_cast<int64_t>(whole.size() / 2), 0},
                                            {0, 0, -1, 1}};  // a full disk, a failed rename
  for (uint64_t n = 1; n <= 41; ++n) plans.push_back({n, n % 2 ? 0 : kRecordSize / 2, -1, 0});
  for (const platform::FaultPlan& plan : plans) {
    SCOPED_TRACE("write " + std::to_string(plan.fail_write) + ", rename " + std::to_string(plan.fail_rename));
    platform::delete_file(project);
    g_messages.clear();
    {
      platform::ScopedFaultPlan faults(plan);
      EXPECT_FALSE(create_project(true));
    }
    EXPECT_EQ(g_messages, std::vector<std::string>{"Lorvane|ERROR: Cannot create specified project !|0"});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
  }
  EXPECT_TRUE(create_project(true));
  EXPECT_EQ(TempDir::read(project), whole);
}

#ifndef _WIN32
// Runs `body` in a child process, as another user when this one is root
// (which reads every file and starts any number of threads): its exit code.
int in_child_as_nobody(const TempDir& dir, int (*body)(const std::string& dir)) {
  ::chmod(dir.path().c_str(), 0777);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    ::_exit(body(dir.path()));
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A file of the project's name that cannot be read may hold what the user
// keeps there: it is not truncated, and the failure is said.
TEST_F(ProjectTest, ExistingProjectThatCannotBeReadIsNotTruncated) {
  dir.write("p.lvn", "kept");
  ASSERT_EQ(::chmod(project.c_str(), 0222), 0);
  const int code = in_child_as_nobody(dir, [](const std::string&) {
    if (platform::file_readable(project_path)) return 4;  // nothing to show here
    return !create_project(true) && g_messages.size() == 1 ? 0 : 5;
  });
  ::chmod(project.c_str(), 0644);
  if (code == 4) GTEST_SKIP() << "the file stayed readable";
  EXPECT_EQ(code, 0) << "the failure was not reported";
  EXPECT_EQ(TempDir::read(project), "kept");
}

// Threads that cannot be made (no process slot left for the user) leave
// their share to the others; with none at all the start fails and says so.
TEST(StartRun, ThreadsThatCannotBeMadeLeaveTheirShareToTheOthers) {
  if (::getuid() != 0) GTEST_SKIP() << "limits the threads of a user of its own";
  TempDir dir;
  write_project(dir.file("p.lvn"), {0, 0, 10}, std::vector<LVK_URL>(40, make_record("", "a.ini")));
  ASSERT_EQ(::chmod(dir.file("p.lvn").c_str(), 0666), 0);
  EXPECT_EQ(in_child_as_nobody(dir, [](const std::string& dir) {
    RunWatcher watcher;
    select_project(dir + "/p.lvn");
    rlimit limit;
    ::getrlimit(RLIMIT_NPROC, &limit);
    limit.rlim_cur = 1;  // this process only: no thread at all
    if (::setrlimit(RLIMIT_NPROC, &limit) != 0 || start_run() || running_workers.load() != 0 ||
        watcher.messages != std::vector<std::string>{"ERROR: Cannot start the checker threads !"})
      return 4;
    limit.rlim_cur = 3;  // two of the ten
    if (::setrlimit(RLIMIT_NPROC, &limit) != 0 || !start_run() || !watcher.wait_for_end(2, 10000)) return 5;
    for (const LVK_URL& r : read_project_file(project_path))
      if (r.checked != 1) return 6;
    return 0;
  }), 0);
}
#endif

}  // namespace
