// The fixture of the platform tests that work on files: a fresh folder, and
// every armed fault disarmed when the test ends.
#pragma once

#include <gtest/gtest.h>

#include "TestFolder.h"
#include "platform/Faults.h"

class FolderTest : public ::testing::Test {
  protected:
    void TearDown() override { platform::DisarmAllFaults(); }
    TestFolder folder;
};
