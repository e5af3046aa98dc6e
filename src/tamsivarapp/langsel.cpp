#include "tamsivarapp/langsel.h"

#include <string>

#include "base/conproc.h"
#include "base/stringkey.h"
#include "ciom/application.h"
#include "ciom/langids.h"
#include "ciom/liblang.h"
#include "ciom/messageform.h"
#include "ciom/windowmaker.h"

namespace {

constexpr unsigned int kTextColor = 0x655654;
constexpr unsigned int kSideColor = 0xE7E7E7;
constexpr unsigned int kLinkColor = 0xA03030;
// The maker's page where languages beyond a package's own are offered.
constexpr const char kLangPage[] = "https://www.quorvent.com/app_lang_opts.php?app=";

}  // namespace

void cLangsGrid::setLangs(_List<int>* list) {
  long long n = 0;
  for (auto* item = list ? list->head : nullptr; item; item = item->next) ++n;
  myLangs.set(n);
  n = 0;
  for (auto* item = list ? list->head : nullptr; item; item = item->next) myLangs.ptr[n++] = item->value;
  notifyGridChanged(true);
}

int cLangsGrid::cellWidth() {
  sRect client;
  return clientRect(&client) && client.width > 0 ? client.width : width();
}

int cLangsGrid::getSelectedLang() { return langAt(selected()); }

void cLangsGrid::paintElement(cCanvas* c, int index, bool selected) {
  // Each cell is painted on a canvas of its own size.
  sRect cell{0, 0, cellWidth(), cellHeight()};
  c->drawRect(&cell, selected ? 0xF4E8DD : 0xFFFFFF, selected ? 0xDFCAB7 : 0xFFFFFF);
  const int lang = langAt(index);
  if (cPicture* flag = ciLangImage27x22(lang)) {
    sPoint at{cell.x + 10, cell.y + 3};
    c->drawTransparent(&at, flag, nullptr);
  }
  if (const char* name = ciLangName(lang)) {
    if (cFontObject* font = mkStdFont()) font->apply(c);
    c->setTextColors(kTextColor, selected ? 0xF4E8DD : 0xFFFFFF);
    c->drawText(cell.x + 55, cell.y + 7, true, name, -1);
  }
}

std::string cLangSelectionForm::langPageAddress(const char* appName) {
  std::string out = kLangPage;
  static const char kHex[] = "0123456789ABCDEF";
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(appName ? appName : ""); *p; ++p) {
    const bool plain = (*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9') ||
                       *p == '-' || *p == '_' || *p == '.' || *p == '~';
    if (plain) {
      out += static_cast<char>(*p);
    } else {
      out += '%';
      out += kHex[*p >> 4];
      out += kHex[*p & 15];
    }
  }
  return out;
}

int cLangSelectionForm::chooseLang(_List<int>* list, int current, const char* appName, cChildElement* parent,
                                   const sLangFormRows& rows) {
  int count = 0;
  int only = kNoLangChosen;
  for (auto* item = list ? list->head : nullptr; item; item = item->next, ++count) only = item->value;
  if (count == 0) return kNoLangChosen;
  if (count == 1) return only;
  auto* form = new cLangSelectionForm(list, current, appName, rows);
  cCiomLangData* texts = cLibLang::gCiomLang.sections.find(cStringKey(form->wantLangResource(), -1));
  const char* title = rows.titledWindow && texts ? texts->string(rows.title) : nullptr;
  const char* caption = title ? title : "";
  int result = 0;
  if (parent) {
    result = parent->modal(caption, 380, 370, form, false);
  } else {
    cCIApplication* app = cCIApplication::appRef();
    if (!app || !app->windowMaker()) {
      delete form;
      return kNoLangChosen;
    }
    result = app->windowMaker()->modal(caption, 400, 370, form, nullptr, false);
  }
  return result <= 0 ? kNoLangChosen : result - 1;
}

cLangSelectionForm::cLangSelectionForm(_List<int>* list, int current, const char* appName,
                                       const sLangFormRows& rows)
    : myList(list), myCurrent(current), myAppName(appName), myRows(rows) {}

