// The checker workers, driven through create_project and start_run over real
// project files and the loopback server.
#include "checker/worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "checker/site_root.h"
#include "core/globals.h"
#include "core/project.h"
#include "tests/support/checker_run.h"
#include "tests/support/http_fixture.h"
#include "tests/support/project_builder.h"
#include "platform/fault_injection.h"
#include "tests/support/temp_dir.h"

namespace {

struct State {
  uint32_t result;
  uint32_t checked;
  uint32_t action;
};
const State kValid{result_none, 1, keep};
const State kPending{result_none, 0, keep};

std::string describe(const LVK_URL& r) {
  std::ostringstream out;
  out << "url=\"" << std::string(r.url, field_length(r.url, kUrlSize)) << "\" path=\""
      << std::string(r.path, field_length(r.path, kPathSize)) << "\" result=" << r.result
      << " checked=" << r.checked << " action=" << r.action;
  return out.str();
}

void expect_state(const LVK_URL& r, State s) {
  EXPECT_EQ(r.result, s.result) << describe(r);
  EXPECT_EQ(r.checked, s.checked) << describe(r);
  EXPECT_EQ(r.action, s.action) << describe(r);
}

std::string file_bytes(const std::string& path) { return TempDir::read(path); }

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.ok());
    project = dir.file("project.lvn");
    select_project(project);
  }
  void TearDown() override {
    request_stop();
    EXPECT_TRUE(watcher.wait_for_end(0, 5000)) << "a worker is still running";
  }

  std::string url(const std::string& target) const { return server.url(target); }

  HttpFixture server;
  TempDir dir;
  RunWatcher watcher;
  std::string project;
};

// ---------------------------------------------------------------------------
// Outcomes

TEST_F(WorkerTest, EachAnswerGetsTheOutcomeOfTheStatusTable) {
  struct Case {
    std::string url;
    std::string path;
    State expected;
    int requests;  // requests the fixture must see for this URL
  };
  const State dead_http{http_error, 1, quarantine};     // on_http_error 2
  const State dead_offline{no_connection, 1, action_delete};  // on_no_connection 1
  const std::vector<Case> cases = {
      {"/status/200?c=1", "Links\\ok.url", kValid, 1},
      {"/moved/2?c=2", "Links\\moved.url", kValid, 1},
      {"/redirect/3?c=3", "Links\\found.url", kValid, 1},
      {"/status/401?c=4", "a.url", kValid, 1},
      {"/status/403?c=5", "a.url", kValid, 1},
      {"/status/410?c=6", "a.url", kValid, 1},
      {"/status/500?c=7", "a.url", kValid, 1},  // handle_500 off
      {"/status/503?c=8", "a.url", kValid, 1},
      {"/status/404?c=9", "Links\\gone.url", dead_http, 1},
      {"/fail/link.htm", "a.URL", dead_http, 1},
      {"/garbage?c=10", "a.url", kValid, 1},  // reached, no status: valid
      {"/stall?c=11", "a.url", kValid, 1},    // headers in, body never read
      {"/file?c=12", "a.url", kValid, 1},     // the redirection to file: is not followed
      {"/status/404?c=13", "Mixed.uRl", dead_http, 1},
      {"/status/404?c=14", "no dot url", dead_http, 1},
      {"/status/404?c=15", "desktop.ini", kValid, 0},  // not a shortcut: no request
      {"/status/404?c=16", "ur", kValid, 0},
      {"/status/404?c=17", "Links\\page.htm", kValid, 0},
  };
  std::vector<LVK_URL> records;
  for (const Case& c : cases) records.push_back(make_record(url(c.url), c.path));
  // Links the client never opens.
  const std::vector<std::string> offline = {
      unreachable_url(), unresolvable_url(), "file:///etc/passwd", "javascript:void(0)",
      std::string(64, 'x') + ".invalid/no-scheme"};
  for (const std::string& u : offline) records.push_back(make_record(u, "Offline.url"));
  records.push_back(make_record("", "Empty.url"));

  ProjectOptions options;
  options.on_http_error = quarantine;
  options.on_no_connection = action_delete;
  options.threads = 4;
  write_project(project, options, records);
  // The workers go by their own header, never by the program-wide choices.
  on_http_error = fix;
  on_no_connection = keep;

  ASSERT_TRUE(run_project(watcher, 4));
  const std::vector<LVK_URL> done = read_project_file(project);
  ASSERT_EQ(done.size(), records.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].url);
    expect_state(done[i], cases[i].expected);
    EXPECT_EQ(server.count(cases[i].url), cases[i].requests);
  }
  for (size_t i = 0; i < offline.size(); ++i) {
    SCOPED_TRACE(offline[i]);
    expect_state(done[cases.size() + i], dead_offline);
  }
  expect_state(done.back(), dead_http);  // empty url, without any request
  EXPECT_EQ(server.last_user_agent(), "LVK");
  EXPECT_EQ(server.count("/status/200"), 2) << "each of the two redirect chains ends once";
  on_http_error = keep;
}

