#include "media/swfaction.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

namespace {

Bytes Collected(const ActionBuffer& buffer) {
  return buffer.GetData() ? Bytes(buffer.GetData(), buffer.GetData() + buffer.GetSize()) : Bytes();
}

}  // namespace

TEST(ActionBuffer, PushLayouts) {
  ActionBuffer empty;
  EXPECT_EQ(empty.GetSize(), 0);
  EXPECT_EQ(empty.GetData(), nullptr);

  const struct {
    const char* name;
    bool (*write)(ActionBuffer&);
    Bytes bytes;
  } cases[] = {
      {"empty string", [](ActionBuffer& b) { return b.PushCString(""); }, {0x96, 0x02, 0x00, 0x00, 0x00}},
      {"abc", [](ActionBuffer& b) { return b.PushString("abc"); },
       {0x96, 0x05, 0x00, 0x00, 0x61, 0x62, 0x63, 0x00}},
      {"integer -1", [](ActionBuffer& b) { return b.PushInteger(-1); },
       {0x96, 0x05, 0x00, 0x07, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"integer", [](ActionBuffer& b) { return b.PushInteger(0x12345678); },
       {0x96, 0x05, 0x00, 0x07, 0x78, 0x56, 0x34, 0x12}},
      {"boolean 256", [](ActionBuffer& b) { return b.PushBoolean(256); }, {0x96, 0x02, 0x00, 0x05, 0x00}},
      {"boolean 1", [](ActionBuffer& b) { return b.PushBoolean(1); }, {0x96, 0x02, 0x00, 0x05, 0x01}},
      {"codes",
       [](ActionBuffer& b) { return b.Pop() && b.GetVariable() && b.SetVariable() && b.CallMethod() && b.End(); },
       {0x17, 0x1C, 0x1D, 0x52, 0x00}},
  };
  for (const auto& c : cases) {
    ActionBuffer buffer;
    ASSERT_TRUE(c.write(buffer)) << c.name;
    EXPECT_EQ(Collected(buffer), c.bytes) << c.name;
  }
}

TEST(ActionBuffer, MethodCallTail) {
  ActionBuffer buffer;
  ASSERT_TRUE(buffer.PushCString("this") && buffer.GetVariable() && buffer.PushInteger(1) &&
              buffer.PushCString("_parent") && buffer.GetVariable() && buffer.PushCString("svMovieStarts") &&
              buffer.CallMethod() && buffer.Pop() && buffer.End());
  const Bytes expected = {0x96, 0x06, 0x00, 0x00, 0x74, 0x68, 0x69, 0x73, 0x00, 0x1C, 0x96, 0x05, 0x00,
                          0x07, 0x01, 0x00, 0x00, 0x00, 0x96, 0x09, 0x00, 0x00, 0x5F, 0x70, 0x61, 0x72,
                          0x65, 0x6E, 0x74, 0x00, 0x1C, 0x96, 0x0F, 0x00, 0x00, 0x73, 0x76, 0x4D, 0x6F,
                          0x76, 0x69, 0x65, 0x53, 0x74, 0x61, 0x72, 0x74, 0x73, 0x00, 0x52, 0x17, 0x00};
  EXPECT_EQ(buffer.GetSize(), 52);
  EXPECT_EQ(Collected(buffer), expected);
}

TEST(ActionBuffer, VariableSetters) {
  ActionBuffer buffer;
  ASSERT_TRUE(buffer.SetStringVariable("a", "xy"));
  ASSERT_TRUE(buffer.SetBooleanVariable("b", 1));
  ASSERT_TRUE(buffer.SetIntegerVariable("c", 75));
  const Bytes expected = {0x96, 0x03, 0x00, 0x00, 'a', 0x00, 0x96, 0x04, 0x00, 0x00, 'x', 'y', 0x00, 0x1D,
                          0x96, 0x03, 0x00, 0x00, 'b', 0x00, 0x96, 0x02, 0x00, 0x05, 0x01, 0x1D,
                          0x96, 0x03, 0x00, 0x00, 'c', 0x00, 0x96, 0x05, 0x00, 0x07, 75, 0, 0, 0, 0x1D};
  EXPECT_EQ(Collected(buffer), expected);
}

TEST(ActionBuffer, RefusesStringsTheLengthFieldCannotCarry) {
  ActionBuffer buffer;
  EXPECT_FALSE(buffer.PushString(std::string(65534, 'x')));
  EXPECT_FALSE(buffer.PushCString(std::string(70000, 'y').c_str()));
  EXPECT_FALSE(buffer.PushString(std::string("a\0b", 3)));
  EXPECT_FALSE(buffer.PushCString(nullptr));
  EXPECT_FALSE(buffer.SetStringVariable("name", std::string(65534, 'z')));
  // The failed setter stops after the name: nothing of the refused value was written.
  EXPECT_EQ(buffer.GetSize(), 9);

  ActionBuffer longest;
  ASSERT_TRUE(longest.PushString(std::string(65533, 'x')));
  ASSERT_EQ(longest.GetSize(), 65533 + 5);
  EXPECT_EQ(Collected(longest)[1], 0xFF);
  EXPECT_EQ(Collected(longest)[2], 0xFF);
  EXPECT_EQ(Collected(longest).back(), 0x00);
}
