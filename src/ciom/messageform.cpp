#include "ciom/messageform.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ciom/fontobject.h"
#include "ciom/themeuse.h"

cPicturesList cMessageForm::myImagesList;

namespace {

enum eText { txOk = 0, txYes = 1, txNo = 2, txInformation = 3, txWarning = 4, txError = 5, txConfirm = 6 };
enum eButtonId { idAccept = 1, idDecline = 2 };
constexpr int kBoldIndent = 37;
constexpr int kModalNoWindow = -1;

int clampToInt(double v) { return static_cast<int>(std::min(v, 2147483647.0)); }

}  // namespace

bool cMessageForm::infobox(cChildElement* parent, const char* text, const char* caption) {
  return doDialog(parent, text, caption, txInformation, iconInfo, bsOk);
}

bool cMessageForm::warningbox(cChildElement* parent, const char* text, const char* caption) {
  return doDialog(parent, text, caption, txWarning, iconWarning, bsOk);
}

bool cMessageForm::errorbox(cChildElement* parent, const char* text, const char* caption) {
  return doDialog(parent, text, caption, txError, iconError, bsOk);
}

bool cMessageForm::confirmbox(cChildElement* parent, const char* text, const char* caption) {
  return doDialog(parent, text, caption, txConfirm, iconConfirm, bsYesNo);
}

bool cMessageForm::warnconfirmbox(cChildElement* parent, const char* text, const char* caption) {
  return doDialog(parent, text, caption, txConfirm, iconWarning, bsYesNo);
}

cMessageForm::cMessageForm(int icon, const char* caption, eButtonSet buttons)
    : myIconIndex(icon), myCaption(caption), myButtonSet(buttons) {}

bool cMessageForm::doDialog(cChildElement* parent, const char* text, const char* caption, int captionIndex,
                            int icon, eButtonSet buttons) {
  if (!parent || !text) return false;
  auto* form = new cMessageForm(icon, caption, buttons);
  if (!caption) form->myCaption = form->string(parent, captionIndex);
  cFontObject* standard = parent->createFont(5, 13, _glbalStdFont(), false, false, false);
  cFontObject* bold = parent->createFont(6, 13, _glbalStdFont(), true, false, false);

  int widest = 0, tallest = 0;
  long long lines = 0;
  if (*text) {
    const char* p = text;
    for (;;) {
      const char* end = std::strchr(p, '\n');
      auto* item = new cStrTokenItem;
      if (end)
        item->text.set(p, end - p);
      else
        item->text.set(p);
      if (!item->text.ptr) item->text.set("");
      form->myLines.add(item);
      sSize s;
      if (parent->sizeOf(item->text.ptr, s, lines == 0 ? bold : standard)) {
        widest = std::max(widest, lines == 0 ? s.cx + kBoldIndent : s.cx);
        tallest = std::max(tallest, s.cy);
      }
      ++lines;
      if (!end) break;
      p = end + 1;
    }
  }
  form->myLineHeight = tallest;
  const int height = lines == 0 ? 105 : clampToInt(std::floor(tallest * static_cast<double>(lines - 1) * 1.5) + 115);
  // The box is never narrower than its buttons with the bar's margin on
  // either side (the bar keeps dimension 9 less one from the right edge), or
  // a short text would cut them.
  fillImagesList();
  long long bar = 0;
  const int texts[2][2] = {{txOk, -1}, {txYes, txNo}};
  for (int i = 0; i < 2; ++i) {
    const int index = texts[buttons == bsOk ? 0 : 1][i];
    if (index >= 0)
      bar += cButtonChild::requiredWidth(parent, form->string(parent, index), myImagesList.image(i),
                                             cButtonChild::dsSideBySide, nullptr);
  }
  const int width = clampToInt(std::max(static_cast<double>(widest) + 30,
                                        static_cast<double>(bar) + 2.0 * (themeDim(9) - 1)));
  const int result = parent->modal(form->myCaption, width, height, form, false);
  return result != 0 && result != kModalNoWindow;
}

void cMessageForm::fillImagesList() {
  // Refreshed for every box: a change of theme frees the pictures of the
  // one before.
  const int entries[][2] = {{0, 77}, {1, 78}, {10, 73}, {11, 74}, {12, 75}, {13, 76}};
  for (const auto& e : entries) myImagesList.refImage(e[0], themePict(e[1]));
}

void cMessageForm::onInitData() {
  cCustomForm::onInitData();
  fillImagesList();
}

void cMessageForm::onConstruct() {
  cCustomForm::onConstruct();
  fillImagesList();
  sRect client;
  clientArea()->clientRect(&client);
  const int cw = client.width, lh = myLineHeight;
  const unsigned int back = themeColor(0);
  auto prepare = [&](cStaticElement& e) {
    e.setBgColor(back);
    e.setFrameColor(back);
  };

  int y = 42;
  bool firstLine = true;
  for (cListItem* i = myLines.head; i; i = i->next) {
    auto* line = static_cast<cStrTokenItem*>(i);
    if (firstLine) {
      clientArea()->attach(&line->element, 42, (29 - lh) / 2, cw - 47, lh + 2);
      line->element.setFont(createFont(6, 13, _glbalStdFont(), true, false, false));
      line->element.setTextColor(themeColor(61));
      firstLine = false;
    } else {
      clientArea()->attach(&line->element, 5, y, cw - 10, lh + 2);
      y += static_cast<int>(std::floor(lh * 1.5));
    }
    prepare(line->element);
    line->element.setText(line->text.ptr, cCanvas::eAlignLeft, false);
  }

  attach(&myButtons, 0, 0, 1, 24);
  myButtons.setTransparent(true);
  myButtons.setImageList(cButtonChild::bsNormal, &myImagesList);
  if (myButtonSet == bsOk) {
    myButtons.setButton(idAccept, string(txOk), 0);
  } else {
    myButtons.setButton(idAccept, string(txYes), 0);
    myButtons.setButton(idDecline, string(txNo), 1);
  }
  const int bw = myButtons.wantsWidth(), d7 = themeDim(7), d8 = themeDim(8), d9 = themeDim(9);
  anchor(&myButtons, -(d9 + bw), -d8 - 1 - d7, bw, d7);

  clientArea()->attach(&myIcon, 5, 0, 33, 29);
  myIcon.setImage(myImagesList.image(10 + myIconIndex), false);
  prepare(myIcon);
}

bool cMessageForm::onAction(cChildElement* sender, cChildAction* a) {
  if (sender == &myButtons && a && a->code == acChange) {
    const int id = static_cast<cToolBarChild::cTbButtonAction*>(a)->id;
    if (id == idAccept)
      onFormAccept();
    else if (id == idDecline)
      onFormCancel();
  }
  return cCustomForm::onAction(sender, a);
}

bool cMessageForm::onFormAccept() {
  end_modal(1);
  return true;
}

bool cMessageForm::onFormCancel() {
  end_modal(0);
  return true;
}
