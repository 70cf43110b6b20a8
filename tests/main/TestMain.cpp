// The main of every GoogleTest program: the tests run in a home of their own.
#include <gtest/gtest.h>

#include "support/IsolatedHome.h"

int main(int argc, char** argv) {
  IsolatedHome home;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
