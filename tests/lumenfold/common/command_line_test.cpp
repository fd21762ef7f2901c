#include <gtest/gtest.h>

#include "common/command_line.h"

namespace {

TEST(CommandLine, QuotedOnlyWhereAShellWouldSplitOrExpand) {
    char a0[] = "lumenfold", a1[] = "run", a2[] = "--dir", a3[] = "my dir's", a4[] = "", a5[] = "a=b,c:1@x%";
    char* argv[] = {a0, a1, a2, a3, a4, a5};
    EXPECT_EQ(shellQuoted(6, argv), "lumenfold run --dir 'my dir'\\''s' '' a=b,c:1@x%");
}

}  // namespace
