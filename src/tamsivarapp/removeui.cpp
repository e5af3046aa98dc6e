#include "tamsivarapp/removeui.h"

#include "base/stringkey.h"
#include "ciom/application.h"
#include "ciom/liblang.h"
#include "ciom/messageform.h"
#include "ciom/windowmaker.h"
#include "tamsivarapp/modes.h"
#include "tamsivarapp/remove.h"

namespace {

constexpr unsigned int kTextColor = 0x655654;
constexpr unsigned int kWhite = 0xFFFFFF;
constexpr int kShowFirstMs = 500;

// A form that went away before answering counts as No.
class cFormHost : public cRemoveHost {
 public:
  explicit cFormHost(cRemoverUI* f) : form(f) {}
  bool applyLang(int lang) override {
    bool applied = false;
    return form->sendAction(new cRemoverUI::cApplyLangAction(lang, &applied)) && applied;
  }
  bool confirm(int row) override {
    bool yes = false;
    return form->sendAction(new cRemoverUI::cConfirmAction(row, &yes)) && yes;
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
  clientArea()->attach(&myStatus, 0, 0, 340, 16);
  myStatus.setColorSchema(kTextColor, kWhite, kWhite);
  myStatus.setText(string(1), cCanvas::eAlignCenter, false);
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
    case kConfirm: {
      auto* ask = static_cast<cConfirmAction*>(a);
      *ask->yes = cMessageForm::confirmbox(this, string(ask->row), nullptr);
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

int removeManager(const char* program) { return cRemoverUI::runRemoval(program, nullptr) ? 0 : 1; }
