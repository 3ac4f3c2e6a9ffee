#include "runtime/SettingsLocation.h"

#include "../../support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#ifndef _WIN32
#include "tests/support/OrdinaryUser.h"

#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

TEST(ApplicationIdTest, IsReverseDnsSoItCanNameFoldersAndDesktopFiles) {
    const std::string id(ApplicationId());
    EXPECT_EQ(id.find('/'), std::string::npos);
    EXPECT_EQ(id.find('\\'), std::string::npos);
    EXPECT_GE(std::count(id.begin(), id.end(), '.'), 2);
}

#ifndef _WIN32
std::string PerUser(const std::string& configHome) {
    return configHome + "/" + std::string(ApplicationId()) + "/Kestro4SetClock.ini";
}

const std::string Installed = "/usr/bin/Kestro4SetClock";

TEST(ChooseSettingsFile, StaysBesideTheExecutableWhenAFileLiesThereOrTheFolderIsWritable) {
    const TSettingsEnvironment env{"/home/u/.cfg", "/home/u", ""};
    EXPECT_EQ(ChooseSettingsFile(Installed, {true, false}, env), "/usr/bin/Kestro4SetClock.ini");
    EXPECT_EQ(ChooseSettingsFile(Installed, {false, true}, env), "/usr/bin/Kestro4SetClock.ini");
    EXPECT_EQ(ChooseSettingsFile("/opt/k/Renamed.bin", {false, true}, env), "/opt/k/Renamed.ini");
}

TEST(ChooseSettingsFile, TakesThePerUserFileInAFolderTheUserCannotWrite) {
    EXPECT_EQ(ChooseSettingsFile(Installed, {}, {"/home/u/.cfg", "/home/u", ""}),
              PerUser("/home/u/.cfg"));
    // XDG_CONFIG_HOME unset, or not absolute and so invalid: ~/.config.
    EXPECT_EQ(ChooseSettingsFile(Installed, {}, {"", "/home/u", ""}), PerUser("/home/u/.config"));
    EXPECT_EQ(ChooseSettingsFile(Installed, {}, {"cfg", "/home/u/", ""}),
              PerUser("/home/u/.config"));
    // The per-user file bears the window's name whatever the executable is called.
    EXPECT_EQ(ChooseSettingsFile("/usr/bin/kestro", {}, {"/c/", "/home/u", ""}), PerUser("/c"));
}

TEST(ChooseSettingsFile, StaysBesideWhenNoPerUserFolderIsKnown) {
    EXPECT_EQ(ChooseSettingsFile(Installed, {}, {"", "", ""}), "/usr/bin/Kestro4SetClock.ini");
    EXPECT_EQ(ChooseSettingsFile(Installed, {}, {"rel", "home", "/appdata"}),
              "/usr/bin/Kestro4SetClock.ini");
}
#else
TEST(ChooseSettingsFile, FallsBackToAppDataOnWindows) {
    const std::string exe = "C:\\Program Files\\Kestro\\Kestro4SetClock.exe";
    const TSettingsEnvironment env{"", "", "C:\\Users\\u\\AppData\\Roaming"};
    EXPECT_EQ(ChooseSettingsFile(exe, {false, true}, env),
              "C:\\Program Files\\Kestro\\Kestro4SetClock.ini");
    EXPECT_EQ(ChooseSettingsFile(exe, {}, env), "C:\\Users\\u\\AppData\\Roaming\\" +
                                                    std::string(ApplicationId()) +
                                                    "\\Kestro4SetClock.ini");
    EXPECT_EQ(ChooseSettingsFile(exe, {}, {"", "", ""}),
              "C:\\Program Files\\Kestro\\Kestro4SetClock.ini");
}
#endif

TEST(LookBeside, SeesTheSettingsFileAndAWritableFolder) {
    const TTempFolder folder;
    const std::string exe = folder.File("Prog.exe");
    TBesideFacts facts = LookBeside(exe);
    EXPECT_FALSE(facts.FileExists);
    EXPECT_TRUE(facts.FolderWritable);
    EXPECT_EQ(folder.EntryCount(), 0u); // looking leaves nothing behind

    WriteBytes(folder.File("Prog.ini"), "[Congif]\n");
    EXPECT_TRUE(LookBeside(exe).FileExists);
    EXPECT_EQ(SettingsFileFor(exe), folder.File("Prog.ini"));
}

#ifndef _WIN32
TEST(LookBeside, CountsALinkThatPointsNowhereAsASettingsFile) {
    const TTempFolder folder;
    fs::create_symlink(folder.File("elsewhere.ini"), folder.File("Prog.ini"));
    EXPECT_TRUE(LookBeside(folder.File("Prog")).FileExists);
}

TEST(LookBeside, SeesAFolderTheUserCannotWrite) {
    const TTempFolder folder;
    const std::string bin = folder.File("bin");
    fs::create_directory(bin);
    const TOrdinaryUser user = OrdinaryUser();
    ASSERT_EQ(chown(bin.c_str(), user.Uid, user.Gid), 0);
    fs::permissions(bin, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_TRUE(AsOrdinaryUser([&] {
        const TBesideFacts facts = LookBeside(bin + "/Prog");
        return !facts.FolderWritable && !facts.FileExists;
    }));
    fs::permissions(bin, fs::perms::owner_all);
}

TEST(ProcessSettingsEnvironment, TakesTheAccountsHomeWhenHomeIsNotAbsolute) {
    const char* saved = std::getenv("HOME");
    const std::string old = saved != nullptr ? saved : "";
    setenv("HOME", "relative", 1);
    const TSettingsEnvironment env = ProcessSettingsEnvironment();
    if (saved != nullptr)
        setenv("HOME", old.c_str(), 1);
    else
        unsetenv("HOME");
    EXPECT_FALSE(env.Home.empty());
    EXPECT_EQ(env.Home.front(), '/');
}
#endif

TEST(PrepareSettingsFolder, CreatesMissingFoldersForTheUserAlone) {
    const TTempFolder folder;
    const fs::path config = folder.Path() / "config";
    const std::string file = (config / "org.example.App" / "Kestro4SetClock.ini").string();
    ASSERT_TRUE(PrepareSettingsFolder(file));
    EXPECT_TRUE(fs::is_directory(config / "org.example.App"));
    EXPECT_FALSE(fs::exists(file)); // the file itself is written by saving only
#ifndef _WIN32
    EXPECT_EQ(fs::status(config).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(config / "org.example.App").permissions(), fs::perms::owner_all);

    // A folder that exists keeps its permissions.
    fs::permissions(config, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    ASSERT_TRUE(PrepareSettingsFolder(file));
    EXPECT_EQ(fs::status(config).permissions(),
              fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
#endif
}

TEST(PrepareSettingsFolder, FailsWhereAFileBlocksTheFolder) {
    const TTempFolder folder;
    WriteBytes(folder.File("config"), "");
    EXPECT_FALSE(PrepareSettingsFolder((folder.Path() / "config" / "id" / "x.ini").string()));
}

} // namespace
