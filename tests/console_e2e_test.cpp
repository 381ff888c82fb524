// The real program's console dialogue ("-cmd") end to end: natively, byte for
// byte, and the Windows build on a terminal under wine64, both driven by the
// same script. Each run uses a copy of the program in a folder of its own,
// where start-up keeps its files.
#ifndef _WIN32

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "core/project.h"
#include "gui/page_store.h"
#include "tests/support/console_transcript.h"
#include "tests/support/file_tree.h"
#include "tests/support/http_fixture.h"
#include "tests/support/places_builder.h"
#include "tests/support/process_runner.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
constexpr size_t npos = std::string::npos;

// A script is what the program shows, with each answer typed in braces.
const std::string kStart =
    "Lorvane 2.3 Command line version.\r\n"
    "Copyright (C) 2026 Lorvane developers. All rights reserved.\r\n"
    "You can run this console from command line with -cmd switch.\r\n\r\n"
    "Enter project name to be resumed, or press <Enter> to create a new project:\r\n";
const std::string kNew = kStart + "{}Please choose:\r\n"
    "1 - I use MS IE, please find favorites for me\r\n"
    "2 - I want to specify a directory that has IE favorites\r\n"
    "3 - I want to choose a Firefox bookmark file\r\n"
    "4 - I use Firefox, find its bookmark file for me.\r\n"
    "5 - I use Chrome, Edge or another Chromium browser, find its bookmarks for me\r\n"
    "6 - I use Firefox, find its bookmark database for me\r\n";
const std::string kName = "Enter a name for this project: ";
const std::string kThreads = "Enter total threads (1-10) for this project: ";
const std::string kSaveMenu =
    "Running...\r\nScanning completed.\r\nPlease enter saving method:\r\n"
    "1 - Save over old IE bookmarks\r\n2 - Save to a directory I will choose\r\n"
    "3 - Export to FireFox\r\n4 - Export to a bookmark file\r\n"
    "6 - Write a Firefox bookmark backup to restore\r\n";
const std::string kPause = "Press any key to continue . . . \r\n{}";
const std::string kEnd = "Lorvane done!\r\n" + kPause;
const std::string kDeadFolder = "<DT><H3>Dead Links</H3>\r\n<DL><p>\r\n";
const std::regex kAnswers("\\{[^}]*\\}");

std::string new_project(const std::string& choice, const std::string& source,
                        const std::string& name, const std::string& threads) {
  return kNew + "{" + choice + "}" + source + kName + "{" + name + "}" + kThreads + "{" +
         threads + "}" + kSaveMenu;
}
std::string asked(const std::string& question, const std::string& path, const std::string& then) {
  return question + "{" + path + "}" + then + path + "\r\n";
}
std::string from_file(const std::string& file) {
  return asked("Please choose Bookmark file: ", file, "Using file: ");
}
// The dialogue both builds go through.
std::string saved_over_favorites(const std::string& source, const std::string& favorites) {
  return new_project("3", from_file(source), "mixed", "2") + "{1}Saving to: " + favorites +
         ".\r\n" + kEnd;
}

// The texts shown before each answer, and the answers.
std::vector<std::pair<std::string, std::string>> steps(const std::string& script) {
  std::vector<std::pair<std::string, std::string>> out;
  for (size_t at = 0, open; (open = script.find('{', at)) != npos; at = script.find('}', open) + 1)
    out.emplace_back(script.substr(at, open - at),
                     script.substr(open + 1, script.find('}', open) - open - 1));
  return out;
}

// Waits until the file, as `view` shows it, holds `text` from `from` on:
// where the text ends there, or npos after the time-out.
size_t wait_for(const std::string& file, const std::string& text, size_t from = 0,
                std::string (*view)(const std::string&) = [](const std::string& s) { return s; },
                int timeout_ms = 30000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (size_t at; std::chrono::steady_clock::now() < deadline;
       std::this_thread::sleep_for(std::chrono::milliseconds(20)))
    if ((at = view(TempDir::read(file)).find(text, from)) != npos) return at + text.size();
  return npos;
}

// What a terminal under Wine shows, without its control sequences and
// blanks, which it draws as cursor moves.
std::string drawn(const std::string& raw) {
  static const std::regex drawing("\x1b(\\[[0-?]*[ -/]*[@-~]|\\][^\x07]*\x07|[^\\[\\]])|[ \r]");
  return std::regex_replace(raw, drawing, "");
}