TEST_F(WorkerTest, Answer500IsDeadOnlyWhileHandle500IsOn) {
  ProjectOptions options;
  options.on_http_error = quarantine;
  for (const bool on : {true, false}) {
    const std::string link = url(on ? "/status/500?on" : "/status/500?off");
    write_project(project, options, {make_record(link, "a.url")});
    handle_500 = on;
    ASSERT_TRUE(run_project(watcher, 1));
    expect_state(read_project_file(project)[0], on ? State{http_error, 1, quarantine} : kValid);
  }
}

// The header's choices decide the action; a choice outside the table leaves
// the record pending with its result. Cutting back never applies to a link
// that was not reached.
TEST_F(WorkerTest, HeaderChoicesDecideTheAction) {
  const std::string dead = url("/fail/link.htm");
  const std::string site = url("");
  const std::string offline = unreachable_url() + "deep/page.htm";
  for (uint32_t choice = 0; choice <= 4; ++choice) {
    SCOPED_TRACE("choice " + std::to_string(choice));
    ProjectOptions options;
    options.on_http_error = options.on_no_connection = choice;
    write_project(project, options,
                  {make_record(dead, "News\\dead.url"), make_record("", "e.url"),
                   make_record(offline, "a.url")});
    ASSERT_TRUE(run_project(watcher, 1));
    const std::vector<LVK_URL> done = read_project_file(project);
    const State http = choice <= fix ? State{http_error, 1, choice} : State{http_error, 0, keep};
    expect_state(done[0], http);
    expect_state(done[1], http);
    expect_state(done[2], choice < fix ? State{no_connection, 1, choice} : State{no_connection, 0, keep});
    EXPECT_STREQ(done[2].url, offline.c_str());
    EXPECT_STREQ(done[0].url, choice == fix ? site.c_str() : dead.c_str());
    // The cut-off part stays behind the new terminator.
    if (choice == fix) {
      EXPECT_STREQ(done[0].url + site.size() + 1, "fail/link.htm");
    }
  }
}

TEST_F(WorkerTest, LinkLeftPendingAsDeadIsValidOnceItAnswers) {
  write_project(project, ProjectOptions{},
                {make_record(url("/status/200?again"), "a.url", 0, keep, http_error)});
  ASSERT_TRUE(run_project(watcher, 1));
  expect_state(read_project_file(project)[0], kValid);
}

