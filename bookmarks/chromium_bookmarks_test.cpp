// Chromium "Bookmarks" files: read into projects, written back in place, the
// checksum, and every refusal, through real files in a temp folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bookmarks/chromium_bookmarks.h"
#include "bookmarks/chromium_locations.h"
#include "bookmarks/chromium_writer.h"
#include "bookmarks/save_results.h"
#include "checker/site_root.h"
#include "core/globals.h"
#include "core/project.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "tests/support/env.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"
#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

// Every root, nested folders, names beyond ASCII (one beyond UTF-16's first
// plane), meta_info, fields no browser version has, and a wrong checksum.
const char kFixture[] = R"({ "checksum": "00000000000000000000000000000000",
   "roots": {
      "bookmark_bar": { "children": [ { "children": [
         { "children": [ { "date_added": "13300000000000000", "guid": "6a6c4a8e-8f6f-4a1e-9d0b-0d1c1c1c1c11",
                           "id": "7", "meta_info": { "last_visited": "13300000000000001" },
                           "name": "Front page", "type": "url", "url": "http://news.test/front" } ],
           "id": "6", "name": "Daily", "type": "folder" },
         { "id": "8", "name": "Café ☕ 😀 a/b: c?", "type": "url", "url": "http://xn--caf-dma.test/" } ],
         "id": "5", "name": "News", "type": "folder", "unknown_field": [1, {"x": null}] } ],
         "guid": "0bc5d13f-2cba-5d74-951f-3f233fe6c908", "id": "1", "name": "Bookmarks bar", "type": "folder" },
      "other": { "children": [ { "id": "9", "name": "Gone", "type": "url", "url": "http://gone.test/deep/page" },
                               { "id": "10", "name": "Moved", "type": "url", "url": "http://moved.test/x/y" } ],
                 "id": "2", "name": "Other bookmarks", "type": "folder" },
      "synced": { "children": [ { "children": [ { "id": "12", "name": "Phone", "type": "url", "url": "http://phone.test/" } ],
                                  "id": "11", "name": "Trip", "type": "folder" } ],
                  "id": "3", "name": "Mobile bookmarks", "type": "folder" } },
   "sync_metadata": "opaque", "version": 1 }
)";

const std::vector<Link> kFixtureLinks = {
    {"http://news.test/front", "Bookmarks bar\\News\\Daily\\Front page.URL"},
    {"http://xn--caf-dma.test/", "Bookmarks bar\\News\\Caf\xc3\xa9 \xe2\x98\x95 \xf0\x9f\x98\x80 a_b_ c_.URL"},
    {"http://gone.test/deep/page", "Other bookmarks\\Gone.URL"},
    {"http://moved.test/x/y", "Other bookmarks\\Moved.URL"},
    {"http://phone.test/", "Mobile bookmarks\\Trip\\Phone.URL"},
};

constexpr uint32_t kRecoveredFix = 100;  // fixed, then recovered in the item list

std::vector<std::string> messages;
void capture(const std::string& text, const std::string&, platform::MessageIcon) { messages.push_back(text); }

ChromiumJson parsed(const std::string& text) { return ChromiumJson::parse(text, nullptr, false); }

std::string fixture_with(const std::string& from, const std::string& to) {
  std::string text = kFixture;
  return text.replace(text.find(from), from.size(), to);
}

class ChromiumTest : public ::testing::Test {
 protected:
  void SetUp() override {
    messages.clear();
    platform::set_message_hook(capture);
  }
  // Makes the project from the file and marks each record as a run would.
  void make_project(const std::vector<uint32_t>& actions = {}) {
    dir.write("User Data/Default/Bookmarks", kFixture);
    std::vector<LVK_URL> records = create_project_from(file, project);
    EXPECT_EQ(links_of(records), kFixtureLinks);  // every root read, named as the reader names them
    for (size_t i = 0; i < records.size(); ++i) {
      records[i].checked = 1;
      if (i < actions.size() && actions[i] != keep) {
        records[i].action = actions[i];
        records[i].result = http_error;
        // The checker cuts a fixed link back to its site; Recover keeps it cut.
        if (actions[i] == fix || actions[i] == kRecoveredFix) cut_to_site(records[i].url, kUrlSize);
        if (actions[i] == kRecoveredFix) records[i].action = keep;
      }
    }
    write_project_file(project, records, file);
  }
  void save(uint32_t mode, const std::string& where) {
    copy_field(project_path, sizeof project_path, project);
    copy_field(output_location, sizeof output_location, where);
    output_mode = mode;
    save_results();
  }
  // The tree written, less its checksum, which must be the browser's own.
  ChromiumJson written_file() const {
    ChromiumJson written = parsed(TempDir::read(file));
    EXPECT_EQ(written["checksum"], chromium_checksum(written));
    written.erase("checksum");
    return written;
  }
  // Makes the profile look open in a running browser while the result lives.
  std::shared_ptr<void> browser_lock() {
#ifdef _WIN32
    // The browser holds its lockfile open, letting no one else write it.
    return std::make_shared<platform::File>(
        platform::open_file(dir.file("User Data/lockfile"), platform::FileAccess::create_truncate));
#else
    // Its lock names this host and a live process: ours.
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const std::string link = dir.file("User Data/Default/SingletonLock");
    std::filesystem::create_symlink(std::string(host) + "-" + std::to_string(getpid()), link);
    return std::shared_ptr<void>(nullptr, [link](void*) { std::filesystem::remove(link); });
#endif
  }
  TempDir dir;
  std::string file = dir.file("User Data/Default/Bookmarks"), project = dir.file("p.lvn");
};

