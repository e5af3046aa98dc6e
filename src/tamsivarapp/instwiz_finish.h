// The wizard's last step: the installer job's outcome, the files of the
// previous version an upgrade kept and, after a success, one check box per
// command the package offers to run once the wizard closes.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "base/guardchar.h"
#include "base/list.h"
#include "ciom/checkbox.h"
#include "ciom/panel.h"
#include "ciom/staticelement.h"
#include "tamsivarapp/installctx.h"
#include "tamsivarapp/runoption.h"

// The page's message: its own text, wrapped, in the colour held as its
// default background colour, on white.
class cErrorDispl : public cChildElement {
 public:
  void onPaint(cCanvas* c) override;
  bool wantDoubleBuffer() override { return true; }
};

class cFinishPanel : public cPanelChild {
 public:
  static constexpr unsigned int kTextColor = 0x655654;
  static constexpr unsigned int kErrorColor = 0x4040A0;
  // After an upgrade that kept files of the previous version: the most
  // files named one by one, and the run boxes' step, closer than usual to
  // leave the message room.
  static constexpr size_t kKeptShown = 3;
  static constexpr int kKeptBoxStep = 20;

  struct sActions {
    cCheckBoxChild box;
    _guardchar<char> command;
  };

  // Where a checked box's command goes; tests put their own here.
  static tRunOptionStarter runCommand;

  ~cFinishPanel() override;
  const char* wantLangResource() override { return "pkgm::fin"; }
  void onInitData() override;
  // Refills the page from the context's result; called each time the step
  // is shown.
  void init(sPkgInstallContext* ctx);
  // Starts the commands whose boxes are checked, in order; empty when each
  // started, else what tells of those that did not.
  std::string finalize();

  cStaticElement& title() { return myTitle; }
  cErrorDispl& message() { return myMessage; }
  _List<sActions>& runBoxes() { return myActions; }

 private:
  void dropRunBoxes();
  // How many of the package's run boxes the page holds.
  int runBoxesShown(sPkgInstallContext* ctx);
  void addRunBoxes(sPkgInstallContext* ctx, int count, int y, int step);
  // The message naming the kept files, fitted to a w by h box.
  // Puts the list of kept files, and the fitter of paths, into the whole
  // message.
  using tComposer = std::function<std::string(const std::string& list, const KeptPathWriter& fit)>;
  std::string keptMessage(const std::vector<sKeptFile>& kept, int w, int h, const tComposer& compose);

  cStaticElement myTitle;
  cErrorDispl myMessage;
  _List<sActions> myActions;
};