std::string link(const std::string& name, const std::string& url) {
  return "<DT><A HREF=\"" + url + "\">" + name + "</A>\r\n";
}
// A bookmark file in the form the program writes.
std::string bookmarks(const std::string& links) {
  return kWrittenBookmarkFileHeader + links + "</DL>\r\n";
}

// A file's bytes, or a folder's listing with each shortcut's URL.
std::string written(const std::string& path) {
  if (!fs::is_directory(path)) return TempDir::read(path);
  std::string text;
  for (const std::string& name : tree_listing(path)) {
    const std::string bytes = TempDir::read(path + "/" + name);
    const size_t url = bytes.find("\nURL=") + 5;
    text += name + (url < 5 ? "" : " " + bytes.substr(url, bytes.find('\r', url) - url)) + "\n";
  }
  return text;
}

// A new console project's file: the threads asked for, the console's
// settings, and every record checked.
ProjectHeader expect_project(const std::string& file, size_t records, uint32_t threads) {
  ProjectHeader h{};
  EXPECT_TRUE(read_project_header(file.c_str(), h)) << file;
  EXPECT_EQ(std::vector<uint32_t>({h.threads, h.on_http_error, h.on_no_connection,
                                   h.dead_links_folder, h.dead_links_text}),
            std::vector<uint32_t>({threads, 2, 2, 1, 1})) << file;
  const std::vector<LVK_URL> read = read_project_file(file);
  EXPECT_EQ(read.size(), records) << file;
  for (const LVK_URL& record : read) EXPECT_EQ(record.checked, 1u) << record.url;
  return h;
}

// A run: its script, the project it leaves beside the program (if any), and
// what is then at the target (by default: nothing written).
struct Dialogue {
  const char* what;
  std::string script, project;
  size_t records = 0;
  uint32_t threads = 1;
  std::string target = "", contents = "";
  Strings arguments = {"-cmd"};
};

class ConsoleE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.ok());
    fs::copy_file(LVN_EXE, exe_);
    fs::create_directories(favorites_);  // named where the program keeps its registry
    registry.write("registry.ini", "[HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                                   "User Shell Folders]\r\nFavorites=" + favorites_ + "\r\n");
  }

  // Starts the program from elsewhere with every answer of the script given.
  bool start(ChildProcess& child, const std::string& script, const Strings& arguments = {"-cmd"}) {
    std::string typed;
    for (const auto& step : steps(script)) typed += step.second + "\r\n";
    return child.start({exe_, arguments, home.path(),
                        {{"HOME", home.path()}, {"XDG_DESKTOP_DIR", desktop.path()},
                         {"LORVANE_REGISTRY_DIR", registry.path()}},
                        io.write("in", typed), out_});
  }
  // Runs the program to its end: its output without the progress lines.
  std::string run(const std::string& script, int exit_code = 0, const Strings& arguments = {"-cmd"}) {
    ChildProcess child;
    EXPECT_TRUE(start(child, script, arguments));
    EXPECT_EQ(child.wait(30000), exit_code);
    const std::regex progress("[0-9]+/[0-9]+ favorites scanned \\([0-9]+%\\)\\.\\.\\.\r\n");
    return std::regex_replace(TempDir::read(out_), progress, "");
  }
  void talk(const std::string& script, const Strings& arguments = {"-cmd"}) {
    EXPECT_EQ(run(script, 0, arguments), std::regex_replace(script, kAnswers, ""));
  }

  void check(const Dialogue& d) {
    SCOPED_TRACE(d.what);
    talk(d.script, d.arguments);
    EXPECT_EQ(written(d.target.empty() ? output.path() : d.target), d.contents);
    std::set<std::string> beside = {"lvn", "up.ini", d.project};
    // Start-up writes the wizard's pages; the console road leaves them.
    for (size_t i = 0; i < kPageCount; ++i) beside.insert(kPageSet[i].file);
    if (beside.erase(""); !d.project.empty()) expect_project(project(d.project), d.records, d.threads);
    const Strings listing = tree_listing(program_dir.path());
    EXPECT_EQ(std::set<std::string>(listing.begin(), listing.end()), beside);
    if (!d.project.empty()) fs::remove(project(d.project));
  }

  std::string project(const std::string& name) const { return program_dir.file(name); }

  HttpFixture server;
  TempDir program_dir, home, desktop, registry, sources, output, io;
  const std::string exe_ = program_dir.file("lvn"), favorites_ = home.file("Favorites");
  const std::string out_ = io.file("out"), nowhere_ = unreachable_url();
  const std::string good_ = server.url("/status/200?e=good"), gone_ = server.url("/status/404?e=gone");
  const std::string broken_ = server.url("/status/500?e=broken");
  const std::string mixed_text_ = bookmarks(link("Good", good_) + link("Gone", gone_) +
                                            link("Broken", broken_) + link("Nowhere", nowhere_));
  const std::string favorites_listing_ =
      "Dead Links/\nDead Links/Broken.URL " + broken_ + "\nDead Links/Gone.URL " + gone_ +
      "\nDead Links/Nowhere.URL " + nowhere_ + "\nGood.URL " + good_ + "\n";
};

