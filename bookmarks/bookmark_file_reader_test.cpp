// The bookmark file reader over real files: the marker scan, names and
// folders, over-long values, broken input, and real browser exports.
#include "bookmarks/bookmark_file_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/globals.h"
#include "core/project.h"
#include "core/records.h"
#include "platform/platform.h"
#include "tests/support/temp_dir.h"

namespace {

struct Link {
  std::string url;
  std::string path;
  bool operator==(const Link& o) const { return url == o.url && path == o.path; }
};

std::ostream& operator<<(std::ostream& out, const Link& l) {
  return out << "{" << l.path << " -> " << l.url.substr(0, 80)
             << (l.url.size() > 80 ? "..." : "") << "}";
}

// Checks a project file that a reader has just filled and gives its records:
// the size must be whole records, record_total must match, and every byte
// the reader did not put there must be zero.
std::vector<Link> records_of(const std::string& project, std::string* bytes_out = nullptr) {
  const std::string bytes = TempDir::read(project);
  if (bytes_out) *bytes_out = bytes.size() > kHeaderSize ? bytes.substr(kHeaderSize) : "";
  EXPECT_GE(bytes.size(), kHeaderSize);
  if (bytes.size() < kHeaderSize) return {};
  EXPECT_EQ((bytes.size() - kHeaderSize) % kRecordSize, 0u);
  const size_t count = (bytes.size() - kHeaderSize) / kRecordSize;
  EXPECT_EQ(record_total, count);
  std::vector<Link> out;
  for (size_t i = 0; i < count; ++i) {
    const char* raw = bytes.data() + record_offset(static_cast<uint32_t>(i));
    const size_t url_length = field_length(raw, kUrlSize);
    const size_t path_length = field_length(raw + 1000, kPathSize);
    EXPECT_LT(url_length, kUrlSize);
    EXPECT_LT(path_length, kPathSize);
    for (size_t b = url_length; b < kUrlSize; ++b) EXPECT_EQ(raw[b], 0) << "record " << i;
    for (size_t b = 1000 + path_length; b < kRecordSize; ++b)
      EXPECT_EQ(raw[b], 0) << "record " << i;
    out.push_back({std::string(raw, url_length), std::string(raw + 1000, path_length)});
  }
  return out;
}

// Runs the reader on a file into a scratch project (a zero header first).
std::vector<Link> read_file(const std::string& file, const TempDir& work,
                            std::string* bytes = nullptr) {
  const std::string project = work.file("scan.lvn");
  project_stream = platform::open_file(project, platform::FileAccess::create_truncate);
  EXPECT_TRUE(project_stream.is_open());
  const std::vector<unsigned char> header(kHeaderSize, 0);
  project_stream.write(header.data(), header.size());
  record_total = 0;
  read_bookmark_file(file.c_str());
  project_stream.close();
  return records_of(project, bytes);
}

std::vector<Link> read_text(const std::string& content) {
  TempDir work;
  return read_file(work.write("bookmarks.htm", content), work);
}

// The real test data in the form the platform's file calls take.
std::string realworld(const std::string& relative) {
  std::string path = std::string(LVN_REALWORLD_DIR) + "/" + relative;
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
#endif
  return path;
}

// A plain rendering of the scan, searching afresh at every step, to hold the
// reader's answers against. Values are cut as the reader cuts them: URL and
// folder names to 999 characters, and a relative path longer than 999 to its
// first 995 characters and ".URL".
std::vector<Link> plain_scan(std::string text) {
  text = text.substr(0, text.find('\0'));
  const auto find = [&](const char* marker, size_t from) {
    return from > text.size() ? std::string::npos : text.find(marker, from);
  };
  const std::string no = "";
  std::vector<Link> out;
  std::string folder;
  size_t position = 0;
  for (;;) {
    const size_t dt = find("<DT>", position), dl = find("</DL>", position);
    if (dl != std::string::npos && dt != std::string::npos && dl < dt) {
      if (!folder.empty() && folder.back() == '\\') folder.pop_back();
      const size_t cut = folder.rfind('\\');
      folder = cut == std::string::npos ? no : folder.substr(0, cut);
      position = dl + 1;
      continue;
    }
    if (dt == std::string::npos) break;
    const size_t entry = dt + 4;
    if (entry + 1 < text.size() && text[entry] == '<' && (text[entry + 1] | 0x20) == 'a') {
      const size_t href = find("HREF=", entry);
      const size_t quote = href == std::string::npos ? href : find("\"", href + 6);
      const size_t gt = quote == std::string::npos ? quote : find(">", quote);
      const size_t lt = gt == std::string::npos ? gt : find("<", gt + 1);
      if (lt == std::string::npos) {
        position = dt + 1;
        continue;
      }
      std::string name = text.substr(gt + 1, lt - gt - 1);
      for (char& c : name)
        if (std::strchr("?*/:\"><|", c)) c = '_';
      std::string path = folder;
      if (!path.empty() && path.back() != '\\') path += '\\';
      path += name;
      path = path.size() + 4 > 999 ? path.substr(0, 995) : path;
      out.push_back({text.substr(href + 6, std::min<size_t>(quote - href - 6, 999)), path + ".URL"});
      position = lt;
    } else {
      const size_t gt = find(">", entry);
      const size_t lt = gt == std::string::npos ? gt : find("<", gt + 1);
      if (lt == std::string::npos) {
        position = dt + 1;
        continue;
      }
      if (!folder.empty() && folder.back() != '\\') folder += '\\';
      folder += text.substr(gt + 1, std::min<size_t>(lt - gt - 1, 999));
      position = lt;
    }
  }
  return out;
}

// 64-bit FNV-1a of a byte string.
uint64_t fnv1a(const std::string& bytes) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 0x100000001b3ull;
  }
  return hash;
}

