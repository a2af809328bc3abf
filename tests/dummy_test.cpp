#include <gtest/gtest.h>
#include "cseries.h"
TEST(Dummy, Tag) { EXPECT_EQ(TAG("abcd"), 0x61626364u); }
