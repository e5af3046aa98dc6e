// Message boxes on the test platform: their size from the measured lines,
// their answers to the keys, their texts in every toolkit language, and
// hostile texts that must not hurt.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "ciom/liblang.h"
#include "ciom/messageform.h"
#include "ciom/themeuse.h"
#include "support/fixedcanvas.h"
#include "support/formfixture.h"
#include "support/langtext.h"

namespace {

constexpr int kLH = cFixedMetricCanvas::kLineHeight;

class MessageBox : public cFormFixture {};

int width(const char* s) { return 7 * static_cast<int>(std::string(s).size()); }

}  // namespace

TEST_F(MessageBox, SizeFollowsTheMeasuredLinesAndNeverCutsTheButtons) {
  const std::string wide(40, 'x');
  const std::string two = "ab\n" + wide, three = wide + "\n\nb";
  const struct {
    std::string text;
    bool yesNo;
    int lines, w, h;  // w 0: as wide as the buttons and their margins
  } cases[] = {
      {"", false, 0, 0, 105},
      {"", true, 0, 0, 105},
      {"abc", false, 1, width("abc") + 37 + 30, 115},
      {"abc", true, 1, 0, 115},
      {wide, true, 1, width(wide.c_str()) + 37 + 30, 115},
      {two, false, 2, width(wide.c_str()) + 30, static_cast<int>(std::floor(kLH * 1 * 1.5)) + 115},
      {three, false, 3, width(wide.c_str()) + 37 + 30, static_cast<int>(std::floor(kLH * 2 * 1.5)) + 115},
  };
  const int margin = themeDim(9);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    int lines = -1, barLeft = -1, barRight = -1, formW = 0;
    cFormTestTarget::scripts.push_back([&](cFormTestTarget& w) {
      auto* box = static_cast<cMessageForm*>(w.form);
      lines = 0;
      for (cChildElement* e = box->clientArea()->getFirstChild(); e; e = box->clientArea()->getNextChild(e))
        ++lines;
      --lines;  // the icon
      EXPECT_EQ(box->lineHeight(), c.lines ? kLH : 0);
      sRect bar;
      box->childRect(box->buttonBar(), &bar);
      barLeft = bar.x;
      barRight = box->width() - (bar.x + box->buttonBar()->wantsWidth());
      formW = box->width();
    });
    if (c.yesNo)
      cMessageForm::confirmbox(&parent, c.text.c_str(), "Size");
    else
      EXPECT_FALSE(cMessageForm::infobox(&parent, c.text.c_str(), "Size"));
    ASSERT_FALSE(cFormTestTarget::runs.empty());
    if (c.w)
      EXPECT_EQ(cFormTestTarget::runs.back().w, c.w);
    else
      EXPECT_EQ(barLeft, margin - 1) << "the buttons set the width, with the bar's margin on the left too";
    EXPECT_GE(barLeft, margin - 1);
    EXPECT_EQ(barRight, margin - 1);
    EXPECT_EQ(formW, cFormTestTarget::runs.back().w);
    EXPECT_EQ(cFormTestTarget::runs.back().h, c.h);
    EXPECT_EQ(lines, c.lines);
  }
}

TEST_F(MessageBox, AnswersFollowTheKeysAndTheCloseBox) {
  using tKeys = std::vector<std::pair<int, bool>>;
  const int kEnter = cChildElement::kcEnter, kEscape = cChildElement::kcEscape, kTab = cChildElement::kcTab,
            kSpace = cChildElement::kcSpace;
  const struct {
    const char* name;
    tKeys keys;
    bool answer;
  } cases[] = {
      {"return", {{kEnter, false}}, true},
      {"escape", {{kEscape, false}}, false},
      {"closed", {}, false},
      {"space on yes", {{kTab, false}, {kSpace, false}}, true},
      {"space on no", {{kTab, false}, {kTab, false}, {kSpace, false}}, false},
      {"shift+tab to no", {{kTab, true}, {kSpace, false}}, false},
  };
  for (const auto& c : cases) {
    cFormTestTarget::scripts.push_back([&](cFormTestTarget& w) {
      for (const auto& k : c.keys) w.key(k.first, k.second);
    });
    EXPECT_EQ(cMessageForm::confirmbox(&parent, "Go on?", "Question"), c.answer) << c.name;
  }
  EXPECT_TRUE(cFormTestTarget::scripts.empty());
}

TEST_F(MessageBox, ABoxNobodySawIsNotAYes) {
  EXPECT_FALSE(cMessageForm::confirmbox(nullptr, "text", nullptr));
  EXPECT_FALSE(cMessageForm::confirmbox(&parent, nullptr, nullptr));
  cChildElement alone;  // no window: the run answers -1
  EXPECT_FALSE(cMessageForm::confirmbox(&alone, "text", nullptr));
  EXPECT_TRUE(cFormTestTarget::runs.empty());
}

