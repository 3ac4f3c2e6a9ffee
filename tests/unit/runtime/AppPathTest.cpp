#include "runtime/AppPath.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(ChangeFileExtTest, ReplacesOnlyTheExtensionOfTheFileName) {
    EXPECT_EQ(ChangeFileExt("/opt/kestro/Kestro4SetClock", ".ini"),
              "/opt/kestro/Kestro4SetClock.ini");
    EXPECT_EQ(ChangeFileExt("prog.exe", ".ini"), "prog.ini");
    EXPECT_EQ(ChangeFileExt("a/b.c/prog", ".ini"), "a/b.c/prog.ini");
    EXPECT_EQ(ChangeFileExt("a/b.c/prog.x.exe", ".ini"), "a/b.c/prog.x.ini");
    EXPECT_EQ(ChangeFileExt("prog.", ".ini"), "prog.ini");
    EXPECT_EQ(ChangeFileExt("", ".ini"), ".ini");
    EXPECT_EQ(ChangeFileExt("prog.exe", ""), "prog");
}

#ifdef _WIN32
TEST(ChangeFileExtTest, KnowsWindowsSeparators) {
    EXPECT_EQ(ChangeFileExt("C:\\Prog.d\\Kestro4SetClock", ".ini"),
              "C:\\Prog.d\\Kestro4SetClock.ini");
    EXPECT_EQ(ChangeFileExt("C:\\Prog.d\\Kestro.exe", ".ini"), "C:\\Prog.d\\Kestro.ini");
}
#endif

TEST(ExecutablePathTest, NamesThisTestProgram) {
    const std::filesystem::path path = ExecutablePath();
    EXPECT_TRUE(path.is_absolute());
    EXPECT_EQ(path.stem().string(), "runtime_tests");
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
}

} // namespace
