// The ready-made way to run one background job with a progress display: a
// bar with a Stop button at its right end and a status line with the stage,
// the percentage and the times. The form is modal and ends with the job's
// result; the element embeds in another form and tells its parent the end.
// The unknown-progress variants move the bar along a curve that never
// reaches the end.
//
// The job reports from its own thread. The bar takes positions from any
// thread, but an element's text belongs to the main thread, so the status
// line travels there as a posted action.
#pragma once

#include <string>

#include "base/job.h"
#include "base/progress.h"
#include "ciom/customform.h"
#include "ciom/pictureslist.h"
#include "ciom/progress.h"
#include "ciom/progressreport.h"
#include "ciom/staticelement.h"
#include "ciom/toolbar.h"

// Feeds a sink (2 / pi) x atan(t) percent every 400 ms, t growing by 0.1.
class cUnknownProgressFakeJob : public cJob {
 public:
  cUnknownProgressFakeJob() : cJob(nullptr) {}
  ~cUnknownProgressFakeJob() override { terminate(); }
  void reset() { myT = 0; }
  int job() override;
  // Set before the job starts.
  cProgressNotifyTarget* sink = nullptr;

 private:
  std::atomic<double> myT{0};
};

// The parts the form and the element both show, and the status handoff.
class cProgressParts {
 public:
  enum { idStop = 1, acStatusText = 12 };
  // The job's end code, told by the form to itself and by the element to
  // its parent.
  class cProgressAction : public cChildElement::cChildAction {
   public:
    unsigned long value;
    cProgressAction(int code, unsigned long v) : cChildAction(code), value(v) {}
  };
  class cStatusTextAction : public cChildElement::cChildAction {
   public:
    std::string text;
    explicit cStatusTextAction(std::string t) : cChildAction(acStatusText), text(std::move(t)) {}
  };

  cProgressChild bar;
  cToolBarChild buttons;
  cStaticElement status;
  cProgressReport report;
  // The first status line, kept for a job thread to post.
  std::string starting;

  // Reads the section's texts (main thread) and dresses the status line.
  void prepare(cChildElement* owner, cPicturesList& images);
  // The job thread's report: the bar moves at once, the text is posted.
  bool progress(cChildElement* owner, cJob* job, double percent);
  void stage(int stage);
  // True when `a` was a status text for `owner`, now shown.
  bool takeStatus(cChildElement* owner, cChildElement* sender, cChildElement::cChildAction* a);
  static bool isStop(cChildElement* sender, cToolBarChild* from, cChildElement::cChildAction* a);
  static void fillImages(cPicturesList& images);
};

class cStdBasicProgressForm : public cCustomForm, public cJob, public cProgressNotifyTarget {
 public:
  enum { acJobDone = 7 };
  using cProgressAction = cProgressParts::cProgressAction;

  static cPicturesList myToolImages;

  // The job's end code, or 0 when the form was cancelled with no job
  // running; 0 without a parent or form (the form is deleted then).
  static int runUIJob(cChildElement* parent, cStdBasicProgressForm* form, const char* title);
  int runUIJob(cChildElement* parent, const char* title);

  cStdBasicProgressForm() : cJob(nullptr) {}
  // A subclass whose job uses its own members stops the job in its own
  // destructor; this one only makes sure no thread outlives the form.
  ~cStdBasicProgressForm() override;

  void setStageName(int stage, const char* name) { myParts.report.setStageName(stage, name); }
  bool notifyProgress(double percent) override;
  void notifyStage(int stage) override;
  void onJobEnd(unsigned long code) override;

  const char* wantLangResource() override { return "ciom::progress"; }
  bool onFormCancel() override;
  void onConstruct() override;
  bool onClose() override;
  bool onAction(cChildElement* sender, cChildAction* a) override;

  cStaticElement& statusLine() { return myParts.status; }
  cProgressChild& bar() { return myParts.bar; }
  cToolBarChild* buttons() { return &myParts.buttons; }

 protected:
  cProgressParts myParts;
};

class cStdBasicProgressChild : public cChildElement, public cJob, public cProgressNotifyTarget {
 public:
  enum { acJobDone = 6 };
  using cProgressAction = cProgressParts::cProgressAction;

  static cPicturesList myToolImages;

  static bool runUIJob(cStdBasicProgressChild* child, const char* title);
  bool runUIJob(const char* title);

  cStdBasicProgressChild() : cJob(nullptr) {}
  ~cStdBasicProgressChild() override;

  void setStageName(int stage, const char* name) { myParts.report.setStageName(stage, name); }
  bool notifyProgress(double percent) override;
  void notifyStage(int stage) override;
  void onJobEnd(unsigned long code) override;

  const char* wantLangResource() override { return "ciom::progress"; }
  void onInitData() override;
  bool onClose() override;
  bool onAction(cChildElement* sender, cChildAction* a) override;

  cStaticElement& statusLine() { return myParts.status; }
  cProgressChild& bar() { return myParts.bar; }
  cToolBarChild* buttons() { return &myParts.buttons; }

 protected:
  cProgressParts myParts;
  bool myMeasurable = true;
};

class cStdUnknownProgressForm : public cStdBasicProgressForm {
 public:
  ~cStdUnknownProgressForm() override { myFake.terminate(); }
  void onConstruct() override;
  // The fake job calls into the form; it is over before the modal run ends,
  // so it never meets a form being destroyed.
  bool onFormCancel() override;
  bool onAction(cChildElement* sender, cChildAction* a) override;

 private:
  cUnknownProgressFakeJob myFake;
};

class cStdUnknownProgressChild : public cStdBasicProgressChild {
 public:
  ~cStdUnknownProgressChild() override { myFake.terminate(); }
  void onInitData() override;
  void onJobStart() override;
  void onJobEnd(unsigned long code) override;
  void notifyStage(int stage) override;

 private:
  cUnknownProgressFakeJob myFake;
};