TEST_F(MessageBox, HostileTextsAnswerWithoutHarm) {
  std::string many;
  for (int i = 0; i < 5000; ++i) many += "line\n";
  many += "end";
  const std::string wide(100000, 'w');
  const std::string broken = "\xff\xfe\xc3(\xe2\x82\nvalid\n\xf0\x9f\x98";
  const struct {
    const std::string& text;
    int h;
  } cases[] = {
      {many, 1024},  // as high as the test screen
      {wide, 1024},
      {broken, static_cast<int>(std::floor(kLH * 2 * 1.5)) + 115},
  };
  for (const auto& c : cases) {
    cFormTestTarget::scripts.push_back([](cFormTestTarget& w) { w.key(cChildElement::kcEnter); });
    EXPECT_TRUE(cMessageForm::warnconfirmbox(&parent, c.text.c_str(), nullptr));
    EXPECT_EQ(cFormTestTarget::runs.back().h, c.h);
  }
  EXPECT_EQ(cFormTestTarget::runs[1].w, 1280);
}

// Boxes larger than the test screen (1280 x 1024): the lines below the first
// scroll in a pane above the buttons, and every line is cut to the box's
// width at a space or slash, so that no word is lost or hidden.
TEST_F(MessageBox, ABoxLargerThanTheScreenShowsEveryWordAboveItsButtons) {
  std::string sixty = "Sixty lines";
  for (int i = 2; i <= 60; ++i) sixty += "\nLine " + std::to_string(i);
  std::string sentence = "The file is in use by another program:";
  while (sentence.size() < 600) sentence += " and another word";
  std::string path = "/home/user";
  while (path.size() < 600) path += "/a-rather-long-folder-name";
  const struct {
    const char* name;
    std::string text;
    bool scrolls;  // more lines than the screen holds
    bool wholeWords;
  } cases[] = {
      {"sixty lines", sixty, true, true},
      {"a long sentence", "Busy\n" + sentence, false, true},
      {"a long path", "Busy\n" + path + "\nClose it?", false, true},
      {"a long first line", sentence + "\nbody", false, true},
      {"one long word", "Busy\n" + std::string(20000, 'w'), true, false},
  };
  const auto measure = [](const char* t) {
    int w = 0;
    for (; t && *t; ++t) w += cFixedMetricCanvas::unitWidth(static_cast<unsigned char>(*t));
    return w;
  };
  const auto words = [](std::string t) {
    std::erase_if(t, [](char ch) { return ch == ' ' || ch == '\n'; });
    return t;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::pair<int, std::string>> lines;  // top, text
    cFormTestTarget::scripts.push_back([&](cFormTestTarget& w) {
      auto* box = static_cast<cMessageForm*>(w.form);
      cScrollableElement* pane = box->textPane();
      ASSERT_NE(pane, nullptr);
      sRect bar, paneRect;
      box->childRect(box->buttonBar(), &bar);
      box->childRect(pane, &paneRect);
      EXPECT_GE(bar.x, 0);
      EXPECT_LE(bar.x + bar.width, box->width());
      EXPECT_LE(bar.y + bar.height, box->height());
      EXPECT_LE(paneRect.y + paneRect.height, bar.y) << "the text ends above the buttons";
      EXPECT_EQ(pane->vbar().visible_child(), c.scrolls);
      const auto read = [&](cChildElement* e, int right) {
        if (!dynamic_cast<cStaticElement*>(e) || !e->text()) return;
        sRect r;
        e->childRect(&r);
        EXPECT_LE(measure(e->text()), r.width) << e->text();
        EXPECT_LE(r.x + r.width, right);
        lines.push_back({r.y, e->text()});
        EXPECT_LE(r.y + r.height, pane->minVisualHeight());
      };
      for (cChildElement* e = box->clientArea()->getFirstChild(); e; e = box->clientArea()->getNextChild(e))
        if (e != pane && e->text()) {
          sRect r;
          e->childRect(&r);
          EXPECT_EQ(r.x, 42) << "only the first line stays at the top";
          lines.push_back({-1, e->text()});
        }
      sRect view;
      pane->clientRect(&view);
      for (cChildElement* e = pane->getFirstChild(); e; e = pane->getNextChild(e)) read(e, view.width);
      if (!c.scrolls) return;
      // The keys that page through a text reach its end and its start.
      const int end = pane->minVisualHeight() - view.height, step = box->lineHeight() * 3 / 2;
      const struct {
        int key, shift;
      } keys[] = {{cChildElement::kcDown, step},
                  {cChildElement::kcEnd, end},
                  {cChildElement::kcUp, end - step},
                  {cChildElement::kcHome, 0},
                  {cChildElement::kcPageDown, std::min(view.height, end)}};
      for (const auto& k : keys) {
        w.key(k.key);
        EXPECT_EQ(pane->shiftY(), k.shift) << k.key;
      }
    });
    EXPECT_FALSE(cMessageForm::infobox(&parent, c.text.c_str(), "Big"));
    EXPECT_LE(cFormTestTarget::runs.back().w, 1280);
    EXPECT_LE(cFormTestTarget::runs.back().h, 1024);
    std::sort(lines.begin(), lines.end());
    std::string shown;
    size_t end = 0;
    for (const auto& l : lines) {
      shown += l.second;
      // A piece ends where its line does, before a space or after a slash.
      const size_t at = c.text.find(l.second, end);
      ASSERT_NE(at, std::string::npos) << l.second;
      end = at + l.second.size();
      if (c.wholeWords && end < c.text.size()) {
        EXPECT_TRUE(c.text[end] == ' ' || c.text[end] == '\n' || l.second.back() == '/') << l.second;
      }
    }
    EXPECT_EQ(words(shown), words(c.text));
  }
}

