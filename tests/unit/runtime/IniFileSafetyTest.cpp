// What a settings file may be and who may write it: the file layer never hangs, never reads
// without bound, never replaces a file the user may not write or whose owner, group or
// permissions it cannot keep, never follows a stranger's link in a shared folder, and takes
// temporary names nobody can foresee. The permission cases run as an ordinary user.
#include "runtime/AtomicFile.h"
#include "runtime/Exception.h"
#include "runtime/IniFile.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include "tests/support/OrdinaryUser.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <ostream>

#ifdef __linux__
#include <sys/inotify.h>
#endif

namespace {

std::string ReadMessage(const TIniFile& ini) {
    try {
        ini.ReadInteger("Congif", "ComPort", 1);
    } catch (const EIniFileException& e) {
        return e.Message();
    }
    return "read without error";
}

// Empty when the value was written, else the message.
std::string WriteMessage(TIniFile& ini) {
    try {
        ini.WriteInteger("Congif", "ComPort", 5);
    } catch (const EIniFileException& e) {
        return e.Message();
    }
    return {};
}

bool WriteFails(TIniFile& ini) {
    return WriteMessage(ini) == "Unable to write to " + ini.FileName();
}

struct stat Status(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info;
}

const std::string Content = "[Congif]\nComPort=2\n";

// Whom a file, a folder or a link of a case belongs to. Another user than the ordinary one can
// only be set up by root.
enum class TOwner { User, Root, Other };

uid_t UidOf(TOwner owner) {
    return owner == TOwner::User ? OrdinaryUser().Uid : owner == TOwner::Root ? 0 : 12345;
}
gid_t GidOf(TOwner owner) {
    return owner == TOwner::User ? OrdinaryUser().Gid : owner == TOwner::Root ? 0 : 23456;
}

void Own(const std::string& path, TOwner owner, TOwner group, mode_t mode) {
    ASSERT_EQ(lchown(path.c_str(), UidOf(owner), GidOf(group)), 0) << path;
    if (!S_ISLNK(Status(path).st_mode)) {
        ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
    }
}

struct TRefusedSave {
    const char* Name;
    mode_t FolderMode;
    mode_t FileMode;
    TOwner FileOwner;
    TOwner FileGroup;
};

void PrintTo(const TRefusedSave& c, std::ostream* os) {
    *os << c.Name;
}

class RefusedSave : public ::testing::TestWithParam<TRefusedSave> {};

// In the user's own folder, a save that must not happen leaves the file exactly as it was.
TEST_P(RefusedSave, LeavesTheFileAsItWas) {
    const TRefusedSave& c = GetParam();
    if (!RunningAsRoot() && (c.FileOwner != TOwner::User || c.FileGroup != TOwner::User))
        GTEST_SKIP() << "another user's file needs root to set up";
    TTempFolder folder;
    const std::string file = folder.File("k.ini");
    WriteBytes(file, Content);
    Own(file, c.FileOwner, c.FileGroup, c.FileMode);
    Own(folder.Path().string(), TOwner::User, TOwner::User, c.FolderMode);
    const struct stat before = Status(file);
    EXPECT_TRUE(AsOrdinaryUser([&] {
        TIniFile ini(file);
        return WriteFails(ini);
    }));
    const struct stat after = Status(file);
    EXPECT_EQ(ReadBytes(file), Content);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(folder.EntryCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Permissions, RefusedSave,
    ::testing::Values(
        TRefusedSave{"read-only file of one's own", 0755, 0444, TOwner::User, TOwner::User},
        TRefusedSave{"read-only folder", 0555, 0644, TOwner::User, TOwner::User},
        TRefusedSave{"file of another user", 0755, 0644, TOwner::Root, TOwner::Root},
        // The user may write it, but a new file could not keep its owner.
        TRefusedSave{"writable file of another user", 0755, 0666, TOwner::Root, TOwner::Root},
        TRefusedSave{"own file of a group the user is not in", 0755, 0664, TOwner::User,
                     TOwner::Root}));

TEST(IniFileSafetyTest, OwnerGroupAndModeOfTheFileNeverChange) {
    const bool root = RunningAsRoot();
    TTempFolder folder;
    const std::string file = folder.File("k.ini");
    WriteBytes(file, Content);
    // Root may give the new file any owner; an ordinary user keeps his own file's.
    ASSERT_EQ(chown(file.c_str(), root ? 12345 : geteuid(), root ? 23456 : getegid()), 0);
    chmod(file.c_str(), 0640);
    TIniFile ini(file);
    ini.WriteInteger("Congif", "ComPort", 3);
    EXPECT_EQ(ReadBytes(file), "[Congif]\nComPort=3\n");
    const struct stat after = Status(file);
    EXPECT_EQ(after.st_uid, root ? 12345u : geteuid());
    EXPECT_EQ(after.st_gid, root ? 23456u : getegid());
    EXPECT_EQ(after.st_mode & 07777, 0640u);
}

struct TSharedLink {
    const char* Name;
    mode_t FolderMode; // the folder belongs to root
    TOwner LinkOwner;
    bool Followed;
};

void PrintTo(const TSharedLink& c, std::ostream* os) {
    *os << c.Name;
}

class SharedFolderLink : public ::testing::TestWithParam<TSharedLink> {};

// A link in a folder that everybody may write to is followed as the system follows it: in a
// sticky folder only when it belongs to the user or to the folder's owner.
TEST_P(SharedFolderLink, IsFollowedOnlyWhenTheSystemWouldFollowIt) {
    const TSharedLink& c = GetParam();
    if (!RunningAsRoot())
        GTEST_SKIP() << "links and folders of other users need root to set up";
    TTempFolder shared;
    TTempFolder own; // where the link leads: the user's file in the user's folder
    const std::string target = own.File("real.ini");
    WriteBytes(target, Content);
    Own(target, TOwner::User, TOwner::User, 0644);
    Own(own.Path().string(), TOwner::User, TOwner::User, 0755);
    Own(shared.Path().string(), TOwner::Root, TOwner::Root, c.FolderMode);
    const std::string link = shared.File("k.ini");
    std::filesystem::create_symlink(target, link);
    Own(link, c.LinkOwner, c.LinkOwner, 0);

    std::string message;
    EXPECT_TRUE(AsOrdinaryUser([&] {
        TIniFile ini(link);
        const std::string expected =
            c.Followed ? ""
                       : "Unable to write to " + link +
                             ": it is a link another user placed in a shared folder";
        return WriteMessage(ini) == expected;
    }));
    EXPECT_EQ(ReadBytes(target), c.Followed ? "[Congif]\nComPort=5\n" : Content);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(shared.EntryCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Links, SharedFolderLink,
    ::testing::Values(
        TSharedLink{"sticky shared folder, another user's link", 01777, TOwner::Other, false},
        TSharedLink{"sticky shared folder, the user's own link", 01777, TOwner::User, true},
        TSharedLink{"sticky shared folder, the folder owner's link", 01777, TOwner::Root, true},
        TSharedLink{"shared folder without the sticky bit", 0777, TOwner::Other, true},
        TSharedLink{"sticky folder only its group may write", 01775, TOwner::Other, true}));

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
    // Not even with a reader on the pipe, which lets it be opened for writing.
    const int reader = open(folder.File("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_FALSE(ReplaceFileContent(folder.File("fifo"), Content));
    close(reader);
    EXPECT_EQ(Status(folder.File("fifo")).st_mode & S_IFMT, static_cast<mode_t>(S_IFIFO));
    EXPECT_TRUE(std::filesystem::is_symlink(folder.Path() / "fifo.ini"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder.Path() / "zero.ini"));
    EXPECT_EQ(folder.EntryCount(), 3u);
}

TEST(IniFileSafetyTest, AFileTheUserMayNotReadRaisesInsteadOfGivingDefaults) {
    if (!RunningAsRoot())
        GTEST_SKIP() << "a file of another user needs root to set up";
    TTempFolder folder;
    const std::string file = folder.File("k.ini");
    WriteBytes(file, Content);
    Own(file, TOwner::Root, TOwner::Root, 0600);
    Own(folder.Path().string(), TOwner::User, TOwner::User, 0755);
    EXPECT_TRUE(AsOrdinaryUser([&] {
        TIniFile ini(file);
        return ReadMessage(ini) == "Unable to read " + file && WriteFails(ini);
    }));
    EXPECT_EQ(ReadBytes(file), Content);
}

#ifdef __linux__
// The temporary files of a few saves, seen as the system creates them: no name tells the next,
// any two differ in many places.
TEST(IniFileSafetyTest, TemporaryNamesCannotBeForeseen) {
    TTempFolder folder;
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, folder.Path().c_str(), IN_CREATE), 0);
    TIniFile ini(folder.File("k.ini"));
    for (int i = 0; i < 8; ++i)
        ini.WriteInteger("Congif", "ComPort", i);
    std::vector<std::string> names;
    alignas(inotify_event) char buffer[8192];
    for (ssize_t got; (got = read(watch, buffer, sizeof buffer)) > 0;)
        for (char* at = buffer; at < buffer + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            names.emplace_back(event->name);
            at += sizeof(inotify_event) + event->len;
        }
    close(watch);
    ASSERT_EQ(names.size(), 8u);
    for (std::size_t i = 0; i < names.size(); ++i)
        for (std::size_t j = i + 1; j < names.size(); ++j) {
            const std::string& a = names[i];
            const std::string& b = names[j];
            std::size_t differ = std::max(a.size(), b.size()) - std::min(a.size(), b.size());
            for (std::size_t k = 0; k < std::min(a.size(), b.size()); ++k)
                differ += a[k] != b[k];
            EXPECT_GE(differ, 6u) << a << " and " << b;
        }
}
#endif

} // namespace

#endif
