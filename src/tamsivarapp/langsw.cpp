#include "tamsivarapp/langsw.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "base/stringkey.h"
#include "ciom/application.h"
#include "ciom/ciappconfig.h"
#include "ciom/langids.h"
#include "ciom/liblang.h"
#include "ciom/messageform.h"
#include "ciom/picture.h"
#include "ciom/popupmaster.h"
#include "tamsivarapp/cistd.h"
#include "tamsivarapp/lang.h"
#include "tamsivarapp/textfill.h"

namespace {

// The manager window's texts, and the row that says a choice could not be
// stored.
constexpr char kTextsSection[] = "pkgm::tamsivar";
constexpr int kNotStoredRow = 18;

}  // namespace

void cLangSwitchCtl::onInitData() {
  cGenButtonChild::onInitData();
  myLang = 11;
  update(true);
}

void cLangSwitchCtl::update(bool repaint) {
  const int lang = cSOPKGLang::storedLang();
  if (lang == myLang) return;
  myLang = lang;
  if (repaint) this->repaint(nullptr);
  setHint(ciLangName(lang));
}

void cLangSwitchCtl::onPaint(cCanvas* c) {
  sRect all{0, 0, width(), height()};
  c->drawRect(&all, 0xFFFFFF, 0xFFFFFF);
  if (cPicture* flag = ciLangImage18x14(myLang)) {
    sPoint at{(width() - flag->width()) / 2, (height() - flag->height()) / 2};
    c->drawTransparent(&at, flag, nullptr);
  }
}

void cLangSwitchCtl::onMouseButton(int x, int y, int button, bool down) {
  cGenButtonChild::onMouseButton(x, y, button, down);
  if (button != mbLeft || down || !inme(x, y)) return;
  cPopupMaster::tItems items;
  for (int lang = 0; lang <= 9; ++lang) {
    if (!cSOPKGLang::_defines(lang)) continue;
    sActiveElementItem* item = items.insert(lang);
    item->text.set(ciLangName(lang));
    item->picture = lang;
    ciLangImage18x14(lang);  // flags are made on first use, and the list only holds those made
  }
  sPoint at{0, 0};
  absPos(at);
  cPopupMaster::sPopupConfig config;
  config.pictures = ciLangImages18x14();
  config.selectedId = myLang;
  config.font = mkSelectHdrFont();
  config.background = 0xFFFFFF;
  config.text = 0x372F2E;
  config.border = 0xDBCAC7;
  const int chosen = cPopupMaster::simplePopup(this, &items, at.x, at.y + height() + 2, &config);
  if (chosen >= 0) switchTo(chosen);
}

bool cLangSwitchCtl::switchTo(int lang) {
  const eCIOMStdLangs was = cLibLang::appliedLang();
  if (lang == myLang || !cLibLang::applyLang(static_cast<eCIOMStdLangs>(lang))) return false;
  if (cCIApplication* app = cCIApplication::appRef(); app && app->config()) {
    if (const int err = store(*app->config(), lang)) {
      // Told in the language that stays.
      cLibLang::applyLang(was);
      cCiomLangData* texts = cLibLang::gCiomLang.sections.find(cStringKey(kTextsSection, -1));
      cMessageForm::errorbox(this, fillText(texts ? texts->string(kNotStoredRow) : nullptr, std::strerror(err)).c_str(),
                             nullptr);
      return false;
    }
  }
  myLang = lang;
  setHint(ciLangName(lang));
  // The window hears of it: posted actions reach only their own element.
  notifyAction(new cChildAction(acChange));
  repaint(nullptr);
  return true;
}

int cLangSwitchCtl::store(cApplicationConfig& config, int lang) {
  config.setParamInt16("lang/current", lang);
  // Another run inside a save of the store holds its lock: the window
  // paints meanwhile, one turn of its wait at each look at the lock, and
  // its close box gives the wait up.
  errno = 0;
  bool saved = false;
  {
    cCIAppConfig::cLockWait wait([this] {
      bool turned = false;
      return waitPainting([&turned] { return std::exchange(turned, true); });
    });
    saved = config.saveConfig();
  }
  if (saved) return 0;
  const int err = errno ? errno : EIO;
  // A choice not stored is not kept either: a later save would write it.
  config.discardChanges();
  return err;
}
