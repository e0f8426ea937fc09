// The fixture most in-process tests share: a fresh folder and a fake host.
#pragma once

#include <gtest/gtest.h>

#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"

namespace meshbridge::test {

class HostTest : public ::testing::Test {
protected:
    TempDir dir;
    FakeHost host;
};

}  // namespace meshbridge::test
