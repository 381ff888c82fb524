// The checker workers, driven through create_project and start_run over real
// project files and the loopback server.
#include "checker/worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <set>
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
#include "platform/fault_injection.h"
#include "tests/support/checker_run.h"
#include "tests/support/http_fixture.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

struct State {
  uint32_t result, checked, action;
};
const State kValid{result_none, 1, keep};
const State kPending{result_none, 0, keep};

void expect_state(const LVK_URL& r, State s) {
  const std::string url(r.url, field_length(r.url, kUrlSize));
  EXPECT_EQ(r.result, s.result) << url;
  EXPECT_EQ(r.checked, s.checked) << url;
  EXPECT_EQ(r.action, s.action) << url;
}

ProjectOptions options(uint32_t threads, uint32_t on_http_error = keep,
                       uint32_t on_no_connection = keep, uint32_t dead_links_text = 0) {
  return {on_http_error, on_no_connection, threads, dead_links_text};
}

uint32_t records_scanned() {
  uint32_t scanned = 0;
  for (const auto& slot : worker_position) scanned += slot.load();
  return scanned;
}

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
  // The project's records after one run of `workers` workers.
  std::vector<LVK_URL> run(const ProjectOptions& o, const std::vector<LVK_URL>& records,
                           int workers = 1, bool through_start_run = false) {
    write_project(project, o, records);
    const bool ended = through_start_run ? run_with_start_run(watcher, workers)
                                         : run_project(watcher, workers);
    EXPECT_TRUE(ended);
    return read_project_file(project);
  }

  HttpFixture server;
  TempDir dir;
  RunWatcher watcher;
  std::string project;
};

// ---------------------------------------------------------------------------
// Outcomes

TEST_F(WorkerTest, EachAnswerGetsTheOutcomeOfTheStatusTable) {
  const State dead_http{http_error, 1, quarantine};
  const State dead_offline{no_connection, 1, action_delete};
  const struct {
    std::string url, path;
    State expected;
    int requests;  // requests the fixture must see for this URL
  } cases[] = {
      {"/status/200?c=1", "Links\\ok.url", kValid, 1},  // was left pending as dead
      {"/moved/2?c=2", "Links\\moved.url", kValid, 1},
      {"/redirect/3?c=3", "Links\\found.url", kValid, 1},
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
  for (const auto& c : cases) records.push_back(make_record(url(c.url), c.path));
  records[0].result = http_error;
  // Links the client never opens, then an empty one.
  const std::vector<std::string> offline = {
      unreachable_url(), unresolvable_url(), "file:///etc/passwd", "javascript:void(0)",
      std::string(64, 'x') + ".invalid/no-scheme"};
  for (const std::string& u : offline) records.push_back(make_record(u, "Offline.url"));
  records.push_back(make_record("", "Empty.url"));
  // The workers go by their own header, never by the program-wide choices.
  on_http_error = fix;
  on_no_connection = keep;

  const auto done = run(options(4, quarantine, action_delete), records, 4);
  ASSERT_EQ(done.size(), records.size());
  size_t i = 0;
  for (const auto& c : cases) {
    expect_state(done[i++], c.expected);
    EXPECT_EQ(server.count(c.url), c.requests) << c.url;
  }
  for (; i < done.size() - 1; ++i) expect_state(done[i], dead_offline);
  expect_state(done.back(), dead_http);  // empty url, without any request
  EXPECT_EQ(server.last_user_agent(), "LVK");
  EXPECT_EQ(server.count("/status/200"), 2) << "each of the two redirect chains ends once";
}

// The header's choices decide the action; a choice outside the table leaves
// the record pending with its result. Cutting back never applies to a link
// that was not reached. A 500 is dead only while handle_500 is on.
TEST_F(WorkerTest, HeaderChoicesDecideTheAction) {
  const std::string dead = url("/fail/link.htm"), site = url("");
  const std::string offline = unreachable_url() + "deep/page.htm";
  for (uint32_t choice = 0; choice <= 4; ++choice) {
    SCOPED_TRACE("choice " + std::to_string(choice));
    handle_500 = choice % 2 == 0;
    const auto done = run(options(1, choice, choice),
                          {make_record(dead, "News\\dead.url"), make_record("", "e.url"),
                           make_record(offline, "a.url"),
                           make_record(url("/status/500?" + std::to_string(choice)), "f.url")});
    const State http = choice <= fix ? State{http_error, 1, choice} : State{http_error, 0, keep};
    expect_state(done[0], http);
    expect_state(done[1], http);
    expect_state(done[2], choice < fix ? State{no_connection, 1, choice} : State{no_connection, 0, keep});
    expect_state(done[3], handle_500 ? http : kValid);
    EXPECT_STREQ(done[2].url, offline.c_str());
    EXPECT_STREQ(done[0].url, choice == fix ? site.c_str() : dead.c_str());
    // The cut-off part stays behind the new terminator.
    if (choice == fix) {
      EXPECT_STREQ(done[0].url + site.size() + 1, "fail/link.htm");
    }
  }
}

// A link that redirects to itself gets the same outcome on both platforms:
// the client gives up after ten redirections and the last answer, a 3xx,
// makes the link valid.
TEST_F(WorkerTest, RedirectionLoopEndsValidAfterTenRedirections) {
  expect_state(run(options(1), {make_record(url("/loop"), "a.url")})[0], kValid);
  EXPECT_GE(server.count("/loop"), 2);
  EXPECT_LE(server.count("/loop"), 11);
}

TEST_F(WorkerTest, ProcessingRewritesOnlyTheOutcomeFields) {
  LVK_URL record = make_record(url("/status/200?bytes"), "a.url");
  std::memcpy(record.url + std::strlen(record.url) + 1, "LEFT", 4);
  std::memcpy(record.path + 6, "OVER", 4);
  write_project(project, options(1), {record, make_record("", "b.ini")});
  const std::string before = TempDir::read(project);
  ASSERT_TRUE(run_project(watcher, 1));
  const std::string after = TempDir::read(project);
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < before.size(); ++i) {
    if (i >= kHeaderSize && (i - kHeaderSize) % kRecordSize >= 2000) continue;  // the outcome
    ASSERT_EQ(after[i], before[i]) << "byte " << i;
  }
  for (const LVK_URL& r : read_project_file(project)) expect_state(r, kValid);
}