// A box laid out to scroll because the room was guessed too small shows
// its text whole once its window has grown to hold every line, and keeps
// scrolling while it has not.
TEST_F(MessageBox, ABoxThatGrowsToHoldItsTextStopsScrolling) {
  std::string sixty = "Sixty lines";
  for (int i = 2; i <= 60; ++i) sixty += "\nLine " + std::to_string(i);
  const int whole = static_cast<int>(std::floor(kLH * 59 * 1.5)) + 115, step = kLH * 3 / 2;
  const struct {
    int height;
    bool scrolls;
  } cases[] = {{1024, true}, {whole - 1, true}, {whole, false}, {whole + 200, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.height);
    bool scrolledAtFirst = false, scrolls = true;
    std::vector<int> tops;  // of the lines below the first, in the box
    cFormTestTarget::scripts.push_back([&](cFormTestTarget& w) {
      auto* box = static_cast<cMessageForm*>(w.form);
      scrolledAtFirst = box->textPane() != nullptr;
      box->processSizeChanges(box->width(), c.height, false);
      w.settle();
      scrolls = box->textPane() != nullptr;
      cChildElement* area = box->clientArea();
      for (cChildElement* e = area->getFirstChild(); e; e = area->getNextChild(e)) {
        sRect r;
        e->childRect(&r);
        if (e->text() && r.x == 5) tops.push_back(r.y);
      }
      w.key(cChildElement::kcEscape);
    });
    EXPECT_FALSE(cMessageForm::infobox(&parent, sixty.c_str(), "Big"));
    EXPECT_TRUE(scrolledAtFirst);
    EXPECT_EQ(scrolls, c.scrolls);
    if (c.scrolls) continue;
    ASSERT_EQ(tops.size(), 59u);
    std::sort(tops.begin(), tops.end());
    for (size_t i = 0; i < tops.size(); ++i) EXPECT_EQ(tops[i], 42 + static_cast<int>(i) * step) << i;
  }
}

TEST_F(MessageBox, EveryToolkitLanguageNamesItsCaptionAndButtons) {
  const struct {
    eCIOMStdLangs lang;
    const char *caption, *yes, *no;
  } known[] = {
      {eLangENG, "Confirm", "Yes", "No"},
      {eLangESP, "Confirm", "Yes", "No"},  // the toolkit has no Spanish table
      {eLangRUS, nullptr, "Да", nullptr},
      {eLangDEU, nullptr, nullptr, "Nein"},
      {eLangJPN, nullptr, "はい", nullptr},
  };
  for (int lang = 0; lang < kCIOMStdLangCount; ++lang) {
    cFormTestTarget::useLanguage(static_cast<eCIOMStdLangs>(lang));
    std::string caption, yes, no;
    cFormTestTarget::scripts.push_back([&](cFormTestTarget& w) {
      auto* box = static_cast<cMessageForm*>(w.form);
      caption = box->caption() ? box->caption() : "<null>";
      yes = box->buttonBar()->findButton(1)->text();
      no = box->buttonBar()->findButton(2)->text();
      w.key(cChildElement::kcEscape);
    });
    EXPECT_FALSE(cMessageForm::confirmbox(&parent, "text", nullptr));
    EXPECT_EQ(cFormTestTarget::runs.back().caption, caption);
    EXPECT_EQ(caption, sharedText("ciom::messages", 6)) << lang;
    EXPECT_EQ(yes, sharedText("ciom::messages", 1)) << lang;
    EXPECT_EQ(no, sharedText("ciom::messages", 2)) << lang;
    for (const auto& k : known) {
      if (static_cast<int>(k.lang) != lang) continue;
      EXPECT_TRUE(!k.caption || caption == k.caption) << caption;
      EXPECT_TRUE(!k.yes || yes == k.yes) << yes;
      EXPECT_TRUE(!k.no || no == k.no) << no;
    }
  }
  cFormTestTarget::useLanguage(eLangENG);
  const struct {
    bool (*box)(cChildElement*, const char*, const char*);
    const char* caption;
  } captions[] = {{cMessageForm::infobox, "Information"},
                  {cMessageForm::warningbox, "Warning"},
                  {cMessageForm::errorbox, "Error"}};
  for (const auto& c : captions) {
    c.box(&parent, "text", nullptr);
    EXPECT_EQ(cFormTestTarget::runs.back().caption, c.caption);
  }
}