// The Windows build (build/win64 of this tree; skipped without it) on a
// terminal made by script(1), raw from the start so that Enter arrives as a
// CR; the prefix is made first when missing. Each line drawn is waited for
// in order, and an answer is typed once its question shows.
TEST_F(ConsoleE2E, TheSameDialogueUnderWine) {
  const std::string build = LVN_SOURCE_DIR "/build/win64/", prefix = build + "wineprefix";
  if (!fs::exists(build + "LVN.EXE")) GTEST_SKIP() << "no win64 build in " << build;
  fs::copy_file(build + "LVN.EXE", project("LVN.EXE"));
  ASSERT_EQ(::mkfifo(io.file("keys").c_str(), 0600), 0);
  const int keys = ::open(io.file("keys").c_str(), O_RDWR);  // does not wait for a reader
  ChildProcess console;
  ASSERT_TRUE(console.start(
      {"/usr/bin/script",
       {"-qfec", "stty raw -echo rows 25 cols 200 && (test -d " + prefix + "/drive_c || " +
                     LVN_SOURCE_DIR "/cmake/wine-prefix.sh) && exec " LVN_SOURCE_DIR
                     "/cmake/wine-run.sh " + project("LVN.EXE") + " -cmd", "/dev/null"},
       "", {{"WINEPREFIX", prefix}}, io.file("keys"), out_}));
  const std::string source = TempDir::backslashed("Z:" + sources.write("mixed.html", mixed_text_));
  size_t seen = 0;
  for (const auto& [text, answer] : steps(saved_over_favorites(source, ""))) {
    std::istringstream lines(drawn(text));
    for (std::string line; std::getline(lines, line) && seen != npos;)
      if (line.erase(line.find_last_not_of('.') + 1); !line.empty())
        seen = wait_for(out_, line, seen, drawn, 120000);
    ASSERT_NE(seen, npos) << "not shown in time:\n" << drawn(TempDir::read(out_));
    ASSERT_GT(::write(keys, (answer + "\r").data(), answer.size() + 1), 0);
  }
  EXPECT_EQ(console.wait(30000), 0) << TempDir::read(out_);
  ::close(keys);
  std::smatch favorites;  // the prefix's own, as the program showed it
  const std::string shown = drawn(TempDir::read(out_));
  ASSERT_TRUE(std::regex_search(shown, favorites, std::regex("Savingto:C:(.*)\\.\n")));
  const std::string folder =
      prefix + "/drive_c" + std::regex_replace(favorites[1].str(), std::regex("\\\\"), "/");
  EXPECT_EQ(written(folder), favorites_listing_);
  fs::remove_all(folder + "/Dead Links");
  fs::remove(folder + "/Good.URL");
  EXPECT_EQ(std::string(expect_project(project("mixed.lvn"), 4, 2).source), source);
  EXPECT_EQ(server.total(), 3);  // each link asked for once
}

// Dialogues that end without a save: only the project named (if any) is
// left beside the program, and the source stays as it was.
TEST_F(ConsoleE2E, DialoguesThatSaveNothing) {
  const std::string source = sources.write("b.html", mixed_text_);
  const Dialogue cases[] = {
      {"no Firefox profile to read",
       kNew + "{4}Firefox bookmarks cannot be located automatically!\r\n" + kPause, ""},
      {"no Firefox profile to write; a name typed with its extension",
       new_project("3", from_file(source), "unsaved.lvn", "1") +
           "{3}Firefox bookmarks cannot be located automatically in your system!\r\n" + kPause,
       "unsaved.lvn.lvn", 4},
      // Not installed, "-u" is ignored and the program takes its normal road:
      // without a display, one line and the console.
      {"unknown source choice, no name",
       "No display to show the wizard on: Lorvane runs in the console.\r\n" +
           new_project("7", "", "", "1") + "{9}" + kEnd, "prj.lvn",
       0, 1, "", "", {"-u", home.path()}},
      {"a project that cannot be made", kNew + "{7}" + kName + "{no-such-folder/x}" + kThreads +
           "{1}ERROR: Cannot create specified project !\r\nThe run could not start.\r\n" + kPause,
       ""},
  };
  for (const Dialogue& d : cases) check(d);
  EXPECT_EQ(TempDir::read(source), mixed_text_);
  EXPECT_EQ(TempDir::read(desktop.file("Dead Links.TXT")),
            gone_ + "\r\n" + broken_ + "\r\n" + nowhere_ + "\r\n");
}

