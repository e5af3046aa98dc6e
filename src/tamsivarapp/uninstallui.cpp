#include "tamsivarapp/uninstallui.h"

#include <string>

#include "base/stringkey.h"
#include "ciom/application.h"
#include "ciom/liblang.h"
#include "ciom/messageform.h"
#include "ciom/windowmaker.h"
#include "tamsivarapp/langsel.h"
#include "tamsivarapp/modes.h"

namespace {

constexpr unsigned int kTextColor = 0x655654;
constexpr unsigned int kWhite = 0xFFFFFF;
// So that the form is on screen before anything else happens.
constexpr int kShowFirstMs = 500;
constexpr int kBusyFileRow = 4;
constexpr int kFirstEndRow = 5;

// A form that went away before answering counts as No: nothing is removed
// on a question nobody saw.
class cFormHost : public cUninstallHost {
 public:
  explicit cFormHost(cUninstallInitUI* f) : form(f) {}
  bool applyLang(int lang) override {
    bool applied = false;
    return form->sendAction(new cUninstallInitUI::cApplyLangAction(lang, &applied)) && applied;
  }
  int chooseLang(sPkgUninstallContext&, int preset) override {
    int lang = preset;
    if (!form->sendAction(new cUninstallInitUI::cRespondLangAction(&lang))) return 10;
    return lang;
  }
  bool confirm(int row) override {
    bool yes = false;
    return form->sendAction(new cUninstallInitUI::cConfirmAction(&yes, row)) && yes;
  }
  bool askRelease(const char* path) override {
    bool giveUp = true;
    if (!form->sendAction(new cUninstallInitUI::cAskReleaseAction(&giveUp, path))) return true;
    return giveUp;
  }
  cUninstallInitUI* form;
};

}  // namespace

int cUninstallInitJob::job() {
  cJob::sleep(kShowFirstMs);
  cFormHost host(myForm);
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
  clientArea()->attach(&myStatus, 0, 0, 340, 16);
  myStatus.setColorSchema(kTextColor, kWhite, kWhite);
  myStatus.setText(string(1), cCanvas::eAlignCenter, false);
  if (!myJob.start()) end_modal(0);
}

void cUninstallInitUI::showEnd(int code) {
  const char* text = string(code + kFirstEndRow);
  if (!text) return;
  if (code == unDone || code == unDeregistered || code == unCancelled) {
    cMessageForm::infobox(this, text, nullptr);
  } else {
    cMessageForm::errorbox(this, text, nullptr);
  }
}

bool cUninstallInitUI::onAction(cChildElement* sender, cChildAction* a) {
  if (sender != this || !a) return cCustomForm::onAction(sender, a);
  switch (a->code) {
    case kJobEnded: {
      int code = static_cast<cProgressAction*>(a)->endCode;
      if (code >= unDone && code <= unCancelled) showEnd(code);
      end_modal(code == unDone ? 0 : 1);
      return true;
    }
    case kChooseLang: {
      int* lang = static_cast<cRespondLangAction*>(a)->lang;
      *lang = cLangSelectionForm::chooseLang(&myContext->langs, *lang, myContext->id.ptr, this);
      return true;
    }
    case kConfirm: {
      auto* ask = static_cast<cConfirmAction*>(a);
      *ask->yes = cMessageForm::confirmbox(this, string(ask->row), nullptr);
      return true;
    }
    case kAskRelease: {
      auto* ask = static_cast<cAskReleaseAction*>(a);
      if (!ask->giveUp) return true;
      if (!ask->path.ptr) {
        *ask->giveUp = true;
        return true;
      }
      // The path is outside data: it is put in place, never used as a format.
      std::string message = string(kBusyFileRow) ? string(kBusyFileRow) : "";
      size_t at = message.find("%s");
      if (at != std::string::npos) message.replace(at, 2, ask->path.ptr);
      *ask->giveUp = !cMessageForm::warnconfirmbox(this, message.c_str(), nullptr);
      return true;
    }
    case kApplyLang: {
      auto* apply = static_cast<cApplyLangAction*>(a);
      *apply->applied = cLibLang::applyLang(static_cast<eCIOMStdLangs>(apply->lang));
      return true;
    }
    default:
      return cCustomForm::onAction(sender, a);
  }
}

int uninstall(const char* packageId, void* parent) {
  if (!packageId || !*packageId) return 1;
  sPkgUninstallContext context;
  context.id.set(packageId);
  cCIApplication* app = cCIApplication::appRef();
  context.config = app ? app->config() : nullptr;
  return cUninstallInitUI::runUninstall(context, static_cast<cChildElement*>(parent));
}
