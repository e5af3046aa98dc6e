// New folders against a real tree: what each existing object of the name
// gives in either chooser, and a creation the file system refuses (a name
// too long, since the tests run as root and permissions do not stop them).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/folder.h"
#include "base/tests/scratch_dir.h"
#include "ciom/folderchoose_path.h"
#include "ciom/newfolder.h"

namespace {

struct sTree : ScratchDir {
  sTree() {
    mkdir((root + "/dir").c_str(), 0755);
    mkdir((root + "/.hid").c_str(), 0755);
    std::fclose(std::fopen((root + "/file").c_str(), "wb"));
    mkfifo((root + "/fifo").c_str(), 0644);
  }
};

TEST(NewFolder, OutcomeAndMessageOfEachChooser) {
  sTree t;
  struct {
    std::string name;
    eNewFolderOutcome want;
    int fileText, folderText;
  } cases[] = {
      {"made", nfoCreated, -1, -1},
      {"made", nfoFolderExists, 20, 2},  // the second time it is there
      {"file", nfoFileExists, 19, 1},
      {"dir", nfoFolderExists, 20, 2},
      {".hid", nfoFolderExists, 20, 2},
      {"fifo", nfoOtherExists, 22, 4},
      {std::string(300, 'n'), nfoCreateFailed, 21, 3},
      {"no/such/parent", nfoCreateFailed, 21, 3},
  };
  for (auto& c : cases) {
    _guardchar<char> made;
    eNewFolderOutcome got = makeNewFolder(t.root.c_str(), c.name.c_str(), made);
    EXPECT_EQ(got, c.want) << c.name;
    EXPECT_EQ(newFolderMessage(got, true), c.fileText) << c.name;
    EXPECT_EQ(newFolderMessage(got, false), c.folderText) << c.name;
    EXPECT_EQ(std::string(made.ptr), t.root + "/" + c.name);
  }
  EXPECT_EQ(cFolderContents::objtype((t.root + "/made").c_str()), fotFolder);
}

TEST(FolderChoosePath, NextTagWalksComponents) {
  struct {
    const char* text;
    std::vector<std::string> want;
  } cases[] = {
      {"/Users/ann/Documents", {"/", "Users", "ann", "Documents"}},
      {"a//b///", {"a", "b", ""}},
      {"plain", {"plain"}},
      {"/", {"/", ""}},
  };
  for (auto& c : cases) {
    std::vector<std::string> got;
    _guardchar<char> tag;
    const char* rest = c.text;
    do {
      rest = folderChooseNextTag(rest, tag);
      got.push_back(tag.ptr);
    } while (rest);
    EXPECT_EQ(got, c.want) << c.text;
  }
}

TEST(FolderChoosePath, StartFolderOfFileFolderOrNothing) {
  sTree t;
  struct {
    std::string given;
    const char* want;  // null: no start
  } cases[] = {
      {t.root + "/dir", "dir"},
      {t.root + "/file", ""},
      {t.root + "/missing", nullptr},
      {t.root + "/fifo", nullptr},
      {"", nullptr},
  };
  for (auto& c : cases) {
    _guardchar<char> start;
    bool ok = folderChooseStartFolder(c.given.c_str(), start);
    EXPECT_EQ(ok, c.want != nullptr) << c.given;
    if (c.want) {
      std::string want = *c.want ? t.root + "/" + c.want : t.root;
      EXPECT_EQ(std::string(start.ptr), want);
    }
  }
  _guardchar<char> start;
  EXPECT_FALSE(folderChooseStartFolder(nullptr, start));
}

}  // namespace
