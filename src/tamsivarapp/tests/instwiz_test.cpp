// The installation wizard and its pages off screen: the steps a scenario
// gives, the side panel's clickable entries, the accept boxes, the target
// checks, the finish page, the questions the jobs ask and the exit status.
#include "tamsivarapp/instwiz.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "base/conproc.h"
#include "base/folder.h"
#include "base/memio.h"
#include "base/tests/scratch_dir.h"
#include "base/utils.h"
#include "cihlpdoc/hdlparser.h"
#include "install_support.h"
#include "support/wizwindow.h"
#include "tamsivar/manager.h"
#include "tamsivarapp/formlook.h"
#include "tamsivarapp/langsel.h"
#include "tamsivarapp/tamsivar.h"
#include "tamsivarapp/runoption.h"
#include "tamsivarapp/textfill.h"
#include "tamsivarapp/uninstallui.h"
#include "tamsivarapp/updateform.h"

namespace {

using K = cInstWizard::eStepKind;

const char* sectionText(const char* section, int row) {
  cCiomLangData* s = cLibLang::gCiomLang.sections.find(cStringKey(section, -1));
  const char* t = s ? s->string(row) : nullptr;
  return t ? t : "";
}

// A text as a message box shows it: one line per line, blank ones left out.
std::string boxText(const char* section, int row, const char* path = nullptr) {
  std::string t = fillText(sectionText(section, row), path);
  for (size_t at; (at = t.find("\n\n")) != std::string::npos;) t.erase(at, 1);
  return t;
}

// The desktop's opener, first in the PATH while it lives, recording the
// arguments it was given.
class StubOpener {
 public:
  explicit StubOpener(const ScratchDir& dir) : record_(dir.file("opened")), path_(std::getenv("PATH")) {
    std::filesystem::create_directories(dir.file("bin"));
    writeFile(dir.file("bin/xdg-open"), "#!/bin/sh\nprintf '%s|' \"$@\" > '" + record_ + ".tmp' && mv '" + record_ +
                                            ".tmp' '" + record_ + "'\n");
    std::filesystem::permissions(dir.file("bin/xdg-open"), std::filesystem::perms::owner_all);
    setenv("PATH", (dir.file("bin") + ":" + path_).c_str(), 1);
  }
  ~StubOpener() { setenv("PATH", path_.c_str(), 1); }
  // Nobody waits for the opener: what it was given, once it has run.
  std::string opened() const {
    for (int i = 0; i < 500 && readFile(record_).empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return readFile(record_);
  }

 private:
  std::string record_, path_;
};

void addDoc(const ScratchDir& dir, sScenarioDoc& doc, const std::string& name) {
  writeFile(dir.file(name + ".hdl"), "<text>" + name + "</text>");
  writeFile(dir.file(name + ".idx"), "ENG = \"./" + name + ".hdl\"\n");
  cHDLParser parser;
  cHDLParser::sErrInfo err;
  cMemIOTarget out;
  _typebuf<unsigned char> bytes;
  std::string index = dir.file(name + ".idx");
  ASSERT_TRUE(parser.parse(index.data(), &out, err) && out.toBuffer(bytes));
  ASSERT_TRUE(doc.load(bytes.ptr, bytes.count));
}

struct Wizard : ::testing::Test {
  void SetUp() override {
    cWizTestWindow::useLanguage(eLangENG);
    cWizTestWindow::scripts.clear();
    cWizTestWindow::shown.clear();
    setenv("HOME", dir.root.c_str(), 1);
    cFinishPanel::runCommand = [](const char* c, int*, std::string*, std::string*) {
      ran.push_back(c);
      return true;
    };
    ran.clear();
    // The manager's copy would be this test program.
    cInstallerJobPanel::managerPathOf = [](_guardchar<char>&) { return false; };
  }
  void TearDown() override {
    delete wizard;
    cFinishPanel::runCommand = shellOpen;
    cFileSelectPanel::volInfo = cFolderContents::getVolInfo;
    cInstallerJobPanel::managerPathOf = getAppManagerPath;
  }
  // A package of `files` under "pgm" = target (empty: a new installation).
  void make(const std::string& target, const PkgVersion& v, const std::string& docs = "") {
    ctx->scenario = buildScenario(target.empty() ? dir.file("unused") : target, v);
    if (target.empty())
      ctx->scenario->clearStr("pgm");
    else
      ctx->installedFolder.set(target.c_str());
    ctx->version = ctx->scenario->getVerID();
    ctx->codename.set("sample");
    ctx->recordName.set("sample");
    if (docs.find('w') != std::string::npos) addDoc(dir, ctx->scenario->welcomeDoc, "welcome");
    if (docs.find('r') != std::string::npos || docs.find('R') != std::string::npos)
      addDoc(dir, ctx->scenario->readmeDoc, "readme");
    ctx->scenario->readmeAccept = docs.find('R') != std::string::npos;
    if (docs.find('l') != std::string::npos) addDoc(dir, ctx->scenario->eulaDoc, "eula");
  }
  void fresh() {
    delete wizard;
    wizard = nullptr;
    ctx = std::make_unique<sPkgInstallContext>();
  }
  void addRemoval(const char* name, const char* command) {
    auto& p = ctx->removals.add()->value;
    p.name.set(name);
    p.command.set(command);
    p.selected = 1;
  }
  // An executable script in the scratch folder; its path is the command.
  std::string script(const std::string& name, const std::string& body) {
    const std::string path = dir.file(name + ".sh");
    writeFile(path, "#!/bin/sh\n" + body + "\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
  }
  void open() {
    wizard = new cInstWizard(ctx.get(), &outcome);
    window.bind(wizard, cInstWizard::kWidth, cInstWizard::kHeight);
  }
  std::vector<int> kinds() {
    std::vector<int> out;
    for (int i = 0; i < wizard->numSteps(); ++i) out.push_back(wizard->step(i).kind);
    return out;
  }
  // Hands over the job's actions until the wizard leaves the step.
  void waitForStepAfter(int step) {
    for (int i = 0; i < 200 && wizard->current() == step; ++i) window.waitAndSettle(50);
  }
  // Hands over actions until the target page has the check's answer.
  void waitForCheck() {
    for (int i = 0; i < 200 && wizard->targetPage().checking(); ++i) window.waitAndSettle(50);
  }
  void waitForFinish() {
    for (int i = 0; i < 200 && wizard->currentKind() != K::skFinish; ++i) window.waitAndSettle(50);
  }
  static void yes(cWizTestWindow& w) { w.key(cChildElement::kcEnter); }
  static void no(cWizTestWindow& w) { w.key(cChildElement::kcEscape); }

  static inline std::vector<std::string> ran;
  ScratchDir dir;
  std::unique_ptr<sPkgInstallContext> ctx = std::make_unique<sPkgInstallContext>();
  cWizTestWindow window;
  cInstWizard* wizard = nullptr;
  int outcome = -1;
};

const PkgVersion kOneFile = {{1, 0, 0, 0}, {{"bin/app", "payload"}}};

// The message's text wrapped in its box fits its height, and no word (or,
// with `pathsOnly`, no path: text in any language breaks, a path nowhere)
// is wider than the box.
void expectFits(cCanvas& canvas, cErrorDispl& message, const std::string& text, bool pathsOnly) {
  sSize size;
  ASSERT_TRUE(canvas.drawTextWrapped(0, 0, message.width(), message.height(), cCanvas::eAlignLeft, text.c_str(),
                                     size, true, 1.2));
  EXPECT_LE(size.cy, message.height()) << text;
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    if (pathsOnly && word.find('/') == std::string::npos) continue;
    ASSERT_TRUE(canvas.textSize(word.c_str(), -1, size));
    EXPECT_LE(size.cx, message.width()) << word;
  }
}

}  // namespace

TEST_F(Wizard, StepsFollowTheScenarioAndOnlyEarlierEntriesAreClickable) {
  make("", kOneFile, "wRl");
  addRemoval("Old", "/bin/true");
  open();
  ASSERT_EQ(kinds(), (std::vector<int>{K::skWelcome, K::skReadme, K::skLicence, K::skDeprecated, K::skTarget,
                                       K::skInstall, K::skFinish}));
  wizard->setStep(4);
  ASSERT_EQ(wizard->currentKind(), K::skTarget);
  const int y1 = cInstWizard::kSideTop + cInstWizard::kSideRow + 3;  // entry 1
  const struct {
    const char* what;
    int x, y, answer;
  } cases[] = {
      {"an earlier entry", 30, y1, 1},
      {"the first entry's top row", 30, cInstWizard::kSideTop, 0},
      {"left of the panel", 24, y1, -1},
      {"above the panel", 30, cInstWizard::kSideTop - 1, -1},
      {"at the label's end", wizard->step(1).right, y1, -1},
      {"the current entry", 30, cInstWizard::kSideTop + 4 * cInstWizard::kSideRow, -1},
      {"a later entry", 30, cInstWizard::kSideTop + 5 * cInstWizard::kSideRow, -1},
      {"below the last entry", 30, cInstWizard::kSideTop + 7 * cInstWizard::kSideRow, -1},
  };
  for (const auto& c : cases) EXPECT_EQ(wizard->active(c.x, c.y), c.answer) << c.what;
  wizard->onMouseButton(30, y1, cChildElement::mbLeft, true);
  wizard->onMouseButton(30, y1, cChildElement::mbLeft, false);
  EXPECT_EQ(wizard->current(), 1);
  wizard->setStep(6);
  EXPECT_EQ(wizard->active(30, y1), -1) << "the finish step takes no clicks";
  EXPECT_TRUE(wizard->onClose()) << "and closes without a question";
  EXPECT_TRUE(cWizTestWindow::shown.empty());
}

TEST_F(Wizard, OnlyAPreviousInstallationSkipsTheLocationStep) {
  const struct {
    const char* what;
    bool previous;
    std::vector<int> kinds;
  } cases[] = {
      {"a package that set the folder itself", false, {K::skTarget, K::skInstall, K::skFinish}},
      {"an upgrade", true, {K::skInstall, K::skFinish}},
  };
  for (const auto& c : cases) {
    fresh();
    make(dir.file("app"), kOneFile);
    if (!c.previous) ctx->installedFolder.set(nullptr);
    open();
    EXPECT_EQ(kinds(), c.kinds) << c.what;
  }
}

TEST_F(Wizard, NextWaitsForTheAcceptBoxes) {
  const struct {
    const char* docs;
    int step;
    bool enabledAtFirst;
  } cases[] = {{"r", 0, true}, {"R", 0, false}, {"l", 0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.docs);
    fresh();
    make(dir.root, kOneFile, c.docs);
    open();
    cCheckBoxChild& box = c.docs[0] == 'l' ? wizard->licenceAccept() : wizard->readmeAccept();
    EXPECT_EQ(wizard->nextButton().enabled(), c.enabledAtFirst);
    if (c.enabledAtFirst) continue;
    window.key(cChildElement::kcEnter);
    EXPECT_EQ(wizard->current(), 0) << "Enter does not pass an unchecked box";
    box.setChecked(true, true);
    window.settle();
    EXPECT_TRUE(wizard->nextButton().enabled());
    box.setChecked(false, true);
    window.settle();
    EXPECT_FALSE(wizard->nextButton().enabled());
  }
}

TEST_F(Wizard, ADocumentPageGivesItsViewerTheKeysAndTabReachesTheAcceptBox) {
  const struct {
    const char* docs;
    bool acceptBox;
  } cases[] = {{"w", false}, {"R", true}, {"l", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.docs);
    fresh();
    make(dir.root, kOneFile, c.docs);
    open();
    window.settle();
    auto* viewer = dynamic_cast<cSiDocViewer*>(wizard->getFocused());
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->visible());
    if (!c.acceptBox) continue;
    window.key(cChildElement::kcTab);
    window.settle();
    EXPECT_EQ(wizard->getFocused(), c.docs[0] == 'l' ? &wizard->licenceAccept() : &wizard->readmeAccept());
  }
}