const char kHead[] =
    "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
    "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
    "<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n<DL><p>\n";

struct Case {
  const char* what;
  std::string text;
  std::vector<Link> want;
};

// 5,000 nested folders: a link at level 10, one at the bottom whose path is
// cut, and links back at the first level and the top once all are closed.
Case deep_tree() {
  constexpr int kDepth = 5000;
  std::string text = kHead;
  for (int i = 0; i < kDepth; ++i) {
    text += "<DT><H3>f</H3>\n<DL><p>\n";
    if (i == 9) text += "<DT><A HREF=\"u10\">Ten</A>\n";
  }
  text += "<DT><A HREF=\"deep\">Deep</A>\n";
  for (int i = 0; i < kDepth - 1; ++i) text += "</DL><p>\n";
  text += "<DT><A HREF=\"first\">First level</A>\n</DL><p>\n<DT><A HREF=\"top\">Top</A>\n";
  std::string ten, deep;
  for (int i = 0; i < 10; ++i) ten += "f\\";
  for (int i = 0; i < 497; ++i) deep += "f\\";
  deep += "f";  // the first 995 characters of "f\f\..." end in an 'f'
  return {"5,000 nested folders", text,
          {{"u10", ten + "Ten.URL"}, {"deep", deep + ".URL"},
           {"first", "f\\First level.URL"}, {"top", "Top.URL"}}};
}

