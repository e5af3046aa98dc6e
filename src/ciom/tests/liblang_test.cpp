#include "ciom/liblang.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>
#include <vector>

#include "ciom/ciomlangs.h"
#include "ciom/langcontainer.h"

namespace {

using Bytes = std::vector<unsigned char>;
using cSections = std::map<std::string, std::vector<std::string>>;

Bytes makeBlock(const char* code, const cSections& sections) {
  cCiomLang store;
  store.create(code, code);
  for (const auto& [name, texts] : sections) {
    cFasterTreeList<unsigned short, _guardchar<char>> slots;
    for (size_t i = 0; i < texts.size(); ++i)
      slots.insert(static_cast<unsigned short>(i))->set(texts[i].c_str());
    store.sections.insert(cStringKey(name.c_str(), -1))->create(slots);
  }
  _typebuf<unsigned char> out;
  EXPECT_TRUE(saveCiomLangData("CIOMBASE", store, out));
  return Bytes(out.ptr, out.ptr + out.count);
}

// A component's provider with tables made by the test.
class cTestLang : public cLibLang {
 public:
  explicit cTestLang(eCIOMStdLangs fallback) : fallback(fallback) {}

  // Moving a block keeps its bytes where they are, so the table stays valid.
  void add(eCIOMStdLangs lang, Bytes block) {
    blocks.push_back(std::move(block));
    table.push_back({lang, blocks.back().data(), static_cast<long long>(blocks.back().size())});
  }

  bool defines(eCIOMStdLangs lang) override { return cLibLang::defines(lang, table.data(), count()); }
  long long sizeOf(eCIOMStdLangs lang) override { return cLibLang::sizeOf(lang, table.data(), count()); }
  const void* langData(eCIOMStdLangs lang) override {
    return cLibLang::langData(lang, table.data(), count());
  }
  eCIOMStdLangs defaltLang() override { return fallback; }

  std::vector<sLangDef> table;

 private:
  long long count() const { return static_cast<long long>(table.size()); }
  eCIOMStdLangs fallback;
  std::vector<Bytes> blocks;
};

std::string shared(const char* section, long long i) {
  cCiomLangData* data = cLibLang::gCiomLang.sections.find(cStringKey(section, -1));
  const char* text = data ? data->string(i) : nullptr;
  return text ? text : "<none>";
}

// Each test gets an empty registry and store of its own; the process's own
// are put back afterwards, since a provider is never unregistered.
class LanguageRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    held = cLibLang::gLangLoadersPtr;
    heldApplied = cLibLang::glastAppliedLang;
    cLibLang::gLangLoadersPtr = nullptr;
    cLibLang::gCiomLang.create(nullptr, nullptr);
  }
  void TearDown() override {
    if (cLibLang::gLangLoadersPtr) cLibLang::gLangLoadersPtr->destroy();
    delete cLibLang::gLangLoadersPtr;
    cLibLang::gLangLoadersPtr = held;
    cLibLang::glastAppliedLang = heldApplied;
    cLibLang::gCiomLang.create(nullptr, nullptr);
  }

 private:
  _List<cLibLang*>* held = nullptr;
  eCIOMStdLangs heldApplied = eLangNone;
};

}  // namespace

TEST_F(LanguageRegistry, SpanishFallsBackToEachProvidersDefault) {
  cTestLang app(eLangDEU);
  app.add(eLangDEU, makeBlock("DEU", {{"app::main", {"Datei"}}}));
  app.add(eLangESP, makeBlock("ESP", {{"app::main", {"Archivo"}}}));
  cCIOMLang toolkit;

  EXPECT_TRUE(cLibLang::applyLang(eLangESP));
  EXPECT_EQ(cLibLang::appliedLang(), eLangESP);
  EXPECT_EQ(shared("app::main", 0), "Archivo");
  EXPECT_EQ(shared("ciom::messages", 0), "Ok");
  EXPECT_EQ(shared("ciom::filechoose", 24), "Custom");

  EXPECT_TRUE(cLibLang::applyLang(eLangRUS));
  EXPECT_EQ(shared("app::main", 0), "Datei");
  EXPECT_EQ(shared("ciom::messages", 1), "Да");

  // The first registered provider names the default language.
  EXPECT_TRUE(cLibLang::applyDefaultLang());
  EXPECT_EQ(cLibLang::appliedLang(), eLangDEU);
  EXPECT_EQ(shared("ciom::messages", 2), "Nein");
}

TEST_F(LanguageRegistry, OneFailingProviderFailsTheCallButNotTheOthers) {
  cTestLang broken(eLangKOR);
  broken.add(eLangJPN, Bytes{'C', 'I', 'O', 'M'});
  cTestLang empty(eLangKOR);
  cCIOMLang toolkit;

  EXPECT_FALSE(cLibLang::applyLang(eLangJPN));
  EXPECT_EQ(cLibLang::appliedLang(), eLangJPN);
  EXPECT_EQ(shared("ciom::messages", 1), "はい");
}

TEST(LanguageIdentifiers, NumbersOutsideTheRangeAreInvalid) {
  for (int n : {-1, 10, INT_MIN, INT_MAX}) {
    EXPECT_STREQ(ciLangID(n), "INV") << n;
    EXPECT_EQ(ciLangName(n), nullptr) << n;
    EXPECT_FALSE(ciLangValid(n)) << n;
  }
}

TEST(LanguageContainer, KeepsOneBlockPerLanguageAndADefault) {
  cLangContainer container;
  unsigned char first[4] = {}, second[8] = {};
  long long size = 4, bigger = 8, none = 0;
  EXPECT_FALSE(container.addDef(eLangENG, first, none, false));
  EXPECT_FALSE(container.addDef(11, first, size, false));
  EXPECT_TRUE(container.addDef(eLangDEU, first, size, false));
  EXPECT_TRUE(container.addDef(eLangFRA, first, size, false));
  EXPECT_TRUE(container.addDef(eLangFRA, second, bigger, true));
  EXPECT_EQ(container.defaultLang, eLangFRA);
  EXPECT_EQ(container.count, 2);
  unsigned char* data = nullptr;
  EXPECT_TRUE(container.getLang(eLangFRA, data, size));
  EXPECT_EQ(data, second);
}