TEST_F(Wizard, FinishPageShowsTheOutcomeAndAtMostSevenRunBoxes) {
  make(dir.root, kOneFile);
  for (int i = 0; i < 9; ++i) {
    auto& r = ctx->scenario->runs.add()->value;
    std::string caption = "run" + std::to_string(i);
    ctx->scenario->setStr(-1, caption.c_str(), caption.c_str());
    r.caption.set(caption.c_str());
    r.program.var.set("pgm");
    r.program.rest.set("bin/app");
    if (i == 1) ctx->scenario->setStr(-1, "args", "--go now");
    if (i == 1) r.arguments.set("args");
    r.checked = i < 2;
  }
  open();
  // The installation step runs its job at once; the page is tried once it
  // has ended, so the job never writes the result under the cases.
  waitForFinish();
  cFinishPanel& page = wizard->finishPage();
  // Files of the previous version an upgrade kept, named with the
  // uninstaller's reasons, as many as the page holds; a character that
  // shows nothing is seen, so that no name passes for two or for another.
  const std::vector<sKeptFile> kept = {{"/k0\n/k", kKeptThroughLink}, {"/k1\r", kKeptOddPath},
                                       {"/k2\t\x1b", kKeptThroughLink}, {"/k3", kKeptOddPath}, {"/k4", kKeptOddPath}};
  const auto line = [](const char* path, int reason) {
    return std::string(path) + " (" + sectionText("pkgm::unin", reason) + ")";
  };
  const std::string advice = std::string("\n") + sectionText("pkgm::unin", kKeptAdvice);
  const std::string one = fillText(sectionText("pkgm::fin", 14), line("/k0\\n/k", kKeptThroughLink).c_str()) + advice;
  const std::vector<std::string> lines = {line("/k0\\n/k", kKeptThroughLink), line("/k1\\r", kKeptOddPath),
                                          line("/k2\\t\\x1B", kKeptThroughLink)};
  // Five files: as many named as fit above the run boxes, the rest counted.
  std::vector<std::string> five;
  for (size_t named = 1; named <= lines.size(); ++named) {
    std::string list;
    for (size_t i = 0; i < named; ++i) list += lines[i] + "\n";
    list += fillNumber(sectionText("pkgm::unin", 16), 5 - static_cast<long long>(named));
    five.push_back(fillText(sectionText("pkgm::fin", 14), list.c_str()) + advice);
  }
  // An unsaved record names the store and the system's reason; a folder
  // that could not be made, its path. What a failed run made and could not
  // take back follows, named as kept files are.
  const std::string store = "/home/u\t/.zvk: Read-only file system", folder = "/opt/app/bin\n/run.tmp";
  const std::string storeShown = "/home/u\\t/.zvk: Read-only file system", folderShown = "/opt/app/bin\\n/run.tmp";
  const std::string unsaved = fillText(sectionText("pkgm::fin", 12), storeShown.c_str()) + "\n" + lines[0] + "\n" +
                              lines[1] + "\n" + lines[2] + "\n" + fillNumber(sectionText("pkgm::unin", 16), 2);
  const struct {
    int result;
    size_t kept;
    std::string problem;  // the context's problem path, which the message names as seen
    std::string title;
    std::vector<std::string> messages;  // any of them
    unsigned int colour;
    int boxes;
  } cases[] = {
      {0, 0, "", sectionText("pkgm::fin", 0), {sectionText("pkgm::fin", 13)}, cFinishPanel::kTextColor, 7},
      {0, 1, "", sectionText("pkgm::fin", 0), {one}, cFinishPanel::kErrorColor, 7},
      {0, 5, "", sectionText("pkgm::fin", 0), five, cFinishPanel::kErrorColor, 7},
      {4, 0, "", sectionText("pkgm::fin", 1), {sectionText("pkgm::fin", 5)}, cFinishPanel::kErrorColor, 0},
      {9, 0, folder, sectionText("pkgm::fin", 1), {sectionText("pkgm::fin", 10) + ("\n" + folderShown)},
       cFinishPanel::kErrorColor, 0},
      {1, 0, folder + "/docs", sectionText("pkgm::fin", 1),
       {sectionText("pkgm::fin", 2) + ("\n" + folderShown + "/docs")}, cFinishPanel::kErrorColor, 0},
      {11, 5, store, sectionText("pkgm::fin", 1), {unsaved}, cFinishPanel::kErrorColor, 0},
      {12, 1, store, sectionText("pkgm::fin", 1), {fillText(sectionText("pkgm::fin", 15), storeShown.c_str()) + "\n" + lines[0]},
       cFinishPanel::kErrorColor, 0},
      {13, 0, "", sectionText("pkgm::fin", 1), {""}, cFinishPanel::kErrorColor, 0},
      {-1, 0, "", sectionText("pkgm::fin", 1), {""}, cFinishPanel::kErrorColor, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.result) + " with " + std::to_string(c.kept) + " kept");
    ctx->result = c.result;
    ctx->problemPath.set(c.problem.empty() ? nullptr : c.problem.c_str());
    ctx->kept.assign(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(c.kept));
    page.init(ctx.get());
    EXPECT_EQ(page.title().text(), c.title);
    const std::string message = page.message().text() ? page.message().text() : "";
    EXPECT_NE(std::find(c.messages.begin(), c.messages.end(), message), c.messages.end()) << message;
    EXPECT_EQ(message.find_first_of(std::string("\r\t\x1b\0", 4)), std::string::npos) << message;
    EXPECT_EQ(page.message().defaultBackgroundColor(), c.colour);
    int boxes = 0;
    for (auto* a = page.runBoxes().head; a; a = a->next) ++boxes;
    EXPECT_EQ(boxes, c.boxes);
  }
  ctx->result = 0;
  ctx->kept.clear();
  page.init(ctx.get());
  page.runBoxes().head->value.box.setChecked(false, false);
  page.finalize();
  EXPECT_EQ(ran, (std::vector<std::string>{"\"" + dir.root + "/bin/app\" --go now"}));
}