// Each source with a target of its kind; thread answers out of range. How
// each kind of file is written its own tests check; here, that the console
// gets there, with the dead ones moved.
TEST_F(ConsoleE2E, EachSourceSavedToATargetOfItsKind) {
  sources.write("Favs/Good.url", shortcut_text(good_));
  sources.write("Favs/News/Gone.url", shortcut_text(gone_));
  sources.write("Favs/News/Broken.url", shortcut_text(broken_));
  const std::string mixed = sources.write("mixed.html", mixed_text_);
  const std::string fox = home.write(".mozilla/firefox/x.default/bookmarks.html", mixed_text_);
  const std::string one = sources.write("one.html", bookmarks(link("Good", good_)));
  const std::string tree = sources.file("Favs"), to = output.file("cleaned");
  // A Chromium browser's profile, its file kept beside it when saved back over.
  const std::string chromium = R"({"checksum":"x","roots":{"bookmark_bar":{"children":[)"
      R"({"id":"3","name":"N","type":"url","url":")" + gone_ + R"("}],"id":"1","name":"Bar",)"
      R"("type":"folder"},"other":{"children":[],"id":"2","name":"Other","type":"folder"}},)"
      R"("version":1})";
  const std::string chrome = home.write(".config/google-chrome/Default/Bookmarks", chromium);
  const std::string chrome_shown = home.path() + "/.config\\google-chrome\\Default\\Bookmarks";
  std::string saved_back = new_project("5", "Using file: " + chrome_shown + "\r\n", "chrome", "2") +
                           "{5}Saving to: " + chrome_shown + "\r\n" + kEnd;
  saved_back.insert(saved_back.find("6 - Write"),
                    "5 - Save back over the Chromium browser's bookmarks\r\n");
  // A Firefox profile's database, found through profiles.ini while the
  // browser holds it open.
  home.write(".mozilla/firefox/profiles.ini", "[Install9]\nDefault=p.release\n");
  fs::create_directory(home.file(".mozilla/firefox/p.release"));
  PlacesBuilder places(home.file(".mozilla/firefox/p.release/places.sqlite"));
  for (const std::string& url : {good_, gone_}) places.bookmark(PlacesBuilder::kMenu, "B", url);
  const std::string json = output.file("b.json");
  const Dialogue cases[] = {
      {"the dialogue both builds go through", saved_over_favorites(mixed, favorites_),
       "mixed.lvn", 4, 2, favorites_, favorites_listing_},
      {"the registry's Favorites, as saved just now, both ways; 0 threads",
       new_project("1", "Using directory: " + favorites_ + "\r\n", "ie", "0") + "{1}Saving to: " +
           favorites_ + ".\r\n" + kEnd, "ie.lvn", 4, 1, favorites_, favorites_listing_},
      {"a folder of shortcuts saved to another folder",
       new_project("2", asked("Please choose MS IE favorites directory: ", tree,
                              "Using directory: "), "tree", "10") +
           asked("{2}Please choose target directory: ", to, "Saving to: ") + kEnd,
       "tree.lvn", 3, 10, to, "Dead Links/\nDead Links/Broken.url " + broken_ +
           "\nDead Links/Gone.url " + gone_ + "\nGood.url " + good_ + "\nNews/\n"},
      // Program paths keep their backslashes.
      {"the Firefox profile's file, both ways; 11 threads",
       new_project("4", "Using file: " + home.path() +
                   "/.mozilla/firefox\\x.default\\bookmarks.html\r\n", "fox", "11") + "{3}" + kEnd,
       "fox.lvn", 4, 1, fox, bookmarks(link("Good", good_) + kDeadFolder + link("Gone", gone_) +
                                       link("Broken", broken_) + link("Nowhere", nowhere_))},
      // The choice keeps 24 characters; the rest answers the next question.
      // A count too large for 32 bits must not wrap into the range.
      {"an over-long answer",
       new_project("3" + std::string(23, ' ') + one, "Please choose Bookmark file: Using file: " +
                   one + "\r\n", "spill", "4294967298") +
           asked("{4}Please choose target file: ", output.file("o.htm"), "Saving to: ") + kEnd,
       "spill.lvn", 1, 1, output.file("o.htm"), bookmarks(link("Good", good_) + kDeadFolder)},
      {"a Chromium browser's bookmarks, both ways", saved_back, "chrome.lvn", 1, 2,
       chrome + ".lvn-backup", chromium},
      {"a Firefox profile's database, both ways",
       new_project("6", "Using file: " + home.path() +
                   "/.mozilla/firefox\\p.release\\places.sqlite\r\n", "db", "1") +
           asked("{6}Please choose target file: ", json, "Saving to: ") + kEnd,
       "db.lvn", 2, 1, output.file("none")},  // the backup is checked below
  };
  for (const Dialogue& d : cases) check(d);
  const std::vector<std::string> items = backup_items(TempDir::read(json));
  EXPECT_EQ(backup_item(items, PlacesBuilder::guid(8), 2), dead_links_guid(items) + "|0");
}

