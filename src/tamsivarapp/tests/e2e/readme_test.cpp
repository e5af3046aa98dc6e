// The README's guide for package writers, held to the program: the sample
// it shows is the one in docs/sample, byte for byte, and make compiles it
// when called as the README writes; its table of refusals is the one make
// prints; its update reply parses.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/tests/scratch_dir.h"
#include "support/runprog.h"
#include "tamsivar/scenario.h"
#include "tamsivarapp/checkupdates.h"

namespace fs = std::filesystem;

namespace {

const std::string kSource = ZVK_SOURCE_DIR;

std::vector<std::string> readmeLines() {
  const std::string text = readFileBytes(kSource + "/README.md");
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

// The fenced block that opens on the line after `at`, each line ended by
// "\n"; empty when none opens there.
std::string blockAfter(const std::vector<std::string>& lines, size_t at) {
  if (at + 1 >= lines.size() || lines[at + 1].rfind("```", 0) != 0) return {};
  std::string block;
  for (size_t i = at + 2; i < lines.size() && lines[i] != "```"; ++i) block += lines[i] + "\n";
  return block;
}

// The lines between "<!-- name -->" and "<!-- /name -->".
std::vector<std::string> between(const std::vector<std::string>& lines, const std::string& name) {
  std::vector<std::string> out;
  bool inside = false;
  for (const std::string& line : lines) {
    if (line == "<!-- /" + name + " -->") break;
    if (inside) out.push_back(line);
    if (line == "<!-- " + name + " -->") inside = true;
  }
  return out;
}

TEST(Readme, TheSamplePackageIsTheRepositorysAndCompiles) {
  const std::vector<std::string> lines = readmeLines();
  const std::string prefix = "`docs/sample/";
  std::map<std::string, std::string> shown;
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].rfind(prefix, 0) == 0 && lines[i].size() > prefix.size() + 2 &&
        lines[i].compare(lines[i].size() - 2, 2, "`:") == 0)
      shown[lines[i].substr(prefix.size(), lines[i].size() - prefix.size() - 2)] = blockAfter(lines, i);
  const std::string sample = kSource + "/docs/sample";
  std::set<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(sample))
    if (e.is_regular_file()) files.insert(fs::relative(e.path(), sample).string());
  for (const std::string& f : files) EXPECT_EQ(shown[f], readFileBytes(sample + "/" + f)) << f;
  EXPECT_EQ(shown.size(), files.size());

  // Compiled as the README says: make runs in the scenario's folder.
  ScratchDir dir;
  fs::copy(sample, dir.file("hello"), fs::copy_options::recursive);
  const std::string bundle = dir.file("Hello.app");
  sRunResult r = runWithEnv({std::string(ZVK_BUNDLE) + "/Contents/MacOS/zvk", "make", "scenario.txt", bundle},
                            {"PATH=/usr/bin:/bin", "HOME=" + dir.root,
                             // The font libraries' caches stay to the end, as in every test.
                             "LSAN_OPTIONS=suppressions=" + kSource + "/tools/lsan.supp"},
                            dir.file("hello"));
  EXPECT_EQ(r.out, "(i) Loading scenario... OK!\n") << r.err;
  ASSERT_EQ(r.status, 0);

  // What the README says the sample installs, in each of its languages
  // (888: no mode given, the installer's default).
  cSoftPkgScenario s;
  cFileIO in;
  ASSERT_TRUE(in.open((bundle + "/Contents/Resources/scenario.data").c_str(), fmRead));
  ASSERT_TRUE(s.loadBinConfig(&in));
  EXPECT_STREQ(s.getStr("codename"), "hello");
  EXPECT_TRUE(s.readme_needs_accept());
  s.setStr(-1, "pgm", "/home/u/Applications/Hello");
  const std::map<std::string, std::string> everywhere = {{"/home/u/Applications/Hello/bin/hello", "755"},
                                                         {"/home/u/Applications/Hello/docs/about.txt", "888"}};
  std::map<std::string, std::string> german = everywhere;
  german["/home/u/Applications/Hello/docs/hinweise.txt"] = "888";
  const struct {
    int lang;
    std::map<std::string, std::string> modes;
  } languages[] = {{0, everywhere}, {2, german}};
  for (const auto& l : languages) {
    ASSERT_TRUE(s.setCurrLangID(l.lang));
    _List<cSoftPkgScenario::sCopiedFile> copied;
    ASSERT_TRUE(s.getCopiedFiles(copied));
    std::map<std::string, std::string> modes;
    for (auto* c = copied.head; c; c = c->next)
      modes[c->value.path.ptr] = std::string(1, static_cast<char>('0' + c->value.perms[0])) +
                                 static_cast<char>('0' + c->value.perms[1]) +
                                 static_cast<char>('0' + c->value.perms[2]);
    copied.destroy();
    EXPECT_EQ(modes, l.modes) << l.lang;
  }
}

