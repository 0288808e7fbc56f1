// The open road through the framework's file manager over the real storage:
// the message each storage result ends in, and that the fatal ones close the
// connections before the program would end.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "framework/file_manager.h"
#include "framework/globals.h"
#include "runtime/dialogs.h"
#include "storage_fixture.h"

using namespace storagetest;

namespace {

class OpenRoadTest : public StorageTest {
  protected:
    void SetUp() override {
        StorageTest::SetUp();
        GlobalErrors().Init(&GlobalErrorStatus);
        rt::setMessageHandler([this](const rt::MessageRequest& r) {
            shown.push_back(r.title + ": " + r.text);
            return r.defaultButton;
        });
        rt::setFatalExitHook([this](int status) { exits.push_back(status); });
    }
    void TearDown() override {
        rt::setMessageHandler({});
        rt::setFatalExitHook({});
        StorageTest::TearDown();
    }
    // The first use of a file, as a window's first read makes it.
    std::uint8_t firstUse(FileManager& fm, rt::FileStructure& f, const char* name) {
        fm.Init();
        fm.Init(f, GlobalErrors());
        fm.FileNameValue = name;
        return fm.UseFile();
    }
    std::vector<std::string> shown;
    std::vector<int> exits;
};

}  // namespace

TEST_F(OpenRoadTest, FirstUseCreatesQuietly) {
    Member m;
    rt::FileStructure f(memberDef(), &m);
    FileManager fm;
    EXPECT_EQ(firstUse(fm, f, "CLANOVI"), 0);
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(f.isOpen());
    fm.Kill();
    RawDb raw(databasePath());
    EXPECT_EQ(raw.scalar("SELECT COUNT(*) FROM sqlite_master WHERE name = 'CLANOVI'"), "1");
}

TEST_F(OpenRoadTest, TableWithoutAColumnEndsWithInvalidFile) {
    {
        RawDb raw(databasePath());
        ASSERT_EQ(raw.exec("CREATE TABLE CLANOVI (M1_SPS INTEGER,M1_SIP INTEGER,M1_SIF "
                           "INTEGER,M1_PRE CHAR(25),M1_IME CHAR(20),M1_STC TINYINT, PRIMARY "
                           "KEY(M1_SIF ))"),
                  SQLITE_OK);
    }
    // Another file is open meanwhile: its connection is closed on the way out.
    Club c;
    rt::FileStructure clubs(clubDef(), &c);
    ASSERT_EQ(openOrCreate(clubs), 0);
    ASSERT_EQ(storage::openConnections(), 1);

    Member m;
    rt::FileStructure f(memberDef(), &m);
    FileManager fm;
    EXPECT_EQ(firstUse(fm, f, "CLANOVI"), static_cast<std::uint8_t>(Level::Fatal));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("Invalid File: CLANOVI has an invalid File structure.", 0), 0u)
        << shown[0];
    EXPECT_NE(shown[0].find("47"), std::string::npos) << shown[0];
    EXPECT_NE(shown[0].find("CLA:M1_NAP"), std::string::npos) << shown[0];
    EXPECT_EQ(exits, std::vector<int>{FatalExitStatus});
    EXPECT_EQ(storage::openConnections(), 0);
    fm.Kill();
}

TEST_F(OpenRoadTest, FileThatIsNotADatabaseEndsWithFileAccessError) {
    {
        std::ofstream out(databasePath(), std::ios::binary);
        out << std::string(8192, '\x7f');
    }
    Club c;
    rt::FileStructure f(clubDef(), &c);
    FileManager fm;
    EXPECT_EQ(firstUse(fm, f, "PLAND"), static_cast<std::uint8_t>(Level::Fatal));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("File Access Error: File PLAND could not be opened.", 0), 0u)
        << shown[0];
    EXPECT_NE(shown[0].find("File opened that is not a database file (-26)"), std::string::npos)
        << shown[0];
    EXPECT_EQ(exits, std::vector<int>{FatalExitStatus});
    fm.Kill();
    EXPECT_EQ(testsupport::readFile(databasePath()), std::string(8192, '\x7f'));
    std::filesystem::remove(databasePath());
}

TEST_F(OpenRoadTest, ReadOnlyDatabaseFallsBackAfterAccessDenied) {
    {
        Club c;
        rt::FileStructure clubs(clubDef(), &c);
        ASSERT_EQ(openOrCreate(clubs), 0);
        c.P1_SIP = 8;
        c.P1_NPD = "Read only";
        ASSERT_EQ(clubs.add(), 0);
    }
    ASSERT_EQ(chmod(databasePath().c_str(), 0444), 0);
    ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0);
    auto check = [this]() -> int {
        Club c;
        rt::FileStructure f(clubDef(), &c);
        FileManager fm;
        if (firstUse(fm, f, "PLAND") != 0) return 10;
        if (shown.size() != 1) return 11;
        if (shown[0].rfind("Access Denied: Could not get write access to PLAND so trying "
                           "read-only.",
                           0) != 0)
            return 12;
        if (!exits.empty() || fm.OpenMode != rt::OpenMode::ReadOnly) return 13;
        c.P1_SIP = 8;
        if (f.get(0) != 0 || !(c.P1_NPD == "Read only")) return 14;
        fm.Kill();
        return 0;
    };
    if (geteuid() != 0) {
        EXPECT_EQ(check(), 0);
    } else {
        pid_t pid = fork();
        if (pid == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0) _exit(20);
            _exit(check());
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "failed check " << WEXITSTATUS(status);
    }
    chmod(databasePath().c_str(), 0644);
}