TEST_F(ConsoleE2E, ResumesByNameWithOrWithoutTheExtensionAndNeverOverwrites) {
  write_project_file(project("again.lvn"), {make_record(good_, "Good.URL", 1, 0, 0),
                                            make_record(gone_, "Gone.URL"),
                                            make_record(broken_, "Broken.URL")});
  const auto resumed = [](int checked) {
    return "Total Favs:\t3.\r\nFavs Checked: \t" + std::to_string(checked) +
           ".\r\nQuarantined: \t0.\r\nFavs Fixed: \t0.\r\nThreads: \t1.\r\n" + kSaveMenu + "{9}" +
           kEnd;
  };
  // After the first, all are checked: the name with its extension, or given
  // to a new project, resumes the project and asks for nothing.
  talk(kStart + "{again}" + resumed(1));
  talk(kStart + "{again.lvn}" + resumed(3));
  talk(kNew + "{7}" + kName + "{again}" + kThreads + "{5}" + resumed(3));
  EXPECT_EQ(server.total(), 2);  // the two unchecked ones
  EXPECT_EQ(server.count("/status/404?e=gone"), 1);
  const std::vector<LVK_URL> records = read_project_file(project("again.lvn"));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[2].result, 1u);  // a 500 is dead here too
}

// One worker: two slow links end at one and three seconds, then one is held
// until the test lets it go.
TEST_F(ConsoleE2E, ProgressIsPolledWhileTheRunGoesOn) {
  const std::string source = sources.write(
      "paced.html", bookmarks(link("A", server.url("/slow/1000?e=a")) +
                              link("B", server.url("/slow/2000?e=b")) +
                              link("Held", server.url("/hang?e=held")) + link("Gone", gone_)));
  const std::string script = new_project("3", from_file(source), "paced", "1") + "{9}" + kEnd;
  std::string shown = std::regex_replace(script, kAnswers, "");
  const size_t passes = shown.find("Running...\r\n") + 12;
  ChildProcess child;
  ASSERT_TRUE(start(child, script));
  // No pass fell between the two slow answers: the first line counts both.
  ASSERT_NE(wait_for(out_, "(50%)...\r\n"), npos) << TempDir::read(out_);
  EXPECT_EQ(server.count("/hang?e=held"), 1);
  // Once the last worker ends, the watch does not wait out its period.
  const auto released = std::chrono::steady_clock::now();
  server.release_hangs();
  ASSERT_NE(wait_for(out_, "Lorvane done!"), npos);
  EXPECT_LT(std::chrono::steady_clock::now() - released, std::chrono::milliseconds(2500));
  EXPECT_EQ(child.wait(30000), 0);
  EXPECT_EQ(TempDir::read(out_), shown.insert(passes, "2/4 favorites scanned (50%)...\r\n"
                                                      "4/4 favorites scanned (100%)...\r\n"));
}

// Repair puts the program in its own folder as LVN.EXE and ends with 99.
// Self-replacement copies the running file over LVN.EXE and ends with 70;
// the copy it starts counts the starts down in up.ini, not itself.
TEST_F(ConsoleE2E, RepairAndSelfReplacement) {
  run("", 99, {"-rc"});
  EXPECT_EQ(TempDir::read(project("LVN.EXE")), TempDir::read(exe_));
  EXPECT_EQ(TempDir::read(project("up.ini")), "[General]\r\nUC=4\r\n");
  fs::remove(project("LVN.EXE"));
  run("", 70, {"-RR"});
  EXPECT_EQ(TempDir::read(project("LVN.EXE")), TempDir::read(exe_));
  EXPECT_EQ(TempDir::read(project("up.ini")), "[General]\r\nUC=3\r\n");
}

}  // namespace

#endif  // _WIN32
