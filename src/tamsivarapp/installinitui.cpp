#include "tamsivarapp/installinitui.h"

#include <string>

#include "base/stringkey.h"
#include "ciom/application.h"
#include "ciom/langids.h"
#include "ciom/liblang.h"
#include "ciom/messageform.h"
#include "ciom/windowmaker.h"
#include "tamsivarapp/installinit.h"
#include "tamsivarapp/instwiz.h"
#include "tamsivarapp/keptfiles.h"
#include "tamsivarapp/langsel.h"
#include "tamsivarapp/modes.h"
#include "tamsivarapp/statusform.h"
#include "tamsivarapp/textfill.h"

namespace {

// The line that says the job waits for another run of the package, and
// the button that gives the wait up.
constexpr int kWaitingRow = 13;
constexpr int kCancelRow = 14;
// The installation folder refused because a file system was mounted over
// it since it was made.
constexpr int kMountedOverRow = 16;
// A path of the package that is not absolute in the chosen language, and
// the two ways on: another language, or another package.
constexpr int kRelativePathRow = 17;
constexpr int kOtherLanguageRow = 19;
constexpr int kAskTheMakerRow = 20;
// The installation folder refused because the file system it was made on
// was unmounted since.
constexpr int kUnmountedRow = 18;

// The row that says why the folder was refused; `row` where no mount did.
int folderRow(const sPkgInstallContext& ctx, int row) {
  const int reason = ctx.kept.empty() ? 0 : ctx.kept.front().reason;
  return reason == kKeptMounted ? kMountedOverRow : reason == kKeptUnmounted ? kUnmountedRow : row;
}

class cFormHost : public cInstallInitHost {
 public:
  cFormHost(cInstallInitUI* f, const cJob& j) : form(f), job(j) {}
  void applyLang(int lang) override { form->sendAction(new cInstallInitUI::cApplyLangAction(lang)); }
  int chooseLang(sPkgInstallContext&, int preselected) override {
    int lang = preselected;
    if (!form->sendAction(new cInstallInitUI::cRespondLangAction(&lang))) return kNoLangChosen;
    return lang;
  }
  // The job waits on its own thread, the form painting meanwhile.
  bool waitForOtherRun() override {
    if (!told) form->notifyWaiting();
    told = true;
    return !job.haveToStop();
  }
  cInstallInitUI* form;
  const cJob& job;
  bool told = false;
};

}  // namespace

int cInstallInitJob::job() {
  cJob::sleep(kShowFirstMs);
  cFormHost host(myForm, *this);
  cCIApplication* app = cCIApplication::appRef();
  return runInstallInit(*myContext, app ? app->config() : nullptr, host);
}

void cInstallInitJob::onJobEnd(unsigned long code) { myForm->notifyEnd(static_cast<int>(code)); }

std::string relativePathWords(const sPkgInstallContext& ctx, cCiomLangData* texts) {
  const auto row = [texts](int i) {
    const char* t = texts ? texts->string(i) : nullptr;
    return t ? t : "%s";
  };
  std::string others;
  for (const int lang : ctx.installableLangs) {
    const char* name = ciLangName(lang);
    if (!name) continue;
    if (!others.empty()) others += ", ";
    others += name;
  }
  const std::string way = others.empty() ? row(kAskTheMakerRow) : fillText(row(kOtherLanguageRow), others.c_str());
  const char* chosen = ctx.scenario ? ciLangName(ctx.scenario->currLangID()) : nullptr;
  const std::string path = visibleText(ctx.problemPath.ptr ? ctx.problemPath.ptr : "");
  return fillTexts(row(kRelativePathRow), {chosen ? chosen : "", path.c_str(), way.c_str()});
}

bool cInstallInitUI::runLoadScen(sPkgInstallContext& context) {
  cCiomLangData* section = cLibLang::gCiomLang.sections.find(cStringKey("pkgm::iini", -1));
  cCIApplication* app = cCIApplication::appRef();
  if (!section || !app || !app->windowMaker()) return false;
  auto* form = new cInstallInitUI(&context);
  return app->windowMaker()->modal(section->string(0), 350, 110, form, nullptr, false) == 1;
}

void cInstallInitUI::onConstruct() {
  cCustomForm::onConstruct();
  attachStatusLine(*this, myLoading, string(1));
  myWait.attach(*this);
  if (!myJob.start()) end_modal(0);
}

void cInstallInitUI::showEnd(int code) {
  // Rows 0 and 1 are the caption and the loading line: the two package
  // failures move up by one, the other codes name their own row.
  // A store a home by the working folder would place is no store: the
  // reason is the user's language's.
  const std::string path = visibleText(myContext->problemPath.ptr ? myContext->problemPath.ptr : "");
  const std::string problem =
      code == iiStoreUnread && myContext->problemPath.ptr
          ? storeTroubleText(myContext->problemPath.ptr, requestNamedLangResource(kKeptReasonsSection))
          : path;
  const int row = code <= 2 ? code + 1 : code == iiForeignFile ? folderRow(*myContext, code) : code;
  std::string message = code == iiRelativePath ? relativePathWords(*myContext, requestNamedLangResource("pkgm::iini"))
                                               : fillText(string(row), problem.c_str());
  // The damaged-package and damaged-record words hold no place for the
  // path: it follows their first line, so the user still learns which
  // file it was (and, for a record, the package's folder).
  if ((code == iiBadPackage || code == iiRecordDamaged) && myContext->problemPath.ptr) {
    const size_t line = message.find('\n');
    message.insert(line == std::string::npos ? message.size() : line, "\n" + path);
  }
  if (code == 4 || code == 12) {
    cMessageForm::infobox(this, message.c_str(), nullptr);
  } else if (code != 3) {
    cMessageForm::errorbox(this, message.c_str(), nullptr);
  }
}

bool cInstallInitUI::onFormCancel() {
  if (!myWait.waiting()) return false;
  myJob.stop();
  return true;
}

bool cInstallInitUI::onClose() {
  onFormCancel();
  return !myJob.runs();
}

bool cInstallInitUI::onAction(cChildElement* sender, cChildAction* a) {
  if (myWait.pressed(sender, a)) return onFormCancel();
  if (sender != this || !a) return cCustomForm::onAction(sender, a);
  switch (a->code) {
    case kJobEnded: {
      int code = static_cast<cProgressAction*>(a)->endCode;
      // The wait the user closed the form on.
      if (code == iiPackageBusy) {
        end_modal(0);
        return true;
      }
      // Other codes (an exception in the job) leave the form for the user
      // to close.
      if (code < 0 || (code > 12 && code != iiStoreUnread && code != iiRelativePath)) return true;
      if (code != 0) showEnd(code);
      end_modal(code == 0 ? 1 : 0);
      return true;
    }
    case kChooseLang: {
      int* lang = static_cast<cRespondLangAction*>(a)->lang;
      *lang = cLangSelectionForm::chooseLang(&myContext->langs, *lang, myContext->codename.ptr, this);
      return true;
    }
    case kApplyLang:
      cLibLang::applyLang(static_cast<eCIOMStdLangs>(static_cast<cApplyLangAction*>(a)->lang));
      return true;
    case kWaiting:
      myWait.begin(myLoading, string(kWaitingRow), string(kCancelRow));
      return true;
    default:
      return cCustomForm::onAction(sender, a);
  }
}

int install(const char* program, const char* package, unsigned int offset) {
  sPkgInstallContext context;
  context.program.set(program);
  context.package.set(package);
  context.offset = offset;
  if (!cInstallInitUI::runLoadScen(context)) return 1;
  return cInstWizard::runWizard(context);
}
