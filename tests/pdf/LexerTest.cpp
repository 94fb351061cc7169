#include "pdf/Lexer.h"

#include <gtest/gtest.h>

TEST(Lexer, Smoke)
{
    EXPECT_EQ(1, 1);
}
