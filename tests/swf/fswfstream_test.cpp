#include <gtest/gtest.h>
#include "swf/fswfstream.h"
TEST(Stream, Placeholder) { FSWFStream s; s.WriteBits(5,3); s.WriteBits(1,5); EXPECT_EQ(s.Buffer()[0], 0xA1); }