// The make example is a folder to change to and a command, both as a
// newcomer pastes them in the repository's top folder. The command is run
// word for word in a copy of the repository's layout, where the program it
// names stands in for the repository's own, which builds before it runs.
TEST(Readme, TheMakeExampleRunsAsWrittenFromTheFolderItNames) {
  std::vector<std::string> block;
  for (const std::string& line : between(readmeLines(), "make example"))
    if (line.rfind("```", 0) != 0) block.push_back(line);
  ASSERT_EQ(block.size(), 2u);
  ASSERT_EQ(block[0].rfind("cd ", 0), 0u) << block[0];
  const std::string folder = block[0].substr(3);
  std::vector<std::string> argv;
  std::istringstream words(block[1]);
  for (std::string word; words >> word;) argv.push_back(word);
  ASSERT_EQ(argv.size(), 4u) << block[1];
  const fs::path top(kSource);
  ASSERT_TRUE(fs::exists(top / folder / argv[0])) << argv[0] << " from " << folder;
  ASSERT_TRUE(fs::equivalent(top / folder / argv[0], top / "run")) << argv[0];

  ScratchDir dir;
  const fs::path copy = fs::path(dir.file("zvk")) / folder;
  fs::create_directories(copy.parent_path());
  fs::copy(top / folder, copy, fs::copy_options::recursive);
  const std::string standIn = dir.write("zvk/run", "#!/bin/sh\nexec \"$ZVK_PROGRAM\" \"$@\"\n");
  fs::permissions(standIn, fs::perms::owner_all);
  const std::string home = dir.file("home");
  fs::create_directory(home);
  for (std::string& word : argv)
    if (word.rfind("~/", 0) == 0) word = home + word.substr(1);
  sRunResult r = runWithEnv(argv,
                            {"PATH=/usr/bin:/bin", "HOME=" + home,
                             "ZVK_PROGRAM=" + std::string(ZVK_BUNDLE) + "/Contents/MacOS/zvk",
                             "LSAN_OPTIONS=suppressions=" + kSource + "/tools/lsan.supp"},
                            copy.string());
  EXPECT_EQ(r.out, "(i) Loading scenario... OK!\n") << r.err;
  EXPECT_EQ(r.status, 0);
  for (const char* part : {"Contents/Resources/scenario.data", "Contents/MacOS/Installer"})
    EXPECT_TRUE(fs::is_regular_file(fs::path(argv[3]) / part)) << argv[3] << "/" << part;
}

TEST(Readme, TheResultCodesAreMakesOwnWords) {
  std::map<int, std::string> rows;
  for (const std::string& row : between(readmeLines(), "codes")) {
    if (row.rfind("| ", 0) != 0 || row.size() < 4 || row[2] < '0' || row[2] > '9') continue;
    const size_t bar = row.find(" | ", 2);
    ASSERT_NE(bar, std::string::npos) << row;
    ASSERT_EQ(row.compare(row.size() - 2, 2, " |"), 0) << row;
    rows[std::stoi(row.substr(2, bar - 2))] = row.substr(bar + 3, row.size() - bar - 5);
  }
  int codes = 0;
  for (int code = 1; code < 64; ++code) {
    if (!textCodeMeaning(code)) continue;
    ++codes;
    EXPECT_EQ(rows[code], textCodeMeaning(code)) << code;
  }
  EXPECT_EQ(rows.size(), static_cast<size_t>(codes));
}

