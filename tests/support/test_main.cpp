// The main of every test executable: the user's library settings are cleared before any test runs (a
// child process a test starts inherits the cleared environment, and clears its own again).
#include <gtest/gtest.h>

#include "test_environment.h"

int main(int argc, char** argv) {
  orbel::testing::ClearLibraryVariables();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
