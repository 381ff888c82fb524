// How well the checker workers overlap their waiting, on an uneven mix of
// links such as real collections hold: of N links on a loopback server, 2%
// answer after 500 ms, a few never answer at all (the answer time-out is
// lowered for the benchmark through LVN_HTTP_SILENCE_SECONDS), and the rest
// answer after D milliseconds. They are spread over the project in a fixed
// pseudo-random order.
//
// The ideal wall time of a run with T workers is the larger of (the sum of
// every link's answer time / T) and the longest single answer: no schedule
// can beat either. The answer time of a link that never answers is what the
// server measured in that run: how long it held the request open before the
// client gave up (the limit itself, to within the server's noticing). The ratio
// printed is wall / ideal (1.0 is perfect overlap). CPU time per link is the
// checker's own: the server runs in a child process, and the thread that
// waits for the run's end is left out. The server keeps its
// connections open between answers, as HTTP/1.1 servers do; with
// LVN_BENCH_CLOSE=1 it closes each one after its answer.
//
//   checker_bench [links] [delay_ms] [threads...]   (default 2000 50 1 5 10)
//
// POSIX only (the server process is forked).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/globals.h"
#include "platform/platform.h"
#include "tests/support/checker_run.h"
#include "tests/support/http_fixture.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kSlowMs = 500;
constexpr int kSlowPercent = 2;
constexpr int kNeverAnswering = 3;
constexpr const char* kSilenceSeconds = "2";

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

