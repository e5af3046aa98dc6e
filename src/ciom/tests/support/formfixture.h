// The fixture of the tests that open forms over a parent element: an
// English test window of 1000 x 800, with the shared recordings of runs,
// scripts and pop-ups cleared before and after each test.
#pragma once

#include <gtest/gtest.h>

#include "support/formplatform.h"

class cFormFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    cFormTestTarget::reset();
    cFormTestTarget::useLanguage(eLangENG);
    window.bind(&parent, 1000, 800);
  }
  void TearDown() override { cFormTestTarget::reset(); }
  cFormTestTarget window;
  cChildElement parent;
};
