#include "ciom/messageform.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "ciom/fontobject.h"
#include "ciom/messageform_wrap.h"
#include "ciom/themeuse.h"

cPicturesList cMessageForm::myImagesList;

namespace {

enum eText { txOk = 0, txYes = 1, txNo = 2, txInformation = 3, txWarning = 4, txError = 5, txConfirm = 6 };
enum eButtonId { idAccept = 1, idDecline = 2 };
constexpr int kBoldIndent = 37;
constexpr int kModalNoWindow = -1;
// Where the lines below the first start, and the top of the pane that
// scrolls them in a box too large for the screen.
constexpr int kBodyTop = 42, kPaneTop = 38, kPaneGap = 2;

int clampToInt(double v) { return static_cast<int>(std::min(v, 2147483647.0)); }

// The height that shows n lines of height lh, one and a half apart.
int boxHeight(int lh, long long n) {
  return n == 0 ? 105 : clampToInt(std::floor(lh * static_cast<double>(n - 1) * 1.5) + 115);
}

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

  std::vector<std::string> lines;
  int widest = 0, tallest = 0;
  if (*text) {
    for (const char* p = text;;) {
      const char* end = std::strchr(p, '\n');
      lines.emplace_back(p, end ? static_cast<size_t>(end - p) : std::strlen(p));
      const bool first = lines.size() == 1;
      sSize s;
      if (parent->sizeOf(lines.back().c_str(), s, first ? bold : standard)) {
        widest = std::max(widest, first ? s.cx + kBoldIndent : s.cx);
        tallest = std::max(tallest, s.cy);
      }
      if (!end) break;
      p = end + 1;
    }
  }
  form->myLineHeight = tallest;
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
  const double least = static_cast<double>(bar) + 2.0 * (themeDim(9) - 1);
  int width = clampToInt(std::max(static_cast<double>(widest) + 30, least));
  int height = boxHeight(tallest, static_cast<long long>(lines.size()));
  form->myWholeWidth = width;
  form->myWholeHeight = height;
  sSize area{0, 0};
  if (parent->maxWinSize(area) && area.cx > 0 && area.cy > 0 && (width > area.cx || height > area.cy)) {
    // The lines below the first scroll beside a bar, and every line is cut
    // to the width that is left.
    form->myScrolled = true;
    const int scrollBar = themeDim(19);
    width = clampToInt(std::min(static_cast<double>(area.cx),
                                std::max(static_cast<double>(widest) + 30 + scrollBar, least)));
    long long count = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
      const bool first = i == 0;
      const int limit = first ? width - kBoldIndent - 30 : width - 30 - scrollBar;
      for (const std::string& piece : wrapToWidth(parent, first ? bold : standard, lines[i], limit)) {
        form->addLine(piece, first);
        ++count;
      }
    }
    height = std::min(area.cy, boxHeight(tallest, count));
  } else {
    for (size_t i = 0; i < lines.size(); ++i) form->addLine(lines[i], i == 0);
  }
  form->myText = std::move(lines);
  const int result = parent->modal(form->myCaption, width, height, form, false);
  return result != 0 && result != kModalNoWindow;
}

