// How well the checker workers overlap their waiting: N links on a loopback
// server that answers each after D milliseconds, checked by T workers. The
// ideal wall time of a run is its largest slice times D; the ratio printed
// is wall / ideal (1.0 is perfect overlap). CPU time per link is the
// checker's own: the server runs in a child process.
//
//   checker_bench [links] [delay_ms] [threads...]   (default 2000 50 1 5 10)
//
// POSIX only (the server process is forked).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/globals.h"
#include "tests/support/checker_run.h"
#include "tests/support/http_fixture.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

double cpu_seconds() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Starts the server in a child process; returns its port (0 on failure).
// The child ends when `alive` reaches end of file, that is, with this process.
uint16_t start_server_process(pid_t& child, int& alive) {
  int port_pipe[2];
  int alive_pipe[2];
  if (pipe(port_pipe) != 0 || pipe(alive_pipe) != 0) return 0;
  child = fork();
  if (child == 0) {
    close(port_pipe[0]);
    close(alive_pipe[1]);
    {
      HttpFixture server;
      const uint16_t port = server.ok() ? server.port() : 0;
      if (write(port_pipe[1], &port, sizeof port) != sizeof port) _exit(1);
      char byte;
      while (read(alive_pipe[0], &byte, 1) > 0) {
      }
    }
    _exit(0);
  }
  close(port_pipe[1]);
  close(alive_pipe[0]);
  alive = alive_pipe[1];
  uint16_t port = 0;
  if (read(port_pipe[0], &port, sizeof port) != sizeof port) port = 0;
  close(port_pipe[0]);
  return port;
}

}  // namespace

int main(int argc, char** argv) {
  const int links = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int delay = argc > 2 ? std::atoi(argv[2]) : 50;
  std::vector<int> thread_counts;
  for (int i = 3; i < argc; ++i) thread_counts.push_back(std::atoi(argv[i]));
  if (thread_counts.empty()) thread_counts = {1, 5, 10};

  pid_t server_pid = -1;
  int alive = -1;
  const uint16_t port = start_server_process(server_pid, alive);
  if (port == 0) {
    std::fprintf(stderr, "the loopback server did not start\n");
    return 1;
  }
  const std::string base = "http://127.0.0.1:" + std::to_string(port) + "/slow/" +
                           std::to_string(delay) + "?n=";

  std::printf("%d links answering after %d ms\n", links, delay);
  std::printf("%8s %10s %10s %10s %14s %8s\n", "threads", "wall s", "ideal s", "wall/ideal",
              "cpu us/link", "valid");
  int status = 0;
  for (int t : thread_counts) {
    TempDir dir;
    std::vector<LVK_URL> records;
    records.reserve(links);
    for (int i = 0; i < links; ++i)
      records.push_back(make_record(base + std::to_string(i), "bench.url"));
    ProjectOptions options;
    options.threads = static_cast<uint32_t>(t);
    const std::string project = dir.file("bench.lvn");
    write_project(project, options, records);
    select_project(project);

    RunWatcher watcher;
    const double cpu0 = cpu_seconds();
    const auto t0 = std::chrono::steady_clock::now();
    const bool ended = run_project(watcher, t, 600000);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = cpu_seconds() - cpu0;

    int valid = 0;
    for (const LVK_URL& r : read_project_file(project))
      if (r.checked == 1 && r.result == result_none) ++valid;
    const int largest_slice = links - (t - 1) * (links / t);
    const double ideal = largest_slice * delay / 1000.0;
    std::printf("%8d %10.2f %10.2f %10.3f %14.1f %8d%s\n", t, wall, ideal, wall / ideal,
                cpu * 1e6 / links, valid, ended ? "" : "  (did not end)");
    std::fflush(stdout);
    if (!ended || valid != links) status = 1;
  }

  close(alive);
  int ignored;
  waitpid(server_pid, &ignored, 0);
  return status;
}
