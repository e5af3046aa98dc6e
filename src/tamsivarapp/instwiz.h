// The window a package is installed with: a fixed-size form over the
// wizard's artwork, the steps on the left, the current step's heading on
// top, one page at a time and a single "Next" button. The steps are built
// once from the scenario and the previous installation; two of them run
// jobs (removal of superseded packages, the installation), and while one
// runs the wizard neither changes its page, nor goes on, nor closes.
#pragma once

#include "cihlpdoc/sidocviewer.h"
#include "ciom/checkbox.h"
#include "ciom/listview.h"
#include "ciom/picture.h"
#include "ciom/pictureslist.h"
#include "tamsivarapp/cistd.h"
#include "tamsivarapp/installctx.h"
#include "tamsivarapp/installerpanel.h"
#include "tamsivarapp/instwiz_filesel.h"
#include "tamsivarapp/instwiz_finish.h"
#include "tamsivarapp/uninstallerpanel.h"

class cInstWizard : public cChildElement {
 public:
  enum eStepKind : int { skWelcome, skReadme, skLicence, skDeprecated, skTarget, skInstall, skFinish };
  static constexpr int kMaxSteps = 7;
  static constexpr int kWidth = 636, kHeight = 443;
  // The side panel's geometry.
  static constexpr int kSideLeft = 25, kSideTop = 85, kSideRow = 22;
  // A label's box reaches the page card; 140 cut the longest English label
  // in the current step's bold font.
  static constexpr int kLabelX = 50, kLabelW = 144;
  // How long the step change that answers a job's end waits for its thread.
  static constexpr int kJobEndWaitMs = 5000;

  struct sStep {
    int kind = 0;
    int heading = 0;  // rows of the wizard's texts
    int label = 0;
    int right = 0;  // the end of the entry's hot area on the side panel
  };

  static cPicture myPictBg;
  static cPicturesList myPictPoints;

  // Runs the wizard modally over the context: 0 once an installation that
  // succeeded is closed from its last step, 1 for anything else.
  static int runWizard(sPkgInstallContext& ctx);
  // Decodes the shared pictures once; false when the background cannot be
  // decoded.
  static bool loadPictures();

  // `outcome` (may be null) receives the exit status when the window ends.
  cInstWizard(sPkgInstallContext* ctx, int* outcome) : myContext(ctx), myOutcome(outcome) {}
  ~cInstWizard() override;

  const char* wantLangResource() override { return "pkgm::instw"; }
  bool wantDoubleBuffer() override { return true; }
  void onConstruct() override;
  void setStep(int i);
  void onFormAccept();
  void onFormCancel();
  bool onClose() override;
  bool onAction(cChildElement* sender, cChildAction* a) override;
  void onPaint(cCanvas* c) override;
  bool onBackgroundRequest(cCanvas* c, sRect* r) override;
  void onMouseButton(int x, int y, int button, bool pressed) override;
  void onMouseMoving(int x, int y) override;
  bool processKey(int key, bool shift, bool ctrl, bool alt) override;
  // The side-panel entry under the point that may be clicked, or -1.
  int active(int x, int y);

  int numSteps() const { return myNumSteps; }
  int current() const { return myCurrent; }
  int currentKind() const { return myCurrent >= 0 ? mySteps[myCurrent].kind : -1; }
  const sStep& step(int i) const { return mySteps[i]; }
  cWZIButton& nextButton() { return myNext; }
  cCheckBoxChild& readmeAccept() { return myReadmeAccept; }
  cCheckBoxChild& licenceAccept() { return myLicenceAccept; }
  cListViewChild& deprecatedList() { return myDeprecated; }
  cSoftUninstallerPanel& uninstallerPanel() { return myUninstaller; }
  cFileSelectPanel& targetPage() { return myTarget; }
  cInstallerJobPanel& installerPanel() { return myInstaller; }
  cFinishPanel& finishPage() { return myFinish; }

 private:
  bool jobRuns() { return myUninstaller.runs() || myInstaller.runs(); }
  void addStep(int kind, int label, int heading);
  void attachPage(cChildElement* page);
  void attachAcceptBox(cCheckBoxChild& box, int text);
  void hidePages();
  // Shows step i's page; false when the step is passed over.
  bool showStep(int i);
  void fillDeprecated();
  void acceptDeprecated();
  void startRemoval();
  void onRemovalEnd();
  void finish();

  cSiDocViewer myWelcome;
  cSiDocViewer myReadme;
  cCheckBoxChild myReadmeAccept;
  cSiDocViewer myLicence;
  cCheckBoxChild myLicenceAccept;
  cListViewChild myDeprecated;
  cSoftUninstallerPanel myUninstaller;
  cFileSelectPanel myTarget;
  cInstallerJobPanel myInstaller;
  cFinishPanel myFinish;
  cWZIButton myNext;
  int mySideLeft = kSideLeft, mySideTop = kSideTop, mySideBottom = kSideTop;
  int myPressed = -1;
  sStep mySteps[kMaxSteps];
  sPkgInstallContext* myContext;
  int* myOutcome;
  int myNumSteps = 0;
  int myCurrent = -1;
  cFontObject* myTitleFont = nullptr;
  cFontObject* myCurrentFont = nullptr;
  cFontObject* myOtherFont = nullptr;
};