// Cutting a link back to its site, also in a field without terminator.
TEST(CutToSite, KeepsSchemeAndHostOnlyAndStaysInTheField) {
  const char* table[][2] = {
      {"http://h/fail/link.htm", "http://h"}, {"http://h", "http://h"},
      {"https://host.example:8080/a/b?c=d", "https://host.example:8080"},
      {"host/fail/link.htm", "host"},  // no "://": cut at the first slash
      {"/rooted/path", ""}, {"", ""}, {"mailto:someone@example.com", "mailto:someone@example.com"},
  };
  for (const auto& row : table) {
    char field[kUrlSize] = {};
    copy_field(field, sizeof field, row[0]);
    cut_to_site(field, sizeof field);
    EXPECT_STREQ(field, row[1]) << row[0];
  }
  char field[kUrlSize + 8];
  std::memset(field, 'z', sizeof field);
  std::memcpy(field, "http://h", 8);
  field[300] = '/';
  cut_to_site(field, kUrlSize);
  EXPECT_EQ(field[300], '\0');
  EXPECT_EQ(field[kUrlSize], 'z');
  std::memset(field, 'z', sizeof field);  // no slash and no terminator at all
  cut_to_site(field, kUrlSize);
  EXPECT_EQ(std::string(field, sizeof field), std::string(sizeof field, 'z'));
}

// ---------------------------------------------------------------------------
// The dead-link list

