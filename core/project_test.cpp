// Making project files: the header's bytes, the choice of reader, and the
// rule that an existing project is never touched.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "core/globals.h"
#include "core/project.h"
#include "core/records.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "tests/support/env.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> g_messages;
void record_message(const std::string& text, const std::string& caption,
                    platform::MessageIcon icon) {
  g_messages.push_back(caption + "|" + text + "|" + std::to_string(static_cast<int>(icon)));
}

class ProjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_messages.clear();
    platform::set_message_hook(record_message);
    on_http_error = 3;
    on_no_connection = 2;
    threads = 4;
    dead_links_folder = 1;
    dead_links_text = 0;
    dead_list_path[0] = '\0';
    record_total = 77;
  }

  void set_paths(const std::string& project, const std::string& source) {
    copy_field(project_path, sizeof project_path, project);
    copy_field(source_path, sizeof source_path, source);
  }

  TempDir dir;
};

const char kBookmarks[] =
    "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n"
    "<DT><H3>News</H3>\n<DL><p>\n<DT><A HREF=\"http://a.example/\">A</A>\n</DL><p>\n"
    "<DT><A HREF=\"http://b.example/\">B</A>\n</DL><p>\n";

// A new project: the header's bytes and one record per bookmark; no source
// gives a header alone; an existing project is never touched.
TEST_F(ProjectTest, NewProjectHasExactHeaderAndOneRecordPerBookmark) {
  const std::string source = dir.write("bookmarks.htm", kBookmarks);
  const std::string project = dir.file("p.lvn");
  set_paths(project, source);
  create_project(true);
  const std::string bytes = TempDir::read(project);
  ASSERT_EQ(bytes.size(), kHeaderSize + 2 * kRecordSize);
  EXPECT_EQ(record_total, 2u);
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  const uint32_t header[] = {1, 3, 2, 4, 1, 0};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(decode_u32(b + 4 * i), header[i]) << "field " << i;
  EXPECT_EQ(std::string(bytes.data() + 24), source);
  // Everything after the source's terminator is zero.
  for (size_t i = 24 + source.size(); i < kHeaderSize; ++i) ASSERT_EQ(bytes[i], '\0') << i;
  LVK_URL record;
  decode_record(b + kHeaderSize, record);
  EXPECT_STREQ(record.url, "http://a.example/");
  EXPECT_STREQ(record.path, "News\\A.URL");
  EXPECT_EQ(record.result + record.checked + record.action, 0u);
  decode_record(b + kHeaderSize + kRecordSize, record);
  EXPECT_STREQ(record.path, "B.URL");
  EXPECT_TRUE(g_messages.empty());
  EXPECT_EQ(dead_list_path[0], '\0');

  // Other choices and another source: the file stays byte for byte.
  on_http_error = 0;
  threads = 9;
  set_paths(project, dir.write("other.htm", "<DT><A HREF=\"x\">y</A>"));
  create_project(true);
  EXPECT_EQ(TempDir::read(project), bytes);

  set_paths(dir.file("q.lvn"), dir.file("nothing-here"));
  create_project(true);
  EXPECT_EQ(TempDir::read(dir.file("q.lvn")).size(), kHeaderSize);
  EXPECT_EQ(record_total, 0u);
}

TEST_F(ProjectTest, DeadListPathComesFromTheDesktopForNewAndReopenedProjects) {
  // On Linux the desktop may not exist yet; it is made so the list can land.
  ScopedEnv desktop("XDG_DESKTOP_DIR", dir.file("Desktop"));
  const std::string project = dir.file("p.lvn");
  set_paths(project, dir.write("bookmarks.htm", kBookmarks));
  dead_links_text = 1;
  create_project(true);
  const std::string expected = platform::desktop_folder() + "\\Dead Links.TXT";
  EXPECT_EQ(std::string(dead_list_path), expected);
  EXPECT_TRUE(platform::file_attributes(platform::desktop_folder()).is_directory);

  // A later program run opens the same project with no settings made.
  dead_list_path[0] = '\0';
  dead_links_text = 0;
  create_project(true);
  EXPECT_EQ(std::string(dead_list_path), expected);
}

// Whatever write or rename fails, creation leaves either the whole project or
// no file at all (not even its temporary one), and says so.
TEST_F(ProjectTest, CreationIsAllOrNothing) {
  std::string many;
  for (int i = 0; i < 40; ++i) many += "<DT><A HREF=\"http://h.example/" + std::to_string(i) + "\">n</A>\n";
  const std::string source = dir.write("bookmarks.htm", many);
  const std::string project = dir.file("p.lvn");
  set_paths(project, source);
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
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
  }
  // A folder that does not exist, and a run that is never started.
  set_paths(dir.file("no-such-folder/p.lvn"), source);
  EXPECT_FALSE(create_project(false));
  EXPECT_EQ(running_workers.load(), 0);
  set_paths(project, source);
  EXPECT_TRUE(create_project(true));
  EXPECT_EQ(TempDir::read(project), whole);
}

#ifndef _WIN32
TEST_F(ProjectTest, ExistingProjectThatCannotBeReadIsNotTruncated) {
  const std::string project = dir.file("p.lvn");
  set_paths(project, dir.write("bookmarks.htm", kBookmarks));
  create_project(true);
  const std::string before = TempDir::read(project);
  ASSERT_EQ(before.size(), kHeaderSize + 2 * kRecordSize);
  // A file that exists but does not open for reading is made on Linux.
  // Root reads every file, so the unreadable case runs as another user.
  ASSERT_EQ(::chmod(project.c_str(), 0222), 0);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    if (platform::file_readable(project)) ::_exit(4);  // nothing to show here
    g_messages.clear();
    create_project(true);
    ::_exit(g_messages.size() == 1 ? 0 : 5);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::chmod(project.c_str(), 0644);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 4) GTEST_SKIP() << "the file stayed readable";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the create failure was not reported";
  EXPECT_EQ(TempDir::read(project), before);
}
#endif

// Records are little-endian at fixed offsets, and a field is cut to fit.
TEST(RecordCoding, LittleEndianAtTheDocumentedOffsetsAndCutToFit) {
  LVK_URL record = {};
  copy_field(record.url, sizeof record.url, "u");
  copy_field(record.path, sizeof record.path, "p");
  record.result = 0x01020304;
  record.checked = 1;
  record.action = 3;
  unsigned char bytes[kRecordSize];
  encode_record(record, bytes);
  const std::pair<size_t, int> expected[] = {{0, 'u'}, {1000, 'p'}, {2000, 4}, {2003, 1}, {2004, 1}, {2008, 3}};
  for (const auto& at : expected) EXPECT_EQ(bytes[at.first], at.second) << at.first;
  LVK_URL back;
  decode_record(bytes, back);
  EXPECT_EQ(std::memcmp(&record, &back, sizeof record), 0);

  char field[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
  copy_field(field, sizeof field, std::string(50, 'a'));
  EXPECT_EQ(std::string(field), std::string(7, 'a'));
  EXPECT_EQ(field_length(field, sizeof field), 7u);
  const char full[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(field_length(full, sizeof full), 4u);
}

}  // namespace