// The rules that the real exports below do not show, held against the reader
// and the plain scan alike.
TEST(BookmarkFileReader, MarkerScanCases) {
  using namespace std::string_literals;
  const std::string u999(999, 'u'), u1000(1000, 'u'), t995(995, 't'), t996(996, 't'),
      f500(500, 'f'), huge(10 * 1024 * 1024, 'x');
  const std::vector<Case> cases = {
      {"the <A test ignores case, the other markers do not",
       "<DT><a HREF=\"u1\">lower a</a><dt><A HREF=\"u2\">lower dt</A>",
       {{"u1", "lower a.URL"}}},
      {"lower-case href runs on to the next link's HREF=, over folders",
       "<DT><H3>F</H3><DL><DT><A href=\"skipped\">Skipped</A>\n"
       "<DT><H3>Passed over</H3><DL>\n<DT><A HREF=\"taken\">Taken</A></DL></DL>"
       "<DT><A HREF=\"after\">After</A>",
       {{"taken", "F\\Taken.URL"}, {"after", "After.URL"}}},
      {"lower-case </dl> does not close a folder",
       "<DT><H3>F</H3><DL><DT><A HREF=\"u1\">One</A></dl><DT><A HREF=\"u2\">Two</A>",
       {{"u1", "F\\One.URL"}, {"u2", "F\\Two.URL"}}},
      {"a space after <DT> makes a heading of the link's text",
       "<DL><DT> <A HREF=\"x\">X</A><DT><A HREF=\"y\">Y</A></DL><DT><A HREF=\"z\">Z</A>",
       {{"y", "X\\Y.URL"}, {"z", "Z.URL"}}},
      {"all eight reserved characters, backslash kept",
       "<DT><A HREF=\"u\">1?2*3/4:5\"6|7\\8</A>", {{"u", "1_2_3_4_5_6_7\\8.URL"}}},
      {"the opening quote is assumed, not checked",
       "<DT><A HREF=xhttp://u.example/\">T</A>", {{"http://u.example/", "T.URL"}}},
      {"the title ends at the first <", "<DT><A HREF=\"u\">a<b>c</A>", {{"u", "a.URL"}}},
      {"HREF= of the heading is not looked at",
       "<DT><H3 HREF=\"no\">F</H3><DL><DT><A HREF=\"u\">T</A>", {{"u", "F\\T.URL"}}},
      {"an empty folder name opens a level that a </DL> closes with its parent",
       "<DT><H3>P</H3><DL><DT><H3></H3><DL><DT><A HREF=\"u1\">In</A></DL>"
       "<DT><A HREF=\"u2\">Out</A></DL>",
       {{"u1", "P\\In.URL"}, {"u2", "Out.URL"}}},
      {"a heading without its own '>' takes the next <DT>'s, and an empty name",
       "<DT><H3 no end<DT><H3>G</H3><DL><DT><A HREF=\"u\">T</A>", {{"u", "T.URL"}}},
      {"a NUL byte ends the text",
       "<DT><H3>F</H3><DL><DT><A HREF=\"u1\">One</A></DL>\0<DT><A HREF=\"u2\">Two</A>"s,
       {{"u1", "F\\One.URL"}}},
      {"an entry that a NUL cuts is not taken", "<DT><A HREF=\"u\">T\0</A>"s, {}},
      // Every value is held in 1000 bytes; the ".URL" always ends a path.
      {"URL of 999", "<DT><A HREF=\"" + u999 + "\">T</A>", {{u999, "T.URL"}}},
      {"URL of 1000", "<DT><A HREF=\"" + u1000 + "\">T</A>", {{u999, "T.URL"}}},
      {"title filling the path", "<DT><A HREF=\"u\">" + t995 + "</A>", {{"u", t995 + ".URL"}}},
      {"title one longer", "<DT><A HREF=\"u\">" + t996 + "</A>", {{"u", t995 + ".URL"}}},
      {"folder and title share the path",
       "<DT><H3>" + f500 + "</H3><DL><DT><A HREF=\"u\">" + t995 + "</A></DL>",
       {{"u", f500 + "\\" + std::string(494, 't') + ".URL"}}},
      {"10 MB title", "<DT><A HREF=\"u\">" + huge + "</A><DT><A HREF=\"v\">V</A>",
       {{"u", std::string(995, 'x') + ".URL"}, {"v", "V.URL"}}},
      {"10 MB URL", "<DT><A HREF=\"" + huge + "\">T</A>", {{std::string(999, 'x'), "T.URL"}}},
      {"10 MB folder name, closed back to the top",
       "<DT><H3>" + huge + "</H3><DL><DT><A HREF=\"u\">T</A></DL><DT><A HREF=\"v\">V</A>",
       {{"u", std::string(995, 'x') + ".URL"}, {"v", "V.URL"}}},
      {"10 MB title running to the end of the file", "<DT><A HREF=\"u\">" + huge, {}},
      deep_tree(),
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(read_text(c.text), c.want);
    EXPECT_EQ(plain_scan(c.text), c.want);
  }
}

TEST(BookmarkFileReader, UnreadableOrEmptyFilesGiveNoRecords) {
  TempDir work;
  EXPECT_TRUE(read_file(work.file("missing.htm"), work).empty());
  EXPECT_TRUE(read_file(work.write("empty.htm", ""), work).empty());
  EXPECT_TRUE(read_file(work.path(), work).empty());  // a folder is no file
}

