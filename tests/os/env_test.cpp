#include "os/env.h"

#include <gtest/gtest.h>

#include "support/scoped_env.h"

namespace palvorin {
namespace {

TEST(Env, UnsetVariablesReadAsEmptyAndScopedChangesAreUndone) {
  {
    palvorin::testing::ScopedEnv env;
    env.Set("PALVORIN_TEST_A", "C:\\ZEP\\").Unset("PALVORIN_TEST_B");
    EXPECT_EQ(GetEnv("PALVORIN_TEST_A"), "C:\\ZEP\\");
    EXPECT_EQ(GetEnv("PALVORIN_TEST_B"), "");
    SetEnv("PALVORIN_TEST_B", "x");
    EXPECT_EQ(GetEnv("PALVORIN_TEST_B"), "x");
    UnsetEnv("PALVORIN_TEST_B");
    EXPECT_EQ(GetEnv("PALVORIN_TEST_B"), "");
    env.Set("PALVORIN_TEST_A", "second");
  }
  EXPECT_EQ(GetEnv("PALVORIN_TEST_A"), "");
  EXPECT_EQ(GetEnv("PALVORIN_TEST_B"), "");
}

}  // namespace
}  // namespace palvorin