TEST_F(WorkerTest, RedirectionLoopNeitherHangsTheRunNorKillsTheLink) {
  write_project(project, ProjectOptions{}, {make_record(url("/loop"), "a.url")});
  if (running_under_wine()) {
    // Wine's client follows a loop without end; a stop still ends the run at
    // once and leaves the link to be checked again.
    watcher.reset();
    create_project(false);
    ASSERT_TRUE(server.wait_for_path("/loop", 20, 10000));
    const auto t0 = std::chrono::steady_clock::now();
    request_stop();
    ASSERT_TRUE(watcher.wait_for_end(1, 1000));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));
    expect_state(read_project_file(project)[0], kPending);
    return;
  }
  ASSERT_TRUE(run_project(watcher, 1));
  // The last redirection is left as the final answer: a 3xx, valid.
  expect_state(read_project_file(project)[0], kValid);
  EXPECT_GE(server.count("/loop"), 2);
  EXPECT_LE(server.count("/loop"), 11);
}

TEST_F(WorkerTest, ProcessingRewritesOnlyTheOutcomeFields) {
  LVK_URL record = make_record(url("/status/200?bytes"), "a.url");
  const size_t url_end = std::strlen(record.url);
  std::memcpy(record.url + url_end + 1, "LEFT", 4);
  std::memcpy(record.path + 6, "OVER", 4);
  write_project(project, ProjectOptions{}, {record, make_record("", "b.ini")});
  const std::string before = file_bytes(project);
  ASSERT_TRUE(run_project(watcher, 1));
  const std::string after = file_bytes(project);
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < before.size(); ++i) {
    const size_t in_record = (i - kHeaderSize) % kRecordSize;
    if (i >= kHeaderSize && in_record >= 2000) continue;  // result, checked, action
    ASSERT_EQ(after[i], before[i]) << "byte " << i;
  }
  const std::vector<LVK_URL> done = read_project_file(project);
  expect_state(done[0], kValid);
  expect_state(done[1], kValid);
}

// ---------------------------------------------------------------------------
// Cutting a link back to its site

TEST(CutToSite, KeepsSchemeAndHostOnly) {
  const struct {
    const char* in;
    const char* out;
  } table[] = {
      {"http://h/fail/link.htm", "http://h"},
      {"https://host.example:8080/a/b?c=d", "https://host.example:8080"},
      {"ftp://files.example/pub/", "ftp://files.example"},
      {"http://h", "http://h"},
      {"http://h/", "http://h"},
      {"host/fail/link.htm", "host"},  // no "://": cut at the first slash
      {"/rooted/path", ""},
      {"plain", "plain"},
      {"", ""},
      {"mailto:someone@example.com", "mailto:someone@example.com"},
  };
  for (const auto& row : table) {
    char field[kUrlSize];
    std::memset(field, 0, sizeof field);
    copy_field(field, sizeof field, row.in);
    cut_to_site(field, sizeof field);
    EXPECT_STREQ(field, row.out) << row.in;
  }
}

TEST(CutToSite, StaysInsideAFieldWithoutTerminator) {
  char field[kUrlSize + 8];
  std::memset(field, 'z', sizeof field);
  std::memcpy(field, "http://h", 8);
  field[300] = '/';
  cut_to_site(field, kUrlSize);
  EXPECT_EQ(field[300], '\0');
  EXPECT_EQ(field[kUrlSize], 'z');

  std::memset(field, 'z', sizeof field);  // no slash and no terminator at all
  cut_to_site(field, kUrlSize);
  for (size_t i = 0; i < sizeof field; ++i) ASSERT_EQ(field[i], 'z');
}

// ---------------------------------------------------------------------------
// The dead-link list

