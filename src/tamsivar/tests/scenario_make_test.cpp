#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>

#include "base/memio.h"
#include "base/tests/run_program.h"
#include "text_support.h"

namespace {

namespace fs = std::filesystem;

// Two languages, every section, the three path forms, three documents with
// a picture, and a folder of nested folders with an empty one.
const char* const kSample[] = {
    "# The sample package",
    "[General]",
    "langs = ENG RUS",
    "[Strings]",
    "ENG.appname = \"Demo\"",
    "RUS.appname = \"\xD0\x94\xD0\xB5\xD0\xBC\xD0\xBE\"",
    "docs = \"/usr/share/doc\"",
    "[Software]",
    "codename = \"demo\"",
    "name = \"Demo\"",
    "publisher = \"Zvk\"",
    "copyright = \"(c) Zvk\"",
    "group = \"Tools\"",
    "folder = \"demo\"",
    "version = \"1.2.3.4\"",
    "publish_URL = \"https://publisher.test/\"",
    "support_URL = \"https://publisher.test/help\"",
    "updates_URL = \"https://publisher.test/updates\"",
    "welcome = \"@/welcome.idx\"",
    "readme = \"@/readme.idx\", yes",
    "eula = \"@/eula.idx\"",
    "icon = $pgm \"share/demo.png\"",
    "[Install]",
    "\"@/tree\" = $pgm \"lib\"",
    "\"@/one.txt\" = \"/usr/share/doc\" \"demo/one.txt\", 644, ENG",
    "x64.\"@/one.txt\" = \"\" \"/etc/demo.conf\", , *",
    "[Menu]",
    "$appname = $pgm \"bin/demo\", $docs \"demo/demo.png\", 1, \"Runs the demo\", \"--start\"",
    "[Settings]",
    "\"size\" = d, \"4096\"",
    "[Run]",
    "\"Start\" = $pgm \"bin/demo\", yes",
    "[Deprecates]",
    "\"demo-old\" = \"3\"",
};
constexpr int kInstallLine = 23;

std::string sample(int replaced = -1, const std::string& with = "") {
  std::string text;
  for (int i = 0; i < static_cast<int>(std::size(kSample)); ++i)
    text += (i == replaced ? with : kSample[i]) + std::string("\n");
  return text;
}

// Every path below `root` with its size and modification time.
std::string listing(const std::string& root) {
  std::ostringstream out;
  std::vector<std::string> lines;
  for (auto& e : fs::recursive_directory_iterator(root)) {
    struct stat st;
    if (lstat(e.path().c_str(), &st) != 0) continue;
    std::ostringstream line;
    line << e.path().string() << ' ' << st.st_size << ' ' << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec;
    lines.push_back(line.str());
  }
  std::sort(lines.begin(), lines.end());
  for (auto& l : lines) out << l << '\n';
  return out.str();
}

std::string sha256sum(const std::string& path) {
  std::string out;
  EXPECT_EQ(runProgram({"sha256sum", path}, &out), 0);
  return out.substr(0, 64);
}

class MakeScenario : public ::testing::Test {
 protected:
  ScratchDir dir;
  void SetUp() override {
    for (const char* doc : {"welcome", "readme", "eula"}) writeDoc(dir, doc, {"ENG", "RUS"}, true);
    fs::create_directories(dir.file("tree/sub/deeper"));
    fs::create_directories(dir.file("tree/empty"));
    dir.write("tree/a.txt", "alpha\n");
    const tBytes random = sampleBytes(70000, 5);
    dir.write("tree/sub/b.bin", std::string(random.begin(), random.end()));
    dir.write("tree/sub/deeper/c.txt", "gamma\n");
    dir.write("one.txt", "one\n");
  }
};

TEST_F(MakeScenario, SampleRoundTripsThroughTheBinaryForm) {
  cSoftPkgScenario made;
  int line;
  ASSERT_EQ(compileText(dir, sample(), made, line), 0);
  EXPECT_EQ(line, -1);
  {
    cFileIO out;
    ASSERT_TRUE(out.create(dir.file("scenario.data").c_str(), fmWrite));
    ASSERT_TRUE(made.saveBinConfig(&out));
  }
  cSoftPkgScenario back;
  cFileIO in;
  ASSERT_TRUE(in.open(dir.file("scenario.data").c_str(), fmRead));
  ASSERT_TRUE(back.loadBinConfig(&in));
  back.setStr(-1, "pgm", "/opt/demo");

  _guardchar<char> ver;
  back.getStrVer(ver, true);
  EXPECT_STREQ(ver.ptr, "1.2.3.4");
  EXPECT_STREQ(back.getStr("codename"), "demo");
  EXPECT_TRUE(back.readme_needs_accept());
  for (int lang : {0, 1}) {
    ASSERT_TRUE(back.setCurrLangID(lang));
    EXPECT_TRUE(back.welcome() && back.readme() && back.eula()) << lang;
  }
  ASSERT_TRUE(back.setCurrLangID(0));
  _List<cSoftPkgScenario::sMenuItemDef> menu;
  ASSERT_TRUE(back.getMenuItems(menu));
  ASSERT_TRUE(menu.head);
  EXPECT_STREQ(menu.head->value.caption.ptr, "Demo");
  EXPECT_STREQ(menu.head->value.program.ptr, "/opt/demo/bin/demo");
  EXPECT_STREQ(menu.head->value.icon.ptr, "/usr/share/doc/demo/demo.png");
  EXPECT_STREQ(menu.head->value.arguments.ptr, "--start");
  EXPECT_TRUE(menu.head->value.elevated);
  menu.destroy();

  const std::map<std::string, std::string> expected = {
      {"/opt/demo/lib/a.txt", "tree/a.txt"},
      {"/opt/demo/lib/sub/b.bin", "tree/sub/b.bin"},
      {"/opt/demo/lib/sub/deeper/c.txt", "tree/sub/deeper/c.txt"},
      {"/usr/share/doc/demo/one.txt", "one.txt"},
      {"/etc/demo.conf", "one.txt"},
  };
  _List<cSoftPkgScenario::sCopiedFile> copied;
  ASSERT_TRUE(back.getCopiedFiles(copied));
  std::map<std::string, std::string> got;
  int n = 0;
  for (auto* c = copied.head; c; c = c->next, ++n) {
    const std::string extracted = dir.file("extracted" + std::to_string(n));
    cFileIOTarget* item = back.file(static_cast<int>(c->value.index));
    ASSERT_TRUE(item);
    tBytes bytes = readAll(*item);
    delete item;
    dir.write("extracted" + std::to_string(n), std::string(bytes.begin(), bytes.end()));
    auto want = expected.find(c->value.path.ptr);
    ASSERT_NE(want, expected.end()) << c->value.path.ptr;
    EXPECT_EQ(sha256sum(extracted), sha256sum(dir.file(want->second))) << c->value.path.ptr;
    got[c->value.path.ptr] = want->second;
  }
  copied.destroy();
  EXPECT_EQ(got, expected);
}

TEST_F(MakeScenario, OneBadLineRefusesAndTouchesNothing) {
  const struct {
    int line;
    const char* with;
    int code;
  } cases[] = {
      {kInstallLine + 1, "\"@/tree/missing\" = $pgm \"lib\"", 26},
      {kInstallLine + 2, "\"@/one.txt\" = \"/usr/share/doc\" \"demo/one.txt\", 644, ENG DEU", 16},
      {18, "welcome = \"@/one.txt\"", 19},
      {27, "$appname = $pgm \"bin/demo\", $pgm \"share/demo.png\", 9", 6},
      {29, "\"size\" = d, \"lots\"", 8},
      {33, "\"demo-old\" = \"65536\"", 8},
  };
  char cwd[4096];
  ASSERT_TRUE(getcwd(cwd, sizeof cwd));
  for (const auto& c : cases) {
    dir.write("scenario.txt", inFolder(dir, sample(c.line, c.with)));
    const std::string before = listing(dir.root) + listing(cwd);
    cSoftPkgScenario s;
    int line = 0;
    EXPECT_EQ(s.loadTextConfig(dir.file("scenario.txt").c_str(), line), c.code) << c.with;
    EXPECT_EQ(line, c.line) << c.with;
    EXPECT_EQ(listing(dir.root) + listing(cwd), before) << c.with;
  }
}

TEST_F(MakeScenario, HostileLinesAndTrees) {
  const std::string head = "[General]\nlangs = ENG\n[Software]\ncodename = \"d\"\neula = \"@/eula.idx\"\n";
  cSoftPkgScenario s;
  int line;
  // Keys and values up to what the binary form carries compile and round
  // trip; longer lines, keys and values are refused at their line, never
  // taken as the end of the file.
  const std::string longest =
      head + "[Strings]\n" + std::string(65532, 'k') + " = \"" + std::string(65535, 'v') + "\"\n";
  ASSERT_EQ(compileText(dir, longest, s, line), 0);
  cMemIOTarget saved;
  ASSERT_TRUE(s.saveBinConfig(&saved));
  saved.set_fp(0);
  cSoftPkgScenario back;
  ASSERT_TRUE(back.loadBinConfig(&saved));
  EXPECT_EQ(std::strlen(back.getStr(std::string(65532, 'k').c_str())), 65535u);
  EXPECT_EQ(compileText(dir, head + "[Strings]\n" + std::string(65533, 'k') + " = \"v\"\n", s, line), 7);
  EXPECT_EQ(line, 6);
  EXPECT_EQ(compileText(dir, head + "[Strings]\nk = \"" + std::string(65536, 'v') + "\"\n", s, line), 7);
  EXPECT_EQ(line, 6);
  EXPECT_EQ(
      compileText(dir, head + "[Strings]\nk = \"" + std::string(1 << 20, 'v') + "\"\n[Menu]\n", s, line), 7);
  EXPECT_EQ(line, 6);

  // Links that lead back into their own folder end the walk.
  fs::create_directories(dir.file("loop"));
  fs::create_directory_symlink(dir.file("loop"), dir.file("loop/a"));
  fs::create_directory_symlink("..", dir.file("loop/b"));
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(compileText(dir, head + "[Install]\n\"@/loop\" = $pgm \"x\"\n", s, line), 26);
  EXPECT_EQ(line, 6);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));

  // A link to a folder elsewhere is followed; a FIFO inside a folder is not
  // listed, so nothing waits on it.
  fs::create_directories(dir.file("linked"));
  fs::create_directory_symlink(dir.file("tree/sub"), dir.file("linked/sub"));
  ASSERT_EQ(mkfifo(dir.file("linked/pipe").c_str(), 0600), 0);
  ASSERT_EQ(compileText(dir, head + "[Install]\n\"@/linked\" = $pgm \"x\"\n", s, line), 0);
  std::vector<std::string> rests;
  for (auto* f = s.files.head; f; f = f->next) rests.push_back(f->value.target.rest.ptr);
  std::sort(rests.begin(), rests.end());
  EXPECT_EQ(rests, (std::vector<std::string>{"x/sub/b.bin", "x/sub/deeper/c.txt"}));

  std::string deep = "deep", rest = "d";
  for (int i = 0; i < 200; ++i) deep += "/d", rest += "/d";
  fs::create_directories(dir.file(deep));
  dir.write(deep + "/leaf", "leaf");
  ASSERT_EQ(compileText(dir, head + "[Install]\n\"@/deep\" = $pgm \"d\"\n", s, line), 0);
  ASSERT_TRUE(s.files.head);
  EXPECT_EQ(std::string(s.files.head->value.target.rest.ptr), rest + "/leaf");
}

}  // namespace
