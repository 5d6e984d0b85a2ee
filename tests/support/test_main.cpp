// The main of every test executable: the user's library settings are cleared before any test runs (a
// child process a test starts inherits the cleared environment, and clears its own again), and a test
// runs on the headless host unless its registration asks for another.
#include <gtest/gtest.h>

#include <cstdlib>

#include "test_environment.h"

int main(int argc, char** argv) {
  orbel::testing::ClearLibraryVariables();
  setenv("ORBEL_HOST", "headless", 0);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
