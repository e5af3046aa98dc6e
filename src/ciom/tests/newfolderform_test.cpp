// The new-folder form through scripted modal runs: Accept hands back a typed
// name, an empty field keeps the form open, Cancel leaves the caller's string.
#include <gtest/gtest.h>

#include <string>

#include "ciom/newfolderform.h"
#include "support/formfixture.h"

namespace {

class NewFolderForm : public cFormFixture {};

TEST_F(NewFolderForm, AcceptCancelAndEmptyField) {
  const int kEnter = cChildElement::kcEnter, kEscape = cChildElement::kcEscape;
  struct {
    const char* start;
    const char* typed;  // null: keep what the form shows
    int key;
    bool answer;
    const char* after;
  } cases[] = {
      {"", "photos", kEnter, true, "photos"},
      {"old", nullptr, kEnter, true, "old"},
      {"old", "typed", kEscape, false, "old"},
      {"", "", kEnter, false, ""},  // stays open; the script then cancels
  };
  for (auto& c : cases) {
    bool stayedOpen = false, focused = false;
    std::string shown;
    cFormTestTarget::scripts.push_back([&](cFormTestTarget& w) {
      auto* f = static_cast<cNewFolderNameReqForm*>(w.form);
      shown = f->field().text() ? f->field().text() : "";
      if (c.typed) f->field().setText(c.typed, -1);
      w.key(c.key);
      if (!w.ended()) {
        stayedOpen = true;
        focused = f->field().focused();
        w.key(kEscape);
      }
    });
    _guardchar<char> name(c.start);
    EXPECT_EQ(cNewFolderNameReqForm::reqNewFolderName(&parent, name, nullptr), c.answer) << c.after;
    EXPECT_STREQ(name.ptr, c.after);
    EXPECT_EQ(shown, c.start);
    EXPECT_EQ(stayedOpen, c.typed && !*c.typed);
    EXPECT_TRUE(!stayedOpen || focused);
    ASSERT_FALSE(cFormTestTarget::runs.empty());
    EXPECT_EQ(cFormTestTarget::runs.back().caption, "Enter new folder name");
  }
  _guardchar<char> name("x");
  EXPECT_FALSE(cNewFolderNameReqForm::reqNewFolderName(nullptr, name, nullptr));
}

}  // namespace