// The digests are another MD5's of the bytes the browser hashes: none; and
// "1B\0folder4", the name in UTF-16LE, "url", the URL, "2O\0folder3M\0folder",
// two blocks whose padding takes a third (a root of its own is not counted).
TEST(ChromiumChecksumTest, IsTheMd5OfTheBrowsersFields) {
  EXPECT_EQ(chromium_checksum(parsed(R"({"roots":{}})")), "d41d8cd98f00b204e9800998ecf8427e");
  const std::string url = "http://x/" + std::string(74, 'a');
  const std::string tree =
      R"({"roots":{"bookmark_bar":{"id":"1","name":"B","type":"folder","children":[{"id":"4",)"
      R"("name":"é😀","type":"url","url":")" + url + R"("}]},"other":{"id":"2","name":"O",)"
      R"("type":"folder","children":[]},"synced":{"id":"3","name":"M","type":"folder"},)"
      R"("custom_root":{"id":"9","name":"not counted","type":"folder"}}})";
  EXPECT_EQ(chromium_checksum(parsed(tree)), "a88f3d8a2f300bf9b2600c742637a50b");
}

#ifndef _WIN32
TEST(ChromiumLocations, TheDefaultProfileComesFirstThenAnyOther) {
  TempDir dir;
  const ScopedEnv config("XDG_CONFIG_HOME", dir.path());
  char found[1000] = "unchanged";
  EXPECT_FALSE(find_chromium_bookmark_file(found));
  EXPECT_STREQ(found, "unchanged");
  for (const char* profile : {"vivaldi\\Profile 2", "chromium\\Profile 1", "chromium\\Default"}) {
    dir.write(std::string(profile) + "/Bookmarks", "{}");
    ASSERT_TRUE(find_chromium_bookmark_file(found));
    EXPECT_EQ(found, dir.path() + "\\" + profile + "\\Bookmarks");  // each comes before the last
  }
  // Default still wins over many others, whatever order the folder lists them in.
  for (int i = 3; i < 20; ++i) dir.write("chromium/Profile " + std::to_string(i) + "/Bookmarks", "{}");
  ASSERT_TRUE(find_chromium_bookmark_file(found));
  EXPECT_EQ(found, dir.path() + "\\chromium\\Default\\Bookmarks");
}
#endif

TEST_F(ChromiumTest, KeptOnesStayAsTheyWereDeadOnesMoveDeletedOnesGoFixedOnesGetTheirNewUrl) {
  make_project({fix, quarantine, kRecoveredFix, quarantine, action_delete});
  save(output_chromium_file, file);
  EXPECT_EQ(TempDir::read(chromium_backup_path(file)), kFixture);
  ChromiumJson expected = parsed(kFixture);
  expected.erase("checksum");  // it was wrong
  ChromiumJson& news = expected["roots"]["bookmark_bar"]["children"][0]["children"];
  ChromiumJson& other = expected["roots"]["other"]["children"];
  news[0]["children"][0]["url"] = "http://news.test";  // fixed in place
  ChromiumJson dead = {{"children", {news[1], other[1]}}};
  news.erase(1);
  other.erase(1);
  expected["roots"]["synced"]["children"][0]["children"].clear();  // deleted
  const ChromiumJson written = written_file();
  // A new folder: its times and guid are the writer's, its id is above every id the file held.
  const ChromiumJson& made = written["roots"]["other"]["children"][1];
  for (const char* key : {"date_added", "date_last_used", "date_modified", "guid"}) dead[key] = made[key];
  dead.update({{"id", "13"}, {"name", "Dead Links"}, {"type", "folder"}});
  EXPECT_EQ(dead["guid"].get<std::string>().size(), 36u);
  other.push_back(dead);
  EXPECT_EQ(written, expected);
  EXPECT_TRUE(messages.empty());
}

