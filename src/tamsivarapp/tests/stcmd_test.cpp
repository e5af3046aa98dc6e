#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/targets.h"
#include "base/tests/scratch_dir.h"
#include "support/runprog.h"
#include "tamsivarapp/stcmd.h"

namespace {

const std::string kPristine = std::string("<ICMDBLOCK>") + std::string(kCmdBlockSize - 11, '\0');

struct sRecord {
  unsigned offset;
  std::string data;
};

void put32(unsigned char* p, unsigned v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Patches the program's own block for one test and puts the pristine one
// back whatever happens.
class PatchedBlock {
 public:
  PatchedBlock(unsigned blockAt, unsigned size, const std::vector<sRecord>& records, bool endMarker) {
    std::memcpy(saved_, _cmdBlock, kCmdBlockSize);
    std::memset(_cmdBlock, 0, kCmdBlockSize);
    _cmdBlock[0] = 1;
    put32(_cmdBlock + 260, blockAt);
    put32(_cmdBlock + 264, size);
    unsigned at = 268;
    for (const sRecord& r : records) {
      if (at + 6 + r.data.size() > kCmdBlockSize) break;
      put32(_cmdBlock + at, r.offset);
      _cmdBlock[at + 4] = static_cast<unsigned char>(r.data.size());
      _cmdBlock[at + 5] = static_cast<unsigned char>(r.data.size() >> 8);
      std::memcpy(_cmdBlock + at + 6, r.data.data(), r.data.size());
      at += 6 + static_cast<unsigned>(r.data.size());
    }
    if (endMarker) put32(_cmdBlock + at, 0xFFFFFFFFu);
  }
  ~PatchedBlock() { std::memcpy(_cmdBlock, saved_, kCmdBlockSize); }

 private:
  unsigned char saved_[kCmdBlockSize];
};

// The copy a patched block describes, built the plain way: cut, lay each
// record over it, reset the block.
std::string expectedCopy(std::string src, unsigned blockAt, unsigned size,
                         const std::vector<sRecord>& records) {
  src.resize(size);
  for (const sRecord& r : records) src.replace(r.offset, r.data.size(), r.data);
  src.replace(blockAt, kCmdBlockSize, kPristine);
  return src;
}

bool save(const std::string& exe, const std::string& to, const char* folder = "nofolder") {
  cFileIO out;
  if (!out.create(to.c_str(), fmWrite)) return false;
  return saveTamsivarFrom("zvk", exe.c_str(), &out, folder);
}

std::string writeAt(const ScratchDir& dir, const std::string& name, const std::string& bytes) {
  std::ofstream(dir.file(name), std::ios::binary) << bytes;
  return dir.file(name);
}

std::string sourceWithBlockAt(unsigned blockAt, unsigned size) {
  std::string s(size, '\0');
  for (unsigned i = 0; i < size; ++i) s[i] = static_cast<char>('a' + i % 23);
  s.replace(blockAt, kCmdBlockSize, kPristine);
  return s;
}

TEST(CommandBlock, CopiesPristineOrPatchedExecutables) {
  ASSERT_TRUE(isPureICmd());
  ScratchDir dir;
  const unsigned blockAt = 4096;
  const std::string src = sourceWithBlockAt(blockAt, 20000);
  std::ofstream(dir.file("src"), std::ios::binary) << src;

  ASSERT_TRUE(save(dir.file("src"), dir.file("plain")));
  EXPECT_EQ(readFileBytes(dir.file("plain")), src);

  const std::vector<sRecord> records = {{100, "abc"}, {blockAt, ""}, {13000, "zz"}, {14990, "0123456789"}};
  {
    PatchedBlock patch(blockAt, 15000, records, true);
    EXPECT_FALSE(isPureICmd());
    ASSERT_TRUE(save(dir.file("src"), dir.file("patched")));
  }
  EXPECT_EQ(readFileBytes(dir.file("patched")), expectedCopy(src, blockAt, 15000, records));
  EXPECT_TRUE(isPureICmd());

  const struct {
    const char* what;
    unsigned size;
    std::vector<sRecord> records;
    bool end;
  } refused[] = {
      {"size beyond the source", 20001, {}, true},
      {"records out of order", 15000, {{200, "x"}, {100, "y"}}, true},
      {"data at the block's place", 15000, {{blockAt, "x"}}, true},
      {"no end marker", 20000, {}, false},
  };
  for (const auto& r : refused) {
    SCOPED_TRACE(r.what);
    std::vector<sRecord> list = r.records;
    if (!r.end)  // records until the space runs out, never an end
      for (unsigned i = 0; i < 100; ++i) list.push_back({i * 200, std::string(100, 'r')});
    PatchedBlock patch(blockAt, r.size, list, r.end);
    EXPECT_FALSE(save(dir.file("src"), dir.file("refused")));
  }
}

TEST(CommandBlock, ManagerBundleIsLaidOutBesideTheCopy) {
  ScratchDir dir;
  namespace fs = std::filesystem;
  fs::create_directories(dir.file("Own.app/Contents/Resources"));
  std::ofstream(dir.file("Own.app/Contents/Resources/icon.icns")) << "icon bytes";
  fs::create_directories(dir.file("Mgr.app/Contents/MacOS"));
  std::ofstream(dir.file("exe"), std::ios::binary) << sourceWithBlockAt(0, 9000);
  cFileIO out;
  ASSERT_TRUE(out.create(dir.file("Mgr.app/Contents/MacOS/Tamsivar.tmp").c_str(), fmWrite));
  ASSERT_TRUE(saveTamsivarFrom(dir.file("Own.app/Contents/MacOS/Installer").c_str(),
                               dir.file("exe").c_str(), &out,
                               dir.file("Mgr.app/Contents/MacOS").c_str()));
  out.close();
  EXPECT_EQ(readFileBytes(dir.file("Mgr.app/Contents/Resources/icon.icns")), "icon bytes");
  EXPECT_EQ(readFileBytes(dir.file("Mgr.app/Contents/PkgInfo")), "APPL????");
  const std::string plist = readFileBytes(dir.file("Mgr.app/Contents/Info.plist"));
  EXPECT_NE(plist.find("<string>Tamsivar</string>"), std::string::npos);
  EXPECT_NE(plist.find("<string>ZVK Software Manager</string>"), std::string::npos);
  EXPECT_NE(plist.find("<key>CFBundleVersion</key>\n\t<string>1.0</string>"), std::string::npos);
  EXPECT_EQ(readFileBytes(dir.file("Mgr.app/Contents/MacOS/Tamsivar.tmp")), readFileBytes(dir.file("exe")));
}

TEST(CommandBlock, FindsThePristineBlockButNotOneEndingTheFile) {
  ScratchDir dir;
  const std::string zvk = std::string(ZVK_BUNDLE) + "/Contents/MacOS/zvk";
  const struct {
    std::string path;
    bool found;
  } cases[] = {
      {zvk, true},
      {writeAt(dir, "early", "<<" + kPristine + "tail"), true},
      {writeAt(dir, "end", "<<<" + kPristine), false},
      {writeAt(dir, "short", "<ICMDBLOCK>"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    cFileIO in;
    ASSERT_TRUE(in.open(c.path.c_str(), fmRead));
    int at = findICmd(&in);
    if (!c.found) {
      EXPECT_EQ(at, -1);
      continue;
    }
    ASSERT_GE(at, 0);
    const std::string bytes = readFileBytes(c.path);
    EXPECT_EQ(bytes.substr(static_cast<size_t>(at), kCmdBlockSize), kPristine);
    EXPECT_EQ(bytes.find(kPristine), static_cast<size_t>(at));
  }
  EXPECT_EQ(findICmd(nullptr), -1);
}

}  // namespace