TEST_F(WorkerTest, DeadLinkListGetsEveryDeadLinkAppended) {
  const std::string list = dir.write("Dead Links.TXT", "from an earlier run\r\n");
  copy_field(dead_list_path, sizeof dead_list_path, list);
  ProjectOptions options;
  options.dead_links_text = 1;
  options.on_http_error = 4;  // left pending, but listed all the same
  const std::string gone = url("/status/404?list");
  const std::string offline = unreachable_url();
  write_project(project, options,
                {make_record(gone, "a.url"), make_record(url("/status/200?list"), "b.url"),
                 make_record(offline, "c.url"), make_record("", "d.url"),
                 make_record(url("/status/404?ini"), "e.ini")});
  ASSERT_TRUE(run_with_start_run(watcher, 1));
  const std::string listed = "from an earlier run\r\n" + gone + "\r\n" + offline + "\r\n\r\n";
  EXPECT_EQ(TempDir::read(list), listed);

  // Only the project's header counts, never the program-wide choice.
  dead_links_text = 1;
  write_project(project, ProjectOptions{}, {make_record(url("/status/404?off"), "a.url")});
  ASSERT_TRUE(run_with_start_run(watcher, 1));
  dead_links_text = 0;
  expect_state(read_project_file(project)[0], {http_error, 1, keep});
  EXPECT_EQ(TempDir::read(list), listed);
}

TEST_F(WorkerTest, UnwritableDeadLinkListIsSkippedSilently) {
  ProjectOptions options;
  options.dead_links_text = 1;
  options.on_http_error = quarantine;
  for (const std::string& path : {dir.file("missing/folder/Dead Links.TXT"), std::string()}) {
    copy_field(dead_list_path, sizeof dead_list_path, path);
    write_project(project, options, {make_record(url("/status/404?skip"), "a.url")});
    ASSERT_TRUE(run_with_start_run(watcher, 1));
    expect_state(read_project_file(project)[0], {http_error, 1, quarantine});
    EXPECT_TRUE(watcher.messages().empty());
  }
  EXPECT_FALSE(platform::file_readable(dir.file("missing/folder/Dead Links.TXT")));
}

TEST_F(WorkerTest, DeadLinkLinesFromTenWorkersNeverInterleave) {
  const std::string list = dir.file("Dead Links.TXT");
  copy_field(dead_list_path, sizeof dead_list_path, list);
  ProjectOptions options;
  options.dead_links_text = 1;
  options.threads = 10;
  std::vector<LVK_URL> records;
  std::multiset<std::string> expected;
  const std::string padding(700, 'p');
  for (int i = 0; i < 200; ++i) {
    const std::string u = url("/status/404?n=" + std::to_string(i) + "&" + padding);
    records.push_back(make_record(u, "a.url"));
    expected.insert(u);
  }
  write_project(project, options, records);
  ASSERT_TRUE(run_with_start_run(watcher, 10));

  const std::string text = TempDir::read(list);
  std::multiset<std::string> lines;
  size_t from = 0;
  for (size_t end; (end = text.find("\r\n", from)) != std::string::npos; from = end + 2)
    lines.insert(text.substr(from, end - from));
  EXPECT_EQ(from, text.size()) << "text after the last line end";
  EXPECT_EQ(lines, expected);
}

// ---------------------------------------------------------------------------
// The shared cursor: every record to exactly one worker

TEST_F(WorkerTest, TenWorkersCheckEachRecordOnceWhateverItsSpeed) {
  ProjectOptions options;
  options.threads = 10;
  options.on_http_error = quarantine;
  std::vector<LVK_URL> records;
  std::vector<std::string> targets;
  for (int i = 0; i < 120; ++i) {
    const std::string n = std::to_string(i);
    // A few very slow links among fast ones, dead ones, records done in an
    // earlier run and files that are no shortcuts.
    std::string target = i % 17 == 0 ? "/slow/400?n=" + n
                         : i % 5 == 0 ? "/status/404?n=" + n
                                      : "/slow/" + std::to_string(i % 4 * 10) + "?n=" + n;
    targets.push_back(target);
    records.push_back(i % 11 == 3   ? make_record(url(target), "a.url", 1, keep)
                      : i % 13 == 4 ? make_record(url(target), "desktop.ini")
                                    : make_record(url(target), "a.url"));
  }
  write_project(project, options, records);
  ASSERT_TRUE(run_project(watcher, 10));

  const std::vector<LVK_URL> done = read_project_file(project);
  for (size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(targets[i]);
    const bool asked = records[i].checked == 0 && i % 13 != 4;
    EXPECT_EQ(server.count(targets[i]), asked ? 1 : 0);
    expect_state(done[i], asked && i % 5 == 0 && i % 17 != 0 ? State{http_error, 1, quarantine}
                                                                : kValid);
  }
  uint32_t scanned = 0;
  for (const auto& slot : worker_position) scanned += slot.load();
  EXPECT_EQ(scanned, records.size()) << "the progress reaches every record";
}

