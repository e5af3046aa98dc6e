#include "ciom/fontobject.h"

#include <gtest/gtest.h>

namespace {

TEST(FontStore, SharesOneObjectPerDescription) {
  cFontObject* f = cFontObject::get(5, 13, "Tahoma", false, false, false);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(cFontObject::get(5, 13, "Tahoma", false, false, false), f);
  EXPECT_EQ(f->height, 13);
  EXPECT_STREQ(f->face.ptr, "Tahoma");
  EXPECT_NE(cFontObject::get(5, 13, "tahoma", false, false, false), f);
  EXPECT_NE(cFontObject::get(5, 13, "Tahoma", true, false, false), f);
  EXPECT_NE(cFontObject::get(5, 13, "Tahoma", false, true, false), f);
  EXPECT_NE(cFontObject::get(5, 13, "Tahoma", false, false, true), f);
  EXPECT_NE(cFontObject::get(6, 13, "Tahoma", false, false, false), f);
  EXPECT_NE(cFontObject::get(5, 14, "Tahoma", false, false, false), f);
}

// Faceless requests share a font rather than growing the store each time.
TEST(FontStore, FacelessRequestsShare) {
  cFontObject* f = cFontObject::get(5, 13, nullptr, false, false, false);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(cFontObject::get(5, 13, nullptr, false, false, false), f);
  EXPECT_NE(cFontObject::get(5, 13, "Tahoma", false, false, false), f);
}

TEST(FontStore, RefusedDescriptionIsNotStored) {
  auto count = [] {
    int n = 0;
    for (cListItem* it = cFontObject::myFontsStore.head; it; it = it->next) ++n;
    return n;
  };
  int before = count();
  EXPECT_EQ(cFontObject::get(5, 13, "unavailable", false, false, false), nullptr);
  EXPECT_EQ(count(), before);
  EXPECT_FALSE(cFontObject::get(5, 13, "Tahoma", false, false, false)->eq(nullptr));
}

}  // namespace
