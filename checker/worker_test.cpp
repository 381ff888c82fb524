// The checker workers, driven through create_project and start_run over real
// project files and the loopback server.
#include "checker/worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <set>
#include <thread>

#include "checker/site_root.h"
#include "platform/fault_injection.h"
#include "tests/support/checker_run.h"
#include "tests/support/http_fixture.h"

namespace {

// A record's outcome as the digits result, checked, action: 10 is valid, 112
// an HTTP error quarantined, 200 a failed connection left pending.
uint32_t outcome(const LVK_URL& r) { return r.result * 100 + r.checked * 10 + r.action; }
std::vector<uint32_t> outcomes(const std::vector<LVK_URL>& records) {
  std::vector<uint32_t> all;
  for (const LVK_URL& r : records) all.push_back(outcome(r));
  return all;
}

uint32_t records_scanned() {
  uint32_t scanned = 0;
  for (const auto& slot : worker_position) scanned += slot.load();
  return scanned;
}

// The CRLF-ended lines of a dead-link list; a partial last line fails.
std::multiset<std::string> lines_of(const std::string& text) {
  std::multiset<std::string> lines;
  size_t from = 0;
  for (size_t end; (end = text.find("\r\n", from)) != std::string::npos; from = end + 2)
    lines.insert(text.substr(from, end - from));
  EXPECT_EQ(from, text.size()) << "text after the last line end";
  return lines;
}

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.ok());
    select_project(project);
  }
  void TearDown() override {
    request_stop();
    EXPECT_TRUE(watcher.wait_for_end(0, 5000)) << "a worker is still running";
  }
  // The project's records after a run of `workers` workers started by start_run.
  std::vector<LVK_URL> run(const ProjectOptions& o, const std::vector<LVK_URL>& records, int workers) {
    write_project(project, o, records);
    EXPECT_TRUE(run_project(watcher, workers));
    return read_project_file(project);
  }

  HttpFixture server;
  TempDir dir;
  RunWatcher watcher;
  const std::string project = dir.file("project.lvn");
};

