// The file chooser through scripted modal runs over a real folder tree, with
// HOME pointed at it; the navigation job runs for real and each script waits
// (bounded) for the path bar to come back to normal.
#include "ciom/filechoosedialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include "ciom/newfolderform.h"
#include "ciom/popupmaster.h"
#include "support/choosertree.h"
#include "support/fixedcanvas.h"
#include "support/formfixture.h"

namespace {

using cDialog = cFileChooseDialog;
const int kEnter = cChildElement::kcEnter, kEscape = cChildElement::kcEscape;
constexpr int kF5 = 450;

struct sFilter {
  const char *name, *pattern, *extension;
};

class FileChooseDialog : public cFormFixture {
 protected:
  void SetUp() override {
    cFormFixture::SetUp();
    if (const char* h = getenv("HOME")) savedHome = h;
    setenv("HOME", tmp.root.c_str(), 1);
  }
  void TearDown() override {
    savedHome.empty() ? unsetenv("HOME") : setenv("HOME", savedHome.c_str(), 1);
    cFormFixture::TearDown();
  }
  void setFilters(cDialog::sFileChooseInfo& info, std::vector<sFilter> filters) {
    info.filters.set(static_cast<long long>(filters.size()));
    for (size_t i = 0; i < filters.size(); ++i) {
      info.filters[i].name.set(filters[i].name);
      info.filters[i].pattern.set(filters[i].pattern);
      info.filters[i].extension.set(filters[i].extension);
    }
  }
  // Runs the dialog with `script` once its first listing is shown.
  bool run(bool saving, cDialog::sFileChooseInfo& info,
           std::function<void(cDialog&, cFormTestTarget&)> script) {
    cFormTestTarget::scripts.push_back([script](cFormTestTarget& w) {
      auto& d = *static_cast<cDialog*>(w.form);
      ASSERT_TRUE(idle(w, d));
      script(d, w);
      if (!w.ended()) w.key(kEscape);
    });
    return saving ? cDialog::save(&parent, "Files", info) : cDialog::open(&parent, "Files", info);
  }
  // Waits until the folder is read and its rows are in, then shows them, as
  // the window paints them before the user acts on them.
  static bool idle(cFormTestTarget& w, cDialog& d, bool paint = true) {
    for (int i = 0; i < 2500; ++i) {
      w.settle();
      if (d.navigation().naviMode() == cNavigationChild::nmNormal) {
        cFixedMetricCanvas canvas(500, 300);
        if (paint) d.list().onPaintArea(&canvas);
        return true;
      }
      w.waitForNote(2);
    }
    return false;
  }
  // The rows in shown order, one column's texts.
  static std::vector<std::string> column(cDialog& d, int col) {
    std::vector<std::string> out;
    for (int r = d.list().firstBySort(); r >= 0; r = d.list().nextBySort(r))
      out.push_back(d.list().text(r, col));
    return out;
  }
  static int rowNamed(cDialog& d, const char* name) {
    for (int r = d.list().firstBySort(); r >= 0; r = d.list().nextBySort(r))
      if (std::string(d.list().text(r, 1)) == name) return r;
    return -1;
  }
  sChooserTree tmp;
  std::string savedHome;
};

TEST_F(FileChooseDialog, RowsTextsAndSorting) {
  cDialog::sFileChooseInfo info;
  std::vector<std::vector<std::string>> seen;
  std::vector<std::string> filters;
  run(false, info, [&](cDialog& d, cFormTestTarget&) {
    filters.push_back(d.filterCombo().text(0) ? d.filterCombo().text(0) : "");
    filters.push_back(d.filterCombo().text(1) ? d.filterCombo().text(1) : "");
    for (int col = 1; col <= 4; ++col) seen.push_back(column(d, col));
    for (int col : {1, 2, 4}) {
      d.list().sort(col);
      seen.push_back(column(d, 1));
    }
  });
  EXPECT_EQ(filters, (std::vector<std::string>{"All files", ""}));
  // Folders first, then by name; hidden entries and the FIFO stay out.
  using v = std::vector<std::string>;
  ASSERT_EQ(seen.size(), 7u);
  EXPECT_EQ(seen[0], (v{"docs", "big.bin", "link.txt", "small.txt"}));
  EXPECT_EQ(seen[1],
            (v{"02.01.2022 03:04:05", "04.03.2021 05:06:07", "31.12.1999 23:59:58", "31.12.1999 23:59:58"}));
  EXPECT_EQ(seen[2], (v{"File folder", "File", "File", "File"}));
  EXPECT_EQ(seen[3], (v{"", "5 KB", "0 KB", "0 KB"}));
  EXPECT_EQ(seen[4], (v{"big.bin", "docs", "link.txt", "small.txt"}));
  EXPECT_EQ(seen[5], (v{"link.txt", "small.txt", "big.bin", "docs"}));
  EXPECT_EQ(seen[6], (v{"docs", "link.txt", "small.txt", "big.bin"}));
}

// Rows filled in anew, or re-sorted by a title click, wait for a paint
// before they take input: the user has not seen them where they now are.
TEST_F(FileChooseDialog, NewRowsWaitToBeSeen) {
  cDialog::sFileChooseInfo info;
  std::vector<bool> held;
  run(false, info, [&](cDialog& d, cFormTestTarget& w) {
    w.key(kF5);
    idle(w, d, false);
    held.push_back(d.list().rowsHeld());
    cFixedMetricCanvas canvas(500, 300);
    d.list().onPaintArea(&canvas);
    held.push_back(d.list().rowsHeld());
    cHeaderChild::cColumnClickAction click(4);
    d.list().onAction(&d.list().header(), &click);
    w.settle();
    held.push_back(d.list().rowsHeld());
  });
  EXPECT_EQ(held, (std::vector<bool>{true, false, true}));
}

TEST_F(FileChooseDialog, FiltersPatternsAndHidden) {
  const struct {
    bool showHidden;
    const char* typed;  // then Enter
    std::vector<std::string> rows;
    const char* combo;
  } cases[] = {
      {false, nullptr, {"docs", "link.txt", "small.txt"}, "Text"},
      {true, nullptr, {".cache", "docs", ".hidden.txt", "link.txt", "small.txt"}, "Text"},
      {false, "*.bin", {"docs", "big.bin"}, "Custom (*.bin)"},
      {false, "docs", {"inner.txt"}, "Text"},
  };
  for (const auto& c : cases) {
    cDialog::sFileChooseInfo info;
    setFilters(info, {{"", "*.zip", "zip"}, {"Text", "*.txt", "txt"}});
    info.filter = 7;
    info.showHidden = c.showHidden;
    std::vector<std::string> rows;
    std::string combo, field;
    bool open = false;
    run(false, info, [&](cDialog& d, cFormTestTarget& w) {
      if (c.typed) {
        d.nameField().setText(c.typed, -1);
        w.key(kEnter);
        open = !w.ended();
        idle(w, d);
        field = d.nameField().text();
      }
      rows = column(d, 1);
      combo = d.filterCombo().text();
    });
    EXPECT_EQ(rows, c.rows) << (c.typed ? c.typed : "");
    EXPECT_EQ(combo, c.combo);
    EXPECT_EQ(info.filter, 1);
    EXPECT_TRUE(!c.typed || (open && (std::string(c.typed) != "docs" || field.empty())));
  }
}

TEST_F(FileChooseDialog, AcceptAndSaveNames) {
  const struct {
    bool saving, multi;
    const char* typed;
    std::vector<const char*> select;  // rows selected before Enter
    bool ends;
    const char* file;  // under the tree
    int results;
  } cases[] = {
      {false, false, "small.txt", {}, true, "/small.txt", 0},
      {false, false, "missing.txt", {}, false, "", 0},
      {false, true, "x", {"small.txt", "big.bin"}, true, "/small.txt", 1},
      {true, false, "report", {}, true, "/report.zip", 0},
      {true, false, "report.zip", {}, true, "/report.zip", 0},
      {true, false, "report.ZIP", {}, true, "/report.ZIP.zip", 0},
      {true, false, "small.txt", {}, true, "/small.txt.zip", 0},
      {true, false, "nowhere/x", {}, false, "", 0},
  };
  for (const auto& c : cases) {
    cDialog::sFileChooseInfo info;
    setFilters(info, {{"Zip", "*", "zip"}});
    info.multiSelect = c.multi;
    bool ended = false;
    run(c.saving, info, [&](cDialog& d, cFormTestTarget& w) {
      for (const char* name : c.select) d.list().setSelected(rowNamed(d, name), true);
      d.nameField().setText(c.typed, -1);
      w.key(kEnter);
      ended = w.ended();
    });
    EXPECT_EQ(ended, c.ends) << c.typed;
    EXPECT_EQ(info.file.ptr ? std::string(info.file.ptr) : "", c.ends ? tmp.root + c.file : "") << c.typed;
    int results = 0;
    for (auto* r = info.results.head; r; r = r->next) ++results;
    EXPECT_EQ(results, c.results) << c.typed;
  }
}

// The working directory is never shown: a typed name not from the root is
// in the folder shown (HOME here) even when only the working directory has it;
// one from the root is that path, even when the folder shown holds its copy.
TEST_F(FileChooseDialog, ATypedNameIsNeverTakenFromTheWorkingDirectory) {
  ASSERT_EQ(mkdir((tmp.root + "/docs/sub").c_str(), 0755), 0);
  const std::string copy = tmp.root + tmp.root + "/docs";
  std::filesystem::create_directories(copy);
  std::ofstream(copy + "/inner.txt") << "copy";
  ASSERT_EQ(mkfifo((tmp.root + "/docs/pipe").c_str(), 0644), 0);
  char* was = getcwd(nullptr, 0);
  ASSERT_EQ(chdir((tmp.root + "/docs").c_str()), 0);
  const struct {
    bool saving;
    std::string typed;
    const char* file;  // under the tree; null when the chooser stays
  } cases[] = {
      {true, "inner.txt", "/inner.txt"},
      {false, "inner.txt", nullptr},
      {true, "sub/new.bin", nullptr},
      {true, "~/docs/inner.txt", "/docs/inner.txt"},
      {true, "~/docs/new.bin", "/docs/new.bin"},
      {true, tmp.root + "/docs/sub/new.bin", "/docs/sub/new.bin"},
      {false, tmp.root + "/docs/inner.txt", "/docs/inner.txt"},
      {true, tmp.root + "/docs/pipe", "/docs/pipe"},
      {true, "docs/pipe", nullptr},
  };
  for (const auto& c : cases) {
    cDialog::sFileChooseInfo info;
    bool ended = false;
    run(c.saving, info, [&](cDialog& d, cFormTestTarget& w) {
      d.nameField().setText(c.typed.c_str(), -1);
      w.key(kEnter);
      ended = w.ended();
    });
    EXPECT_EQ(ended, c.file != nullptr) << c.typed;
    EXPECT_EQ(info.file.ptr ? std::string(info.file.ptr) : "", c.file ? tmp.root + c.file : "") << c.typed;
  }
  EXPECT_EQ(chdir(was), 0);
  free(was);
}

// A name in a folder that is not there keeps the chooser open and says
// which folder is missing; a missing file in a folder that is there is
// passed over in open mode, as before.
TEST_F(FileChooseDialog, ANameInAMissingFolderIsExplained) {
  const struct {
    bool saving;
    std::string typed;
    std::string missing;  // the folder the box names; empty: no box
  } cases[] = {
      {true, "sub1/x.zip", tmp.root + "/sub1"},
      {true, "~/nosuch/x.zip", tmp.root + "/nosuch"},
      {true, tmp.root + "/no/deeper/x.zip", tmp.root + "/no/deeper"},
      {true, "small.txt/x.zip", tmp.root + "/small.txt"},
      {false, "nosuch/x.txt", tmp.root + "/nosuch"},
      {false, "missing.txt", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    cDialog::sFileChooseInfo info;
    bool ended = true;
    std::vector<std::pair<int, std::string>> shown;  // by height in the box: children come in no set order
    run(c.saving, info, [&](cDialog& d, cFormTestTarget& w) {
      if (!c.missing.empty())
        cFormTestTarget::scripts.push_back([&](cFormTestTarget& box) {
          cChildElement* area = static_cast<cCustomForm*>(box.form)->clientArea();
          for (cChildElement* e = area->getFirstChild(); e; e = area->getNextChild(e)) {
            sRect r;
            e->childRect(&r);
            if (e->text()) shown.emplace_back(r.y, e->text());
          }
          box.key(kEnter);
        });
      d.nameField().setText(c.typed.c_str(), -1);
      w.key(kEnter);
      ended = w.ended();
    });
    EXPECT_FALSE(ended);
    EXPECT_EQ(cFormTestTarget::runs.back().caption, c.missing.empty() ? "Files" : "Error");
    if (c.missing.empty()) continue;
    std::sort(shown.begin(), shown.end());
    std::vector<std::string> lines;
    for (const auto& l : shown) lines.push_back(l.second);
    EXPECT_EQ(lines, (std::vector<std::string>{"Folder does not exist.", "There is no folder " + c.missing + ".",
                                               "Please check the typed name."}));
  }
}

TEST_F(FileChooseDialog, RefreshPlacesAndHome) {
  cDialog::sFileChooseInfo info;
  info.folder.set(tmp.file("docs").c_str());
  std::vector<std::string> afterF5, places, home;
  std::string barPath;
  run(false, info, [&](cDialog& d, cFormTestTarget& w) {
    tmp.write("docs/late.txt", 1);
    w.key(kF5);
    idle(w, d);
    afterF5 = column(d, 1);
    cToolBarChild::cTbButtonAction placesButton(2);
    d.onAction(&d.mainTools(), &placesButton);
    w.settle();  // the rows come a batch per turn of the queue
    places = column(d, 1);
    barPath = d.navigation().path() ? d.navigation().path() : "(null)";
    cToolBarChild::cTbButtonAction homeButton(1);
    d.onAction(&d.mainTools(), &homeButton);
    idle(w, d);
    home = column(d, 1);
  });
  EXPECT_EQ(afterF5, (std::vector<std::string>{"inner.txt", "late.txt"}));
  EXPECT_EQ(places.front(), "Home");
  EXPECT_EQ(barPath, "");
  EXPECT_EQ(home.front(), "docs");
}

TEST_F(FileChooseDialog, NewFolderCreatesOrExplains) {
  const struct {
    std::string name;
    const char* box;  // caption of the box, null: none
    bool yes;
    const char* listedAfter;  // a row shown afterwards
  } cases[] = {
      {"made", nullptr, false, "made"},
      {"small.txt", "Error", false, "small.txt"},
      {"docs", "Confirm", true, "inner.txt"},
      {"pipe", "Error", false, "docs"},
      {std::string(300, 'n'), "Error", false, "docs"},
  };
  for (const auto& c : cases) {
    cDialog::sFileChooseInfo info;
    std::vector<std::string> rows;
    run(true, info, [&](cDialog& d, cFormTestTarget& w) {
      cFormTestTarget::scripts.push_back([&](cFormTestTarget& form) {
        static_cast<cNewFolderNameReqForm*>(form.form)->field().setText(c.name.c_str(), -1);
        form.key(kEnter);
      });
      if (c.box)
        cFormTestTarget::scripts.push_back([&](cFormTestTarget& box) { box.key(c.yes ? kEnter : kEscape); });
      cToolBarChild::cTbButtonAction newFolder(3);
      d.onAction(&d.mainTools(), &newFolder);
      idle(w, d);
      rows = column(d, 1);
    });
    EXPECT_EQ(cFormTestTarget::runs.back().caption, c.box ? c.box : "Enter new folder name") << c.name;
    EXPECT_NE(std::find(rows.begin(), rows.end(), c.listedAfter), rows.end()) << c.name;
  }
}

}  // namespace

TEST_F(FileChooseDialog, ContextMenus) {
  const struct {
    bool saving;
    const char* row;   // selected first; null: none
    const char* item;  // the menu's one item; null: no menu
    bool ends;
    const char* file;  // chosen, or a row listed afterwards
  } cases[] = {
      {false, "small.txt", "Open", true, "/small.txt"},
      {false, nullptr, nullptr, false, "small.txt"},
      {true, "big.bin", "Save here", true, "/big.bin"},
      {true, "docs", "Open", false, "inner.txt"},
  };
  for (const auto& c : cases) {
    cDialog::sFileChooseInfo info;
    std::string item;
    std::vector<std::string> rows;
    const size_t before = cFormTestTarget::runs.size();
    bool ended = false;
    sPoint list;
    run(c.saving, info, [&](cDialog& d, cFormTestTarget& w) {
      d.list().absPos(list);
      if (c.row) d.list().select(rowNamed(d, c.row));
      cFormTestTarget::scripts.push_back([&](cFormTestTarget& menu) {
        auto* first =
            static_cast<cPopupMaster::cBtnListItem*>(static_cast<cPopupMaster*>(menu.form)->buttons().head);
        item = first ? first->button.text() : "";
        menu.click(5, 5);
      });
      cChildElement::cCtxRequestAction at(37, 23, false, false, false);
      d.onAction(&d.list(), &at);
      ended = w.ended();
      if (!ended) {
        idle(w, d);
        rows = column(d, 1);
      }
    });
    if (!c.item) cFormTestTarget::scripts.clear();  // the menu's script was never taken
    EXPECT_EQ(item, c.item ? c.item : "") << c.file;
    EXPECT_EQ(ended, c.ends) << c.file;
    ASSERT_EQ(cFormTestTarget::runs.size() - before, c.item ? 2u : 1u) << c.file;
    if (c.item) {
      // At the point asked for, inside the list.
      EXPECT_EQ(cFormTestTarget::runs.back().x, list.x + 37) << c.file;
      EXPECT_EQ(cFormTestTarget::runs.back().y, list.y + 23) << c.file;
    }
    if (c.ends)
      EXPECT_EQ(std::string(info.file.ptr), tmp.root + c.file);
    else
      EXPECT_NE(std::find(rows.begin(), rows.end(), c.file), rows.end()) << c.file;
  }
}

TEST_F(FileChooseDialog, ACustomElementSizesTheDialogAndMayRefuse) {
  struct cVeto : cDialog::cCustomElement {
    bool accept = false;
    bool acceptFileChoice() override { return accept; }
    int customWidth() override { return 640; }
    int customHeight() override { return 40; }
  };
  for (bool accept : {false, true}) {
    cVeto veto;
    veto.accept = accept;
    cDialog::sFileChooseInfo info;
    info.customElement = &veto;
    bool ended = false;
    run(false, info, [&](cDialog& d, cFormTestTarget& w) {
      d.nameField().setText("small.txt", -1);
      w.key(kEnter);
      ended = w.ended();
    });
    EXPECT_EQ(ended, accept);
    EXPECT_EQ(cFormTestTarget::runs.back().w, 640);
    EXPECT_EQ(cFormTestTarget::runs.back().h, 390);
  }
}

// A folder that fills over several turns of the queue, with a file of the
// name typed: the file system decides a typed name, so Return takes it at
// once, rows filling or not; the rows themselves are chosen only once they
// are all in and shown.
class FileChooseDialogFill : public FileChooseDialog {
 protected:
  void SetUp() override {
    FileChooseDialog::SetUp();
    ASSERT_EQ(mkdir((tmp.root + "/many").c_str(), 0755), 0);
    char name[32];
    for (int i = 0; i < 5000; ++i) {
      std::snprintf(name, sizeof name, "many/f%05d.txt", i);
      tmp.write(name, 0);
    }
    tmp.write("many/small.txt", 1);
  }
  // Opens the folder and waits for its first rows, not for all of them.
  static int openFilling(cDialog& d, cFormTestTarget& w, const std::string& folder) {
    d.ls(folder.c_str());
    for (int i = 0; i < 5000 && d.list().getRowCount() == 0; ++i)
      if (!w.drain()) w.waitForNote(2);
    return d.list().getRowCount();
  }
  // Types as the keyboard does, one turn of the queue per character.
  static void typeSlowly(cDialog& d, cFormTestTarget& w, const char* text) {
    for (const char* c = text; *c; ++c) {
      d.processChar(static_cast<unsigned char>(*c), false, false, false);
      w.drain();
    }
  }
};

TEST_F(FileChooseDialogFill, ReturnOnATypedNameIsTakenWhileRowsFill) {
  const struct {
    bool saving, multi;
    const char* typed;
    const char* select;  // a row selected once all are in
    bool ends;
    const char* file;
  } cases[] = {
      {false, false, "small.txt", nullptr, true, "/many/small.txt"},
      {true, false, "new.bin", nullptr, true, "/many/new.bin"},
      {false, true, "missing", "f00007.txt", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    cDialog::sFileChooseInfo info;
    info.multiSelect = c.multi;
    int firstRows = -1;
    bool filling = false, ended = false;
    run(c.saving, info, [&](cDialog& d, cFormTestTarget& w) {
      firstRows = openFilling(d, w, tmp.root + "/many");
      if (c.select) {
        idle(w, d, false);
        d.list().setSelected(rowNamed(d, c.select), true);
        // Rows in but not yet painted are not chosen.
      }
      d.nameField().setText(c.typed, -1);
      filling = d.list().getRowCount() < 5001;
      w.key(kEnter);
      ended = w.ended();
    });
    EXPECT_GT(firstRows, 0);
    EXPECT_EQ(filling, !c.select) << "the rows came all at once";
    EXPECT_EQ(ended, c.ends);
    EXPECT_EQ(info.file.ptr && c.ends ? std::string(info.file.ptr) : "", c.ends ? tmp.root + c.file : "");
  }
}

// Return before the folder's read has ended, no row shown yet: a typed
// name is still the file system's to decide.
TEST_F(FileChooseDialogFill, ReturnOnATypedNameIsTakenWhileTheFolderIsRead) {
  const struct {
    bool saving;
    const char* typed;
    const char* file;  // chosen; null when Return is refused
  } cases[] = {
      {true, "new.bin", "/many/new.bin"},
      {false, "small.txt", "/many/small.txt"},
      {false, "missing", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    cDialog::sFileChooseInfo info;
    bool reading = false, ended = false;
    run(c.saving, info, [&](cDialog& d, cFormTestTarget& w) {
      // The read's end waits in the queue until the test lets it turn.
      d.ls((tmp.root + "/many").c_str());
      d.nameField().setText(c.typed, -1);
      reading = d.navigation().naviMode() == cNavigationChild::nmProgress && d.list().getRowCount() == 0;
      w.key(kEnter);
      ended = w.ended();
    });
    EXPECT_TRUE(reading);
    EXPECT_EQ(ended, c.file != nullptr);
    EXPECT_EQ(info.file.ptr && ended ? std::string(info.file.ptr) : "", c.file ? tmp.root + c.file : "");
  }
}

// Typing goes on across the end of a fill: the list takes the focus at the
// end only from a user who has done nothing since the listing began, and
// never from the name field of a save, where keys may still be coming.
TEST_F(FileChooseDialogFill, TypingIsNeverTakenAwayByTheFillsEnd) {
  const struct {
    const char* name;
    bool saving;
    bool filterChange;  // mid-fill, then a click in the name field
    const char* typed;  // one character per turn of the queue, then Return
    const char* focus;  // once the rows are in
  } cases[] = {
      {"typed across the end", true, false, "abcdefghijklmnop", "name"},
      {"filter changed, then typed", true, true, "new", "name"},
      {"nothing done, saving", true, false, nullptr, "name"},
      {"nothing done, opening", false, false, nullptr, "list"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    cDialog::sFileChooseInfo info;
    setFilters(info, {{"Text", "*.txt", ""}, {"All", "*", ""}});
    std::string focus;
    bool ended = false, acrossTheEnd = false;
    run(c.saving, info, [&](cDialog& d, cFormTestTarget& w) {
      // The folder typed in the name field, then Return; the queue turns
      // only as the test lets it.
      d.nameField().focus();
      w.settle();
      d.nameField().setText("many", -1);
      d.processKey(kEnter, false, false, false);
      for (int i = 0; i < 5000 && d.list().getRowCount() == 0; ++i)
        if (!w.drain()) w.waitForNote(2);
      if (c.filterChange) {
        d.filterCombo().select(1, true);
        w.drain();
        d.nameField().focus();
        w.drain();
      }
      for (const char* t = c.typed ? c.typed : ""; *t; ++t) {
        d.processChar(static_cast<unsigned char>(*t), false, false, false);
        w.drain();
      }
      acrossTheEnd = d.list().getRowCount() == 5001;
      idle(w, d);
      cChildElement* f = d.getFocused();
      focus = f == &d.nameField() ? "name" : f == &d.list() ? "list" : "other";
      if (c.typed) {
        w.key(kEnter);
        ended = w.ended();
      }
    });
    EXPECT_EQ(focus, c.focus);
    EXPECT_EQ(ended, c.typed != nullptr);
    if (c.typed) {
      EXPECT_EQ(info.file.ptr ? std::string(info.file.ptr) : "", tmp.root + "/many/" + c.typed);
      EXPECT_TRUE(acrossTheEnd || c.filterChange) << "the typing ended before the rows";
    }
  }
}

// Home, Places and New folder given while a folder is read, or while its
// rows come in, are done: at once, or once the rows are in.
TEST_F(FileChooseDialogFill, ToolsGivenWhileAFolderFillsAreDone) {
  enum { home = 1, places = 2, newFolder = 3 };
  const struct {
    int tool;
    bool filling;        // given once rows come, else while the folder is read
    const char* shown;   // a row listed at the end
    const char* gone;    // a row not listed at the end
  } cases[] = {
      {home, false, "docs", "f00000.txt"},  {places, false, "Home", "f00000.txt"},
      {newFolder, false, "made", "docs"},   {home, true, "docs", "f00000.txt"},
      {places, true, "Home", "f00000.txt"}, {newFolder, true, "made", "docs"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.tool << (c.filling ? " filling" : " reading"));
    rmdir((tmp.root + "/many/made").c_str());
    cDialog::sFileChooseInfo info;
    std::vector<std::string> rows;
    bool reading = false;
    run(true, info, [&](cDialog& d, cFormTestTarget& w) {
      if (c.tool == newFolder)
        cFormTestTarget::scripts.push_back([](cFormTestTarget& form) {
          static_cast<cNewFolderNameReqForm*>(form.form)->field().setText("made", -1);
          form.key(kEnter);
        });
      if (c.filling)
        openFilling(d, w, tmp.root + "/many");
      else
        d.ls((tmp.root + "/many").c_str());
      reading = d.navigation().naviMode() == cNavigationChild::nmProgress;
      cToolBarChild::cTbButtonAction button(c.tool);
      d.onAction(&d.mainTools(), &button);
      for (int i = 0; i < 3 && idle(w, d); ++i) w.settle();
      rows = column(d, 1);
    });
    EXPECT_TRUE(reading);
    EXPECT_NE(std::find(rows.begin(), rows.end(), c.shown), rows.end());
    EXPECT_EQ(std::find(rows.begin(), rows.end(), c.gone), rows.end());
  }
}

// What the user gives on the very turn the last rows come in, before the
// path bar has been back to normal for a turn, is done as when the folder
// came at once: a folder typed is entered, Home is gone to, a filter lists.
TEST_F(FileChooseDialogFill, WhatIsGivenAsTheLastRowsComeIsDone) {
  enum eAct { kTypedFolder, kHome, kFilter };
  const struct {
    eAct act;
    const char* shown;  // a row listed at the end
    const char* gone;   // a row not listed at the end
  } cases[] = {
      {kTypedFolder, "inner.txt", "f00000.txt"},
      {kHome, "docs", "f00000.txt"},
      {kFilter, "small.txt", "f00000.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.act);
    cDialog::sFileChooseInfo info;
    setFilters(info, {{"All", "*", ""}, {"Small", "small*", ""}});
    int rowsWhenGiven = -1;
    std::vector<std::string> rows;
    run(true, info, [&](cDialog& d, cFormTestTarget& w) {
      d.ls((tmp.root + "/many").c_str());
      for (int i = 0; i < 5000 && d.list().getRowCount() < 5001; ++i)
        if (!w.drain()) w.waitForNote(2);
      rowsWhenGiven = d.list().getRowCount();
      if (c.act == kTypedFolder) {
        d.nameField().setText((tmp.root + "/docs").c_str(), -1);
        d.processKey(kEnter, false, false, false);
      } else if (c.act == kHome) {
        cToolBarChild::cTbButtonAction button(1);
        d.onAction(&d.mainTools(), &button);
      } else {
        // Handled on this turn, as a click on the choice would be.
        d.filterCombo().select(1, false);
        cChildElement::cChildAction change(cChildElement::acChange);
        d.onAction(&d.filterCombo(), &change);
      }
      for (int i = 0; i < 3 && idle(w, d); ++i) w.settle();
      rows = column(d, 1);
    });
    EXPECT_EQ(rowsWhenGiven, 5001);
    EXPECT_NE(std::find(rows.begin(), rows.end(), c.shown), rows.end());
    EXPECT_EQ(std::find(rows.begin(), rows.end(), c.gone), rows.end());
  }
}

// An empty folder has no rows to wait for: a name typed there is saved.
TEST_F(FileChooseDialog, AnEmptyFolderTakesReturn) {
  ASSERT_EQ(mkdir((tmp.root + "/empty").c_str(), 0755), 0);
  cDialog::sFileChooseInfo info;
  info.folder.set((tmp.root + "/empty").c_str());
  info.file.set("new.bin");
  bool ended = false;
  run(true, info, [&](cDialog&, cFormTestTarget& w) {
    w.key(kEnter);
    ended = w.ended();
  });
  EXPECT_TRUE(ended);
  EXPECT_EQ(info.file.ptr ? std::string(info.file.ptr) : "", tmp.root + "/empty/new.bin");
}