// Files made to make a careless scan search to the end of the text at every
// step. Each must be read in about the time of one pass over it.
TEST(BookmarkFileReader, PathologicalFilesAreReadInLinearTime) {
  const size_t n = 4 * 1024 * 1024;
  auto repeat = [&](const std::string& unit) {
    std::string out;
    out.reserve(n + unit.size());
    while (out.size() < n) out += unit;
    return out;
  };
  const std::vector<std::pair<std::string, size_t>> inputs = {
      {repeat("<DT><A "), 0},                         // links without HREF=
      {repeat("<DT><A HREF="), 0},                    // without a closing quote
      {repeat("<DT><H3 "), 0},                        // headings swallowing the next <DT>
      {repeat("<DT>"), 0},                            // headings with no '>'
      {repeat("<DT><H3>F</H3>") + "<DT><A HREF=\"u\">T</A>", 1},  // no </DL> anywhere
      {repeat("</DL>") + "<DT><A HREF=\"u\">T</A>", 1},           // no <DT> until the end
      {repeat("<DT><A>x</A>") + "<DT><A HREF=\"u\">T</A>", 1},    // HREF= only at the end
  };
  for (const auto& [text, count] : inputs) {
    const auto start = std::chrono::steady_clock::now();
    const std::vector<Link> got = read_text(text);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(got.size(), count) << text.substr(0, 20);
    EXPECT_LT(seconds, 20.0) << text.substr(0, 20);
  }
}

// The reader against the plain scan on many small files made of the markers
// and the characters that matter to it.
TEST(BookmarkFileReader, MatchesAPlainScanOnGeneratedFiles) {
  const std::vector<std::string> pieces = {
      "<DT>", "</DL>", "<DL><p>", "<A ", "<a ", "HREF=\"", "href=\"", "\"", ">", "<",
      "<H3>", "</H3>", "</A>", "x", "Name", "\\", "/", ":", "?", " ", "\n", "<DT><A HREF=\"",
      "<DT><H3>", "</DL", "<D", std::string(1, '\0')};
  std::mt19937 random(20240613);
  TempDir work;
  const std::string file = work.file("generated.htm");
  for (int round = 0; round < 600; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 60);
    for (int i = 0; i < length; ++i) text += pieces[random() % pieces.size()];
    work.write("generated.htm", text);
    const std::vector<Link> got = read_file(file, work);
    ASSERT_EQ(got, plain_scan(text)) << "round " << round;
  }
}

struct RealFile {
  const char* name;
  size_t count;
  uint64_t digest;  // FNV-1a of all record bytes, the same on every platform
};

TEST(BookmarkFileReader, RealBrowserExports) {
  // Counts and digests were worked out apart from this program, by a plain
  // scan of each file in another language; the digest pins every record
  // byte, so the same file gives the same project bytes everywhere.
  const std::vector<RealFile> files = {
      {"graystuido__chrome_bookmarklets.html", 49, 0x3af7059e4503947eull},
      {"gtkbookmark__netscape4_bookmark.htm", 1231, 0x33c0e77bc3bff179ull},
      {"kafene__chromium_nested.htm", 18, 0x9e750c406c6d488dull},
      {"kafene__delicious.htm", 5, 0xd8f3d242bff055caull},
      {"kafene__firefox_flat.htm", 24, 0x16e717529216bb09ull},
      {"kafene__internet_explorer_11_nested.htm", 27, 0x6787262acd291695ull},
      {"kafene__shaarli.htm", 6, 0x37eca75ff0d9086bull},
      {"virtualtam__safari_folded.htm", 3, 0xdaf7aebcbdd85d10ull},
      {"xia1990__ie_family_bookmark.htm", 13, 0xac995fb801f77b3eull},
  };
  TempDir work;
  for (const RealFile& f : files) {
    SCOPED_TRACE(f.name);
    const std::string path = realworld(std::string("html/") + f.name);
    std::string bytes;
    const std::vector<Link> got = read_file(path, work, &bytes);
    EXPECT_EQ(got.size(), f.count);
    EXPECT_EQ(fnv1a(bytes), f.digest);
    EXPECT_EQ(got, plain_scan(TempDir::read(path)));
  }
}

}  // namespace
