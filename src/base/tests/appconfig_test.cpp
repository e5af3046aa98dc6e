#include "base/appconfig.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// A store in memory: each context a node of a std::map tree.
class MapConfig : public cApplicationConfig {
 public:
  struct Node {
    std::map<std::string, std::unique_ptr<Node>> children;
    std::string value;
  };

  explicit MapConfig(bool text) : text_(text) {}

  void* rootContextHandle() override { return &root; }
  void* subContextHandle(const char* name, void* parent, bool create) override {
    auto& children = static_cast<Node*>(parent)->children;
    auto found = children.find(name);
    if (found != children.end()) return found->second.get();
    if (!create) return nullptr;
    return (children[name] = std::make_unique<Node>()).get();
  }
  bool getParamValueSize(void* ctx, long long& size) override {
    size = static_cast<long long>(static_cast<Node*>(ctx)->value.size());
    return true;
  }
  bool getParamValue(void* buf, long long size, void* ctx) override {
    const std::string& value = static_cast<Node*>(ctx)->value;
    if (size != static_cast<long long>(value.size())) return false;
    memcpy(buf, value.data(), value.size());
    return true;
  }
  bool setParamValue(const void* data, long long size, void* ctx) override {
    static_cast<Node*>(ctx)->value.assign(static_cast<const char*>(data), static_cast<size_t>(size));
    return true;
  }
  bool getParamValue(_guardchar<char>& text, void* ctx) override {
    text.set(static_cast<Node*>(ctx)->value.c_str());
    return true;
  }
  bool setParamValue(const char* text, long long length, void* ctx) override {
    static_cast<Node*>(ctx)->value =
        length < 0 ? std::string(text) : std::string(text, static_cast<size_t>(length));
    return true;
  }
  bool isTextConfig() override { return text_; }
  bool openConfig(const char*) override { return true; }

  Node* at(const std::string& path) { return static_cast<Node*>(getPathContextHandle(path.c_str(), false)); }

  Node root;

 private:
  bool text_;
};

TEST(AppConfig, PathsWalkContextsComponentByComponent) {
  MapConfig config(true);
  EXPECT_EQ(config.getPathContextHandle(nullptr, true), &config.root);
  EXPECT_EQ(config.getPathContextHandle("install/app/ver", false), nullptr);
  EXPECT_TRUE(config.root.children.empty());
  // Components are names as they stand: empty ones and blanks included.
  void* odd = config.getPathContextHandle("a//b /", true);
  EXPECT_EQ(config.root.children.at("a")->children.at("")->children.at("b ")->children.at("").get(), odd);
  EXPECT_EQ(config.getPathContextHandle("A//b /", false), nullptr);
}

TEST(AppConfig, TextStoreKeepsNumbersAsDecimalText) {
  MapConfig config(true);
  EXPECT_TRUE(config.setParamInt16("x", -1));
  EXPECT_EQ(config.at("x")->value, "-1");
  EXPECT_EQ(config.getParamInt16("x"), 65535);
  EXPECT_EQ(config.getParamInt32("x"), -1);
  EXPECT_TRUE(config.setParamInt64("lang/big", -5000000000LL));
  EXPECT_EQ(config.getParamInt64("lang/big"), -5000000000LL);
  config.setParamStr("hex", " 0x1F", -1);
  unsigned long long value = 0;
  EXPECT_TRUE(config.getParamInt("hex", value));
  EXPECT_EQ(value, 31u);
  // Raw bytes are refused and leave no context behind.
  EXPECT_FALSE(config.setParam("raw/bytes", "\x01\x02", 2));
  EXPECT_EQ(config.at("raw"), nullptr);
  EXPECT_TRUE(config.setParamStr("install/app/name", "Name with tail", 9));
  EXPECT_EQ(config.at("install/app/name")->value, "Name with");
}

TEST(AppConfig, BinaryStoreKeepsLittleEndianBytes) {
  MapConfig config(false);
  EXPECT_TRUE(config.setParamInt16("x", -1));
  EXPECT_EQ(config.at("x")->value, std::string("\xFF\xFF", 2));
  EXPECT_EQ(config.getParamInt32("x"), 65535);
  EXPECT_TRUE(config.setParamInt64("z", -2));
  EXPECT_EQ(config.at("z")->value, std::string("\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 8));
  EXPECT_EQ(config.getParamInt64("z"), -2);

  // Up to eight bytes read as a number; more, or none, leave the value alone.
  unsigned long long value = 7;
  ASSERT_TRUE(config.setParam("a/b", "\x01\x02\x03", 3));
  EXPECT_TRUE(config.getParamInt("a/b", value));
  EXPECT_EQ(value, 0x030201u);
  value = 7;
  ASSERT_TRUE(config.setParam("nine", "123456789", 9));
  EXPECT_FALSE(config.getParamInt("nine", value));
  ASSERT_TRUE(config.setParam("empty", "", 0));
  EXPECT_FALSE(config.getParamInt("empty", value));
  EXPECT_EQ(value, 7u);
  _guardchar<char> text("old");
  ASSERT_TRUE(config.getParamStr("empty", text));
  EXPECT_EQ(text.ptr, nullptr);
}

}  // namespace
