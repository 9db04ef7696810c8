#include <gtest/gtest.h>

#include "kernel/startup.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  StartUp();
  return RUN_ALL_TESTS();
}
