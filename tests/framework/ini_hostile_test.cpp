// Sutrik.INI as users' machines leave it: counts that promise more entries
// than there are, lines the program does not understand, a file it may not
// read or a directory it may not write, and two copies of the program
// updating one file at once.
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "framework/ini.h"
#include "runtime/dialogs.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

const std::string DT = "[__Dont_Touch_Me__]\r\n";

// The time limits are for a real build; the sanitizers make every
// allocation and access many times slower.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double LimitMs = 60000.0;
#else
constexpr double LimitMs = 3000.0;
#endif

// The limits are on the processor time of this thread: what they catch is a
// read or a write that grows with the square of the entries, and the wall
// clock of a machine busy with other tests would fail them at random.
struct CpuClock {
    using time_point = double;  // ms of this thread's processor time
    static time_point now() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    }
};

double msSince(CpuClock::time_point t0) {
    return CpuClock::now() - t0;
}

std::set<std::string> namesIn(const fs::path& dir) {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
    return out;
}

// Runs body in a child process and returns what it wrote ("" = all held).
// unprivileged: the child first gives up root, because root reads and writes
// whatever the permission bits say; "skip" comes back when it cannot.
std::string inChild(bool unprivileged, const std::function<std::string()>& body) {
    int fds[2];
    if (::pipe(fds) != 0) return "no pipe";
    const pid_t pid = ::fork();
    if (pid < 0) return "no fork";
    if (pid == 0) {
        ::close(fds[0]);
        std::string out;
        if (unprivileged && ::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            out = "skip";
        if (out.empty()) {
            try {
                out = body();
            } catch (const std::exception& e) {
                out = std::string("exception: ") + e.what();
            }
        }
        if (!out.empty() && ::write(fds[1], out.data(), out.size()) < 0) ::_exit(2);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string got;
    char buf[512];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) got.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) got += " (child ended abnormally)";
    return got;
}

// Counts the boxes shown and answers each with OK.
struct Boxes {
    std::vector<rt::MessageRequest> shown;
    Boxes() {
        rt::setMessageHandler([this](const rt::MessageRequest& r) {
            shown.push_back(r);
            return rt::ButtonOk;
        });
    }
    ~Boxes() { rt::setMessageHandler(nullptr); }
    std::string checkOneSettingsBox() const {
        if (shown.size() != 1) return std::to_string(shown.size()) + " boxes shown, one expected; ";
        if (shown[0].title != "Settings" || shown[0].text.find("Sutrik.INI") == std::string::npos)
            return "box \"" + shown[0].title + "\" \"" + shown[0].text + "\"; ";
        return {};
    }
};