// Dead Links nests a bookmark two levels deeper than the bookmarks bar: one at
// the browser's limit there could no longer be read.
TEST_F(ChromiumTest, RefusesAndWritesNothingWhileTheBrowserRunsOrAfterTheFileChanged) {
  const std::string deep = R"({"roots":{"bookmark_bar":{"children":[{"type":"url","url":"http://d/","meta_info":)" +
                           std::string(195, '[') + std::string(195, ']') + R"(}]},"other":{"children":[]}}})";
  // source: what the project was made from
  const struct { const char* name; std::string content; bool browser_running; const char* told;
                 std::string source = kFixture; } cases[] = {
      {"too deep for Dead Links", deep, false, "Cannot save bookmark file!", deep},
      {"browser running", kFixture, true, "The browser is running"},
      {"a URL changed", fixture_with("http://phone.test/", "http://other.test/"), false,
       "changed since this project was made"},
      {"a bookmark removed", fixture_with(R"({ "id": "12", "name": "Phone", "type": "url", "url": "http://phone.test/" })", ""),
       false, "changed since this project was made"},
      {"truncated", std::string(kFixture, 200), false, "damaged or not a bookmarks file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dir.write("User Data/Default/Bookmarks", c.source);
    std::vector<LVK_URL> records = create_project_from(file, project);
    records[0].action = quarantine;
    write_project_file(project, records, file);
    dir.write("User Data/Default/Bookmarks", c.content);
    messages.clear();
    {
      const std::shared_ptr<void> lock = c.browser_running ? browser_lock() : nullptr;
      save(output_chromium_file, file);
    }
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(c.told), std::string::npos) << messages[0];
    EXPECT_EQ(TempDir::read(file), c.content);
    EXPECT_FALSE(platform::file_attributes(chromium_backup_path(file)).exists);
  }
#ifndef _WIN32
  // A lock left by a process that is gone, or by another host, locks nothing.
  std::filesystem::create_symlink("otherhost-1", dir.file("User Data/Default/SingletonLock"));
  dir.write("User Data/Default/Bookmarks", kFixture);
  messages.clear();
  save(output_chromium_file, file);
  EXPECT_TRUE(messages.empty());
#endif
}

TEST_F(ChromiumTest, HostileFilesGiveAMessageOrAWholeProject) {
  const std::string huge_name(300000, 'n');
  std::string many = R"({"roots":{"bookmark_bar":{"id":"1","name":"B","type":"folder","children":[)";
  for (int i = 0; i < 100000; ++i)
    many += std::string(i ? "," : "") + R"({"id":")" + std::to_string(i + 10) +
            R"(","name":"n","type":"url","url":"http://h/)" + std::to_string(i) + "\"}";
  many += "]}}}";
  // records 0: refused; path: the first record's path length
  const struct { const char* name; std::string content; size_t records, path = 0; } cases[] = {
      {"truncated", std::string(kFixture, 300), 0},
      {"bad UTF-8", "{\"roots\":{\"other\":{\"name\":\"\xff\"}}}", 0},
      {"roots not an object", "{\"roots\":[]}", 0},
      {"nested past any browser", "{\"roots\":" + std::string(100000, '[') + std::string(100000, ']') + "}", 0},
      {"huge names", R"({"roots":{"other":{"id":"1","name":")" + huge_name + R"(","type":"folder","children":[
          {"id":"2","type":"url","name":")" + huge_name + R"(","url":"http://)" + huge_name + "\"}]}}}", 1, 999},
      {"100,000 bookmarks", many, 100000, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    messages.clear();
    dir.write("User Data/Default/Bookmarks", c.content);
    platform::delete_file(project);
    copy_field(project_path, sizeof project_path, project);
    copy_field(source_path, sizeof source_path, file);
    EXPECT_EQ(create_project(true), c.records > 0);
    if (c.records == 0) {
      EXPECT_FALSE(messages.empty());
      EXPECT_FALSE(platform::file_attributes(project).exists);
      continue;
    }
    EXPECT_TRUE(messages.empty());
    const std::vector<LVK_URL> records = read_project_file(project);
    ASSERT_EQ(records.size(), c.records);
    EXPECT_EQ(field_length(records[0].path, kPathSize), c.path);
    save(output_chromium_file, file);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(written_file(), parsed(c.content));  // which has no checksum
  }
}

TEST_F(ChromiumTest, AFailedWriteLeavesTheFileAsItWas) {
  make_project({quarantine});
  // A killed save's leftover is cleared by the next save.
  const std::string leftover = dir.write(std::string("User Data/Default/lvn-1-1") + platform::kTemporarySuffix, "half");
  platform::faults::install({});
  save(output_chromium_file, file);
  EXPECT_FALSE(platform::file_attributes(leftover).exists);
  const uint64_t writes = platform::faults::writes_seen();
  platform::faults::remove();
  const std::string saved = TempDir::read(file);
  ASSERT_NE(saved, kFixture);
  std::vector<platform::FaultPlan> plans = {{0, 0, -1, 1}, {0, 0, 100, 0}};
  for (uint64_t n = 1; n <= writes; ++n) plans.push_back({n, 10, -1, 0});
  for (const platform::FaultPlan& plan : plans) {
    SCOPED_TRACE("write " + std::to_string(plan.fail_write) + ", rename " + std::to_string(plan.fail_rename));
    dir.write("User Data/Default/Bookmarks", kFixture);
    messages.clear();
    platform::faults::install(plan);
    save(output_chromium_file, file);
    platform::faults::remove();
    EXPECT_EQ(TempDir::read(file), kFixture);
    EXPECT_EQ(messages.size(), 1u);
  }
}

}  // namespace
