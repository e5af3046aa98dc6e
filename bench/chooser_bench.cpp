// The file chooser in a real window over a folder of 150,000 files: the
// time from asking for the folder to the first paint of its rows, and one
// click on the Size title until the re-sorted rows are painted; against
// `ls -l` of the same folder in this run. Needs an X display (xvfb-run
// works).
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "ciom/ciomlangs.h"
#include "ciom/customform.h"
#include "ciom/filechoosedialog.h"
#include "ciplatform/nswmaker.h"
#include "ls_peer.h"

namespace {

constexpr int kEntries = 150000, kRuns = 3, kSizeColumn = 4;
using tClock = std::chrono::steady_clock;

double msBetween(tClock::time_point a, tClock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

// The processor time of the calling thread: the sort and its paint run on
// the main thread, so this leaves out what the machine's load adds.
double threadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

bool makeFolder(const std::string& dir, int entries) {
  std::filesystem::create_directories(dir);
  for (int i = 0; i < entries; ++i) {
    // Names in no sorted order, of a few lengths, and sizes that differ.
    const unsigned int h = static_cast<unsigned int>(i) * 2654435761u;
    const std::string name = dir + "/f" + std::to_string(h % 1000003) + "_" + std::to_string(i) + ".dat";
    const int fd = ::open(name.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0) return false;
    const bool sized = ftruncate(fd, static_cast<off_t>(h % 100000)) == 0;
    ::close(fd);
    if (!sized) return false;
  }
  return true;
}

// A one-pixel element inside the list: the list paints it after its own
// rows, so its paint marks rows on the screen.
class cPaintMark : public cChildElement {
 public:
  std::function<void()> painted;
  void onPaint(cCanvas*) override {
    if (painted) painted();
  }
};

// Shown under the name row; once live it plays the user's requests in turn,
// each started by a posted action and finished by the paint it waits for.
class cPlayer : public cFileChooseDialog::cCustomElement {
 public:
  std::string big, small;
  double openMs = 1e300, sortMs = 1e300, sortCpuMs = 1e300;
  int customHeight() override { return 4; }

  void onInitData() override {
    cCustomElement::onInitData();
    postAction(new cChildAction(kStep));
  }

  bool onAction(cChildElement* sender, cChildAction* a) override {
    if (sender != this || !a || a->code != kStep) return cCustomElement::onAction(sender, a);
    if (!myDialog) {
      for (cChildElement* p = parent(); p && !myDialog; p = p->parent())
        myDialog = dynamic_cast<cFileChooseDialog*>(p);
      if (!myDialog) return true;
      myDialog->list().attach(&myMark, 3, 40, 1, 1, cptFixedXY);
      myMark.painted = [this] { onMarkPainted(); };
      myWait = wSmall;
      myDialog->list().repaint(nullptr);
      return true;
    }
    step();
    return true;
  }

 private:
  enum { kStep = 1000 };
  enum eWait { wNone, wSmall, wBig, wSort };

  bool listed(bool wantBig) {
    if (myDialog->navigation().naviMode() != cNavigationChild::nmNormal) return false;
    const int rows = myDialog->list().getRowCount();
    return wantBig ? rows >= kEntries : rows > 0 && rows < kEntries;
  }

  // Big and small folders in turn, ending on the big one; then the clicks.
  void step() {
    myStart = tClock::now();
    myStartCpu = threadCpuMs();
    if (myAsks < 2 * kRuns - 1) {
      const bool wantBig = myAsks++ % 2 == 0;
      myWait = wantBig ? wBig : wSmall;
      myDialog->ls(wantBig ? big.c_str() : small.c_str());
    } else if (mySorts < kRuns) {
      ++mySorts;
      myWait = wSort;
      cHeaderChild::cColumnClickAction click(kSizeColumn);
      myDialog->list().onAction(&myDialog->list().header(), &click);
    } else {
      myDialog->list().dettach(&myMark);
      myDialog->onFormCancel();
    }
  }

  void onMarkPainted() {
    const double ms = msBetween(myStart, tClock::now());
    switch (myWait) {
      case wSmall:
        if (!listed(false)) return;
        break;
      case wBig:
        if (!listed(true)) return;
        openMs = std::min(openMs, ms);
        break;
      case wSort:
        sortMs = std::min(sortMs, ms);
        sortCpuMs = std::min(sortCpuMs, threadCpuMs() - myStartCpu);
        break;
      default: return;
    }
    myWait = wNone;
    postAction(new cChildAction(kStep));
  }

  cFileChooseDialog* myDialog = nullptr;
  cPaintMark myMark;
  eWait myWait = wNone;
  int myAsks = 0, mySorts = 0;
  tClock::time_point myStart;
  double myStartCpu = 0;
};

class cHost : public cCustomForm {
 public:
  cPlayer* player = nullptr;
  bool onAfterConstruct() override {
    cFileChooseDialog::sFileChooseInfo info;
    info.folder.set(player->small.c_str());
    info.customElement = player;
    cFileChooseDialog::open(this, "chooser bench", info);
    end_modal(1);
    return true;
  }
};

}  // namespace

int main() {
  char pattern[] = "/tmp/chooser_bench.XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::string root = pattern;
  cPlayer player;
  player.big = root + "/big";
  player.small = root + "/small";
  if (!makeFolder(player.big, kEntries) || !makeFolder(player.small, 20)) {
    std::fprintf(stderr, "cannot fill %s\n", root.c_str());
    std::filesystem::remove_all(root);
    return 1;
  }
  double ls = 1e300;
  for (int i = 0; i < kRuns; ++i) ls = std::min(ls, bench::lsMs(player.big));

  cCIOMLang* texts = new cCIOMLang;
  cLibLang::ref(texts);
  cLibLang::applyLang(eLangENG);
  cNSWMaker maker;
  bool shown = maker.create(nullptr, nullptr, 0);
  if (shown) {
    maker.langStore = &cLibLang::gCiomLang;
    auto* host = new cHost;
    host->player = &player;
    shown = maker.modal("chooser bench host", 600, 500, host, nullptr, false) == 1;
  }
  std::filesystem::remove_all(root);
  if (!shown || ls <= 0 || player.openMs > 1e299 || player.sortMs > 1e299) {
    std::fprintf(stderr, shown ? "a step did not finish\n" : "no X display\n");
    return 1;
  }
  std::printf("ls -l of %d files: %.1f ms\n", kEntries, ls);
  std::printf("chooser: asked for the folder to its first painted rows: %.1f ms\n", player.openMs);
  std::printf("chooser: Size title click to the re-sorted rows painted: %.1f ms (main thread cpu %.1f ms)\n",
              player.sortMs, player.sortCpuMs);
  std::printf("ratio chooser/ls-l time: %.3f\n", player.openMs / ls);
  return 0;
}
