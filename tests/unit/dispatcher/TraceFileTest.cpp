// The trace file shared with other programs: what is refused without waiting, a rotation done
// once however many writers share the file, and lines that are never lost on the way.
#include "tests/support/TempFolder.h"

#include "comm/FrameTrace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

const TTracePort Usb{1, "/dev/ttyUSB0", 9600};

std::vector<std::string> LinesOf(const std::string& path) {
    std::istringstream text(ReadBytes(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    return lines;
}

// A trace file that already holds `count` old lines, close to `limit`.
struct TFullTrace {
    TTempFolder Folder;
    std::string Path = Folder.File("trace.log");
    std::vector<std::string> Old;

    TFullTrace(std::size_t count, std::size_t width) {
        std::string content;
        for (std::size_t i = 0; i < count; ++i) {
            std::string line = "old " + std::to_string(i);
            line.resize(width - 1, '.');
            Old.push_back(line);
            content += line + '\n';
        }
        WriteBytes(Path, content);
    }

    // Every line of the rotated and the current file, the rotated first.
    std::vector<std::string> AllLines() const {
        std::vector<std::string> lines = LinesOf(Path + ".1");
        const std::vector<std::string> current = LinesOf(Path);
        lines.insert(lines.end(), current.begin(), current.end());
        return lines;
    }

    // The old lines begin the rotated file, complete and in order; each new line is there once.
    void ExpectNothingLost(const std::vector<std::string>& added) const {
        const std::vector<std::string> all = AllLines();
        ASSERT_GE(all.size(), Old.size());
        EXPECT_TRUE(std::equal(Old.begin(), Old.end(), all.begin())) << "old lines lost";
        std::multiset<std::string> got(all.begin() + static_cast<std::ptrdiff_t>(Old.size()),
                                       all.end());
        EXPECT_EQ(got, std::multiset<std::string>(added.begin(), added.end()));
    }
};

// A trace to what is no regular file: reported once with the reason, and nothing more.
void ExpectRefusedOnce(const std::string& target) {
    std::vector<std::string> reports;
    const auto trace =
        OpenFrameTrace(target, [&](const std::string& reason) { reports.push_back(reason); });
    trace->Opened(Usb);
    trace->Sent("#R05E*12\r");
    trace->Closed();
    EXPECT_EQ(reports, std::vector<std::string>{target + ": it is not a regular file"});
}

TEST(TraceFileTest, AFolderOrADeviceIsReportedOnce) {
    TTempFolder folder;
    ExpectRefusedOnce(folder.Path().string());
#ifdef _WIN32
    ExpectRefusedOnce("NUL");
#else
    ExpectRefusedOnce("/dev/null");
#endif
}

// Two writers that each opened the file before the other rotated it: the first rotates, the
// second finds the new file and appends there instead of rotating once more.
TEST(TraceFileTest, WritersSharingAFileRotateItOnceAndLoseNoLine) {
    TFullTrace trace(98, 10); // 980 bytes
    TTraceFile first(trace.Path, 1000);
    TTraceFile second(trace.Path, 1000);
    std::vector<std::string> added;
    for (int i = 0; i < 20; ++i) {
        for (TTraceFile* writer : {&first, &second}) {
            added.push_back((writer == &first ? "first " : "second ") + std::to_string(i));
            EXPECT_EQ(writer->WriteLine(added.back()), "");
        }
    }
    trace.ExpectNothingLost(added);
    EXPECT_EQ(LinesOf(trace.Path + ".1").size(), trace.Old.size() + 2); // until the first was due
}

// Another program that holds the lock is rotating the file: a writer that finds it due leaves
// the rotation to that program and appends, rather than hold the exchange up.
TEST(TraceFileTest, AWriterLeavesTheRotationToTheHolderOfTheLock) {
    TFullTrace trace(10, 10);
    TAppendFile holder;
    ASSERT_EQ(holder.Open(trace.Path), "");
    ASSERT_TRUE(holder.Lock(std::chrono::milliseconds(0)));
    TTraceFile file(trace.Path, 100);
    EXPECT_EQ(file.WriteLine("while locked"), "");
    EXPECT_FALSE(std::filesystem::exists(trace.Path + ".1"));
    holder.Unlock();
    EXPECT_EQ(file.WriteLine("after"), "");
    EXPECT_EQ(LinesOf(trace.Path + ".1").back(), "while locked");
    EXPECT_EQ(LinesOf(trace.Path), std::vector<std::string>{"after"});
}

TEST(TraceFileTest, ARefusedRotationKeepsAppending) {
    TFullTrace trace(10, 10);
    // A folder where the rotated file would go: the rename is refused.
    std::filesystem::create_directories(trace.Path + ".1/kept");
    TTraceFile file(trace.Path, 100);
    std::vector<std::string> lines = trace.Old;
    for (int i = 0; i < 30; ++i) {
        lines.push_back("line " + std::to_string(i));
        EXPECT_EQ(file.WriteLine(lines.back()), "") << i;
    }
    EXPECT_EQ(LinesOf(trace.Path), lines);
    EXPECT_TRUE(std::filesystem::is_directory(trace.Path + ".1/kept"));
}

#ifndef _WIN32

// Ends the test program, rather than letting it hang, when a trace blocks.
struct TWatchdog {
    explicit TWatchdog(unsigned seconds) { alarm(seconds); }
    ~TWatchdog() { alarm(0); }
};

TEST(TraceFileTest, APipeIsReportedOnceWithoutWaitingForAReader) {
    TTempFolder folder;
    const std::string lonelyPipe = folder.File("no-reader");
    const std::string readPipe = folder.File("with-reader");
    ASSERT_EQ(mkfifo(lonelyPipe.c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(readPipe.c_str(), 0600), 0);
    const int reader = open(readPipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const TWatchdog watchdog(10);
    ExpectRefusedOnce(lonelyPipe);
    ExpectRefusedOnce(readPipe);
    char byte = 0;
    EXPECT_EQ(read(reader, &byte, 1), 0); // nothing went into the pipe
    close(reader);
}

// Two programs start tracing at once into a file just under the limit.
TEST(TraceFileTest, TwoProgramsAtTheLimitLoseNoLine) {
    TFullTrace trace(10000, 100); // 1,000,000 bytes
    constexpr std::uint64_t Limit = 1000100;
    constexpr int LinesEach = 2000;
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    std::vector<pid_t> writers;
    for (const char* name : {"first", "second"}) {
        const pid_t child = fork();
        if (child == 0) {
            close(start[1]);
            char go = 0;
            bool ok = read(start[0], &go, 1) == 0; // both start when the pipe closes
            TTraceFile file(trace.Path, Limit);
            for (int i = 0; i < LinesEach; ++i)
                ok = file.WriteLine(std::string(name) + ' ' + std::to_string(i)) == "" && ok;
            _exit(ok ? 0 : 1);
        }
        writers.push_back(child);
    }
    close(start[0]);
    close(start[1]);
    for (const pid_t child : writers) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::vector<std::string> added;
    for (const char* name : {"first", "second"})
        for (int i = 0; i < LinesEach; ++i)
            added.push_back(std::string(name) + ' ' + std::to_string(i));
    trace.ExpectNothingLost(added);
}

#endif

} // namespace