double cpu_seconds(int who) {
  rusage usage;
  getrusage(who, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The checker's own CPU time: the whole process less this thread, which
// only watches the run by polling for its end.
double checker_cpu_seconds() { return cpu_seconds(RUSAGE_SELF) - cpu_seconds(RUSAGE_THREAD); }

// Starts the server in a child process; returns its port (0 on failure).
// Each byte written to `alive` asks the child for the waits of its
// never-answering requests, which it sends back on `results`. The child ends
// when `alive` reaches end of file, that is, with this process.
uint16_t start_server_process(bool keep_alive, pid_t& child, int& alive, int& results) {
  int port_pipe[2];
  int alive_pipe[2];
  if (pipe(port_pipe) != 0 || pipe(alive_pipe) != 0) return 0;
  child = fork();
  if (child == 0) {
    close(port_pipe[0]);
    close(alive_pipe[1]);
    {
      HttpFixture server(keep_alive);
      const uint16_t port = server.ok() ? server.port() : 0;
      if (write(port_pipe[1], &port, sizeof port) != sizeof port) _exit(1);
      char byte;
      while (read(alive_pipe[0], &byte, 1) > 0) {
        double waits[2];
        server.take_hang_seconds(waits[0], waits[1]);
        if (write(port_pipe[1], waits, sizeof waits) != sizeof waits) _exit(1);
      }
    }
    _exit(0);
  }
  close(port_pipe[1]);
  close(alive_pipe[0]);
  alive = alive_pipe[1];
  results = port_pipe[0];
  uint16_t port = 0;
  if (read(results, &port, sizeof port) != sizeof port) port = 0;
  return port;
}

// The server's account of the never-answering requests since the last ask:
// their waits in all and the longest. The server notices a client's giving
// up within 50 ms, so it is given a moment first.
void measured_waits(int alive, int results, double& total, double& longest) {
  usleep(200 * 1000);
  double waits[2] = {0, 0};
  if (write(alive, "q", 1) != 1 || read(results, waits, sizeof waits) != sizeof waits)
    waits[0] = waits[1] = -1;
  total = waits[0];
  longest = waits[1];
}

// How long the client takes to give up on a link that never answers.
double never_answering_seconds(const std::string& url) {
  platform::HttpSession* session = platform::http_open_session("LVK");
  const auto t0 = Clock::now();
  platform::HttpRequest* request = platform::http_open_url(session, url);
  const double seconds = seconds_since(t0);
  platform::http_close_request(request);
  platform::http_close_session(session);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int links = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int delay = argc > 2 ? std::atoi(argv[2]) : 50;
  std::vector<int> thread_counts;
  for (int i = 3; i < argc; ++i) thread_counts.push_back(std::atoi(argv[i]));
  if (thread_counts.empty()) thread_counts = {1, 5, 10};
  if (links < 100 || delay < 0) {
    std::fprintf(stderr, "usage: checker_bench [links >= 100] [delay_ms] [threads...]\n");
    return 2;
  }
  setenv("LVN_HTTP_SILENCE_SECONDS", kSilenceSeconds, 1);
  const char* close_env = std::getenv("LVN_BENCH_CLOSE");
  const bool keep_alive = !(close_env && close_env[0] == '1');

  pid_t server_pid = -1;
  int alive = -1, results = -1;
  const uint16_t port = start_server_process(keep_alive, server_pid, alive, results);
  if (port == 0) {
    std::fprintf(stderr, "the loopback server did not start\n");
    return 1;
  }
  const std::string host = "http://127.0.0.1:" + std::to_string(port);

  // The mix, in a fixed pseudo-random order over the project.
  const int slow = links * kSlowPercent / 100;
  std::vector<int> answer_ms(links, delay);
  std::fill(answer_ms.begin(), answer_ms.begin() + slow, kSlowMs);
  std::fill(answer_ms.begin() + slow, answer_ms.begin() + slow + kNeverAnswering, -1);
  std::shuffle(answer_ms.begin(), answer_ms.end(), std::mt19937(20261207));

  const double never_s = never_answering_seconds(host + "/hang?n=calibration");
  double answered_s = 0;  // the answer delays of the links that answer
  for (int ms : answer_ms)
    if (ms >= 0) answered_s += ms / 1000.0;
  double ignored_total, ignored_longest;
  measured_waits(alive, results, ignored_total, ignored_longest);  // not the calibration's

  std::printf("%d links: %d%% after %d ms, %d never answering (given up after %.2f s), "
              "the rest after %d ms; server %s connections\n",
              links, kSlowPercent, kSlowMs, kNeverAnswering, never_s, delay,
              keep_alive ? "keeps" : "closes");
  std::printf("never-answering links at positions");
  for (int i = 0; i < links; ++i)
    if (answer_ms[i] < 0) std::printf(" %d", i);
  std::printf(" (a shared queue meets the last of them late)\n");
  std::printf("%8s %10s %10s %10s %14s %8s %6s %10s\n", "threads", "wall s", "ideal s",
              "wall/ideal", "cpu us/link", "valid", "dead", "waits s");
  int status = 0;
  for (int t : thread_counts) {
    TempDir dir;
    std::vector<LVK_URL> records;
    records.reserve(links);
    for (int i = 0; i < links; ++i) {
      const std::string target = answer_ms[i] < 0 ? "/hang" : "/slow/" + std::to_string(answer_ms[i]);
      records.push_back(make_record(host + target + "?n=" + std::to_string(i), "bench.url"));
    }
    ProjectOptions options;
    options.threads = static_cast<uint32_t>(t);
    const std::string project = dir.file("bench.lvn");
    write_project(project, options, records);
    select_project(project);

    RunWatcher watcher;
    const double cpu0 = checker_cpu_seconds();
    const auto t0 = Clock::now();
    const bool ended = run_project(watcher, t, 600000);
    const double wall = seconds_since(t0);
    const double cpu = checker_cpu_seconds() - cpu0;

    int valid = 0, dead = 0;
    for (const LVK_URL& r : read_project_file(project)) {
      if (r.checked == 1 && r.result == result_none) ++valid;
      if (r.checked == 1 && r.result == no_connection) ++dead;
    }
    double waited_s = 0, longest_wait_s = 0;
    measured_waits(alive, results, waited_s, longest_wait_s);
    const double longest_s = std::max(longest_wait_s, std::max(kSlowMs, delay) / 1000.0);
    const double ideal = std::max((answered_s + waited_s) / t, longest_s);
    std::printf("%8d %10.2f %10.2f %10.3f %14.1f %8d %6d %10.2f%s\n", t, wall, ideal, wall / ideal,
                cpu * 1e6 / links, valid, dead, waited_s, ended ? "" : "  (did not end)");
    std::fflush(stdout);
    if (!ended || valid != links - kNeverAnswering || dead != kNeverAnswering || waited_s < 0)
      status = 1;
  }

  close(alive);
  close(results);
  int ignored;
  waitpid(server_pid, &ignored, 0);
  return status;
}