TEST(INIHostileFileTest, TheSectorsAreTheEntriesPresentAndOtherLinesStayAsTheyWere) {
    struct Case {
        const char* what;
        std::string file;
        std::size_t sectors;
        std::string after;  // the file once Init and Kill have run
    };
    const std::string two = "Sectors_1=a,b,c\r\nSectors_2=d,e,f\r\n";
    const Case cases[] = {
        {"count 2147483647, two entries", DT + "Sectors=2147483647\r\n" + two, 2,
         DT + "Sectors=2\r\n" + two},
        {"count 100000000, one entry", DT + "Sectors=100000000\r\nSectors_1=a,b,c\r\n", 1,
         DT + "Sectors=1\r\nSectors_1=a,b,c\r\n"},
        {"count 1000000, three entries and a section after them",
         DT + "Sectors=1000000\r\n" + two + "Sectors_3=g,h,i\r\n[Main]\r\nMaximize=Yes\r\n", 3,
         DT + "Sectors=3\r\n" + two + "Sectors_3=g,h,i\r\n[Main]\r\nMaximize=Yes\r\n"},
        {"count beyond any integer", DT + "Sectors=99999999999999999999\r\n" + two, 2,
         DT + "Sectors=2\r\n" + two},
        {"an entry beyond the count is no sector", DT + "Sectors=1\r\n" + two, 1,
         DT + "Sectors=1\r\n" + two},
        {"a blank key", "[Main]\r\n=[X]\r\nA=1\r\n" + DT + "Sectors=0\r\n", 0,
         "[Main]\r\n=[X]\r\nA=1\r\n" + DT + "Sectors=0\r\n"},
        {"a byte-order mark before the first section",
         "\xEF\xBB\xBF" + DT + "Sectors=1\r\nSectors_1=a,b,c\r\n", 1,
         "\xEF\xBB\xBF" + DT + "Sectors=1\r\nSectors_1=a,b,c\r\n"},
        {"comments, blank lines, words without a key",
         "; a note\r\n\r\njust words\r\n[Main]\r\n  \r\nA = 1\r\n" + DT + "Sectors=0\r\n", 0,
         "; a note\r\n\r\njust words\r\n[Main]\r\n  \r\nA = 1\r\n" + DT + "Sectors=0\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        writeFile("Sutrik.INI", c.file);
        const auto t0 = CpuClock::now();
        INIClass ini;
        ini.Init(".\\Sutrik.INI", 0, 0);
        EXPECT_EQ(ini.Sectors().size(), c.sectors);
        if (c.sectors > 0) {
            EXPECT_EQ(ini.Sectors()[0].family, "a");
            EXPECT_EQ(ini.Sectors()[0].type, "c");
        }
        EXPECT_TRUE(ini.Kill());
        EXPECT_LT(msSince(t0), LimitMs);
        EXPECT_EQ(readFile("Sutrik.INI"), c.after);
    }
}

TEST(INIHostileFileTest, ABlankKeyNeitherHidesTheKeysAfterItNorBecomesASection) {
    TempDir dir;
    writeFile("Sutrik.INI", "[Main]\r\n=[X]\r\nA=1\r\n");
    INIClass ini;
    ini.Init("Sutrik.INI");
    ASSERT_TRUE(ini.Update("Main", "B", "2"));
    ASSERT_TRUE(ini.Update("Main", "C", "3"));
    EXPECT_EQ(ini.Fetch("Main", "A"), "1");
    EXPECT_FALSE(ini.TryFetch("X", "A"));
    EXPECT_EQ(readFile("Sutrik.INI"), "[Main]\r\n=[X]\r\nA=1\r\nB=2\r\nC=3\r\n");
}

// Reads a file of n sectors and writes it back; the processor time of both.
double readAndWriteBack(int n) {
    std::string file = "[Main]\r\nMaximize=Yes\r\n" + DT + "Sectors=" + std::to_string(n) + "\r\n";
    for (int i = 1; i <= n; ++i) {
        const auto s = std::to_string(i);
        file += "Sectors_" + s + "=Family " + s + ",Item " + s + ",Type " + s + "\r\n";
    }
    writeFile("Sutrik.INI", file);

    const auto t0 = CpuClock::now();
    INIClass ini;
    ini.Init(".\\Sutrik.INI", 0, 0);
    const double readMs = msSince(t0);
    EXPECT_EQ(ini.Sectors().size(), static_cast<std::size_t>(n));
    if (ini.Sectors().size() == static_cast<std::size_t>(n)) {
        EXPECT_EQ(ini.Sectors()[n - 1].item, "Item " + std::to_string(n));
    }
    const auto t1 = CpuClock::now();
    EXPECT_TRUE(ini.Kill());
    const double writeMs = msSince(t1);
    std::printf("[ figures  ] %d sectors: read %.1f ms, written back %.1f ms\n", n, readMs,
                writeMs);
    EXPECT_EQ(readFile("Sutrik.INI"), file);
    return readMs + writeMs;
}

// Alone on this kind of machine the hundred thousand take about 0.4 s; the
// limit leaves room for a machine busy with other tests. What must never
// come back is work that grows with the square of the entries (a scan of
// the section per key): ten times the entries may cost little more than ten
// times the time.
TEST(INIHostileFileTest, AHundredThousandSectorsAreReadAndWrittenBackWellUnderASecond) {
    TempDir dir;
    const double small = readAndWriteBack(10000);
    const double large = readAndWriteBack(100000);
    EXPECT_LT(large, LimitMs);
    EXPECT_LT(large, 25 * std::max(small, 1.0));
}

// A Sutrik.INI that exists but cannot be read is left as it is: no update,
// no window state and no list of sectors is written over it, and the user
// is told once.
TEST(INIHostileFileTest, AFileThatCannotBeReadIsLeftUntouchedAndTheUserToldOnce) {
    const std::string original = "[Main]\r\nXPos=5\r\n" + DT + "Sectors=1\r\nSectors_1=a,b,c\r\n";
    struct Case {
        const char* what;
        std::function<void()> make;
        std::function<bool()> untouched;
    };
    const Case cases[] = {
        {"a file this user may not read",
         [&] {
             writeFile("Sutrik.INI", original);
             fs::permissions("Sutrik.INI", fs::perms::none);
         },
         [&] {
             return fs::status("Sutrik.INI").permissions() == fs::perms::none &&
                    readFile("Sutrik.INI") == original;
         }},
        {"a directory in its place",
         [&] {
             fs::create_directory("Sutrik.INI");
             writeFile("Sutrik.INI/inside", "x");
         },
         [&] { return fs::is_directory("Sutrik.INI") && readFile("Sutrik.INI/inside") == "x"; }},
        {"a link to a file that is not there",
         [&] { fs::create_symlink("elsewhere/Sutrik.INI", "Sutrik.INI"); },
         [&] {
             return fs::is_symlink("Sutrik.INI") &&
                    fs::read_symlink("Sutrik.INI") == "elsewhere/Sutrik.INI";
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        // The unprivileged child must reach the directory and could write it.
        fs::permissions(dir.path(), fs::perms::all);
        c.make();
        const std::string got = inChild(true, [] {
            Boxes boxes;
            std::string out;
            INIClass ini;
            ini.Init(".\\Sutrik.INI", 0, 0);
            if (!ini.Sectors().empty()) out += "sectors read; ";
            if (ini.Update("Main", "Maximize", "No")) out += "Update wrote; ";
            if (ini.UpdateWindow("Main", {false, false, true, 1, 2, 3, 4}))
                out += "UpdateWindow wrote; ";
            if (ini.FetchWindow("Main", true).apply) out += "window state applied; ";
            if (ini.Kill()) out += "Kill reported success; ";
            return out + boxes.checkOneSettingsBox();
        });
        if (got == "skip") GTEST_SKIP() << "cannot run a child without root";
        EXPECT_EQ(got, "");
        EXPECT_TRUE(c.untouched());
        EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"Sutrik.INI"});
    }
}

// The file was unreadable when the program started (a share not there yet)
// and readable when it ends: the list the program never saw is not replaced
// by an empty one.
TEST(INIHostileFileTest, AListThatCouldNotBeReadIsNotWrittenOverTheFileLater) {
    TempDir dir;
    Boxes boxes;
    fs::create_directory("Sutrik.INI");
    INIClass ini;
    ini.Init(".\\Sutrik.INI", 0, 0);
    fs::remove("Sutrik.INI");
    const std::string later = DT + "Sectors=1\r\nSectors_1=a,b,c\r\n";
    writeFile("Sutrik.INI", later);
    EXPECT_FALSE(ini.Kill());
    EXPECT_EQ(readFile("Sutrik.INI"), later);
    EXPECT_EQ(boxes.checkOneSettingsBox(), "");
}

TEST(INIHostileFileTest, AFileThatCannotBeKeptIsReportedOnceAndStaysAsItWas) {
    TempDir dir;
    const std::string original = "[Main]\r\nXPos=5\r\n" + DT + "Sectors=1\r\nSectors_1=a,b,c\r\n";
    writeFile("Sutrik.INI", original);
    // Readable, but no file can be made beside it.
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                    fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    const std::string got = inChild(true, [] {
        Boxes boxes;
        std::string out;
        INIClass ini;
        ini.Init(".\\Sutrik.INI", 0, 0);
        if (ini.Sectors().size() != 1) out += "sectors not read; ";
        if (ini.Fetch("Main", "XPos") != "5") out += "key not read; ";
        if (ini.Update("Main", "XPos", "6")) out += "Update reported success; ";
        if (ini.Kill()) out += "Kill reported success; ";
        return out + boxes.checkOneSettingsBox();
    });
    fs::permissions(dir.path(), fs::perms::owner_all);
    if (got == "skip") GTEST_SKIP() << "cannot run a child without root";
    EXPECT_EQ(got, "");
    EXPECT_EQ(readFile("Sutrik.INI"), original);
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"Sutrik.INI"});
}

