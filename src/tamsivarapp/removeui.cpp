#include "tamsivarapp/removeui.h"

#include "base/stringkey.h"
#include "ciom/application.h"
#include "ciom/liblang.h"
#include "ciom/messageform.h"
#include "ciom/windowmaker.h"
#include "tamsivarapp/modes.h"
#include "tamsivarapp/remove.h"

namespace {


class cFormHost : public cRemoveHost {
 public:
  explicit cFormHost(cRemoverUI* f) : form(f) {}
  bool applyLang(int lang) override {
    bool applied = false;
    return askApplyLang(*form, new cApplyLangAction(cRemoverUI::kApplyLang, lang, &applied));
  }
  bool confirm(int row) override {
    bool yes = false;
    return askYesNo(*form, new cRemoverUI::cConfirmAction(row, &yes));
  }
  cRemoverUI* form;
};

}  // namespace

int cRemoverJob::job() {
  cJob::sleep(kShowFirstMs);
  cFormHost host(myForm);
  cCIApplication* app = cCIApplication::appRef();
  try {
    return runRemoveManager(app ? app->config() : nullptr, myProgram.ptr, host);
  } catch (...) {
    return -1;
  }
}

void cRemoverJob::onJobEnd(unsigned long code) {
  myForm->postAction(new cRemoverUI::cProgressAction(static_cast<int>(code)));
}

bool cRemoverUI::runRemoval(const char* program, cChildElement* parent) {
  cCiomLangData* section = cLibLang::gCiomLang.sections.find(cStringKey("pkgm::rem", -1));
  cCIApplication* app = cCIApplication::appRef();
  if (!section) return false;
  auto* form = new cRemoverUI(program);
  if (parent) return parent->modal(section->string(0), 350, 110, form, false) == 1;
  if (!app || !app->windowMaker()) {
    delete form;
    return false;
  }
  return app->windowMaker()->modal(section->string(0), 350, 110, form, nullptr, false) == 1;
}

void cRemoverUI::onConstruct() {
  cCustomForm::onConstruct();
  attachStatusLine(*this, myStatus, string(1));
  if (!myJob.start()) end_modal(0);
}

bool cRemoverUI::onAction(cChildElement* sender, cChildAction* a) {
  if (sender != this || !a) return cCustomForm::onAction(sender, a);
  switch (a->code) {
    case kJobEnded: {
      int code = static_cast<cProgressAction*>(a)->endCode;
      switch (code) {
        case rmDone: cMessageForm::infobox(this, string(3), nullptr); break;
        case rmPackagesLeft: cMessageForm::errorbox(this, string(4), nullptr); break;
        case rmBadBundle: cMessageForm::errorbox(this, string(5), nullptr); break;
        case rmSelfRemoved: cMessageForm::infobox(this, string(6), nullptr); break;
        default: break;
      }
      end_modal(code == rmDone || code == rmSelfRemoved ? 1 : 2);
      return true;
    }
    case kConfirm:
      static_cast<cConfirmAction*>(a)->answer(*this);
      return true;
    case kApplyLang:
      static_cast<cApplyLangAction*>(a)->answer();
      return true;
    default:
      return cCustomForm::onAction(sender, a);
  }
}

int removeManager(const char* program) { return cRemoverUI::runRemoval(program, nullptr) ? 0 : 1; }
