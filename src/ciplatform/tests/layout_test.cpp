#include <gtest/gtest.h>

#include "ciom/tests/support/layoutcases.h"
#include "ciplatform/crbcanvas.h"

namespace {

struct RealLayout : ::testing::Test {
  cLoggingCanvas<cCrbOffscreenCanvas> canvas;
  void SetUp() override { ASSERT_TRUE(canvas.create(400, 200)); }
};

ZVK_LAYOUT_TESTS(RealLayout)

}  // namespace