// However many records and threads a header gives, every worker ends and
// every whole record is processed once; bytes after the last whole record
// are no record and stay as they are.
TEST_F(WorkerTest, EveryRecordIsDoneWhateverTheThreadsAndTheSize) {
  const struct {
    uint32_t records, threads;
    size_t trailing;
    uint32_t workers;
  } table[] = {{0, 3, 0, 3}, {3, 5, 0, 5}, {10, 3, 2011, 3}, {7, 0, 0, 1}, {7, 11, 5, 1}};
  for (const auto& row : table) {
    SCOPED_TRACE(std::to_string(row.records) + " records, " + std::to_string(row.threads) + " threads");
    ProjectOptions options;
    options.threads = row.threads;
    write_project(project, options,
                  std::vector<LVK_URL>(row.records, make_record("", "desktop.ini")));
    {
      std::ofstream out(project, std::ios::binary | std::ios::app);
      out << std::string(row.trailing, 'T');
    }
    ASSERT_TRUE(run_with_start_run(watcher, static_cast<int>(row.workers), 5000));
    EXPECT_EQ(watcher.end_notices(), static_cast<int>(row.workers));
    const std::string bytes = file_bytes(project);
    EXPECT_EQ(bytes.substr(bytes.size() - row.trailing), std::string(row.trailing, 'T'));
    const std::vector<LVK_URL> done = read_project_file(project);
    for (uint32_t i = 0; i < row.records; ++i) expect_state(done[i], kValid);
  }
  EXPECT_EQ(server.total(), 0);
  EXPECT_TRUE(watcher.messages().empty());
}

TEST_F(WorkerTest, ProjectShorterThanAHeaderStartsNoWorker) {
  for (const std::string& content : {std::string(), std::string(999, '\0')}) {
    dir.write("project.lvn", content);
    watcher.reset();
    EXPECT_FALSE(start_run());
    EXPECT_EQ(watcher.end_notices(), 0);
    EXPECT_EQ(watcher.messages(),
              std::vector<std::string>{"ERROR: Cannot open specified project !"});
  }
  select_project(dir.file("missing.lvn"));
  EXPECT_FALSE(start_run());
  EXPECT_EQ(running_workers.load(), 0);
}

// A write that stops short ends its worker and leaves its record as it was,
// pending; no other record moves or changes.
TEST_F(WorkerTest, ShortWriteLeavesItsRecordPendingAndNoOtherTouched) {
  ProjectOptions options;
  options.threads = 3;
  options.on_http_error = fix;  // a cut link shows where a partial record went
  std::vector<LVK_URL> records;
  for (int i = 0; i < 24; ++i)
    records.push_back(make_record(url("/gone/" + std::to_string(i) + "/x.htm"), "F\\a.url"));
  write_project(project, options, records);
  const std::string pending = file_bytes(project);
  ASSERT_TRUE(run_project(watcher, 3));
  const std::string expected = file_bytes(project);

  write_project(project, options, records);
  {
    platform::FaultPlan plan;
    plan.fail_write = 9;
    plan.failing_write_keeps = 1500;
    platform::ScopedFaultPlan faults(plan);
    ASSERT_TRUE(run_project(watcher, 3));
  }
  const std::string after = file_bytes(project);
  ASSERT_EQ(after.size(), expected.size());
  int left_pending = 0;
  for (size_t at = kHeaderSize; at < after.size(); at += kRecordSize) {
    const std::string record = after.substr(at, kRecordSize);
    if (record == expected.substr(at, kRecordSize)) continue;
    EXPECT_TRUE(record == pending.substr(at, kRecordSize)) << "record " << at / kRecordSize;
    ++left_pending;
  }
  EXPECT_EQ(left_pending, 1);
}

