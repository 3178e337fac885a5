#include "app/discovery/vdf.h"

#include <gtest/gtest.h>

namespace app {
namespace {

TEST(ParseVdfTest, ReadsNestedBlocksAndPairs) {
  auto root = ParseVdf(R"("AppState"
{
	"appid"		"12210"
	"installdir"		"Grand Theft Auto IV"
	"UserConfig" { "language" "english" }
}
)");
  ASSERT_TRUE(root);
  const VdfNode* state = root->Find("appstate");
  ASSERT_TRUE(state && state->isBlock);
  EXPECT_EQ(state->ValueOf("InstallDir"), "Grand Theft Auto IV");
  EXPECT_EQ(state->Find("UserConfig")->ValueOf("language"), "english");
  EXPECT_FALSE(state->ValueOf("UserConfig"));
}

TEST(ParseVdfTest, HandlesEscapesCommentsBareTokensAndConditions) {
  auto root = ParseVdf(
      "// comment\n"
      "root { \"a\\\\b\" \"say \\\"hi\\\"\\n\" bare value [$WIN32]\n"
      "  \"c:\\\\x\\q\" x }");
  ASSERT_TRUE(root);
  const VdfNode& block = root->children.at(0);
  EXPECT_EQ(block.ValueOf("a\\b"), "say \"hi\"\n");
  EXPECT_EQ(block.ValueOf("bare"), "value");
  EXPECT_EQ(block.ValueOf("c:\\x\\q"), "x");
}

TEST(ParseVdfTest, RefusesMalformedText) {
  EXPECT_FALSE(ParseVdf("\"a\" { \"b\" \"c\""));  // unclosed block
  EXPECT_FALSE(ParseVdf("\"a\" \"b"));            // unterminated string
  EXPECT_FALSE(ParseVdf("}"));
  EXPECT_FALSE(ParseVdf("\"key\""));  // key without value
  EXPECT_FALSE(ParseVdf("{ }"));
}

TEST(ParseVdfTest, RefusesNestingBeyondTheLimit) {
  std::string deep;
  for (int i = 0; i <= kVdfMaxDepth; ++i) deep += "a {";
  for (int i = 0; i <= kVdfMaxDepth; ++i) deep += "}";
  EXPECT_FALSE(ParseVdf(deep));
  std::string bottomless(100000, '{');
  EXPECT_FALSE(ParseVdf("a " + bottomless));
}

TEST(ParseVdfTest, EmptyTextIsAnEmptyRoot) {
  auto root = ParseVdf(" \n// nothing\n");
  ASSERT_TRUE(root);
  EXPECT_TRUE(root->children.empty());
}

}  // namespace
}  // namespace app