// Two copies of the program in one directory, each updating the file a
// thousand times with keys of its own, while a third watches the file
// (fewer times under the sanitizers, which make each update many times
// slower).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int Updates = 300;
#else
constexpr int Updates = 1000;
#endif
TEST(INIHostileFileTest, TwoProcessesUpdatingOneFileLoseNothing) {
    TempDir dir;
    const std::string sectors = DT + "Sectors=2\r\nSectors_1=a,b,c\r\nSectors_2=d,e,f\r\n";
    writeFile("Sutrik.INI", "[Main]\r\nMaximize=Yes\r\n" + sectors);
    constexpr int updates = Updates;

    const auto t0 = std::chrono::steady_clock::now();
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failed = 0;
            INIClass ini;
            ini.Init(".\\Sutrik.INI", 0, 0);
            for (int i = 0; i < updates; ++i)
                if (!ini.Update("Stress", "P" + std::to_string(p) + "_" + std::to_string(i),
                                std::to_string(i)))
                    ++failed;
            if (!ini.Kill()) ++failed;
            ::_exit(failed > 250 ? 250 : failed);
        }
        children.push_back(pid);
    }
    int looks = 0, missing = 0, empty = 0, withoutSectors = 0;
    std::vector<int> exitCodes;
    while (exitCodes.size() < children.size()) {
        ++looks;
        const int fd = ::open("Sutrik.INI", O_RDONLY);
        if (fd < 0) {
            ++missing;
        } else {
            ::close(fd);
            const std::string now = readFile("Sutrik.INI");
            if (now.empty())
                ++empty;
            else if (now.find(sectors) == std::string::npos)
                ++withoutSectors;
        }
        for (auto& pid : children) {
            int status = 0;
            if (pid > 0 && ::waitpid(pid, &status, WNOHANG) == pid) {
                exitCodes.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : 255);
                pid = 0;
            }
        }
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();

    INIClass ini;
    ini.Init("Sutrik.INI");
    int present = 0;
    for (int p = 0; p < 2; ++p)
        for (int i = 0; i < updates; ++i)
            if (ini.TryFetch("Stress", "P" + std::to_string(p) + "_" + std::to_string(i)) ==
                std::to_string(i))
                ++present;
    std::printf(
        "[ figures  ] 2 processes x %d updates: %.0f ms, %d of %d entries present, file looked at "
        "%d times\n",
        updates, ms, present, 2 * updates, looks);
    EXPECT_EQ(exitCodes, (std::vector<int>{0, 0}));  // failed updates per process
    EXPECT_EQ(present, 2 * updates);
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(empty, 0);
    EXPECT_EQ(withoutSectors, 0);
    EXPECT_EQ(ini.Sectors().size(), 2u);
    EXPECT_EQ(ini.Fetch("Main", "Maximize"), "Yes");
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"Sutrik.INI"});
}

}  // namespace