// ---------------------------------------------------------------------------
// Workers on their own

void run_worker_directly(uint32_t count) {
  SliceTask task;
  task.count = count;
  next_record.store(0);
  running_workers.fetch_add(1);
  std::thread worker(checker_worker, &task);
  worker.join();
  EXPECT_TRUE(task.taken.load());
}

// Without its project, or with a session that was closed under it, a worker
// ends through its normal end; a link it could not try stays pending instead
// of being taken for dead.
TEST_F(WorkerTest, WorkerOnItsOwnEndsThroughItsNormalEnd) {
  select_project(dir.file("missing.lvn"));
  run_worker_directly(5);
  EXPECT_EQ(watcher.end_notices(), 1);
  EXPECT_FALSE(platform::file_readable(dir.file("missing.lvn")));

  select_project(project);
  write_project(project, ProjectOptions{},
                {make_record("", "b.ini"), make_record(url("/status/200?closed"), "c.url")});
  platform::HttpSession* closed = platform::http_open_session("LVK");
  platform::http_close_session(closed);
  internet_session.store(closed);
  run_worker_directly(5);
  internet_session.store(nullptr);
  EXPECT_EQ(watcher.end_notices(), 2);
  const std::vector<LVK_URL> done = read_project_file(project);
  ASSERT_EQ(done.size(), 2u) << "a run never extends a project";
  expect_state(done[0], kValid);
  expect_state(done[1], kPending);
  EXPECT_EQ(server.total(), 0);
}

// ---------------------------------------------------------------------------
// Stopping and resuming

TEST_F(WorkerTest, StopWhileWaitingLeavesTheRecordsPendingAndResumeChecksThemOnce) {
  ProjectOptions options;
  options.threads = 5;
  // Five quick links, then one that hangs for each worker, then five that no
  // worker reaches before the stop.
  std::vector<LVK_URL> records;
  for (const char* kind : {"/status/200?before=", "/hang?k=", "/status/404?after="})
    for (int k = 0; k < 5; ++k) records.push_back(make_record(url(kind + std::to_string(k)), "a.url"));
  write_project(project, options, records);
  const std::string pending_bytes = file_bytes(project);

  watcher.reset();
  create_project(false);
  ASSERT_TRUE(server.wait_for_path("/hang", 5, 10000)) << "every worker waits on a server";
  // No second run while this one's workers still run.
  EXPECT_FALSE(create_project(false));
  EXPECT_EQ(watcher.messages(), std::vector<std::string>{"ERROR: The previous run is still ending !"});
  EXPECT_EQ(running_workers.load(), 5);
  const auto t0 = std::chrono::steady_clock::now();
  request_stop();
  ASSERT_TRUE(watcher.wait_for_end(5, 1000));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));

  std::vector<LVK_URL> done = read_project_file(project);
  for (int k = 0; k < 5; ++k) expect_state(done[k], kValid);
  // Never written back: byte for byte as before the run.
  const size_t from = kHeaderSize + 5 * kRecordSize;
  EXPECT_TRUE(file_bytes(project).substr(from) == pending_bytes.substr(from));

  server.release_hangs();
  ASSERT_TRUE(run_project(watcher, 5));
  done = read_project_file(project);
  for (int k = 0; k < 5; ++k) {
    const std::string n = std::to_string(k);
    expect_state(done[k], kValid);
    expect_state(done[5 + k], kValid);
    expect_state(done[10 + k], {http_error, 1, keep});
    EXPECT_EQ(server.count("/status/200?before=" + n), 1);
    EXPECT_EQ(server.count("/hang?k=" + n), 2) << "only the one in flight is asked again";
    EXPECT_EQ(server.count("/status/404?after=" + n), 1);
  }
}