void cMessageForm::addLine(const std::string& text, bool bold) {
  auto* item = new cStrTokenItem;
  item->text.set(text.c_str());
  if (!item->text.ptr) item->text.set("");
  item->bold = bold;
  myLines.add(item);
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

void cMessageForm::attachLine(cStrTokenItem* line, cChildElement* to, int x, int y, int width) {
  const unsigned int back = themeColor(0);
  to->attach(&line->element, x, y, width, myLineHeight + 2);
  if (line->bold) {
    line->element.setFont(createFont(6, 13, _glbalStdFont(), true, false, false));
    line->element.setTextColor(themeColor(61));
  }
  line->element.setBgColor(back);
  line->element.setFrameColor(back);
  line->element.setText(line->text.ptr, cCanvas::eAlignLeft, false);
}

void cMessageForm::layOutLines() {
  sRect client;
  clientArea()->clientRect(&client);
  const int cw = client.width, lh = myLineHeight, step = static_cast<int>(std::floor(lh * 1.5));
  const unsigned int back = themeColor(0);
  const int d7 = themeDim(7), d8 = themeDim(8);

  cChildElement* body = clientArea();
  int y = kBodyTop, x = 5, w = cw - 10;
  if (myScrolled) {
    // The pane runs from just above where the second line would be to just
    // above the buttons, and follows the box's size.
    const int reserve = std::max(0, d8 + 1 + d7 - themeDim(2)) + kPaneGap;
    clientArea()->attach(&myPane, 0, kPaneTop, cw, std::max(client.height - kPaneTop - reserve, 1));
    clientArea()->anchor(&myPane, 0, kPaneTop, -1, -(kPaneTop + reserve) - 1);
    myPane.setDefaultBackgroundColor(back);
    body = &myPane;
    y = kBodyTop - kPaneTop;
    w -= themeDim(19);
  }
  int bottom = y;
  for (cListItem* i = myLines.head; i; i = i->next) {
    auto* line = static_cast<cStrTokenItem*>(i);
    if (i == myLines.head) {
      attachLine(line, clientArea(), 42, (29 - lh) / 2, cw - 47);
    } else {
      attachLine(line, body, x, y, w);
      bottom = y + lh + 2;
      y += step;
    }
  }
  if (myScrolled) {
    myPane.setQuantumSize(0, std::max(step, 1));
    myPane.setMinVisualHeight(bottom + kPaneGap);
  }
}

void cMessageForm::onSizeChanged() {
  cCustomForm::onSizeChanged();
  if (!myScrolled || width() < myWholeWidth || height() < myWholeHeight) return;
  myScrolled = false;
  myLines.destroy();
  clientArea()->dettach(&myPane);
  for (size_t i = 0; i < myText.size(); ++i) addLine(myText[i], i == 0);
  layOutLines();
}

void cMessageForm::onConstruct() {
  cCustomForm::onConstruct();
  fillImagesList();
  layOutLines();
  const int d7 = themeDim(7), d8 = themeDim(8), d9 = themeDim(9);
  const unsigned int back = themeColor(0);

  attach(&myButtons, 0, 0, 1, 24);
  myButtons.setTransparent(true);
  myButtons.setImageList(cButtonChild::bsNormal, &myImagesList);
  if (myButtonSet == bsOk) {
    myButtons.setButton(idAccept, string(txOk), 0);
  } else {
    myButtons.setButton(idAccept, string(txYes), 0);
    myButtons.setButton(idDecline, string(txNo), 1);
  }
  const int bw = myButtons.wantsWidth();
  anchor(&myButtons, -(d9 + bw), -d8 - 1 - d7, bw, d7);

  clientArea()->attach(&myIcon, 5, 0, 33, 29);
  myIcon.setImage(myImagesList.image(10 + myIconIndex), false);
  myIcon.setBgColor(back);
  myIcon.setFrameColor(back);
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

bool cMessageForm::processKey(int key, bool shift, bool mod2, bool mod3) {
  // The keys that page through a text move the pane of a box that scrolls.
  cVScroll& bar = myPane.vbar();
  if (myScrolled && !shift && !mod2 && !mod3 && bar.visible_child()) {
    switch (key) {
      case kcUp:
        bar.valUp();
        return true;
      case kcDown:
        bar.valDown();
        return true;
      case kcPageUp:
        bar.pageUp();
        return true;
      case kcPageDown:
        bar.pageDown();
        return true;
      case kcHome:
        myPane.scrollMinY();
        return true;
      case kcEnd:
        myPane.scrollMaxY();
        return true;
      default:
        break;
    }
  }
  return cCustomForm::processKey(key, shift, mod2, mod3);
}

bool cMessageForm::onFormAccept() {
  end_modal(1);
  return true;
}

bool cMessageForm::onFormCancel() {
  end_modal(0);
  return true;
}