void cLangSelectionForm::onConstruct() {
  attach(&myPanel, 15, 85, 100, 100);
  anchor(&myPanel, 15, 85, -31, 230);
  myPanel.setBgColor(0xFFFFFF);
  myPanel.setBorderColor(0xDBCAC7);
  myPanel.attach(&myGrid, 8, 10, 50, 50);
  myPanel.anchor(&myGrid, 8, 10, -17, -21);
  myGrid.setLangs(myList);
  attach(&myStart, 0, 330, 100, 26);
  anchor(&myStart, -116, 330, 100, 26);
  myStart.setText(string(2), -1, false);
  for (int i = 0; i < myGrid.count(); ++i)
    if (myGrid.langAt(i) == myCurrent) {
      myGrid.selectCell(i, false);
      break;
    }
  if (myAppName.ptr && *myAppName.ptr) {
    attach(&myLink, 15, 335, 10, 10);
    myLink.setTextColor(kLinkColor);
    myLink.setBgColor(kSideColor);
  }
  // Measuring the link's text and taking the focus need the window, which
  // the form joins after its construction.
  postAction(new cChildAction(acDefault));
}

void cLangSelectionForm::placeLink() {
  const char* text = string(4);
  myLink.setText(text ? text : "", -1, false);
  sSize size{0, 0};
  if (text && *text) myLink.wantsSize(&size);
  myLink.move(15, 335, size.cx, size.cy);
}

void cLangSelectionForm::onPaint(cCanvas* c) {
  sRect all{0, 0, width(), height()};
  c->drawRect(&all, kSideColor, kSideColor);
  c->setTextColors(kTextColor, kSideColor);
  if (cFontObject* title = mkTitleFont()) title->apply(c);
  if (const char* t = string(myRows.title)) c->drawText(15, 25, true, t, -1);
  if (cFontObject* font = mkStdFont()) font->apply(c);
  if (const char* t = string(myRows.intro)) {
    // Most languages say row 1 in one line; a longer one (Russian) wraps
    // into the room above the panel instead of running off the form.
    sSize size{0, 0};
    if (c->textSize(t, -1, size) && size.cx > width() - 30)
      c->drawTextWrapped(15, 50, width() - 30, kIntroHeight, cCanvas::eAlignLeft, t, size, true, 1.0);
    else
      c->drawText(15, 55, true, t, -1);
  }
}

void cLangSelectionForm::processOSFocus() {
  cChildElement::processOSFocus();
  if (!myGrid.focused()) myGrid.focus();
}

void cLangSelectionForm::accept() {
  const int lang = myGrid.getSelectedLang();
  if (lang >= 0 && lang <= 9) end_modal(lang + 1);
}

bool cLangSelectionForm::confirmCancel() {
  // A second close while the question is open is the same request.
  if (myAsking) return false;
  myAsking = true;
  const bool yes = cMessageForm::warnconfirmbox(this, string(myRows.cancel), nullptr);
  myAsking = false;
  return yes;
}

// A closed window ends the form with 0, as a confirmed Escape does.
bool cLangSelectionForm::onClose() { return confirmCancel(); }

bool cLangSelectionForm::processKey(int key, bool shift, bool mod2, bool mod3) {
  if (!shift && !mod2 && !mod3) {
    if (key == kcEnter) {
      accept();
      return true;
    }
    if (key == kcEscape) {
      if (confirmCancel()) end_modal(0);
      return true;
    }
  }
  return cChildElement::processKey(key, shift, mod2, mod3);
}

bool cLangSelectionForm::onAction(cChildElement* sender, cChildAction* a) {
  if (!a) return false;
  if (sender == this && a->code == acDefault) {
    if (myAppName.ptr && *myAppName.ptr) placeLink();
    myGrid.focus();
    return true;
  }
  if (sender == &myGrid && a->code == acChange) {
    const int lang = myGrid.getSelectedLang();
    if (lang <= 9 && lang != static_cast<int>(cLibLang::appliedLang())) {
      cLibLang::applyLang(static_cast<eCIOMStdLangs>(lang));
      myStart.setText(string(2), -1, true);
      if (myRows.titledWindow && string(myRows.title)) setCaption(string(myRows.title), -1);
      if (myAppName.ptr && *myAppName.ptr) placeLink();
      repaint(nullptr);
    }
    return true;
  }
  if ((sender == &myGrid && a->code == acActivate) || (sender == &myStart && a->code == acDefault)) {
    accept();
    return true;
  }
  if (sender == &myLink && a->code == acDefault) {
    // The name comes from a package: it travels encoded, as one argument to
    // the opener, and never through a shell.
    run_xdgopen(langPageAddress(myAppName.ptr).c_str());
    return true;
  }
  return cChildElement::onAction(sender, a);
}
