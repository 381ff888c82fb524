// The bookmark file writer: each project's file byte for byte, and saves that
// fail at every write, on a full disk or at the rename.
#include "bookmarks/bookmark_file_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/globals.h"
#include "platform/fault_injection.h"
#include "tests/support/file_tree.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

std::string line(const std::string& url, const std::string& name) {
  return "<DT><A HREF=\"" + url + "\">" + name + "</A>\r\n";
}
std::string heading(const std::string& name) { return "<DT><H3>" + name + "</H3>\r\n<DL><p>\r\n"; }
const std::string kClose = "</DL><p>\r\n", kDead = heading("Dead Links"), kEmptyDead = kDead + "</DL>\r\n";

std::vector<std::string> messages;  // each as "text|caption|icon"
void capture(const std::string& text, const std::string& caption, platform::MessageIcon icon) {
  messages.push_back(text + "|" + caption + "|" + std::to_string(static_cast<int>(icon)));
}

class BookmarkFileWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    messages.clear();
    platform::set_message_hook(capture);
    console_mode = false;
    main_window = nullptr;
    copy_field(project_path, sizeof project_path, project);
    copy_field(output_location, sizeof output_location, output);
  }
  void TearDown() override { platform::set_message_hook(nullptr); }
  std::string saved(const std::string& project_bytes) {
    dir.write("project.lvn", project_bytes);
    write_bookmark_file();
    return TempDir::read(output);
  }

  TempDir dir;
  std::string project = dir.file("project.lvn"), output = dir.file("bookmarks.html");
};

// The header, the folders opened and closed in project order, then the Dead
// Links folder.
TEST_F(BookmarkFileWriterTest, WritesTheExactBytes) {
  const std::string url999 = "http://" + std::string(992, 'u');
  LVK_URL unterminated = make_record("", "");
  std::memset(unterminated.url, 'u', sizeof unterminated.url);
  std::memset(unterminated.path, 'p', sizeof unterminated.path);
  const struct {
    const char* what;
    std::vector<LVK_URL> records;
    std::string body;  // after the header
  } cases[] = {
      // Names that differ only in case are one folder; the common prefix
      // ends at the first different folder.
      {"folders opened and closed in project order",
       {make_record("http://a/", "A.URL", 1), make_record("http://b/", "News\\B.URL", 1),
        make_record("http://c/", "NEWS\\Sport\\C.URL"), make_record("http://d/", "news\\SPORT\\D.URL"),
        make_record("http://1/", "A\\X\\1.URL"), make_record("http://2/", "B\\X\\2.URL"),
        make_record("http://3/", "A\\3.URL"), make_record("http://e/", "E.URL")},
       line("http://a/", "A") + heading("News") + line("http://b/", "B") + heading("Sport") + line("http://c/", "C") +
           line("http://d/", "D") + kClose + kClose + heading("A") + heading("X") + line("http://1/", "1") + kClose +
           kClose + heading("B") + heading("X") + line("http://2/", "2") + kClose + kClose + heading("A") +
           line("http://3/", "3") + kClose + line("http://e/", "E") + kEmptyDead},
      // The folder of the quarantined and the deleted one is still opened.
      {"removed ones go to Dead Links, fixed ones appear twice",
       {make_record("http://q/", "News\\Quarantined.URL", 1, quarantine, http_error),
        make_record("http://d/", "News\\Deleted.URL", 1, action_delete, no_connection),
        make_record("http://f/", "Fixed.URL", 1, fix, http_error),
        make_record("http://kept-dead/", "Kept.URL", 1, keep, http_error),
        make_record("http://pending/", "Pending.URL", 0, keep)},
       heading("News") + kClose + line("http://f/", "Fixed") + line("http://kept-dead/", "Kept") +
           line("http://pending/", "Pending") + kDead + line("http://q/", "Quarantined") +
           line("http://d/", "Deleted") + line("http://f/", "Fixed") + "</DL>\r\n"},
      {"the name is the last component less four characters; quotes and brackets unchanged",
       {make_record("http://x/?q=\"a\"&b=<c>", "Fo\"l<der\\Say \"hi\" <now>.URL"), make_record("http://1/", "ab"),
        make_record("http://2/", "abcd"), make_record("http://3/", "F\\xyz"),
        make_record("http://4/", "F\\page.url", 1, quarantine)},
       heading("Fo\"l<der") + line("http://x/?q=\"a\"&b=<c>", "Say \"hi\" <now>") + kClose + line("http://1/", "ab") +
           line("http://2/", "") + heading("F") + line("http://3/", "xyz") + kClose + kDead +
           line("http://4/", "page") + "</DL>\r\n"},
      {"empty folder names still count as levels", {make_record("http://1/", "\\A\\\\B\\1.URL")},
       heading("") + heading("A") + heading("") + heading("B") + line("http://1/", "1") + kClose + kClose +
           kClose + kClose + kEmptyDead},
      // A line far over 1000 bytes is still whole; a folder name is held in
      // 520 bytes and so keeps its first 519 characters.
      {"longest fields whole, folder names cut",
       {make_record(url999, std::string(995, 'n') + ".URL"), make_record("http://2/", std::string(700, 'f') + "\\x.URL")},
       line(url999, std::string(995, 'n')) + heading(std::string(519, 'f')) + line("http://2/", "x") + kClose +
           kEmptyDead},
      {"unterminated fields read only within their size", {unterminated},
       line(std::string(1000, 'u'), std::string(996, 'p')) + kEmptyDead},
  };
  for (const auto& c : cases) {
    write_project_file(project, c.records);
    write_bookmark_file();
    EXPECT_EQ(TempDir::read(output), kWrittenBookmarkFileHeader + c.body) << c.what;
  }
  // A project cut short: no records within its header; a trailing partial
  // record counts, its missing bytes zero (the second is cut in its action).
  write_project_file(project, {make_record("http://1/", "1.URL", 1), make_record("http://2/", "2.URL", 1, quarantine)});
  const std::string bytes = TempDir::read(project), first = line("http://1/", "1");
  EXPECT_EQ(saved(""), kWrittenBookmarkFileHeader + kEmptyDead);
  EXPECT_EQ(saved(bytes.substr(0, 1000)), kWrittenBookmarkFileHeader + kEmptyDead);
  EXPECT_EQ(saved(bytes.substr(0, 1000) + "h"), kWrittenBookmarkFileHeader + line("h", "") + kEmptyDead);
  EXPECT_EQ(saved(bytes.substr(0, 5020)), kWrittenBookmarkFileHeader + first + line("http://2/", "2") + kEmptyDead);
  EXPECT_EQ(saved(bytes.substr(0, 5021)), kWrittenBookmarkFileHeader + first + kDead + line("http://2/", "2") + "</DL>\r\n");
}

