// The file chooser's rows over a real folder tree made here: what each kind
// of entry shows, which entries a pattern or the hidden flag keeps, the sort
// keys, and the name a save hands back.
#include "ciom/filechoose_rows.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "support/choosertree.h"
#include "support/formplatform.h"

namespace {

using sTree = sChooserTree;

struct sRow {
  int typeText;
  std::string size, date;
  bool operator==(const sRow&) const = default;
};

std::map<std::string, sRow> rowsOf(cFolderContents& fc, bool showHidden, const char* pattern) {
  std::map<std::string, sRow> rows;
  for (int i = 0; i < fc.count(); ++i) {
    sFolderItemInfo* e = fc.info(i);
    if (!fileChooseShowsEntry(*e, showHidden, pattern)) continue;
    char size[32], date[32];
    fileChooseSizeText(*e, size, sizeof size);
    fileChooseDateText(e->modified, date, sizeof date);
    rows[e->name.ptr] = {fileChooseRowLook(e->type).typeText, size, date};
  }
  return rows;
}

TEST(FileChooseRows, TextsAndFilteringOverARealTree) {
  sTree t;
  cFolderContents fc;
  ASSERT_TRUE(fc.init(t.root.c_str(), false));
  auto visible = rowsOf(fc, false, "*.txt");
  // Only files are held to the pattern: folders (and the FIFO) pass, hidden
  // entries and non-matching files do not; the link lists as its target.
  ASSERT_EQ(visible.size(), 4u);
  EXPECT_TRUE(visible.count("pipe"));
  EXPECT_EQ(visible["docs"].typeText, 16);
  EXPECT_EQ(visible["docs"].size, "");
  EXPECT_EQ(visible["small.txt"], (sRow{17, "0 KB", "31.12.1999 23:59:58"}));
  EXPECT_EQ(visible["link.txt"].typeText, 17);

  auto all = rowsOf(fc, true, "*");
  EXPECT_EQ(all.size(), 7u);
  EXPECT_EQ(all["big.bin"], (sRow{17, "5 KB", "04.03.2021 05:06:07"}));
  EXPECT_EQ(all[".hidden.txt"].size, "2 KB");
  EXPECT_TRUE(all.count(".cache"));
  EXPECT_EQ(all["pipe"].typeText, -1);
  EXPECT_EQ(all["pipe"].size, "");
  // No pattern at all keeps every visible entry.
  EXPECT_EQ(rowsOf(fc, false, nullptr).size(), 5u);
  EXPECT_EQ(rowsOf(fc, false, "*.bin;*.txt").size(), 5u);
  EXPECT_EQ(rowsOf(fc, false, "*.zip").size(), 2u);
}

// The system names its places in English; the home folder and the root
// speak the user's language.
TEST(FileChooseRows, PlacesInTheAppliedLanguage) {
  cFolderContents places;
  ASSERT_TRUE(places.enumSpecialLocations());
  ASSERT_GE(places.count(), 2);
  const struct {
    eCIOMStdLangs lang;
    const char *home, *root;
  } cases[] = {{eLangENG, "Home", "File system"},
               {eLangDEU, "Persönlicher Ordner", "Dateisystem"},
               {eLangJPN, "ホーム", "ファイル システム"}};
  for (const auto& c : cases) {
    cFormTestTarget::useLanguage(c.lang);
    EXPECT_STREQ(placeLabel(*places.info(0)), c.home) << c.lang;
    EXPECT_STREQ(placeLabel(*places.info(1)), c.root) << c.lang;
  }
  cFormTestTarget::useLanguage(eLangENG);
}

TEST(FileChooseRows, SortKeysOrderAsTheCellsRead) {
  sFolderItemInfo older, newer, small, large, folder;
  small.type = large.type = fotFile;
  folder.type = fotFolder;
  folder.size = 4096;
  older.modified = {2020, 12, 31, 23, 59, 59};
  newer.modified = {2021, 1, 1, 0, 0, 0};
  small.size = 1023;
  large.size = 1LL << 40;
  // The cells carry the keys themselves, so a sort never reads the listing.
  auto key = [](unsigned long long k) {
    cListViewChild::sListViewDataItem cell;
    cell.association = fileChooseKeyTag(k);
    return filechooseKeyU64Transform(&cell);
  };
  EXPECT_LT(key(fileChooseDateKey(older)), key(fileChooseDateKey(newer)));
  EXPECT_EQ(filechooseKeyU64Transform(nullptr), 0u);
  EXPECT_LT(key(fileChooseSizeKey(small)), key(fileChooseSizeKey(large)));
  EXPECT_EQ(key(fileChooseSizeKey(large)), 1ULL << 40);
  EXPECT_EQ(key(fileChooseSizeKey(folder)), 0u);
  // Type order: file systems, folders, files, others, mounted file systems.
  int order[] = {8, fotFolder, fotFile, fotOther, 10};
  for (int i = 1; i < 5; ++i)
    EXPECT_LT(fileChooseRowLook(order[i - 1]).typeOrder, fileChooseRowLook(order[i]).typeOrder);
}

TEST(FileChooseRows, SaveNameGetsTheExtensionOnce) {
  struct {
    const char* file;
    const char* ext;
    const char* want;
  } cases[] = {
      {"report", "zip", "report.zip"},
      {"report.zip", "zip", "report.zip"},
      {"report.ZIP", "zip", "report.ZIP.zip"},  // paths here are case-sensitive
      {"a.zip.old", "zip", "a.zip.old.zip"},
      {"/d.x/report", "zip", "/d.x/report.zip"},
      {"report", "", "report"},
      {"report", nullptr, "report"},
  };
  for (auto& c : cases) {
    _guardchar<char> f(c.file);
    fileChooseSaveName(f, c.ext);
    EXPECT_STREQ(f.ptr, c.want) << c.file;
  }
}

TEST(FileChooseRows, StartFolderFromFolderThenFileThenHome) {
  sTree t;
  _guardchar<char> home;
  ASSERT_TRUE(cFolderContents::getHome(home));
  struct {
    std::string folder, file;
    std::string open;
    const char* name;  // null: the name field is left alone
  } cases[] = {
      {t.root + "/docs", t.root + "/small.txt", t.root + "/docs", nullptr},
      {"", t.root + "/docs/new.txt", t.root + "/docs", "new.txt"},
      {t.root + "/missing", t.root + "/big.bin", t.root, "big.bin"},
      {t.root + "/small.txt", "/", "/", ""},
      {"", t.root + "/missing/x.txt", home.ptr, nullptr},
      {"", "plain.txt", home.ptr, nullptr},
  };
  for (auto& c : cases) {
    _guardchar<char> open, name("kept");
    ASSERT_TRUE(fileChooseStartFolder(c.folder.c_str(), c.file.c_str(), open, name)) << c.file;
    EXPECT_EQ(std::string(open.ptr), c.open) << c.file;
    EXPECT_STREQ(name.ptr, c.name ? c.name : "kept") << c.file;
  }
}

}  // namespace