// The rows of a table between "<!-- name -->" and "<!-- /name -->", each
// cell without its blanks and one pair of backquotes; the header and its
// rule are left out.
std::vector<std::vector<std::string>> tableRows(const std::string& name) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : between(readmeLines(), name)) {
    if (line.rfind("| ", 0) != 0 || line.rfind("|---", 0) == 0) continue;
    std::vector<std::string> cells;
    for (size_t at = 1; at < line.size();) {
      const size_t bar = line.find(" | ", at);
      std::string cell = line.substr(at + 1, (bar == std::string::npos ? line.size() - 2 : bar) - at - 1);
      if (cell.size() >= 2 && cell.front() == '`' && cell.back() == '`') cell = cell.substr(1, cell.size() - 2);
      cells.push_back(cell);
      at = bar == std::string::npos ? line.size() : bar + 2;
    }
    rows.push_back(cells);
  }
  if (!rows.empty()) rows.erase(rows.begin());
  return rows;
}

std::vector<std::string> programEnv(const std::string& home) {
  return {"PATH=/usr/bin:/bin", "HOME=" + home, "LSAN_OPTIONS=suppressions=" + kSource + "/tools/lsan.supp"};
}

TEST(Readme, TheCommandLinesEndAsTheTableSays) {
  ScratchDir dir;
  const std::string zvk = std::string(ZVK_BUNDLE) + "/Contents/MacOS/zvk";
  const std::string version = runWithEnv({zvk, "version"}, programEnv(dir.root), dir.root).out;
  ASSERT_FALSE(version.empty());
  const auto rows = tableRows("command lines");
  ASSERT_FALSE(rows.empty());
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 3u);
    std::vector<std::string> argv;
    std::istringstream words(row[0]);
    for (std::string word; words >> word;) argv.push_back(argv.empty() && word == "zvk" ? zvk : word);
    const sRunResult r = runWithEnv(argv, programEnv(dir.root), dir.root);
    EXPECT_EQ(std::to_string(r.status), row[1]) << row[0];
    EXPECT_EQ(r.out, row[2] == "the version" ? version : "") << row[0];
    if (row[2] == "nothing") {
      EXPECT_EQ(r.err, "") << row[0];
    }
  }
}

TEST(Readme, TheInstallEntryExamplesGiveTheirCodes) {
  ScratchDir dir;
  dir.write("a.txt", "a");
  dir.write("licence.ENG.hdl", "<text>Terms</text>");
  dir.write("licence.DEU.hdl", "<text>Bedingungen</text>");
  dir.write("licence.idx", "ENG = \"./licence.ENG.hdl\"\nDEU = \"./licence.DEU.hdl\"\n");
  const auto rows = tableRows("install entries");
  ASSERT_FALSE(rows.empty());
  int n = 0;
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 2u);
    dir.write("s.txt", "[General]\nlangs = ENG DEU\n[Software]\ncodename = \"t\"\nname = \"T\"\n"
                       "version = \"1.0\"\neula = \"./licence.idx\"\n[Install]\n" + row[0] + "\n");
    const sRunResult r = runWithEnv({std::string(ZVK_BUNDLE) + "/Contents/MacOS/zvk", "make", "s.txt",
                                     dir.file("B" + std::to_string(n++) + ".app")},
                                    programEnv(dir.root), dir.root);
    // make prints the code of a refusal; 0 is its status when it wrote.
    const size_t at = r.out.find("error code ");
    const int code = at == std::string::npos ? r.status : std::atoi(r.out.c_str() + at + 11);
    EXPECT_EQ(std::to_string(code), row[1]) << row[0] << "\n" << r.out;
  }
}

TEST(Readme, TheUpdateReplySampleIsOneTheProgramReads) {
  std::string reply;
  for (const std::string& line : between(readmeLines(), "update reply"))
    if (line.rfind("```", 0) != 0) reply += line + "\r\n";
  ASSERT_FALSE(reply.empty());
  unsigned long long newest = 0;
  _guardchar<char> download, site, notes;
  ASSERT_TRUE(parseUpdateReply(reinterpret_cast<const unsigned char*>(reply.data()), reply.size(), newest, download,
                               site, notes));
  EXPECT_EQ(newest, 0x0002000000010000ull);
  EXPECT_STREQ(download.ptr, "http://example.org/hello/Hello-2.0.1.zip");
  EXPECT_STREQ(site.ptr, "https://example.org/hello/");
  EXPECT_STREQ(notes.ptr, "Starts faster.\r\nSays hello in German too.\r\n");
}

}  // namespace