// Whatever write or rename fails, and wherever the disk fills up, the old
// file keeps every byte, no temporary file stays behind and the user is told.
TEST_F(BookmarkFileWriterTest, FailedSaveLeavesTheOldFileWhole) {
  // An unreadable project writes nothing and says nothing.
  copy_field(project_path, sizeof project_path, dir.file("missing.lvn"));
  write_bookmark_file();
  EXPECT_FALSE(platform::file_attributes(output).exists);
  EXPECT_TRUE(messages.empty());
  copy_field(project_path, sizeof project_path, project);

  std::vector<LVK_URL> records;  // enough for several writes to the disk
  for (int i = 0; i < 400; ++i)
    records.push_back(make_record("http://x/" + std::string(300, 'a' + i % 26),
                                  "F" + std::to_string(i % 7) + "\\B" + std::to_string(i) + ".URL", 1,
                                  i % 5 == 0 ? quarantine : keep));
  write_project_file(project, records);
  const std::string old_file = "<old bookmarks, byte for byte>\r\n";
  const auto save_over_old = [&] {
    dir.write("bookmarks.html", old_file);
    messages.clear();
    write_bookmark_file();
  };
  platform::faults::install({});
  save_over_old();
  const uint64_t writes = platform::faults::writes_seen();
  EXPECT_EQ(platform::faults::renames_seen(), 1u);
  platform::faults::remove();
  const std::string saved = TempDir::read(output);
  ASSERT_GT(saved.size(), 100000u);
  ASSERT_GE(writes, 2u);

  std::vector<platform::FaultPlan> plans = {{0, 0, -1, 1}};
  for (uint64_t n = 1; n <= writes; ++n) plans.push_back({n, 1000, -1, 0});
  for (int64_t space : {int64_t{0}, int64_t{1}, int64_t{65536}, static_cast<int64_t>(saved.size()) - 1})
    plans.push_back({0, 0, space, 0});
  const std::vector<std::string> told = {"Cannot save bookmark file!|Lorvane|" +
                                         std::to_string(static_cast<int>(platform::MessageIcon::warning))};
  for (const platform::FaultPlan& plan : plans) {
    SCOPED_TRACE("write " + std::to_string(plan.fail_write) + ", space " + std::to_string(plan.disk_space) +
                 ", rename " + std::to_string(plan.fail_rename));
    platform::faults::install(plan);
    save_over_old();
    platform::faults::remove();
    EXPECT_EQ(TempDir::read(output), old_file);
    EXPECT_EQ(messages, told);
    EXPECT_EQ(tree_listing(dir.path()), (std::vector<std::string>{"bookmarks.html", "project.lvn"}));
  }
  // A file in a folder that does not exist cannot even be started.
  copy_field(output_location, sizeof output_location, dir.file("no such folder\\out.html"));
  save_over_old();
  EXPECT_EQ(messages, told);
  copy_field(output_location, sizeof output_location, output);
  save_over_old();
  EXPECT_EQ(TempDir::read(output), saved);
  EXPECT_TRUE(messages.empty());
#ifndef _WIN32
  namespace fs = std::filesystem;  // a private file stays private
  fs::permissions(output, fs::perms::owner_read | fs::perms::owner_write);
  write_bookmark_file();
  EXPECT_EQ(fs::status(output).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
#endif
}

}  // namespace
