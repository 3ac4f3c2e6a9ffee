// What a settings file may be and who may write it: the file layer never hangs, never reads
// without bound, and never replaces a file the user may not write or whose owner, group or
// permissions it cannot keep.
#include "runtime/Exception.h"
#include "runtime/IniFile.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace {

constexpr uid_t Nobody = 65534;
constexpr gid_t NoGroup = 65534;

std::string ReadMessage(const TIniFile& ini) {
    try {
        ini.ReadInteger("Congif", "ComPort", 1);
    } catch (const EIniFileException& e) {
        return e.Message();
    }
    return "read without error";
}

bool WriteFails(TIniFile& ini) {
    try {
        ini.WriteInteger("Congif", "ComPort", 5);
    } catch (const EIniFileException& e) {
        return e.Message() == "Unable to write to " + ini.FileName();
    }
    return false;
}

struct stat Status(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info;
}

// Runs `check` as an ordinary user: directly when the tests run as one, in a child process
// that has dropped to nobody when they run as root. True when `check` held.
bool AsOrdinaryUser(const std::function<bool()>& check) {
    if (geteuid() != 0)
        return check();
    const pid_t child = fork();
    if (child == 0) {
        const bool dropped =
            setgroups(0, nullptr) == 0 && setgid(NoGroup) == 0 && setuid(Nobody) == 0;
        _exit(dropped && check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// A folder everybody may write to, with a settings file owned by `owner`.
struct TSharedFolder {
    TTempFolder Folder;
    std::string File = Folder.File("k.ini");
    const std::string Content = "[Congif]\nComPort=2\n";

    explicit TSharedFolder(mode_t mode, uid_t owner = geteuid(), gid_t group = getegid()) {
        chmod(Folder.Path().c_str(), 0777);
        WriteBytes(File, Content);
        EXPECT_EQ(chown(File.c_str(), owner, group), 0);
        chmod(File.c_str(), mode);
    }
};

TEST(IniFileSafetyTest, AFileTheUserMayNotWriteIsNotReplaced) {
    // Read-only and owned by the user who saves.
    const uid_t user = geteuid() == 0 ? Nobody : geteuid();
    const gid_t group = geteuid() == 0 ? NoGroup : getegid();
    TSharedFolder readOnly(0444, user, group);
    const ino_t inode = Status(readOnly.File).st_ino;
    EXPECT_TRUE(AsOrdinaryUser([&] {
        TIniFile ini(readOnly.File);
        return ini.ReadInteger("Congif", "ComPort", 1) == 2 && WriteFails(ini);
    }));
    EXPECT_EQ(ReadBytes(readOnly.File), readOnly.Content);
    EXPECT_EQ(Status(readOnly.File).st_ino, inode);
    EXPECT_EQ(Status(readOnly.File).st_mode & 07777, 0444u);
    EXPECT_EQ(readOnly.Folder.EntryCount(), 1u);

    if (geteuid() != 0)
        GTEST_SKIP() << "a file of another user needs root to set up";
    // Root's file, readable by all, in a folder everybody may write to.
    TSharedFolder rootsFile(0644, 0, 0);
    EXPECT_TRUE(AsOrdinaryUser([&] {
        TIniFile ini(rootsFile.File);
        return WriteFails(ini);
    }));
    EXPECT_EQ(ReadBytes(rootsFile.File), rootsFile.Content);
    EXPECT_EQ(Status(rootsFile.File).st_uid, 0u);
    EXPECT_EQ(rootsFile.Folder.EntryCount(), 1u);
}

TEST(IniFileSafetyTest, OwnerGroupAndModeOfTheFileNeverChange) {
    const bool root = geteuid() == 0;
    // Root may give the new file any owner; an ordinary user keeps his own file's.
    TSharedFolder shared(0640, root ? 12345 : geteuid(), root ? 23456 : getegid());
    TIniFile ini(shared.File);
    ini.WriteInteger("Congif", "ComPort", 3);
    EXPECT_EQ(ReadBytes(shared.File), "[Congif]\nComPort=3\n");
    const struct stat after = Status(shared.File);
    EXPECT_EQ(after.st_uid, root ? 12345u : geteuid());
    EXPECT_EQ(after.st_gid, root ? 23456u : getegid());
    EXPECT_EQ(after.st_mode & 07777, 0640u);

    if (!root)
        GTEST_SKIP() << "a group the user is not in needs root to set up";
    // The user's own writable file whose group is one the user is not in: a new file could not
    // keep that group, so the file is left as it is.
    TSharedFolder foreignGroup(0664, Nobody, 0);
    EXPECT_TRUE(AsOrdinaryUser([&] {
        TIniFile user(foreignGroup.File);
        return WriteFails(user);
    }));
    EXPECT_EQ(ReadBytes(foreignGroup.File), foreignGroup.Content);
    EXPECT_EQ(Status(foreignGroup.File).st_gid, 0u);
    EXPECT_EQ(foreignGroup.Folder.EntryCount(), 1u);
}

TEST(IniFileSafetyTest, ALinkToAMissingFileStaysALinkAndItsTargetIsCreated) {
    TTempFolder folder;
    std::filesystem::create_directory(folder.Path() / "conf");
    std::filesystem::create_symlink("conf/second.ini", folder.Path() / "first.ini");
    std::filesystem::create_symlink("real.ini", folder.Path() / "conf" / "second.ini");
    TIniFile ini(folder.File("first.ini"));
    EXPECT_EQ(ini.ReadInteger("Congif", "ComPort", 1), 1);
    ini.WriteInteger("Congif", "ComPort", 4);
    EXPECT_TRUE(std::filesystem::is_symlink(folder.Path() / "first.ini"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder.Path() / "conf" / "second.ini"));
    EXPECT_EQ(ReadBytes(folder.File("conf/real.ini")), "[Congif]\nComPort=4\n");
    EXPECT_EQ(TIniFile(folder.File("first.ini")).ReadInteger("Congif", "ComPort", 1), 4);

    // A loop of links names no file at all.
    std::filesystem::create_symlink("loop.ini", folder.Path() / "loop.ini");
    TIniFile loop(folder.File("loop.ini"));
    EXPECT_EQ(ReadMessage(loop), "Unable to read " + loop.FileName());
    EXPECT_TRUE(WriteFails(loop));
    EXPECT_TRUE(std::filesystem::is_symlink(folder.Path() / "loop.ini"));
}

TEST(IniFileSafetyTest, OnlyARegularFileIsReadAndNothingElseIsReplaced) {
    TTempFolder folder;
    ASSERT_EQ(mkfifo(folder.File("fifo").c_str(), 0644), 0);
    std::filesystem::create_symlink(folder.Path() / "fifo", folder.Path() / "fifo.ini");
    std::filesystem::create_symlink("/dev/zero", folder.Path() / "zero.ini");
    for (const char* name : {"fifo", "fifo.ini", "zero.ini"}) {
        TIniFile ini(folder.File(name));
        // A pipe without a writer would hang an ordinary open; /dev/zero never ends.
        EXPECT_EQ(ReadMessage(ini),
                  "Unable to read " + ini.FileName() + ": it is not a regular file");
        EXPECT_TRUE(WriteFails(ini)) << name;
    }
    EXPECT_EQ(Status(folder.File("fifo")).st_mode & S_IFMT, static_cast<mode_t>(S_IFIFO));
    EXPECT_TRUE(std::filesystem::is_symlink(folder.Path() / "fifo.ini"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder.Path() / "zero.ini"));
    EXPECT_EQ(folder.EntryCount(), 3u);
}

TEST(IniFileSafetyTest, AFileTheUserMayNotReadRaisesInsteadOfGivingDefaults) {
    if (geteuid() != 0)
        GTEST_SKIP() << "a file of another user needs root to set up";
    TSharedFolder secret(0600, 0, 0);
    EXPECT_TRUE(AsOrdinaryUser([&] {
        TIniFile ini(secret.File);
        return ReadMessage(ini) == "Unable to read " + secret.File && WriteFails(ini);
    }));
    EXPECT_EQ(ReadBytes(secret.File), secret.Content);
}

} // namespace

#endif
