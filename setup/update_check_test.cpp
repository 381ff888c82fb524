#include "setup/update_check.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/maker.h"
#include "platform/platform.h"
#include "tests/support/env.h"
#include "tests/support/http_fixture.h"
#include "tests/support/process_runner.h"
#include "tests/support/temp_dir.h"

namespace {

std::string u32(uint32_t value) {  // little-endian, as the host stores it
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

std::string maker(const std::string& path) { return "https://" + std::string(kMakerUpdateServer) + path; }

// Every byte of the request and its two entries as the library reads them, in
// the 32-bit layout (all that follows the pointer to the entries is zero).
std::string expected_request(const std::string& library, const std::string& program) {
  std::string expected(1246 + 2 * 6032, '\0');
  auto put = [&](size_t at, const std::string& bytes) { expected.replace(at, bytes.size(), bytes); };
  put(0, u32(1246) + u32(100));
  put(12, "LVN");
  put(112, "{7D3E91C4-2B5A-4F08-9C6E-1A4B8D2F5E73}");
  put(212, "EN");
  put(222, u32(2));
  const std::string entries[2][4] = {
      {library, "/cgi-bin/download.cgi?file=hu", "/hash.php?file=./hu/hu.dll", "HU Library"},
      {program, "/lvn/files/LVN.EXE", "/hash.php?file=./lvn/files/LVN.EXE", "LVN executable"}};
  for (size_t i = 0; i < 2; ++i) {
    const size_t at = 1246 + i * 6032;
    put(at, u32(6032) + u32(100));
    put(at + 12, entries[i][0]);
    put(at + 1012, maker(entries[i][1]));
    put(at + 4012, maker(entries[i][2]));
    put(at + 5012, entries[i][3]);
    put(at + 6016, u32(1));
  }
  return expected;
}

int messages = 0;
void count_message(const std::string&, const std::string&, platform::MessageIcon) { ++messages; }

TEST(UpdateCheck, LibraryIsLoadedFromItsPathOrDownloadedWholeOrNotAtAll) {
  struct Case {
    const char* name;
    bool stand_in;      // the stand-in library is in place beforehand
    const char* route;  // what the download reaches; null: no server
    int32_t result;
    bool library_after;
    int downloads;
  } cases[] = {
      {"stand-in present: no download, one request", true, "/status/200", 1, true, 0},
      {"no library and no server", false, nullptr, 0, false, 0},
      {"an empty answer is never kept", false, "/empty", 0, false, 1},
      {"a body cut short is never kept", false, "/short", 0, false, 1},
      {"an error page is never kept", false, "/status/404", 0, false, 1},
      {"a whole body is kept, and fails to load", false, "/status/200", 0, true, 1},
  };
  platform::set_message_hook(count_message);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    HttpFixture server;
    ASSERT_TRUE(server.ok());
    const std::string library = dir.file("lib/" LVN_HU_LIBRARY_NAME), record = dir.file("record");
    const std::string me = platform::module_path();  // the stand-in is built beside the tests
    const std::string built = me.substr(0, me.find_last_of("\\/") + 1) + LVN_HU_LIBRARY_NAME;
    if (c.stand_in) dir.write("lib/" LVN_HU_LIBRARY_NAME, TempDir::read(built));
    set_update_sources_for_tests({library, c.route ? server.url(c.route) : unreachable_url() + "/hu", ""});
    ScopedEnv env("LVN_HU_RECORD", record);
    messages = 0;
    EXPECT_EQ(run_update_sequence(), c.result);
    EXPECT_EQ(server.total(), c.downloads);
    EXPECT_EQ(platform::file_readable(library), c.library_after);
    std::error_code ec;  // and no temporary file left beside it
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("lib"), ec), {}), c.library_after);
    EXPECT_EQ(messages, 0);
    std::string got = TempDir::read(record);  // one request, as the library was given it
    if (got.size() > 226 + sizeof(void*)) got.replace(226, sizeof(void*), sizeof(void*), '\0');
    EXPECT_EQ(got, c.stand_in ? expected_request(library, me) : "");
  }
  platform::set_message_hook(nullptr);
  set_update_sources_for_tests({});
}

#ifndef _WIN32
// Over https the library is kept only from a server whose certificate checks
// out; the server is openssl's own, on loopback.
TEST(UpdateCheck, HttpsDownloadNeedsAProvenServer) {
  TempDir dir;
  const std::string cert = dir.file("cert.pem"), key = dir.file("key.pem");
  ChildProcess make_cert;
  ASSERT_TRUE(make_cert.start({"openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt",
      "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key, "-out", cert, "-days", "1",
      "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"}, "", {}}));
  ASSERT_EQ(make_cert.wait(20000), 0);
  dir.write("www/hu.bin", "a whole body");
  std::string base = "https" + unreachable_url().substr(4);  // a free loopback port
  if (base.back() == '/') base.pop_back();
  ChildProcess server;
  ASSERT_TRUE(server.start({"openssl", {"s_server", "-quiet", "-WWW", "-accept",
      base.substr(base.rfind('/') + 1), "-cert", cert, "-key", key}, dir.file("www"), {}}));
  const std::string library = dir.file("lib/hu.bin");
  bool kept = false;  // the server needs a moment to listen
  set_update_sources_for_tests({library, base + "/hu.bin", cert});
  for (int i = 0; i < 100 && !(kept = download_file(library, base + "/hu.bin")); ++i)
    platform::sleep_ms(50);
  EXPECT_TRUE(kept);
  EXPECT_EQ(TempDir::read(library), "a whole body");
  platform::delete_file(library);
  set_update_sources_for_tests({library, base + "/hu.bin", ""});  // the system's store only
  EXPECT_FALSE(download_file(library, base + "/hu.bin"));
  set_update_sources_for_tests({});
}
#endif

}  // namespace
