// The main of every unit test program: GoogleTest's, with skips reported
// to CTest as skips (see ExitStatus).
#include <gtest/gtest.h>

#include "TestSupport.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return tarvexa::test::ExitStatus(RUN_ALL_TESTS());
}
