#include <gtest/gtest.h>

#include "picts/pictpng.h"
#include "png_support.h"

namespace {

using namespace pngtest;

// Counts the providers alive, so that ownership shows.
struct RecordingProvider : cSecurityProviderRequestTarget {
  static int alive;
  std::vector<std::pair<int, std::string>> asked;
  const char* answer;

  explicit RecordingProvider(const char* a) : answer(a) { ++alive; }
  ~RecordingProvider() override { --alive; }
  bool request(eRequestKind kind, sRequest& req) override {
    asked.push_back({kind, req.text.ptr ? req.text.ptr : ""});
    if (!answer) return false;
    req.answer.set(answer);
    return true;
  }
};
int RecordingProvider::alive = 0;

TEST(PictHooks, ThePasswordRequestReachesTheProviderInUse) {
  _guardchar<char> password;
  {
    cPictDummy pict;
    char text[] = "archive.zip";
    EXPECT_FALSE(pict.getBasicEncryptionPassword(password, text));

    auto* owned = new RecordingProvider("secret");
    pict.setSecurityProvider(owned);
    ASSERT_TRUE(pict.getBasicEncryptionPassword(password, text));
    EXPECT_STREQ(password.ptr, "secret");
    ASSERT_EQ(owned->asked.size(), 1u);
    EXPECT_EQ(owned->asked[0], (std::pair<int, std::string>{0, "archive.zip"}));

    // A referenced provider replaces the owned one, which goes.
    RecordingProvider refusing(nullptr);
    pict.refSecurityProvider(&refusing);
    EXPECT_EQ(RecordingProvider::alive, 1);
    EXPECT_FALSE(pict.getBasicEncryptionPassword(password, text));
    EXPECT_EQ(refusing.asked.size(), 1u);
    EXPECT_STREQ(password.ptr, "secret");

    pict.setSecurityProvider(new RecordingProvider("other"));
    EXPECT_EQ(RecordingProvider::alive, 2);
  }
  EXPECT_EQ(RecordingProvider::alive, 0);
}

// Fills every row itself with its row number, in the picture buffer.
struct RowFiller : cPictPNG {
  std::vector<bool> rendered;  // per call: whether the row pointer was null
  long long rows = 0;
  bool colorConvert(unsigned char* row, int width) override {
    rendered.push_back(row == nullptr);
    if (row)
      for (int x = 0; x < width; ++x)
        reinterpret_cast<unsigned int*>(row)[x] = 0xFF000000u | static_cast<unsigned>(rows);
    ++rows;
    return true;
  }
};

TEST(PictHooks, ThePngRowHookReplacesTheStandardConversion) {
  Bytes file = encode(randomImage(3, 4, 6, 8, 5));
  MemStream s(file);
  RowFiller png;
  ASSERT_TRUE(png.decode(&s.io));
  // File row r lands in buffer row height - 1 - r.
  for (long long r = 0; r < 4; ++r)
    EXPECT_EQ(png.raw8Bpp()[(3 - r) * 3 + 2], 0xFF000000u | static_cast<unsigned>(r));
  EXPECT_EQ(png.rendered, std::vector<bool>(4, false));

  cPictDummy target;
  ASSERT_TRUE(target.create(8, 8, 0));
  cPictBase::sExtPictDef t(&target);
  RowFiller rendering;
  ASSERT_TRUE(rendering.setExtTarget(&t));
  s.io.set_fp(0);
  ASSERT_TRUE(rendering.decode(&s.io));
  EXPECT_EQ(rendering.rendered, std::vector<bool>(4, true));
}

}  // namespace