TEST_F(WorkerTest, FinishedProjectAsksNothingAndANextRunChecksItsOwn) {
  ProjectOptions options;
  options.threads = 2;
  options.on_http_error = quarantine;
  write_project(project, options,
                {make_record(url("/status/200?r=1"), "a.url"),
                 make_record(url("/status/404?r=2"), "b.url"),
                 make_record(url("/status/200?r=3"), "c.url"),
                 make_record(unreachable_url(), "d.url")});
  ASSERT_TRUE(run_project(watcher, 2));
  ASSERT_TRUE(stop_requested.load()) << "the end of a run leaves the stop request set";
  const std::string finished = file_bytes(project);
  EXPECT_EQ(server.total(), 3);

  ASSERT_TRUE(run_project(watcher, 2));
  EXPECT_EQ(watcher.end_notices(), 2);
  EXPECT_EQ(server.total(), 3);
  EXPECT_EQ(file_bytes(project), finished);

  // Another project in the same process is checked in full.
  const std::string second = dir.file("second.lvn");
  write_project(second, ProjectOptions{}, {make_record(url("/status/200?second"), "a.url")});
  select_project(second);
  ASSERT_TRUE(run_project(watcher, 1));
  expect_state(read_project_file(second)[0], kValid);
  EXPECT_EQ(server.count("/status/200?second"), 1);
  uint32_t scanned = 0;
  for (const auto& slot : worker_position) scanned += slot.load();
  EXPECT_EQ(scanned, 1u) << "progress left from the last run";
}

TEST_F(WorkerTest, StopRequestsFromSeveralThreadsLeaveNoSession) {
  internet_session.store(platform::http_open_session("LVK"));
  ASSERT_NE(internet_session.load(), nullptr);
  std::vector<std::thread> callers;
  for (int i = 0; i < 4; ++i) callers.emplace_back(request_stop);
  for (std::thread& t : callers) t.join();
  EXPECT_TRUE(stop_requested.load());
  EXPECT_EQ(internet_session.load(), nullptr);
}

#ifndef _WIN32
// Threads that cannot be made (no process slot left for the user) leave
// their share to the others; with none at all the start fails and says so,
// and the process lives on.
TEST(StartRun, ThreadsThatCannotBeMadeLeaveTheirShareToTheOthers) {
  if (::getuid() != 0) GTEST_SKIP() << "limits the threads of a user of its own";
  TempDir dir;
  const std::string project = dir.file("p.lvn");
  ProjectOptions options;
  options.threads = 10;
  write_project(project, options, std::vector<LVK_URL>(40, make_record("", "desktop.ini")));
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
  ASSERT_EQ(::chmod(project.c_str(), 0666), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    RunWatcher watcher;
    select_project(project);
    rlimit limit;
    ::getrlimit(RLIMIT_NPROC, &limit);
    limit.rlim_cur = 1;  // this process only: no thread at all
    if (::setrlimit(RLIMIT_NPROC, &limit) != 0) ::_exit(4);
    if (start_run() || running_workers.load() != 0) ::_exit(5);
    if (watcher.messages() != std::vector<std::string>{"ERROR: Cannot start the checker threads !"})
      ::_exit(6);
    if (read_project_file(project)[0].checked != 0) ::_exit(7);
    limit.rlim_cur = 3;  // two of the ten
    if (::setrlimit(RLIMIT_NPROC, &limit) != 0) ::_exit(4);
    if (!start_run() || !watcher.wait_for_end(2, 10000)) ::_exit(8);
    for (const LVK_URL& r : read_project_file(project))
      if (r.checked != 1) ::_exit(9);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

}  // namespace
