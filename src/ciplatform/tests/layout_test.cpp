#include <gtest/gtest.h>

#include "ciplatform/crbcanvas.h"
#include "ciom/tests/support/layoutcases.h"

namespace {

struct RealLayout : ::testing::Test {
  cLoggingCanvas<cCrbOffscreenCanvas> canvas;
  void SetUp() override { ASSERT_TRUE(canvas.create(400, 200)); }
};

TEST_F(RealLayout, FittingText) { layout::fittingText(canvas, canvas); }
TEST_F(RealLayout, Ellipsis) { layout::ellipsis(canvas, canvas); }
TEST_F(RealLayout, MarginsLeavingNoRoom) { layout::noRoom(canvas, canvas); }
TEST_F(RealLayout, Tokens) { layout::tokens(canvas); }
TEST_F(RealLayout, Wrapping) { layout::wrapping(canvas, canvas); }
TEST_F(RealLayout, Justification) { layout::justification(canvas, canvas); }
TEST_F(RealLayout, FirstWordWiderThanBox) { layout::firstWordWiderThanBox(canvas, canvas); }
TEST_F(RealLayout, LastLines) { layout::lastLines(canvas, canvas); }

}  // namespace
