// What the wizard's end-to-end tests share: bundles made by "zvk make" from
// a small scenario, the Installer started as root or as nobody with a
// scratch HOME, and the way a user answers its boxes.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/tests/scratch_dir.h"
#include "e2e/xuser.h"

namespace wizard {

using tFiles = std::vector<std::pair<std::string, std::string>>;

struct sPackage {
  explicit sPackage(tFiles f) : files(std::move(f)) {}
  std::string codename = "demo", name = "Demo", version = "1.0", langs = "ENG";
  tFiles files;
  bool docs = false;  // welcome, readme needing acceptance and two run options besides the licence
  std::string more;  // further sections of the scenario
};

struct sLang {
  const char* code;  // in file names
  int row;           // on the language form
  const char* wizard;
  const char* chooser;
};

extern const sLang kEnglish, kRussian, kJapanese;

std::string randomText(size_t n, unsigned seed);
// Many small files: a copy that lasts long enough to act meanwhile, and
// whose progress shows ("a/f0"... then "late/last.txt").
tFiles manyFiles(int count, unsigned seed);
void writeText(const std::string& path, const std::string& text);
bool waitFor(const std::function<bool()>& done, int ms = static_cast<int>(e2e::kPatience.count()));
void pause(int ms);
void click(const std::string& window, int x, int y);
int windowHeight(const std::string& window);
// What the window manager's close box sends.
void closeBox(const std::string& window);
// The colour ("#RRGGBB") of one pixel of the window as the screen shows
// it; "" when it cannot be read.
std::string pixel(const std::string& window, int x, int y);
// A pixel only one page of the wizard shows, in every language: the target
// page's folder picture, the finish page's first run box.
struct sPagePixel {
  int x, y;
  const char* colour;
};
inline constexpr sPagePixel kTargetPage{234, 104, "#F5C457"}, kFinishRunBox{218, 191, "#3C809D"};
// The licence's or the readme's accept box, ticked.
inline constexpr sPagePixel kAcceptTicked{200, 377, "#6A9EB4"};
// The side list's mark of the current step, `step` rows down (the first 0).
sPagePixel currentStep(int step);
bool shows(const std::string& window, const sPagePixel& page);
// True once the wizard shows that page.
bool waitPage(const std::string& window, const sPagePixel& page);
// Ticks the page's accept box, then Return until the page goes; false
// when either never took.
bool acceptPage(const std::string& window);
// Return until the wizard no longer shows `page`: the next one may pass
// before it is seen, as the copy of a few files does.
bool leavePage(const std::string& window, const sPagePixel& page);
// Every file holds its bytes and no side file is left under `root`.
bool installed(const std::string& root, const tFiles& files);
bool anySideFile(const std::string& root);

// Root when the parameter is false, nobody when it is true.
class cWizardTest : public ::testing::TestWithParam<bool> {
 protected:
  ScratchDir dir;
  std::string home, shots;
  pid_t running = -1;
  int exitStatus = -1;  // of the last run that ended; -1 when it was killed
  bool photosAsNobody = false;  // the pages nobody alone reaches

  bool nobody() const { return GetParam(); }
  void SetUp() override;
  void TearDown() override;
  // A folder the Installer's user may write into.
  std::string folder(const std::string& name);
  // Makes the bundle and answers the path of its Installer.
  std::string make(const sPackage& p);
  // Starts the Installer; `wait` answers its exit status.
  void start(const std::string& installer);
  int wait(int ms = 60000);
  // True once the Installer has ended (its status in exitStatus).
  bool ended();
  // Browse, the folder typed into the chooser's path field, Enter to go
  // there and Enter to select it; the wizard's answer is the caller's.
  void browseTo(const std::string& wizard, const sLang& lang, const std::string& folder);
  // Ticks the licence's accept box and goes on.
  void acceptLicence(const std::string& wizard) { EXPECT_TRUE(acceptPage(wizard)) << "the licence was not accepted"; }
  // The answer to a box captioned `caption` (a pattern) that is neither
  // `form` nor among `known`; false when none came.
  bool answerBox(const std::string& form, const std::string& caption, const std::string& key,
                 const std::string& photo = {}, std::vector<std::string> known = {});
  // Waits for the page to be painted (slow under the sanitizers), then
  // photographs it as <shots>/instwiz-<name>.png.
  void shot(const std::string& window, const std::string& name, int paintMs = 1200);
  std::string record(const std::string& codename, const char* key);

  // The folder the wizard offers.
  std::string apps() const { return home + "/Applications"; }
  // The window of a package's wizard in English, past its licence.
  std::string window(const sPackage& p, bool licence = true);
  // Presses Enter until the Installer ends: presses before the finish page
  // are not heard while the copy runs.
  int closeFinish();
  // Installs the package through its English wizard into the offered folder.
  void installFresh(const sPackage& p);
  // Escape while the copy runs and Yes to the question, whose caption is
  // `caption` (a pattern).
  bool abortCopy(const std::string& wizard, const std::string& caption);
};

}  // namespace wizard