// Each kind of answer under each header choice (4 is outside the table and
// leaves a dead record pending with its result); cutting back never applies
// to a link not reached, and a 500 is dead only while handle_500 is on. The
// workers go by their own header, never by the program-wide choices. The
// dead-link list gets every dead link appended, uncut and also when left
// pending; a list that cannot be written is skipped without a word.
TEST_F(WorkerTest, EachAnswerGetsTheOutcomeOfItsHeaderChoice) {
  enum Kind { valid, dead, offline, skipped, dead_if_500 };
  const struct { std::string target, path; Kind kind; } cases[] = {
      {"/status/200", "Links\\ok.url", valid},  // was left pending as dead
      {"/redirect/3", "a.url", valid}, {"/status/503", "a.url", valid},
      {"/garbage", "a.url", valid},  // reached, no status
      {"/stall", "a.url", valid},    // headers in, body never read
      {"/loop", "a.url", valid},     // the client gives up after ten redirections
      {"/fail/link.htm", "News\\a.URL", dead}, {"/status/404", "Mixed.uRl", dead},
      {"/status/404", "no dot url", dead}, {"/status/500", "a.url", dead_if_500},
      {"/status/404", "desktop.ini", skipped}, {"/status/404", "ur", skipped},
      {"", "Empty.url", dead},  // no request
      {unreachable_url(), "a.url", offline}, {"file:///etc/passwd", "a.url", offline},
  };
  const std::string list = dir.write("Dead Links.TXT", "from an earlier run\r\n");
  const std::string unwritable_list = dir.file("missing/Dead Links.TXT");
  std::multiset<std::string> listed = {"from an earlier run"};
  const std::string site = server.url("");
  for (uint32_t choice = 0; choice <= 4; ++choice) {
    SCOPED_TRACE("choice " + std::to_string(choice));
    handle_500 = choice % 2 == 0;
    const uint32_t no_connection_choice = (choice + 2) % 5;
    on_http_error = (choice + 1) % 5, on_no_connection = (choice + 3) % 5;
    const uint32_t text = choice % 2 == 1 || choice == 4;
    dead_links_text = !text;
    copy_field(dead_list_path, sizeof dead_list_path, choice == 1 ? unwritable_list : list);
    std::vector<std::string> targets, links;  // targets on the loopback server
    std::vector<LVK_URL> records;
    for (const auto& c : cases) {
      const bool local = c.target.rfind('/', 0) == 0;
      targets.push_back(local ? c.target + "?c" + std::to_string(choice) + "=" + std::to_string(links.size()) : "");
      links.push_back(local ? server.url(targets.back()) : c.target);
      records.push_back(make_record(links.back(), c.path));
    }
    records[0].result = http_error;
    const auto done = run({choice, no_connection_choice, 4, text}, records, 4);
    ASSERT_EQ(done.size(), records.size());
    for (size_t i = 0; i < done.size(); ++i) {
      const Kind kind = cases[i].kind != dead_if_500 ? cases[i].kind : handle_500 ? dead : valid;
      EXPECT_EQ(outcome(done[i]), kind == dead      ? choice <= fix ? 110u + choice : 100u
                                  : kind != offline ? 10u
                                  : no_connection_choice < fix ? 210u + no_connection_choice
                                                               : 200u) << links[i];
      std::string field = links[i] + '\0';
      if (kind == dead && choice == fix && !links[i].empty())
        field[site.size()] = '\0';  // the cut-off part stays behind the new terminator
      EXPECT_EQ(std::string(done[i].url, field.size()), field);
      EXPECT_EQ(server.count(targets[i]), !targets[i].empty() && kind != skipped) << links[i];
      if (text && choice != 1 && (kind == dead || kind == offline)) listed.insert(links[i]);
    }
    EXPECT_GE(server.count("/loop"), static_cast<int>(choice) + 1);
    EXPECT_LE(server.count("/loop"), 10 * static_cast<int>(choice + 1));
    EXPECT_TRUE(watcher.messages.empty());
  }
  EXPECT_EQ(lines_of(TempDir::read(list)), listed);
  EXPECT_FALSE(platform::file_attributes(unwritable_list).exists);
  EXPECT_EQ(server.last_user_agent(), "LVK");
}

// A run rewrites the outcome fields only, at their offsets: bytes left behind
// a terminator in the url and path fields stay.
TEST_F(WorkerTest, ProcessingRewritesOnlyTheOutcomeFields) {
  LVK_URL record = make_record(server.url("/status/404?bytes"), "a.url");
  std::memcpy(record.url + std::strlen(record.url) + 1, "LEFT", 4);
  std::memcpy(record.path + 6, "OVER", 4);
  write_project(project, {quarantine}, {record, make_record("", "b.ini")});
  const std::string before = TempDir::read(project);
  ASSERT_TRUE(run_project(watcher, 1));
  std::string after = TempDir::read(project);
  EXPECT_EQ(after.substr(kHeaderSize + 2000, 12), std::string("\1\0\0\0\1\0\0\0\2\0\0\0", 12));
  EXPECT_EQ(after.substr(kHeaderSize + kRecordSize + 2000, 12), std::string("\0\0\0\0\1\0\0\0\0\0\0\0", 12));
  for (size_t record_end : {kHeaderSize + kRecordSize, after.size()}) after.replace(record_end - 12, 12, 12, '\0');
  EXPECT_TRUE(after == before);
}

// A link in a field without terminator is cut inside the field only.
TEST(CutToSite, StaysInAFieldWithoutTerminator) {
  char field[kUrlSize + 8];
  std::memset(field, 'z', sizeof field);
  std::memcpy(field, "http://h", 8);
  field[kUrlSize] = '/';  // just past the field
  cut_to_site(field, kUrlSize);
  EXPECT_EQ(std::string(field, sizeof field), "http://h" + std::string(kUrlSize - 8, 'z') + "/zzzzzzz");
}

