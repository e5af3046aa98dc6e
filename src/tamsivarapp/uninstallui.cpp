#include "tamsivarapp/uninstallui.h"

#include <string>
#include <utility>

#include "base/stringkey.h"
#include "ciom/application.h"
#include "ciom/liblang.h"
#include "ciom/messageform.h"
#include "ciom/windowmaker.h"
#include "tamsivarapp/langsel.h"
#include "tamsivarapp/modes.h"
#include "tamsivarapp/textfill.h"

namespace {

constexpr int kBusyFileRow = 4;
constexpr int kFirstEndRow = 5;
constexpr int kRecordUnsavedRow = 17;
constexpr int kRecordKeptRow = 23;
constexpr int kWaitingRow = 26;
constexpr int kStoreWaitingRow = 36;
constexpr int kCancelRow = 29;
constexpr int kStoreUnreadRow = 30;
constexpr int kRecordDamagedRow = 31;
constexpr int kRecordUnversionedRow = 33;
constexpr int kRecordUnfoundedRow = 38;
constexpr int kRecordMaybeLostRow = 41;
// Kept files the box names one by one; a longer box would leave the screen.
constexpr size_t kKeptInBox = 20;

class cFormHost : public cUninstallHost {
 public:
  cFormHost(cUninstallInitUI* f, const cJob& j) : form(f), job(j) {}
  bool applyLang(int lang) override {
    bool applied = false;
    return askApplyLang(*form, new cApplyLangAction(cUninstallInitUI::kApplyLang, lang, &applied));
  }
  int chooseLang(sPkgUninstallContext&, int preset) override {
    int lang = preset;
    if (!form->sendAction(new cUninstallInitUI::cRespondLangAction(&lang))) return 10;
    return lang;
  }
  bool confirm(int row) override {
    bool yes = false;
    return askYesNo(*form, new cUninstallInitUI::cConfirmAction(&yes, row));
  }
  bool askRelease(const char* path) override {
    bool giveUp = true;
    if (!form->sendAction(new cUninstallInitUI::cAskReleaseAction(&giveUp, path))) return true;
    return giveUp;
  }
  // The job waits on its own thread, the form painting meanwhile and
  // saying what it waits for, anew when that changes.
  bool waitForOtherRun(eHeld held) override {
    if (!told || held != toldHeld) form->notifyWaiting(held);
    told = true;
    toldHeld = held;
    return !job.haveToStop();
  }
  // Before anything is asked: a question must not stand over what the
  // record held before the other run changed it.
  void holdsPackage() override {
    if (told) form->sendAction(new cChildElement::cSentChildAction(cUninstallInitUI::kHeld));
  }
  cUninstallInitUI* form;
  const cJob& job;
  eHeld toldHeld = hPackage;
  bool told = false;
};

// Paths are outside data: they are put in place, never used as a format.
std::string filledIn(const char* row, const std::string& value) {
  std::string message = row ? row : "";
  size_t at = message.find("%s");
  if (at != std::string::npos) message.replace(at, 2, value);
  return message;
}

}  // namespace

int cUninstallInitJob::job() {
  cJob::sleep(kShowFirstMs);
  cFormHost host(myForm, *this);
  try {
    return runUninstall(*myContext, host);
  } catch (...) {
    return -1;
  }
}

void cUninstallInitJob::onJobEnd(unsigned long code) {
  myForm->postAction(new cUninstallInitUI::cProgressAction(static_cast<int>(code)));
}

int cUninstallInitUI::runUninstall(sPkgUninstallContext& context, cChildElement* parent) {
  cCiomLangData* section = cLibLang::gCiomLang.sections.find(cStringKey("pkgm::unin", -1));
  cCIApplication* app = cCIApplication::appRef();
  if (!section) return 0;
  auto* form = new cUninstallInitUI(&context);
  if (parent) return parent->modal(section->string(0), 350, 110, form, false);
  if (!app || !app->windowMaker()) {
    delete form;
    return 1;
  }
  return app->windowMaker()->modal(section->string(0), 350, 110, form, nullptr, false);
}

void cUninstallInitUI::onConstruct() {
  cCustomForm::onConstruct();
  attachStatusLine(*this, myStatus, string(1));
  myWait.attach(*this);
  if (!myJob.start()) end_modal(0);
}

std::string cancelledText(const char* cancelled, const std::vector<sKeptFile>& kept, cCiomLangData* reasons) {
  return std::string(cancelled) + "\n" + keptFilesText(kept, reasons, kKeptInBox);
}

