#include "ciom/fontobject.h"

#include <gtest/gtest.h>

namespace {

TEST(FontStore, SharesOneObjectPerDescriptionAndStoresNoRefusedOne) {
  cFontObject* f = cFontObject::get(5, 13, "Tahoma", false, false, false);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(cFontObject::get(5, 13, "Tahoma", false, false, false), f);
  ASSERT_NE(cFontObject::get(5, 13, nullptr, false, false, false), nullptr);
  EXPECT_NE(cFontObject::get(5, 13, nullptr, false, false, false), f);
  EXPECT_NE(cFontObject::get(5, 13, "tahoma", false, false, false), f);
  EXPECT_NE(cFontObject::get(5, 13, "Tahoma", false, false, true), f);
  EXPECT_NE(cFontObject::get(5, 14, "Tahoma", false, false, false), f);

  auto count = [] {
    int n = 0;
    for (cListItem* it = cFontObject::myFontsStore.head; it; it = it->next) ++n;
    return n;
  };
  int before = count();
  EXPECT_EQ(cFontObject::get(5, 13, "unavailable", false, false, false), nullptr);
  EXPECT_EQ(count(), before);
}

}  // namespace