// Every record goes to exactly one worker whatever its link's speed, the
// progress slots add up to the records done, and the long dead-list lines of
// ten workers never interleave.
TEST_F(WorkerTest, TenWorkersCheckEachRecordOnceAndNeverInterleaveTheirLines) {
  const std::string list = dir.file("Dead Links.TXT");
  copy_field(dead_list_path, sizeof dead_list_path, list);
  std::vector<LVK_URL> records;
  std::vector<std::string> targets;
  std::multiset<std::string> dead;
  for (int i = 0; i < 200; ++i) {
    const std::string n = std::to_string(i);
    // A few very slow links among fast ones and dead ones.
    targets.push_back(i % 17 == 0  ? "/slow/400?n=" + n
                      : i % 4 == 1 ? "/slow/" + std::to_string(i % 3 * 10) + "?n=" + n
                                   : "/status/404?n=" + n + "&" + std::string(700, 'p'));
    records.push_back(make_record(server.url(targets.back()), "a.url"));
  }
  const auto done = run({quarantine, keep, 10, 1}, records, 10);
  for (size_t i = 0; i < records.size(); ++i) {
    const bool gone = targets[i].compare(0, 8, "/status/") == 0;
    EXPECT_EQ(server.count(targets[i]), 1) << targets[i];
    EXPECT_EQ(outcome(done[i]), gone ? 112u : 10u) << targets[i];
    if (gone) dead.insert(server.url(targets[i]));
  }
  EXPECT_EQ(records_scanned(), records.size());
  EXPECT_EQ(lines_of(TempDir::read(list)), dead);
}

// However many records and threads a header gives, every worker ends and
// every whole record is done; bytes after the last whole record stay. A
// project shorter than a header starts no worker.
TEST_F(WorkerTest, EveryRecordIsDoneWhateverTheThreadsAndTheSize) {
  const struct { uint32_t records, threads; size_t trailing; int workers; } table[] = {{0, 3, 0, 3}, {3, 5, 0, 5}, {10, 3, 2011, 3}, {7, 0, 0, 1}, {7, 11, 5, 1}};
  for (const auto& row : table) {
    SCOPED_TRACE(std::to_string(row.records) + " records, " + std::to_string(row.threads) + " threads");
    write_project(project, {0, 0, row.threads}, std::vector<LVK_URL>(row.records, make_record("", "a.ini")));
    std::ofstream(project, std::ios::binary | std::ios::app) << std::string(row.trailing, 'T');
    ASSERT_TRUE(run_project(watcher, row.workers, 5000));
    EXPECT_EQ(watcher.notices.load(), row.workers);
    EXPECT_EQ(TempDir::read(project).substr(kHeaderSize + row.records * kRecordSize), std::string(row.trailing, 'T'));
    EXPECT_EQ(outcomes(read_project_file(project)), std::vector<uint32_t>(row.records, 10u));
  }
  for (const std::string& content : {std::string(), std::string(kHeaderSize - 1, '\0')}) {
    dir.write("project.lvn", content);
    watcher.reset();
    EXPECT_FALSE(start_run());
    EXPECT_EQ(watcher.notices.load() + running_workers.load(), 0);
    EXPECT_EQ(watcher.messages, std::vector<std::string>{"ERROR: Cannot open specified project !"});
  }
}

