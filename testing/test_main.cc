// Test entry: the failure log goes to a sink that the tests can inspect, so
// that expected failures do not flood the output.
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
