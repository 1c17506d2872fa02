// Path helpers: splitting at the last separator and period, joining, trimming.

#include <gtest/gtest.h>

#include <string>

#include "platform/paths.h"

namespace quarvel::platform {
namespace {

TEST(PathHelpers, SplitAtTheLastSeparatorAndPeriod) {
    EXPECT_EQ(GetDirectoryPart("/logs/thread.htm"), "/logs");
    EXPECT_EQ(GetBaseName("/logs/thread.htm"), "thread");
    EXPECT_EQ(GetExtension("/logs/thread.htm"), "htm");
    EXPECT_EQ(GetFileNameWithExtension("/logs/thread.htm"), "thread.htm");

    EXPECT_EQ(GetDirectoryPart("thread.htm"), "");
    EXPECT_EQ(GetBaseName("thread.htm"), "thread");
    EXPECT_EQ(GetBaseName("/logs/README"), "");
    EXPECT_EQ(GetExtension("/logs/README"), "/logs/README");
    EXPECT_EQ(GetBaseName("/my.logs/thread"), "");
    EXPECT_EQ(GetBaseName("/logs/a.b.htm"), "a.b");
    // UTF-8 bytes before the separator (あ is E3 81 82, 表 is E8 A1 A8) never hide it.
    EXPECT_EQ(GetDirectoryPart("/あ/表/ソ.htm"), "/あ/表");
    EXPECT_EQ(GetBaseName("/あ/表/ソ.htm"), "ソ");

    EXPECT_EQ(SiblingPath("/logs/thread.htm", "thread"), "/logs/thread");
    EXPECT_EQ(SiblingPath("/thread.htm", "backup"), "/backup");
    EXPECT_EQ(SiblingPath("thread.htm", "thread"), "thread");  // relative, never the root

    EXPECT_EQ(ContainingFolder("/logs/thread.htm"), "/logs");
    EXPECT_EQ(ContainingFolder("/thread.htm"), "/");
    EXPECT_EQ(ContainingFolder("thread.htm"), ".");
    EXPECT_EQ(JoinPath("/logs", "a.htm"), "/logs/a.htm");
    EXPECT_EQ(JoinPath("/", "a.htm"), "/a.htm");
    // A folder as the walk takes it: trailing separators removed, the root kept.
    EXPECT_EQ(TrimTrailingSeparators("/data/logs///"), "/data/logs");
    EXPECT_EQ(TrimTrailingSeparators("/data/logs"), "/data/logs");
    EXPECT_EQ(TrimTrailingSeparators("//"), "/");
    EXPECT_EQ(TrimTrailingSeparators(""), "");
}

}  // namespace
}  // namespace quarvel::platform