// A write that stops short ends its worker and leaves its record as it was,
// pending; no other record moves or changes.
TEST_F(WorkerTest, ShortWriteLeavesItsRecordPendingAndNoOtherTouched) {
  std::vector<LVK_URL> records;
  for (int i = 0; i < 24; ++i)
    records.push_back(make_record(server.url("/gone/" + std::to_string(i) + "/x.htm"), "F\\a.url"));
  run({fix, 0, 3}, records, 3);
  const std::string done = TempDir::read(project);
  write_project(project, {fix, 0, 3}, records);  // a cut link shows where a partial record went
  const std::string pending = TempDir::read(project);
  platform::ScopedFaultPlan faults({9, 1500, -1, 0});
  ASSERT_TRUE(run_project(watcher, 3));
  EXPECT_EQ(records_done(TempDir::read(project), pending, done), records.size() - 1);
}

// Without its project, or with a session that was closed under it, a worker
// ends through its normal end; a link it could not try stays pending instead
// of being taken for dead.
TEST_F(WorkerTest, WorkerWithAClosedSessionLeavesItsLinksPending) {
  write_project(project, {}, {make_record("", "b.ini"), make_record(server.url("/status/200"), "c.url")});
  platform::HttpSession* closed = platform::http_open_session("LVK");
  platform::http_close_session(closed);
  internet_session.store(closed);
  for (const std::string& file : {dir.file("missing.lvn"), project}) {
    select_project(file);
    SliceTask task;
    task.count = 5;
    next_record.store(0);
    running_workers.fetch_add(1);
    std::thread(checker_worker, &task).join();
  }
  internet_session.store(nullptr);
  EXPECT_EQ(watcher.notices.load(), 2);
  EXPECT_FALSE(platform::file_attributes(dir.file("missing.lvn")).exists);
  // The first record done, the second pending, and no record added.
  EXPECT_EQ(outcomes(read_project_file(project)), (std::vector<uint32_t>{10, 0}));
  EXPECT_EQ(server.total(), 0);
}

// A stop, asked from two threads at once, ends the workers waiting on servers
// at once and closes the session exactly once; the resumed run asks only the
// requests that were in flight and what no worker reached.
TEST_F(WorkerTest, StopWhileWaitingLeavesTheRecordsPendingAndResumeChecksThemOnce) {
  const char* kinds[] = {"/status/200?before=", "/hang?k=", "/status/404?after="};
  std::vector<LVK_URL> records;
  for (const char* kind : kinds)
    for (int k = 0; k < 5; ++k) records.push_back(make_record(server.url(kind + std::to_string(k)), "a.url"));
  write_project(project, {0, 0, 5}, records);
  const std::string pending = TempDir::read(project);
  create_project(false);
  ASSERT_TRUE(server.wait_for_path("/hang", 5, 10000)) << "every worker waits on a server";
  EXPECT_FALSE(create_project(false)) << "no second run while this one's workers still run";
  EXPECT_EQ(watcher.messages, std::vector<std::string>{"ERROR: The previous run is still ending !"});
  EXPECT_EQ(running_workers.load(), 5);
  const auto t0 = std::chrono::steady_clock::now();
  std::thread other(request_stop);
  request_stop();
  other.join();
  EXPECT_EQ(internet_session.load(), nullptr);
  ASSERT_TRUE(watcher.wait_for_end(5, 1000));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));
  // The first five done, the others never written back.
  EXPECT_EQ(outcomes(read_project_file(project)),
            (std::vector<uint32_t>{10, 10, 10, 10, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  const size_t from = kHeaderSize + 5 * kRecordSize;
  EXPECT_TRUE(TempDir::read(project).substr(from) == pending.substr(from));

  server.release_hangs();
  ASSERT_TRUE(run_project(watcher, 5));
  EXPECT_EQ(outcomes(read_project_file(project)),
            (std::vector<uint32_t>{10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 110, 110, 110, 110, 110}));
  for (const char* kind : kinds)  // only the requests in flight are asked again
    for (int k = 0; k < 5; ++k) EXPECT_EQ(server.count(kind + std::to_string(k)), kind[1] == 'h' ? 2 : 1);
  EXPECT_EQ(records_scanned(), 15u) << "the resumed run's progress counted afresh";
}

}  // namespace