// Every dead link is appended, also one left pending; only the header's
// choice counts; a list that cannot be written is skipped without a word.
TEST_F(WorkerTest, DeadLinkListGetsEveryDeadLinkAppended) {
  const std::string list = dir.write("Dead Links.TXT", "from an earlier run\r\n");
  copy_field(dead_list_path, sizeof dead_list_path, list);
  const std::string gone = url("/status/404?list"), offline = unreachable_url();
  run(options(1, 4, keep, 1),
      {make_record(gone, "a.url"), make_record(url("/status/200?list"), "b.url"),
       make_record(offline, "c.url"), make_record("", "d.url"),
       make_record(url("/status/404?ini"), "e.ini")},
      1, true);
  const std::string listed = "from an earlier run\r\n" + gone + "\r\n" + offline + "\r\n\r\n";
  EXPECT_EQ(TempDir::read(list), listed);

  dead_links_text = 1;
  expect_state(run(options(1), {make_record(url("/status/404?off"), "a.url")}, 1, true)[0],
               {http_error, 1, keep});
  EXPECT_EQ(TempDir::read(list), listed);

  for (const std::string& path : {dir.file("missing/folder/Dead Links.TXT"), std::string()}) {
    copy_field(dead_list_path, sizeof dead_list_path, path);
    const auto done = run(options(1, quarantine, keep, 1),
                          {make_record(url("/status/404?skip"), "a.url")}, 1, true);
    expect_state(done[0], {http_error, 1, quarantine});
    EXPECT_TRUE(watcher.messages().empty());
  }
  EXPECT_FALSE(platform::file_readable(dir.file("missing/folder/Dead Links.TXT")));
}

// ---------------------------------------------------------------------------
// Ten workers on a shared cursor

// Every record goes to exactly one worker whatever its link's speed, and the
// long dead-list lines of ten workers never interleave.
TEST_F(WorkerTest, TenWorkersCheckEachRecordOnceAndNeverInterleaveTheirLines) {
  const std::string list = dir.file("Dead Links.TXT");
  copy_field(dead_list_path, sizeof dead_list_path, list);
  std::vector<LVK_URL> records;
  std::vector<std::string> targets;
  std::multiset<std::string> dead;
  for (int i = 0; i < 200; ++i) {
    const std::string n = std::to_string(i);
    // A few very slow links among fast ones, dead ones, records done in an
    // earlier run and files that are no shortcuts.
    targets.push_back(i % 17 == 0  ? "/slow/400?n=" + n
                      : i % 4 == 1 ? "/slow/" + std::to_string(i % 3 * 10) + "?n=" + n
                                   : "/status/404?n=" + n + "&" + std::string(700, 'p'));
    records.push_back(make_record(url(targets.back()), i % 13 == 4 ? "desktop.ini" : "a.url",
                                  i % 11 == 3 ? 1 : 0));
  }
  const auto done = run(options(10, quarantine, keep, 1), records, 10, true);
  for (size_t i = 0; i < records.size(); ++i) {
    const bool asked = records[i].checked == 0 && i % 13 != 4;
    const bool gone = asked && targets[i].compare(0, 8, "/status/") == 0;
    EXPECT_EQ(server.count(targets[i]), asked ? 1 : 0) << targets[i];
    expect_state(done[i], gone ? State{http_error, 1, quarantine} : kValid);
    if (gone) dead.insert(url(targets[i]));
  }
  EXPECT_EQ(records_scanned(), records.size()) << "the progress reaches every record";
  const std::string text = TempDir::read(list);
  std::multiset<std::string> lines;
  size_t from = 0;
  for (size_t end; (end = text.find("\r\n", from)) != std::string::npos; from = end + 2)
    lines.insert(text.substr(from, end - from));
  EXPECT_EQ(from, text.size()) << "text after the last line end";
  EXPECT_EQ(lines, dead);
}

