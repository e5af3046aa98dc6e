#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/memio.h"
#include "base/tests/scratch_dir.h"
#include "hive_bytes.h"

namespace {

using Container = cCIAppConfig::sDataContainer;

const Bytes kMagic = text("ZVKC");

bool parse(const Bytes& body, Container& root) {
  cBufWrapperIO in(const_cast<unsigned char*>(body.data()), static_cast<long long>(body.size()), false);
  return cCIAppConfig::loadRecursive(root, in, 1);
}

void setValue(Container& c, const Bytes& value) {
  c.value.set(static_cast<long long>(value.size()));
  if (!value.empty()) std::memcpy(c.value.ptr, value.data(), value.size());
}

Container& add(Container& parent, const std::string& name, const Bytes& value = {}) {
  Container* c = parent.children.insert(cStringKey(name.c_str(), static_cast<long long>(name.size())));
  setValue(*c, value);
  return *c;
}

// A child record: marker, name field, then the container's own bytes.
Bytes record(const std::string& field, const Bytes& container) {
  return Bytes{1, static_cast<unsigned char>(field.size())} + text(field) + container;
}

Bytes saved(const std::string& path, Container& root) {
  EXPECT_TRUE(cCIAppConfig::saveHive(path.c_str(), root, kWholeTree));
  return readFile(path);
}

TEST(HiveFile, NewHiveIsSevenBytesAndNeverReplacesAFile) {
  ScratchDir dir;
  std::string path = dir.file("h");
  ASSERT_TRUE(cCIAppConfig::mkNewHive(path.c_str()));
  EXPECT_EQ(readFile(path), (Bytes{'Z', 'V', 'K', 'C', 0, 0, 0}));

  writeFile(path, text("keep"));
  EXPECT_FALSE(cCIAppConfig::mkNewHive(path.c_str()));
  EXPECT_EQ(readFile(path), text("keep"));
  // Only the hive itself is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.root), {}), 1);
}

TEST(HiveFile, SideFilesOfWritersThatAreGoneGoOnTheNextLoadOrSave) {
  // A process id that is certainly free: a child that has ended and been
  // reaped.
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  ASSERT_GT(gone, 0);
  waitpid(gone, nullptr, 0);
  const struct {
    const char* name;
    bool load;
    std::string side;
    bool stays;
  } cases[] = {
      {"a killed writer's, on save", false, ".~hive-" + std::to_string(gone) + "-3", false},
      {"a killed writer's, on load", true, ".~hive-" + std::to_string(gone) + "-0", false},
      {"a running writer's", false, ".~hive-1-7", true},
      {"no side file's name", false, ".~hive-x-1", true},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    const std::string path = dir.file("h");
    ASSERT_TRUE(cCIAppConfig::mkNewHive(path.c_str()));
    writeFile(dir.file(c.side), text("half a hive"));
    Container root;
    cCIAppConfig store;
    if (c.load)
      EXPECT_TRUE(store.loadHive(path.c_str(), root));
    else
      EXPECT_TRUE(cCIAppConfig::saveHive(path.c_str(), root, kWholeTree));
    EXPECT_EQ(std::filesystem::exists(dir.file(c.side)), c.stays) << c.name;
  }
}

TEST(HiveFile, WritesTheDocumentedLayout) {
  ScratchDir dir;
  std::string path = dir.file("h");
  ASSERT_TRUE(cCIAppConfig::mkNewHive(path.c_str()));
  Container root;
  add(root, "v", {5, 0});
  EXPECT_EQ(saved(path, root), (kMagic + Bytes{0, 0, 1, 4, 0x76, 0, 0, 0, 2, 0, 5, 0, 0, 0}));

  // Children go in key order (bytes, shorter first), names padded to whole
  // words; names of 253 to 255 bytes lose only padding to the 255 limit.
  Container tree;
  add(tree, "abc");
  add(tree, "B");
  add(tree, "ab");
  add(tree, "hello", text("x"));
  Bytes empty{0, 0, 0};
  Bytes expected = kMagic + Bytes{0, 0} + record(std::string("B\0\0\0", 4), empty) +
                   record(std::string("ab\0\0", 4), empty) + record(std::string("abc\0", 4), empty) +
                   record(std::string("hello\0\0\0", 8), Bytes{1, 0, 'x', 0}) + Bytes{0};
  EXPECT_EQ(saved(path, tree), expected);

  Container longNames;
  for (int n : {252, 253, 254, 255})
    add(longNames, std::string(static_cast<size_t>(n), static_cast<char>('a' + n % 4)));
  cCIAppConfig store;
  Container back;
  saved(path, longNames);
  ASSERT_TRUE(store.loadHive(path.c_str(), back));
  for (int n : {252, 253, 254, 255})
    EXPECT_NE(child(back, std::string(static_cast<size_t>(n), static_cast<char>('a' + n % 4))), nullptr) << n;
}

TEST(HiveReader, MergesRepeatedRecordsAndIgnoresTrailingBytes) {
  std::string a("a\0\0\0", 4);
  Bytes body = Bytes{0, 0} +
               record(a, Bytes{1, 0, 'x'} + record(std::string("c\0\0\0", 4), {0, 0, 0}) + Bytes{0}) +
               record(a, Bytes{0, 0} + record(std::string("d\0\0\0", 4), {0, 0, 0}) + Bytes{0}) +
               record(a, Bytes{1, 0, 'y', 0}) + Bytes{0} + text("junk after the root");
  Container root;
  ASSERT_TRUE(parse(body, root));
  EXPECT_EQ(valueOf(child(root, "a")), "y");
  EXPECT_NE(child(root, "a/c"), nullptr);
  EXPECT_NE(child(root, "a/d"), nullptr);

  // A name field may hold bytes after the name's zero; the name ends there.
  Container odd;
  ASSERT_TRUE(parse(Bytes{0, 0} + record(std::string("nm\0q", 4), {0, 0, 0}) + Bytes{0}, odd));
  EXPECT_NE(child(odd, "nm"), nullptr);
}

TEST(HiveReader, DamagedRecordsFailAndKeepWhatCameBefore) {
  Bytes first = Bytes{0, 0} + record(std::string("k\0\0\0", 4), {1, 0, 'v', 0});
  Container root;
  EXPECT_FALSE(parse(first + Bytes{2}, root));
  EXPECT_EQ(valueOf(child(root, "k")), "v");

  for (const Bytes& bad : {first + Bytes{1, 0},                                         // a name of no bytes
                           first + record(std::string(4, '\0'), {0, 0, 0}) + Bytes{0},  // only padding
                           Bytes{0xFF, 0xFF, 'a', 'b', 'c'},    // a value past the end
                           first + Bytes{1, 200, 'a', 'b'}}) {  // a name past the end
    Container c;
    EXPECT_FALSE(parse(bad, c));
  }

  // Every cut of a valid hive fails.
  Container full;
  Bytes whole = Bytes{3, 0, 'a', 'b', 'c'} +
                record(std::string("one\0", 4),
                       Bytes{2, 0, 1, 2} + record(std::string("two\0\0\0\0\0", 8), {0, 0, 0}) + Bytes{0}) +
                record(std::string("z\0\0\0", 4), {0, 0, 0}) + Bytes{0};
  ASSERT_TRUE(parse(whole, full));
  for (size_t n = 0; n < whole.size(); ++n) {
    Container cut;
    EXPECT_FALSE(parse(Bytes(whole.begin(), whole.begin() + static_cast<long>(n)), cut)) << n;
  }
}

Bytes nested(int levels) {
  // Each level opens one child named "n"; the innermost closes them all.
  const Bytes level{0, 0, 1, 4, 'n', 0, 0, 0};
  Bytes body;
  for (int i = 1; i < levels; ++i) body.insert(body.end(), level.begin(), level.end());
  body.insert(body.end(), 2 + static_cast<size_t>(levels), 0);
  return body;
}

TEST(HiveReader, NestingIsBounded) {
  Container deepest;
  EXPECT_TRUE(parse(nested(cCIAppConfig::kMaxKeyDepth), deepest));
  Container tooDeep;
  EXPECT_FALSE(parse(nested(cCIAppConfig::kMaxKeyDepth + 1), tooDeep));
  Container hostile;
  EXPECT_FALSE(parse(nested(200000), hostile));
}

}  // namespace