void cUninstallInitUI::showEnd(int code) {
  const char* text = string(code == unRecordUnsaved   ? kRecordUnsavedRow
                            : code == unRecordKept    ? kRecordKeptRow
                            : code == unStoreUnread   ? kStoreUnreadRow
                            : code == unRecordDamaged ? kRecordDamagedRow
                            : code == unRecordUnversioned ? kRecordUnversionedRow
                            : code == unRecordUnfounded   ? kRecordUnfoundedRow
                                                          : code + kFirstEndRow);
  if (!text) return;
  if (code == unRecordUnfounded) {
    cCiomLangData* reasons = requestNamedLangResource(kKeptReasonsSection);
    const std::string listed = myContext->storeTrouble + "\n" + keptFilesText(myContext->kept, reasons, kKeptInBox);
    cMessageForm::errorbox(this, (filledIn(text, listed) + keptAdvice(myContext->kept, reasons)).c_str(), nullptr);
    return;
  }
  if (code == unNotInstalled && !myContext->kept.empty()) {
    cCiomLangData* reasons = requestNamedLangResource(kKeptReasonsSection);
    const char* lost = string(kRecordMaybeLostRow);
    cMessageForm::errorbox(this, (std::string(text) + "\n" + (lost ? lost : "") + "\n" +
                                  keptFilesText(myContext->kept, reasons, kKeptInBox)).c_str(), nullptr);
    return;
  }
  if (code == unStoreUnread || code == unRecordDamaged || code == unRecordUnversioned) {
    cMessageForm::errorbox(this, filledIn(text, visibleText(myContext->storeTrouble)).c_str(), nullptr);
    return;
  }
  if (code == unRecordUnsaved) {
    cMessageForm::errorbox(this, filledIn(text, storeTroubleText(myContext->storeTrouble, requestNamedLangResource(kKeptReasonsSection))).c_str(), nullptr);
    return;
  }
  if (code == unKept || code == unRecordKept) {
    cCiomLangData* reasons = requestNamedLangResource(kKeptReasonsSection);
    const std::string files = keptFilesText(myContext->kept, reasons, kKeptInBox);
    // A record that stays tells why in its own closing line.
    const std::string advice = code == unKept ? keptAdvice(myContext->kept, reasons) : std::string();
    cMessageForm::warningbox(this, (filledIn(text, files) + advice).c_str(), nullptr);
    return;
  }
  // Given up on a busy file, the backups a link cut off from their paths
  // stay where they are: the box names them below the cancellation.
  if (code == unCancelled && !myContext->kept.empty()) {
    cMessageForm::warningbox(this, cancelledText(text, myContext->kept, requestNamedLangResource(kKeptReasonsSection)).c_str(), nullptr);
    return;
  }
  if (code == unDone || code == unDeregistered || code == unCancelled) {
    cMessageForm::infobox(this, text, nullptr);
  } else {
    cMessageForm::errorbox(this, text, nullptr);
  }
}

bool cUninstallInitUI::onFormCancel() {
  if (!myWait.waiting()) return false;
  myJob.stop();
  return true;
}

bool cUninstallInitUI::onClose() {
  onFormCancel();
  return !myJob.runs();
}

bool cUninstallInitUI::onAction(cChildElement* sender, cChildAction* a) {
  if (myWait.pressed(sender, a)) return onFormCancel();
  if (sender != this || !a) return cCustomForm::onAction(sender, a);
  switch (a->code) {
    case kJobEnded: {
      int code = static_cast<cProgressAction*>(a)->endCode;
      if (code >= unDone && code <= unRecordUnfounded) showEnd(code);
      end_modal(code == unDone ? 0 : 1);
      return true;
    }
    case kChooseLang: {
      int* lang = static_cast<cRespondLangAction*>(a)->lang;
      *lang = cLangSelectionForm::chooseLang(&myContext->langs, *lang, myContext->id.ptr, this, kUninstallLangRows);
      return true;
    }
    case kConfirm:
      static_cast<cConfirmAction*>(a)->answer(*this);
      return true;
    case kAskRelease: {
      auto* ask = static_cast<cAskReleaseAction*>(a);
      if (!ask->giveUp) return true;
      if (!ask->path.ptr) {
        *ask->giveUp = true;
        return true;
      }
      const std::string path = visibleText(ask->path.ptr);
      *ask->giveUp = !cMessageForm::warnconfirmbox(this, filledIn(string(kBusyFileRow), path).c_str(), nullptr);
      return true;
    }
    case kApplyLang:
      static_cast<cApplyLangAction*>(a)->answer();
      return true;
    case kHeld:
      if (myContext->afterWait) myContext->afterWait();
      return true;
    case kWaiting:
      myWait.begin(myStatus,
                   string(static_cast<cWaitingAction*>(a)->held == cUninstallHost::hStore ? kStoreWaitingRow
                                                                                          : kWaitingRow),
                   string(kCancelRow));
      return true;
    default:
      return cCustomForm::onAction(sender, a);
  }
}

int uninstall(const char* packageId, void* parent, std::function<void()> afterWait) {
  if (!packageId || !*packageId) return 1;
  sPkgUninstallContext context;
  context.id.set(packageId);
  context.afterWait = std::move(afterWait);
  cCIApplication* app = cCIApplication::appRef();
  context.config = app ? app->config() : nullptr;
  return cUninstallInitUI::runUninstall(context, static_cast<cChildElement*>(parent));
}