// However many records and threads a header gives, every worker ends and
// every whole record is processed once; bytes after the last whole record
// are no record and stay as they are.
TEST_F(WorkerTest, EveryRecordIsDoneWhateverTheThreadsAndTheSize) {
  const struct {
    uint32_t records, threads;
    size_t trailing;
    int workers;
  } table[] = {{0, 3, 0, 3}, {3, 5, 0, 5}, {10, 3, 2011, 3}, {7, 0, 0, 1}, {7, 11, 5, 1}};
  for (const auto& row : table) {
    SCOPED_TRACE(std::to_string(row.records) + " records, " + std::to_string(row.threads) + " threads");
    write_project(project, options(row.threads),
                  std::vector<LVK_URL>(row.records, make_record("", "desktop.ini")));
    std::ofstream(project, std::ios::binary | std::ios::app) << std::string(row.trailing, 'T');
    ASSERT_TRUE(run_with_start_run(watcher, row.workers, 5000));
    EXPECT_EQ(watcher.end_notices(), row.workers);
    const std::string bytes = TempDir::read(project);
    EXPECT_EQ(bytes.substr(bytes.size() - row.trailing), std::string(row.trailing, 'T'));
    const auto done = read_project_file(project);
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
    EXPECT_EQ(watcher.messages(), std::vector<std::string>{"ERROR: Cannot open specified project !"});
  }
  select_project(dir.file("missing.lvn"));
  EXPECT_FALSE(start_run());
  EXPECT_EQ(running_workers.load(), 0);
}

// A write that stops short ends its worker and leaves its record as it was,
// pending; no other record moves or changes.
TEST_F(WorkerTest, ShortWriteLeavesItsRecordPendingAndNoOtherTouched) {
  std::vector<LVK_URL> records;
  for (int i = 0; i < 24; ++i)
    records.push_back(make_record(url("/gone/" + std::to_string(i) + "/x.htm"), "F\\a.url"));
  const ProjectOptions cut_back = options(3, fix);  // a cut link shows where a partial record went
  write_project(project, cut_back, records);
  const std::string pending = TempDir::read(project);
  run(cut_back, records, 3);
  const std::string expected = TempDir::read(project);
  write_project(project, cut_back, records);
  {
    platform::FaultPlan plan;
    plan.fail_write = 9;
    plan.failing_write_keeps = 1500;
    platform::ScopedFaultPlan faults(plan);
    ASSERT_TRUE(run_project(watcher, 3));
  }
  const std::string after = TempDir::read(project);
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

// Without its project, or with a session that was closed under it, a worker
// ends through its normal end; a link it could not try stays pending instead
// of being taken for dead.
TEST_F(WorkerTest, WorkerOnItsOwnEndsThroughItsNormalEnd) {
  const auto run_worker_directly = [] {
    SliceTask task;
    task.count = 5;
    next_record.store(0);
    running_workers.fetch_add(1);
    std::thread(checker_worker, &task).join();
    EXPECT_TRUE(task.taken.load());
  };
  select_project(dir.file("missing.lvn"));
  run_worker_directly();
  EXPECT_EQ(watcher.end_notices(), 1);
  EXPECT_FALSE(platform::file_readable(dir.file("missing.lvn")));

  select_project(project);
  write_project(project, options(1),
                {make_record("", "b.ini"), make_record(url("/status/200?closed"), "c.url")});
  platform::HttpSession* closed = platform::http_open_session("LVK");
  platform::http_close_session(closed);
  internet_session.store(closed);
  run_worker_directly();
  internet_session.store(nullptr);
  EXPECT_EQ(watcher.end_notices(), 2);
  const auto done = read_project_file(project);
  ASSERT_EQ(done.size(), 2u) << "a run never extends a project";
  expect_state(done[0], kValid);
  expect_state(done[1], kPending);
  EXPECT_EQ(server.total(), 0);
}

// ---------------------------------------------------------------------------
// Stopping and resuming

TEST_F(WorkerTest, StopWhileWaitingLeavesTheRecordsPendingAndResumeChecksThemOnce) {
  // Five quick links, then one that hangs for each worker, then five that no
  // worker reaches before the stop.
  std::vector<LVK_URL> records;
  for (const char* kind : {"/status/200?before=", "/hang?k=", "/status/404?after="})
    for (int k = 0; k < 5; ++k) records.push_back(make_record(url(kind + std::to_string(k)), "a.url"));
  write_project(project, options(5), records);
  const std::string pending_bytes = TempDir::read(project);

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
  EXPECT_TRUE(TempDir::read(project).substr(from) == pending_bytes.substr(from));

  // The resumed run asks only what is pending, its progress counted afresh.
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
  EXPECT_EQ(records_scanned(), 15u);
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
  write_project(project, options(10), std::vector<LVK_URL>(40, make_record("", "desktop.ini")));
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