// A checked run option whose program does not start is told in a box that
// names it and why, and the installation still ends 0; nothing is handed to
// a shell: a script without "#!" does not run, and a program's arguments
// reach it word for word.
TEST_F(Wizard, ARunOptionThatDoesNotStartIsToldAndNothingRunsThroughAShell) {
  make(dir.root, kOneFile);
  const std::string marker = dir.file("plain ran"), record = dir.file("record");
  const std::string good = script("good", "printf '%s|' \"$@\" > '" + record + ".tmp' && mv '" + record + ".tmp' '" + record + "'");
  writeFile(dir.file("plain"), "touch '" + marker + "'\n");
  std::filesystem::permissions(dir.file("plain"), std::filesystem::perms::owner_all);
  // Its interpreter would be looked for where the installer runs.
  writeFile(dir.file("script\tx"), "#!sh\r\ntouch '" + marker + "'\n");
  std::filesystem::permissions(dir.file("script\tx"), std::filesystem::perms::owner_all);
  StubOpener opener(dir);
  const struct {
    const char* caption;
    std::string rest, arguments;
    bool checked;
    const char* var = "pgm";
  } runs[] = {
      {"Good", "good.sh", "\"a b\" $(touch) ;x", true},
      {"Plain", "plain", "", true},
      {"Gone", "gone", "--now", true},
      {"Unchecked", "gone", "", false},
      // A record an older build wrote: a path without its place, never
      // looked for where the installer runs.
      {"Relative", "rel/x\ty", "", true, ""},
      {"Visit", "https://example.com/", "", true, ""},
  };
  for (const auto& r : runs) {
    auto& run = ctx->scenario->runs.add()->value;
    ctx->scenario->setStr(-1, r.caption, r.caption);
    run.caption.set(r.caption);
    run.program.var.set(r.var);
    run.program.rest.set(r.rest.c_str());
    if (!r.arguments.empty()) {
      ctx->scenario->setStr(-1, (std::string(r.caption) + ".args").c_str(), r.arguments.c_str());
      run.arguments.set((std::string(r.caption) + ".args").c_str());
    }
    run.checked = r.checked;
  }
  cFinishPanel::runCommand = shellOpen;
  open();
  waitForFinish();
  ASSERT_EQ(wizard->currentKind(), K::skFinish);
  // As after an installation that went well, whatever this one met.
  ctx->result = irOk;
  ctx->kept.clear();
  wizard->finishPage().init(ctx.get());
  cWizTestWindow::shown.clear();
  window.key(cChildElement::kcEnter);
  const auto told = [](const char* caption, int reason, const std::string& program, const std::string& script = "") {
    return fillText(sectionText(kRunOptionSection, 0), caption) + "\n" +
           (script.empty() ? fillText(sectionText(kRunOptionSection, reason), program.c_str())
                           : fillTexts(sectionText(kRunOptionSection, reason), {script.c_str(), program.c_str()}));
  };
  EXPECT_EQ(cWizTestWindow::shown, std::vector<std::string>{told("Plain", 1, dir.file("plain")) + "\n" +
                                                             told("Gone", 2, dir.file("gone")) + "\n" +
                                                             told("Relative", 7, "rel/x\\ty")});
  EXPECT_EQ(window.result, 0);
  EXPECT_EQ(outcome, 0);
  for (int i = 0; i < 500 && readFile(record).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(readFile(record), "a b|$(touch)|;x|");
  EXPECT_EQ(opener.opened(), "https://example.com/|");
  // The road the page takes, for a script whose interpreter has no place
  // (a box of its own: the one above fills the screen).
  EXPECT_EQ(startRunOption("Script", runCommandLine(dir.file("script\tx").c_str(), "").c_str(),
                           cLibLang::gCiomLang.sections.find(cStringKey(kRunOptionSection, -1)), shellOpen),
            told("Script", 8, "sh\\r", dir.file("script\\tx")));
  // And for one whose interpreter is a file the system may not run.
  writeFile(dir.file("data\x1b" "file"), "not a program\n");
  writeFile(dir.file("by data"), "#!" + dir.file("data\x1b" "file") + "\ntouch '" + marker + "'\n");
  std::filesystem::permissions(dir.file("by data"), std::filesystem::perms::owner_all);
  EXPECT_EQ(startRunOption("Data", dir.file("by data").c_str(),
                           cLibLang::gCiomLang.sections.find(cStringKey(kRunOptionSection, -1)), shellOpen),
            told("Data", 9, dir.file("data\\x1Bfile"), dir.file("by data")));
  EXPECT_FALSE(std::filesystem::exists(marker));

  // The reasons the system gives, each in its words.
  const struct {
    int error, row;
    std::string tail;
    std::string program;
    std::string shown = {};  // when not the program as it is
    std::string script = {}, scriptShown = {};
  } reasons[] = {{ENOEXEC, 1, "", "/x y/p"},
                 {ENOENT, 2, "", "/x y/p"},
                 {EACCES, 3, "", "/x y/p"},
                 {EIO, 4, std::string(" ") + std::strerror(EIO), "/x y/p"},
                 // A document whose opener is missing: the opener is, not the file.
                 {ENOENT, 2, "", kDesktopOpener, fillText(sectionText(kRunOptionSection, 5), kDesktopOpener)},
                 // The interpreter of a "#!" line written with CR LF, and
                 // other characters that show nothing, are seen.
                 {ENOENT, 2, "", "/bin/sh\r", "/bin/sh\\r"},
                 {ENOENT, 2, "", "/a\tb\x1b\x7f", "/a\\tb\\x1B\\x7F"},
                 // An address the opener cannot take arguments for; the
                 // system's own E2BIG keeps its words.
                 {E2BIG, 6, "", "https://example.com/"},
                 {E2BIG, 4, std::string(" ") + std::strerror(E2BIG), "/x y/p"},
                 {kPathNotAbsolute, 7, "", "docs/x"},
                 // The script is named first, and seen as well.
                 {kInterpreterNotAbsolute, 8, "", "sh\r", "sh\\r", "/x\ny", "/x\\ny"},
                 {kInterpreterNotAProgram, 9, "", "/a\tfolder", "/a\\tfolder", "/x\ry", "/x\\ry"}};
  for (const auto& r : reasons) {
    static const std::remove_reference_t<decltype(r)>* given;
    given = &r;
    const std::string words = startRunOption("C", "\"/x y/p\" -a", cLibLang::gCiomLang.sections.find(cStringKey(kRunOptionSection, -1)),
                                             [](const char*, int* error, std::string* program, std::string* script) {
                                               *error = given->error;
                                               *program = given->program;
                                               *script = given->script;
                                               return false;
                                             });
    EXPECT_EQ(words, told("C", r.row, r.shown.empty() ? r.program : r.shown, r.scriptShown) + r.tail) << r.error;
  }
  EXPECT_EQ(told("C", 2, fillText(sectionText(kRunOptionSection, 5), kDesktopOpener)),
            "\"C\" could not be started:\nxdg-open, which opens files for the desktop, is missing.");
  EXPECT_TRUE(told("C", 8, "sh\\r", "/x\\ny")
                  .starts_with("\"C\" could not be started:\nThe script /x\\ny names sh\\r as its interpreter"));
  EXPECT_TRUE(told("C", 9, "/tmp", "/x")
                  .starts_with("\"C\" could not be started:\nThe script /x names /tmp as its interpreter on "
                               "its #! line, which is not a program"));
}

// Kept files with long paths, in every language: the page still shows and
// runs every box it shows without them, and its message fits its box
// (no word wider than a line) and always tells how many files are not
// named and what to do; a named path keeps its file name.
TEST_F(Wizard, KeptFilesWithLongPathsFitTheMessageAndKeepEveryRunBox) {
  make(dir.root, kOneFile);
  for (int i = 0; i < 9; ++i) {
    auto& r = ctx->scenario->runs.add()->value;
    const std::string caption = "run" + std::to_string(i);
    ctx->scenario->setStr(-1, caption.c_str(), caption.c_str());
    r.caption.set(caption.c_str());
    r.program.var.set("pgm");
    r.program.rest.set(("bin/app" + std::to_string(i)).c_str());
    r.checked = true;
  }
  ctx->result = 0;
  const std::string home =
      "/work/scratch/hL/home/Very-long-user-name-with-\u00dcn\u00efc\u00f6d\u00e9-and-spaces/projects 2026/Mein "
      "Ordner/Applications/Kapp/data/";
  std::vector<sKeptFile> many;
  for (int i = 0; i < 32; ++i) many.push_back({home + "f" + std::to_string(100 + i) + ".txt", kKeptThroughLink});
  // Long file names in two folders, one of them deep: the name alone takes
  // most of what the line leaves beside the reason.
  const std::string app = "/work/scratch/t2/h5/Applications/Kp \u00dcn\u00ef t\u00ebst/";
  std::vector<sKeptFile> longNames;
  for (const std::string& folder :
       {app + "data/", app + std::string(40, 'a') + "/" + std::string(45, 'b') + "/" + std::string(36, 'c') + "/deep/"})
    for (int i = 1; i <= 12; ++i)
      longNames.push_back({folder + "file_with_a_rather_long_name_number_" + std::to_string(i) + ".txt", kKeptThroughLink});
  const std::vector<std::vector<sKeptFile>> lists = {
      {{home + "Gr\u00fc\u00dfe mit Leerzeichen.txt", kKeptOddPath}},
      many,
      {{home + std::string(400, 'x') + ".txt", kKeptThroughLink}, {"/short", kKeptOddPath}},
      longNames,
  };
  cCrbOffscreenCanvas canvas;
  ASSERT_TRUE(canvas.create(410, 290));
  for (const cLibLang::sLangDef& def : cSOPKGLang::gLangs) {
    cWizTestWindow::useLanguage(static_cast<eCIOMStdLangs>(def.lang));
    const std::string advice = std::string("\n") + sectionText("pkgm::unin", kKeptAdvice);
    for (const std::vector<sKeptFile>& kept : lists) {
      SCOPED_TRACE(std::to_string(def.lang) + ": " + std::to_string(kept.size()) + " kept");
      cWizTestWindow window;
      cFinishPanel page;
      window.bind(&page, 410, 290);
      ctx->kept = kept;
      page.init(ctx.get());
      cErrorDispl& message = page.message();
      const std::string text = message.text() ? message.text() : "";
      ASSERT_TRUE(mkStdFont()->apply(&canvas));
      expectFits(canvas, message, text, false);
      EXPECT_TRUE(text.ends_with(advice)) << text;
      size_t named = 0;
      for (size_t at = 0; named < kept.size(); ++at, ++named) {
        at = text.find(std::string(" (") + sectionText("pkgm::unin", kept[named].reason) + ")", at);
        if (at == std::string::npos) break;
      }
      EXPECT_GE(named, 1u);
      if (named < kept.size()) {
        const long long more = static_cast<long long>(kept.size() - named);
        EXPECT_NE(text.find(fillNumber(sectionText("pkgm::unin", 16), more)), std::string::npos) << text;
      }
      // Each named file keeps its whole name, when a line holds it, and its
      // path's first folders.
      for (size_t i = 0, at = 0; i < named; ++i, ++at) {
        const std::string name = kept[i].path.substr(kept[i].path.rfind('/'));
        if (name.size() >= 60) continue;
        at = text.find(name + " (" + sectionText("pkgm::unin", kept[i].reason) + ")", at);
        ASSERT_NE(at, std::string::npos) << name << "\n" << text;
        const size_t line = text.rfind('\n', at) + 1;
        const std::string folders = kept[i].path.substr(0, std::min(kept[i].path.size() - name.size(), size_t{13}));
        EXPECT_TRUE(text.substr(line, at - line).starts_with(folders)) << text;
      }
      sRect said, box;
      ASSERT_TRUE(message.childRect(&said));
      int boxes = 0;
      for (auto* a = page.runBoxes().head; a; a = a->next, ++boxes) {
        ASSERT_TRUE(a->value.box.childRect(&box));
        EXPECT_GE(box.y, said.y + said.height) << boxes;
        EXPECT_LE(box.y + box.height, page.height()) << boxes;
      }
      EXPECT_EQ(boxes, 7);
      ran.clear();
      page.finalize();
      EXPECT_EQ(ran.size(), 7u);
    }
    // A failed upgrade names what stopped it and the side file it left
    // where a link cut its folder off: the whole message is read.
    {
      cWizTestWindow window;
      cFinishPanel page;
      window.bind(&page, 410, 290);
      const std::string app = "/work/scratch/t66/r2/w666/midswap/h/Applications/RThree/zz";
      ctx->result = irObstacle;
      ctx->problemPath.set((app + "/last.txt").c_str());
      ctx->kept = {{app + ".moved/last.txt.tmp", kKeptFolderMoved}};
      page.init(ctx.get());
      cErrorDispl& message = page.message();
      const std::string text = message.text() ? message.text() : "";
      // Each path is fitted to the line: its first folders and its name stay.
      EXPECT_NE(text.find("\n/work/scratch"), std::string::npos) << text;
      EXPECT_NE(text.find("/last.txt\n"), std::string::npos) << text;
      EXPECT_TRUE(text.ends_with(std::string("/last.txt.tmp (") + sectionText("pkgm::unin", kKeptFolderMoved) + ")")) << text;
      expectFits(canvas, message, text, true);
      // A home that is no path from the root keeps no record: the reason
      // is read in the page's language.
      const std::string home = getenv("HOME") ? getenv("HOME") : "";
      setenv("HOME", "h", 1);
      ctx->result = irRecordUnsaved;
      ctx->problemPath.set("h/.zvk");
      ctx->kept.clear();
      page.init(ctx.get());
      setenv("HOME", home.c_str(), 1);
      const std::string reason = sectionText("pkgm::unin", kHomeNotRooted);
      EXPECT_FALSE(reason.empty());
      EXPECT_EQ(message.text() ? message.text() : "",
                fillText(sectionText("pkgm::fin", 12), ("h/.zvk: " + reason).c_str()));
      ctx->result = irOk;
      ctx->problemPath.set(nullptr);
    }
  }
  cWizTestWindow::useLanguage(eLangENG);
}

TEST_F(Wizard, SizeLineRoundsUpToWholeMegabytes) {
  const struct {
    size_t bytes;
    const char* size;
  } cases[] = {{300 * 1024, "below 1MB"}, {1048576, "approximately 1MB"}, {1048577, "approximately 2MB"}};
  for (const auto& c : cases) {
    fresh();
    make("", {{1, 0, 0, 0}, {{"big", std::string(c.bytes, 'x')}}});
    open();
    ASSERT_EQ(wizard->currentKind(), K::skTarget);
    EXPECT_EQ(wizard->targetPage().sizeLine(), fillText(sectionText("pkgm::fsel", 3), c.size));
  }
}

TEST_F(Wizard, TargetChecksNameTheFirstOffendingPathAndTheVolumeMustHaveRoom) {
  make("", {{1, 0, 0, 0}, {{"a", "same"}, {"b", "mine"}}});
  open();
  cFileSelectPanel& page = wizard->targetPage();
  const std::string folder = dir.file("apps");
  EXPECT_EQ(page.field().text(), dir.root + "/Applications");

  static unsigned long long available;
  static bool answers;
  cFileSelectPanel::volInfo = [](const char*, unsigned long long& t, unsigned long long& a) {
    t = a = available;
    return answers;
  };
  const struct {
    bool answers;
    unsigned long long available;
    const char* message;
    const char* field;
  } choices[] = {{false, 0, sectionText("pkgm::fsel", 12), "Applications"},
                 {true, 65536, sectionText("pkgm::fsel", 13), "Applications"},
                 {true, 131072, nullptr, "apps"}};
  for (const auto& c : choices) {
    cWizTestWindow::shown.clear();
    answers = c.answers;
    available = c.available;
    EXPECT_EQ(page.takeFolder(folder.c_str()), c.message == nullptr);
    EXPECT_EQ(cWizTestWindow::shown, c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
    EXPECT_TRUE(std::string(page.field().text()).ends_with(c.field));
  }

  // A home that is no path from the root keeps no record: said here, in
  // the words of the failed run, before anything is made.
  setenv("HOME", "h", 1);
  cWizTestWindow::shown.clear();
  window.key(cChildElement::kcEnter);
  setenv("HOME", dir.root.c_str(), 1);
  EXPECT_EQ(wizard->currentKind(), K::skTarget);
  EXPECT_EQ(cWizTestWindow::shown,
            std::vector<std::string>{fillText(sectionText("pkgm::fin", 12),
                                              ("h/.zvk: " + std::string(sectionText("pkgm::unin", kHomeNotRooted))).c_str())});
  EXPECT_FALSE(std::filesystem::exists(folder));

  const struct {
    const char* what;
    std::function<void()> arrange;
    int message;  // -1: accepted
    const char* path;
  } cases[] = {
      {"a foreign file", [&] { writeFile(folder + "/b", "other"); }, 8, "b"},
      {"a folder at a target",
       [&] { std::filesystem::remove(folder + "/b"), std::filesystem::create_directories(folder + "/b/x"); },
       9, "b"},
      {"a link to a folder outside",
       [&] {
         std::filesystem::remove_all(folder + "/b"),
             std::filesystem::create_directory_symlink(dir.root, folder + "/b");
       },
       9, "b"},
      {"a dangling link",
       [&] {
         std::filesystem::remove(folder + "/b"),
             std::filesystem::create_symlink(dir.file("nowhere"), folder + "/a");
       },
       9, "a"},
      {"a file over a folder's place", [&] { std::filesystem::remove_all(folder), writeFile(folder, "x"); },
       9, "a"},
      {"the same bytes pass", [&] { std::filesystem::remove(folder), writeFile(folder + "/a", "same"); }, -1,
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.arrange();
    cWizTestWindow::shown.clear();
    window.key(cChildElement::kcEnter);
    waitForCheck();
    if (c.message < 0) {
      waitForFinish();
      EXPECT_EQ(wizard->currentKind(), K::skFinish);
      EXPECT_TRUE(cWizTestWindow::shown.empty());
    } else {
      EXPECT_EQ(wizard->currentKind(), K::skTarget);
      EXPECT_EQ(cWizTestWindow::shown,
                std::vector<std::string>{fillText(sectionText("pkgm::fsel", c.message), (folder + "/" + c.path).c_str())});
    }
  }
  EXPECT_EQ(readFile(folder + "/b"), "mine");
  EXPECT_EQ(ctx->result, 0);
}

// The targets of a large package are checked off the window's thread: held
// at its first file, the check leaves the window answering keys and clicks.
// Escape, a click on an earlier step and the close box drop it at once and
// nothing follows from it; a second "Next" starts no second check; let go,
// it passes and the installation runs.
TEST_F(Wizard, TheWindowAnswersWhileTheTargetsAreChecked) {
  PkgVersion many;
  for (int i = 0; i < 2000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "d%d/f%d", i % 20, i);
    many.files.push_back({name, "x"});
  }
  cFileSelectPanel::volInfo = [](const char*, unsigned long long& t, unsigned long long& a) {
    t = a = 1ULL << 40;
    return true;
  };
  constexpr int kEarlier = cInstWizard::kSideTop + 3;  // the welcome step's entry
  const struct {
    const char* what;
    std::function<void(Wizard&)> act;
    int step;  // where the wizard is once the held check has ended
    std::vector<std::string> shown;
  } cases[] = {
      {"Escape", [](Wizard& t) { t.window.key(cChildElement::kcEscape); }, 1, {}},
      {"an earlier step",
       [](Wizard& t) {
         t.wizard->onMouseButton(30, kEarlier, cChildElement::mbLeft, true);
         t.wizard->onMouseButton(30, kEarlier, cChildElement::mbLeft, false);
       },
       0, {}},
      {"the close box, answered No",
       [](Wizard& t) {
         cWizTestWindow::scripts.push_back(no);
         EXPECT_FALSE(t.wizard->onClose());
       },
       1, {sectionText("pkgm::instw", 15)}},
      {"a second Next", [](Wizard& t) { t.window.key(cChildElement::kcEnter); }, 3, {}},
      // The dropped check's end is still queued when the next one starts.
      {"Escape, then Next again",
       [](Wizard& t) {
         t.window.key(cChildElement::kcEscape);
         cFileSelectPanel::cCheckPanel& check = t.wizard->targetPage().checkPanel();
         while (check.runs()) cJob::sleep(1);
         check.hold();
         t.window.key(cChildElement::kcEnter);
       },
       3, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fresh();
    make("", many, "w");
    open();
    wizard->setStep(1);
    ASSERT_EQ(wizard->currentKind(), K::skTarget);
    cWizTestWindow::shown.clear();
    cFileSelectPanel& page = wizard->targetPage();
    page.checkPanel().hold();
    window.key(cChildElement::kcEnter);
    ASSERT_TRUE(page.checking());
    EXPECT_FALSE(page.browseButton().enabled()) << "the folder stays as checked";
    c.act(*this);
    const bool dropped = c.step != 3;
    EXPECT_EQ(page.browseButton().enabled(), dropped);
    EXPECT_EQ(page.checking(), !dropped);
    page.checkPanel().release();
    waitForCheck();
    while (page.checkPanel().runs()) window.waitAndSettle(50);
    window.settle();
    // Every report of the installation is an action: waited on by state.
    for (int i = 0; i < 100000 && wizard->currentKind() == K::skInstall; ++i) window.waitAndSettle(50);
    EXPECT_EQ(wizard->current(), c.step);
    EXPECT_EQ(cWizTestWindow::shown, c.shown);
    EXPECT_EQ(std::filesystem::exists(dir.root + "/Applications/d0/f0"), !dropped);
    EXPECT_EQ(ctx->result, 0);
  }
}

// The folder is the user's choice, settled before anything is recorded
// under it: a ".." after a link leads up from where the link goes, as the
// system takes it, so every later run reaches the same folder.
TEST_F(Wizard, AFolderWithUpStepsIsSettledBeforeAnythingIsRecorded) {
  std::filesystem::create_directories(dir.file("deep/hq"));
  std::filesystem::create_directory_symlink(dir.file("deep/hq"), dir.file("hq"));
  cFileSelectPanel::volInfo = [](const char*, unsigned long long& t, unsigned long long& a) {
    t = a = 1ULL << 40;
    return true;
  };
  const struct {
    const char* typed;
    const char* settled;
  } cases[] = {{"/hq/../hd2/app", "/deep/hd2/app"}, {"/x/./y/../app/", "/x/app"}, {"/x//y/z/../../app", "/x/app"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    fresh();
    make("", kOneFile);
    open();
    ASSERT_TRUE(wizard->targetPage().takeFolder((dir.root + c.typed).c_str()));
    window.key(cChildElement::kcEnter);
    waitForFinish();
    EXPECT_EQ(ctx->result, 0);
    EXPECT_EQ(std::string(ctx->scenario->getStr("pgm")), dir.root + c.settled);
    EXPECT_EQ(readFile(dir.root + c.settled + "/bin/app"), "payload");
  }
}

TEST_F(Wizard, BusyFileQuestionRetriesOnYesAndGivesUpOnNo) {
  make(dir.root, kOneFile);
  open();
  const struct {
    const char* path;
    cWizTestWindow::tScript answer;
    bool giveUp;
    size_t asked;
  } cases[] = {{"/x/busy", yes, false, 1}, {"/x/busy", no, true, 1}, {nullptr, nullptr, true, 0}};
  for (const auto& c : cases) {
    cWizTestWindow::shown.clear();
    if (c.answer) cWizTestWindow::scripts.push_back(c.answer);
    bool giveUp = !c.giveUp;
    cInstallerJobPanel::cAskReleaseAction ask(&giveUp, c.path);
    EXPECT_TRUE(wizard->onAction(wizard, &ask));
    EXPECT_EQ(giveUp, c.giveUp);
    ASSERT_EQ(cWizTestWindow::shown.size(), c.asked);
    if (c.asked) {
      EXPECT_EQ(cWizTestWindow::shown[0], boxText("pkgm::instw", 25, c.path));
    }
  }
  cInstallerJobPanel::cAskReleaseAction noFlag(nullptr, "/x");
  EXPECT_TRUE(wizard->onAction(wizard, &noFlag));
}

TEST_F(Wizard, AnInstallationThatCannotStartIsNoSuccess) {
  make(dir.file("app"), kOneFile, "w");
  ASSERT_EQ(compareFiles(*ctx), iiReady);
  open();  // the welcome step, which starts the fonts' own threads
  const pid_t child = fork();
  if (child == 0) {
    // No thread can be made, so the installer job cannot start.
    if (geteuid() == 0 && setuid(65534) != 0) _exit(2);
    const rlimit none{0, 0};
    if (setrlimit(RLIMIT_NPROC, &none) != 0) _exit(3);
    window.key(cChildElement::kcEnter);
    _exit(wizard->currentKind() == K::skFinish && ctx->result != irOk ? 0 : 1);
  }
  int status = -1;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(Wizard, ExitStatusIsZeroOnlyForASuccessClosedFromTheFinish) {
  const struct {
    const char* what;
    const char* docs;
    bool blockTarget;
    bool kept;  // files of the previous version left in place
    int status;
  } cases[] = {
      {"success", "", false, false, 0},
      {"success that kept a file of the previous version", "", false, true, 1},
      {"failed installation", "", true, false, 1},
      {"closed on the welcome step", "w", false, false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fresh();
    outcome = -1;
    const std::string root = dir.file(c.what);
    if (c.blockTarget) writeFile(root, "a file where the folder goes");
    make(root, kOneFile, c.docs);
    ASSERT_EQ(compareFiles(*ctx), c.blockTarget ? iiSpecialObject : iiReady);
    open();
    if (c.docs[0] == 'w') {
      cWizTestWindow::scripts.push_back(yes);
      EXPECT_TRUE(wizard->onClose());
      EXPECT_EQ(cWizTestWindow::shown.back(), sectionText("pkgm::instw", 15));
    } else {
      waitForStepAfter(0);
      ASSERT_EQ(wizard->currentKind(), K::skFinish);
      if (c.kept) ctx->kept.push_back({dir.file("old/file"), kKeptThroughLink});
      window.key(cChildElement::kcEnter);
      EXPECT_EQ(window.result, c.status);
    }
    EXPECT_EQ(outcome == -1 ? 1 : outcome, c.status);
  }
}

TEST_F(Wizard, DeprecatedMarksDecideTheRemovalAndNoStepChangesWhileItRuns) {
  make(dir.root, kOneFile);
  const std::string marker = dir.file("removed");
  const std::string slow = script("slow", "sleep 1; echo slow >> " + marker);
  const std::string quick = script("quick", "echo quick >> " + marker);
  addRemoval("Slow", slow.c_str());
  addRemoval("Quick", quick.c_str());
  open();
  ASSERT_EQ(wizard->currentKind(), K::skDeprecated);
  // "No" to keeping everything removes everything.
  wizard->deprecatedList().setChecked(0, false, false);
  wizard->deprecatedList().setChecked(1, false, false);
  cWizTestWindow::scripts.push_back(no);
  window.key(cChildElement::kcEnter);
  EXPECT_EQ(cWizTestWindow::shown.back(), sectionText("pkgm::instw", 20));
  ASSERT_TRUE(wizard->uninstallerPanel().runs());
  wizard->setStep(0);
  window.key(cChildElement::kcEnter);
  EXPECT_FALSE(wizard->onClose());
  EXPECT_EQ(wizard->currentKind(), K::skDeprecated);
  waitForStepAfter(0);
  EXPECT_EQ(readFile(marker), "slow\nquick\n");
  // The installation ran after the removal and ended on the finish.
  waitForFinish();
  EXPECT_EQ(wizard->currentKind(), K::skFinish);
  EXPECT_FALSE(ctx->removals.head);
}

TEST_F(Wizard, UncheckedDeprecatedPackagesAreKept) {
  make(dir.root, kOneFile);
  const std::string marker = dir.file("removed");
  const std::string a = script("a", "echo a >> " + marker);
  const std::string b = script("b", "echo b >> " + marker);
  addRemoval("A", a.c_str());
  addRemoval("B", b.c_str());
  open();
  wizard->deprecatedList().setChecked(0, false, false);
  cWizTestWindow::scripts.push_back(no);
  window.key(cChildElement::kcEnter);
  EXPECT_EQ(cWizTestWindow::shown.back(), sectionText("pkgm::instw", 21));
  EXPECT_EQ(wizard->currentKind(), K::skDeprecated) << "No to the question stays";
  cWizTestWindow::scripts.push_back(yes);
  window.key(cChildElement::kcEnter);
  waitForStepAfter(0);
  EXPECT_EQ(readFile(marker), "b\n");
  ASSERT_TRUE(ctx->removals.head);
  EXPECT_STREQ(ctx->removals.head->value.name.ptr, "A");
  EXPECT_EQ(ctx->removals.head->value.selected, 0);
}

// Every text the wizard's pages and its language form draw, in each of the eight tables, laid out
// in its own box and font: a single line must fit its width, a wrapped text
// its height.
cListViewChild* listIn(cChildElement* e) {
  if (auto* list = dynamic_cast<cListViewChild*>(e)) return list;
  for (cChildElement* c = e->getFirstChild(); c; c = e->getNextChild(c))
    if (cListViewChild* list = listIn(c)) return list;
  return nullptr;
}

TEST(WizardTexts, EveryTextFitsItsBoxInEveryLanguage) {
  struct Box {
    const char* section;
    std::vector<int> rows;
    cFontObject* font;
    int w, h;  // h 0: one line
  };
  const std::vector<Box> boxes = {
      {"pkgm::instw", {1, 14}, mkBtnFont(false), 96, 0},
      {"pkgm::instw", {2, 3, 4, 5, 6, 7, 18}, mkBtnFont(false), cInstWizard::kLabelW, 0},
      {"pkgm::instw", {8, 9, 10, 11, 12, 13, 19}, mkWizTitleFont(), cInstWizard::kWidth - 220, 0},
      {"pkgm::fsel", {0}, mkBtnFont(false), 76, 0},
      {"pkgm::fsel", {2}, mkBtnPassFont(), 410 - 80, 44},
      {"pkgm::fsel", {3}, mkStdFont(), 410 - 40, 0},
      {"pkgm::fsel", {6}, mkStdFont(), 410 - 40, 290 - 140},
      {"pkgm::fin", {0, 1}, mkBtnFont(false), 410 - 20, 0},
      {"pkgm::fin", {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, mkStdFont(), 410 - 20, 60},
      // Kept files beside seven run boxes: the room above the closed-up boxes.
      {"pkgm::fin", {14}, mkStdFont(), 410 - 20, 290 - 20 - 6 * cFinishPanel::kKeptBoxStep - 10 - 40},
      // A record left unsaved has the page below the title, with the store
      // and a file left.
      {"pkgm::fin", {15}, mkStdFont(), 410 - 20, 290 - 20 - 40},
      // The language form that comes before the wizard, at its narrower size.
      {"pkgm::langs", {0}, mkTitleFont(), 380 - 30, 0},
      {"pkgm::langs", {1}, mkStdFont(), 380 - 30, cLangSelectionForm::kIntroHeight},
      // The manager window's buttons, list headers, details, links and status.
      {"pkgm::tamsivar", {5, 6, 12}, mkBtnFont(false), 114 - 4, 0},
      {"pkgm::tamsivar", {3, 4}, mkStdFont(), 100 - 8, 0},
      {"pkgm::tamsivar", {7, 8}, mkStdFont(), 200, 0},
      {"pkgm::tamsivar", {9, 10, 11}, mkBtnFont(true), 770 - 136 - 290, 0},
      {"pkgm::tamsivar", {13, 15}, mkStdFont(), 770 - 136, 0},
      // The update form's title, links and buttons.
      {"pkgm::updi", {1}, mkWizTitleFont(), 500 - 24, 45},
      {"pkgm::updi", {10, 11}, mkBtnFont(true), 500 - 24, 0},
      {"pkgm::updi", {3, 4}, mkBtnFont(false), 115 - 4, 0},
      // The status lines of the small forms: uninstall, removal, the
      // installer's start and the wait for an answer.
      {"pkgm::unin", {1}, mkStdFont(), 340, 0},
      {"pkgm::rem", {1}, mkStdFont(), 340, 0},
      {"pkgm::iini", {1}, mkStdFont(), 340, 0},
      {"pkgm::resp", {1}, mkStdFont(), 340, 0},
  };
  char sampleTime[32];
  ASSERT_TRUE(unixToStr(0, sampleTime, sizeof sampleTime));
  cCrbOffscreenCanvas canvas;
  ASSERT_TRUE(canvas.create(cInstWizard::kWidth, cInstWizard::kHeight));
  for (const cLibLang::sLangDef& def : cSOPKGLang::gLangs) {
    cWizTestWindow::useLanguage(static_cast<eCIOMStdLangs>(def.lang));
    SCOPED_TRACE(def.lang);
    for (const Box& b : boxes) {
      ASSERT_TRUE(b.font && b.font->apply(&canvas));
      for (int row : b.rows) {
        std::string text = sectionText(b.section, row);
        if (std::string(b.section) == "pkgm::fsel" && row == 2) text = fillText(text.c_str(), "Sample Software");
        if (std::string(b.section) == "pkgm::fsel" && row == 3)
          text = fillText(text.c_str(), fillNumber(sectionText(b.section, 5), 1234).c_str());
        if (std::string(b.section) == "pkgm::tamsivar" && row <= 8) text = formatRow(text.c_str(), sampleTime);
        if (std::string(b.section) == "pkgm::updi") text = formatRow(text.c_str(), "Sample Software");
        if (std::string(b.section) == "pkgm::fin" && row == 14) {
          // The fewest kept files the page names, with the longest reason,
          // and the count of the others.
          const std::vector<sKeptFile> kept(2, {"/home/user/Applications/old.txt", kKeptOddPath});
          cCiomLangData* reasons = cLibLang::gCiomLang.sections.find(cStringKey(kKeptReasonsSection, -1));
          text = fillText(text.c_str(), keptFilesText(kept, reasons, 1).c_str());
        }
        if (std::string(b.section) == "pkgm::fin" && row == 15) {
          const std::vector<sKeptFile> left = {{"/home/user/Applications/app/lib/data.txt", kKeptNotPutBack},
                                               {"/home/user/Applications/app/lib/more.txt", kKeptNotInstalled}};
          cCiomLangData* reasons = cLibLang::gCiomLang.sections.find(cStringKey(kKeptReasonsSection, -1));
          text = fillText(text.c_str(), "/home/user/.zvk: No space left on device") + "\n" +
                 keptFilesText(left, reasons, 2);
        }
        sSize size;
        if (b.h == 0) {
          ASSERT_TRUE(canvas.textSize(text.c_str(), -1, size));
          EXPECT_LE(size.cx, b.w) << b.section << " " << row << ": " << text;
        } else {
          ASSERT_TRUE(canvas.drawTextWrapped(0, 0, b.w, b.h, cCanvas::eAlignJustify, text.c_str(), size, true, 1.2));
          EXPECT_LE(size.cx, b.w) << b.section << " " << row << ": " << text;
          EXPECT_LE(size.cy, b.h) << b.section << " " << row << ": " << text;
        }
      }
    }
    // The accept boxes measure themselves in the window's font, from x 193
    // to the card's edge.
    cWizTestWindow window;
    cChildElement root;
    window.bind(&root, cInstWizard::kWidth, cInstWizard::kHeight);
    for (int row : {16, 17}) {
      cCheckBoxChild box;
      root.attach(&box, 1, 1, 1, 18);
      box.setText(sectionText("pkgm::instw", row), cCanvas::eAlignLeft, false);
      sSize wanted;
      ASSERT_TRUE(box.wantsSize(&wanted));
      EXPECT_LE(wanted.cx, 626 - 193) << row;
      root.dettach(&box);
    }
    // The manager's list: the install time and the update note are never
    // cut short, in the cell's text box between its paddings.
    cTamsivarForm manager;
    window.bind(&manager, 770, 480);
    cListViewChild* list = listIn(&manager);
    ASSERT_TRUE(list);
    for (auto [column, text] : {std::pair{2, std::string(sampleTime)},
                                std::pair{4, std::string(sectionText("pkgm::tamsivar", 16))}}) {
      sSize size;
      ASSERT_TRUE(mkStdFont()->apply(&canvas) && canvas.textSize(text.c_str(), -1, size));
      EXPECT_LE(size.cx, list->header().columnWidth(column) - 2 * 3 - 2) << text;
    }
  }
  cWizTestWindow::useLanguage(eLangENG);
}

namespace {

cLinkElement* linkIn(cChildElement* e, const std::string& text) {
  if (auto* link = dynamic_cast<cLinkElement*>(e); link && link->text() && link->text() == text) return link;
  for (cChildElement* c = e->getFirstChild(); c; c = e->getNextChild(c))
    if (cLinkElement* link = linkIn(c, text)) return link;
  return nullptr;
}

// The manager's link to a run option whose program does not start says so
// in a box naming it and why.
TEST(ManagerRunOption, AProgramThatDoesNotStartIsToldInABox) {
  cWizTestWindow::useLanguage(eLangENG);
  ScratchDir dir;
  const std::string plain = dir.file("plain"), marker = dir.file("ran");
  writeFile(plain, "touch '" + marker + "'\n");
  std::filesystem::permissions(plain, std::filesystem::perms::owner_all);
  sInstalledItem item;
  item.id.set("sample");
  item.name.set("Sample");
  auto& option = item.runOptions.add()->value;
  option.label.set("Plain");
  option.command.set(plain.c_str());
  // An address as a record keeps it, which the desktop's opener shows.
  auto& visit = item.runOptions.add()->value;
  visit.label.set("Visit");
  visit.command.set("https://example.com/");
  StubOpener opener(dir);
  cWizTestWindow window;
  cTamsivarForm manager;
  window.bind(&manager, 770, 480);
  manager.selectItem(&item);
  cLinkElement* link = linkIn(&manager, "Plain");
  cLinkElement* address = linkIn(&manager, "Visit");
  ASSERT_TRUE(link && address);
  cWizTestWindow::shown.clear();
  cChildElement::cChildAction click;
  manager.onAction(link, &click);
  manager.onAction(address, &click);
  EXPECT_EQ(cWizTestWindow::shown,
            std::vector<std::string>{fillText(sectionText(kRunOptionSection, 0), "Plain") + "\n" +
                                     fillText(sectionText(kRunOptionSection, 1), plain.c_str())});
  EXPECT_EQ(opener.opened(), "https://example.com/|");
  EXPECT_FALSE(std::filesystem::exists(marker));
}

// The manager's column titles are flat on white, in the pale text, and
// cannot be clicked.
TEST(ManagerLook, ColumnTitlesAreFlatOnWhite) {
  cWizTestWindow::useLanguage(eLangENG);
  cWizTestWindow window;
  cTamsivarForm manager;
  window.bind(&manager, 770, 480);
  cListViewChild* list = listIn(&manager);
  ASSERT_TRUE(list);
  for (int id = 1; id <= 4; ++id) {
    SCOPED_TRACE(id);
    cButtonChild* title = list->header().columnButton(id);
    ASSERT_TRUE(title);
    EXPECT_FALSE(title->enabled());
    const int w = title->width(), h = title->height();
    ASSERT_GT(w, 0);
    ASSERT_GT(h, 0);
    cCrbOffscreenCanvas canvas;
    ASSERT_TRUE(canvas.create(w, h));
    sRect all{0, 0, w, h};
    canvas.drawRect(&all, 0x123456, 0x123456);
    title->processPaint(&canvas);
    cPicture shot;
    ASSERT_TRUE(canvas.snapshot(&shot, &all));
    auto colour = [&](int x, int y) {
      unsigned int p = shot.raw()[y * w + x];
      return (p & 0xFF) << 16 | (p & 0xFF00) | (p >> 16 & 0xFF);
    };
    for (int x = 0; x < w; ++x)
      for (int y : {0, h / 2 - 8, h - 1}) ASSERT_EQ(colour(x, y), 0xFFFFFFu) << x << "," << y;
    bool paleText = false;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) paleText = paleText || colour(x, y) == 0xB9AA9Cu;
    EXPECT_EQ(paleText, id != 4);
  }
}

}  // namespace

namespace {

// The boxes that name kept files leave the why to each file's line: a
// folder that could not be removed, or the store's kept copy, is never
// said to be kept as not the package's, and the copy is never to be
// deleted.
TEST(KeptTexts, EachBoxLeavesTheReasonToTheLinesItNames) {
  cWizTestWindow::useLanguage(eLangENG);
  cCiomLangData* reasons = cLibLang::gCiomLang.sections.find(cStringKey(kKeptReasonsSection, -1));
  const std::vector<sKeptFile> kept = {{"/home/u/Applications/app/lib", kKeptNotRemoved},
                                       {"/home/u/.zvk/install.damaged-1", kKeptStoreCopy}};
  const std::string lines = keptFilesText(kept, reasons, 2);
  EXPECT_EQ(
      lines,
      "/home/u/Applications/app/lib (it could not be removed)\n/home/u/.zvk/install.damaged-1 (the store "
      "of installed packages did not read whole: its bytes are kept in this file, and the store was "
      "written anew with what could be read)");
  for (const auto& [section, row] : {std::pair{"pkgm::unin", 12}, {"pkgm::unin", 23}, {"pkgm::fin", 14}}) {
    const std::string box = fillText(sectionText(section, row), lines.c_str());
    EXPECT_EQ(box.find("may not be"), std::string::npos) << box;
    EXPECT_NE(box.find("each for the reason beside it:\n" + lines), std::string::npos) << box;
  }
  // Deleting by hand is advised for files that may be the package's, never
  // for a copy of the store alone, which holds other packages' records.
  EXPECT_EQ(keptAdvice(kept, reasons), "\nDelete by hand those that belong to the package.");
  EXPECT_EQ(keptAdvice({kept[1]}, reasons), "");  // A "." step is recorded away, so only a record of an earlier build
  // holds one; ".." steps are what keep a file this build recorded.
  EXPECT_EQ(keptFilesText({{"/a/sub/../y.txt", kKeptOddPath}}, reasons, 1),
            "/a/sub/../y.txt (its path has \"..\" steps (or \".\" steps, as an earlier build recorded them) or does "
            "not start with \"/\")");
}

// A name that shows a character the eye cannot see, or one that breaks the
// line or turns the text around, would read as two files or as another: in
// every box that names kept files or the store, each name is one line as
// drawn, every such character seen as its escape.
TEST(KeptTexts, EachNameIsOneLineAsDrawnWithWhatShowsNothingSeen) {
  cWizTestWindow::useLanguage(eLangENG);
  cCiomLangData* reasons = cLibLang::gCiomLang.sections.find(cStringKey(kKeptReasonsSection, -1));
  cCrbOffscreenCanvas canvas;
  ASSERT_TRUE(canvas.create(2000, 400));
  ASSERT_TRUE(mkStdFont()->apply(&canvas));
  const auto linesDrawn = [&canvas](const std::string& text) {
    sSize one, all;
    canvas.drawTextWrapped(0, 0, 2000, 400, cCanvas::eAlignLeft, "/k", one, true, 1.2);
    canvas.drawTextWrapped(0, 0, 2000, 400, cCanvas::eAlignLeft, text.c_str(), all, true, 1.2);
    return one.cy > 0 ? (all.cy + one.cy / 2) / one.cy : -1;
  };
  const struct {
    std::string path, shown;
  } names[] = {
      {"/k/a\nb", "/k/a\\nb"},
      {"/k/a\r\n", "/k/a\\r\\n"},
      {"/k/a\tb\x1b[2J\x7f", "/k/a\\tb\\x1B[2J\\x7F"},
      {"/k/a\u0085b", "/k/a\\u0085b"},
      {"/k/a\u2028b\u2029c", "/k/a\\u2028b\\u2029c"},
      {"/k/x\u202Egpj.exe", "/k/x\\u202Egpj.exe"},
      {"/k/\u2066a\u2069\u200F", "/k/\\u2066a\\u2069\\u200F"},
      // What shows stays as it is.
      {"/k/\u00dcber caf\u00e9 \u2014 \u65e5\u672c \\n", "/k/\u00dcber caf\u00e9 \u2014 \u65e5\u672c \\n"},
  };
  for (const auto& n : names) {
    SCOPED_TRACE(n.shown);
    const std::string line = keptFilesText({{n.path, kKeptOddPath}}, reasons, 1);
    EXPECT_EQ(line, n.shown + " (" + sectionText(kKeptReasonsSection, kKeptOddPath) + ")");
    EXPECT_EQ(linesDrawn(line), 1);
    EXPECT_EQ(linesDrawn(cancelledText("Cancelled.", {{n.path, kKeptOddPath}}, reasons)), 2);
    EXPECT_EQ(storeTroubleText(n.path, reasons), n.shown);
  }
}

// A save target that cannot be made is refused before the download, in a
// box that names the file and gives the system's reason (a name too long
// for its file system is refused so too).
TEST(UpdateForm, ASaveTargetThatCannotBeMadeIsNamedWithItsReason) {
  ScratchDir dir;
  cWizTestWindow::useLanguage(eLangENG);
  cWizTestWindow::shown.clear();
  cSoftUpdateInfoForm::sUpdateInfoCtx info;
  info.downloadUrl.set("http://127.0.0.1:1/Foo.zip");
  cWizTestWindow window;
  cSoftUpdateInfoForm form(&info);
  window.bind(&form, 500, 450);
  const std::string path = dir.file("gone/Foo.zip");
  EXPECT_FALSE(form.installTo(path.c_str()));
  EXPECT_EQ(cWizTestWindow::shown,
            std::vector<std::string>{std::string(sectionText("pkgm::updi", 7)) + "\n" + path +
                                     ": No such file or directory"});
}

}  // namespace
