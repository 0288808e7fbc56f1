// Connections outlive the files on them: the next open (on another thread,
// the next window's) takes the connection and its prepared statements as
// they are, unless the file changed under it in a way a fresh connection
// would see differently.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "storage_fixture.h"

using namespace storagetest;

namespace {

void addClub(rt::FileStructure& f, Club& c, int code, const std::string& name) {
    c = Club{};
    c.P1_SIP = code;
    c.P1_NPD = name;
    ASSERT_EQ(f.add(), 0) << f.status().fileError;
}

// The names of the clubs in code order, read through a view page.
std::vector<std::string> clubNames(rt::FileStructure& clubs, Club& c) {
    rt::View v(clubs);
    v.project(clubs, "PLA:P1_NPD");
    v.setOrder(0);
    std::vector<std::string> got;
    EXPECT_EQ(v.open(), 0) << v.status().fileError;
    EXPECT_EQ(v.set(rt::SetFrom::Start), 0);
    EXPECT_EQ(v.page(10, true, [&] { got.push_back(c.P1_NPD.str()); }), 0) << v.status().fileError;
    return got;
}

// Marks the live connection of the database: a temporary table exists on
// that connection alone.
int mark() {
    rt::FileStatus st;
    return storage::execOnConnection(databasePath(), rt::OpenMode::ReadWrite,
                                     "CREATE TEMP TABLE kept (x)", st);
}
bool marked() {
    rt::FileStatus st;
    return storage::execOnConnection(databasePath(), rt::OpenMode::ReadWrite,
                                     "SELECT x FROM temp.kept", st) == 0;
}

}  // namespace

TEST_F(StorageTest, TheNextOpenOnAnotherThreadTakesTheIdleConnection) {
    storage::closeAllConnections();  // those of the tests before
    {
        Club c;
        rt::FileStructure clubs(clubDef(), &c);
        ASSERT_EQ(openOrCreate(clubs), 0);
        addClub(clubs, c, 1, "first");
    }
    EXPECT_EQ(storage::openConnections(), 0);
    EXPECT_EQ(storage::idleConnections(), 1);
    ASSERT_EQ(mark(), 0);

    bool sameConnection = false;
    std::vector<std::string> names;
    std::thread other([&] {
        Club c;
        rt::FileStructure clubs(clubDef(), &c);
        ASSERT_EQ(clubs.open(), 0) << clubs.status().fileError;
        sameConnection = marked() && storage::idleConnections() == 0;
        names = clubNames(clubs, c);
    });
    other.join();
    EXPECT_TRUE(sameConnection);
    EXPECT_EQ(names, std::vector<std::string>{"first"});
    storage::closeAllConnections();
    EXPECT_EQ(storage::idleConnections(), 0);
}

// What another program does to the file while no file of ours is open: the
// next open reads what a fresh connection would (on a fresh connection when
// the file was replaced).
TEST_F(StorageTest, AnIdleConnectionServesOnlyTheFileAsItWas) {
    const std::string other = (dir_.path() / "other.sqlite").string();
    struct Case {
        const char* what;
        std::function<void()> change;
        bool keptConnection;
        std::vector<std::string> names;
    } cases[] = {
        {"rows written by another process",
         [&] {
             const pid_t pid = fork();
             if (pid == 0) {
                 RawDb raw(databasePath());
                 _exit(raw.exec("UPDATE PLAND SET P1_NPD = 'changed' WHERE P1_SIP = 1") == SQLITE_OK
                           ? 0
                           : 1);
             }
             int status = 0;
             ASSERT_EQ(waitpid(pid, &status, 0), pid);
             ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
         },
         true,
         {"changed"}},
        {"table made again with its columns in another order",
         [&] {
             RawDb raw(databasePath());
             ASSERT_EQ(raw.exec("DROP TABLE PLAND"), SQLITE_OK);
             ASSERT_EQ(raw.exec("CREATE TABLE PLAND (P1_EML CHAR(30), P1_NPD CHAR(50), P1_ADR "
                                "CHAR(50), P1_SJD CHAR(30), P1_BRG CHAR(20), P1_DAR INTEGER, "
                                "P1_TEL CHAR(30), P1_FAX CHAR(30), P1_WEB CHAR(30), P1_SIP "
                                "INTEGER PRIMARY KEY)"),
                       SQLITE_OK);
             ASSERT_EQ(
                 raw.exec("INSERT INTO PLAND (P1_EML, P1_NPD, P1_SIP) VALUES ('e', 'remade', 7)"),
                 SQLITE_OK);
         },
         true,
         {"remade"}},
        {"file replaced by another database",
         [&] {
             {
                 RawDb raw(other);
                 ASSERT_EQ(raw.exec("CREATE TABLE PLAND (P1_SIP INTEGER PRIMARY KEY, P1_NPD "
                                    "CHAR(50), P1_ADR CHAR(50), P1_SJD CHAR(30), P1_BRG CHAR(20), "
                                    "P1_DAR INTEGER, P1_TEL CHAR(30), P1_FAX CHAR(30), P1_WEB "
                                    "CHAR(30), P1_EML CHAR(30))"),
                           SQLITE_OK);
                 ASSERT_EQ(raw.exec("INSERT INTO PLAND (P1_SIP, P1_NPD) VALUES (3, 'replaced')"),
                           SQLITE_OK);
             }
             std::filesystem::rename(other, databasePath());
         },
         false,
         {"replaced"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        std::filesystem::remove(databasePath());
        storage::closeAllConnections();
        {
            Club c;
            rt::FileStructure clubs(clubDef(), &c);
            ASSERT_EQ(openOrCreate(clubs), 0);
            addClub(clubs, c, 1, "first");
            EXPECT_EQ(clubNames(clubs, c), std::vector<std::string>{"first"});
        }
        ASSERT_EQ(mark(), 0);
        k.change();
        Club c;
        rt::FileStructure clubs(clubDef(), &c);
        ASSERT_EQ(clubs.open(), 0) << clubs.status().fileError;
        EXPECT_EQ(marked(), k.keptConnection);
        EXPECT_EQ(clubNames(clubs, c), k.names);
        EXPECT_EQ(storage::idleConnections(), 0);
    }

    // Removed: the open fails as on a fresh start, and a create makes it anew.
    storage::closeAllConnections();
    {
        Club c;
        rt::FileStructure clubs(clubDef(), &c);
        ASSERT_EQ(clubs.open(), 0);
    }
    std::filesystem::remove(databasePath());
    Club c;
    rt::FileStructure clubs(clubDef(), &c);
    EXPECT_EQ(clubs.open(), rt::FileErr::NoFile);
    EXPECT_EQ(openOrCreate(clubs), 0);
    EXPECT_TRUE(clubNames(clubs, c).empty());
}

// A statement prepared before another program remade the table under an
// open file: SQLite prepares it again, and it reads the new table right.
TEST_F(StorageTest, CachedStatementsReadRightAfterAnotherProgramChangesTheSchema) {
    Club c;
    rt::FileStructure clubs(clubDef(), &c);
    ASSERT_EQ(openOrCreate(clubs), 0);
    addClub(clubs, c, 1, "first");
    c.P1_SIP = 1;
    ASSERT_EQ(clubs.get(0), 0);
    EXPECT_EQ(clubNames(clubs, c), std::vector<std::string>{"first"});
    {
        RawDb raw(databasePath());
        ASSERT_EQ(raw.exec("DROP TABLE PLAND"), SQLITE_OK);
        ASSERT_EQ(raw.exec("CREATE TABLE PLAND (P1_TEL CHAR(30), P1_NPD CHAR(50), P1_ADR CHAR(50), "
                           "P1_SJD CHAR(30), P1_BRG CHAR(20), P1_DAR INTEGER, P1_FAX CHAR(30), "
                           "P1_WEB CHAR(30), P1_EML CHAR(30), P1_SIP INTEGER PRIMARY KEY)"),
                  SQLITE_OK);
        ASSERT_EQ(raw.exec("INSERT INTO PLAND (P1_TEL, P1_NPD, P1_SIP) VALUES ('555', 'one', 1), "
                           "('666', 'two', 2)"),
                  SQLITE_OK);
    }
    c = Club{};
    c.P1_SIP = 1;
    ASSERT_EQ(clubs.get(0), 0) << clubs.status().fileError;
    EXPECT_EQ(c.P1_NPD.str(), "one");
    EXPECT_EQ(c.P1_TEL.str(), "555");
    EXPECT_EQ(clubNames(clubs, c), (std::vector<std::string>{"one", "two"}));
}

// A page whose rows are still being read while, on the same thread, another
// file object's statements fill the connection's statement cache past its
// limit: the page goes on reading its own statement to the end.
TEST_F(StorageTest, AStatementInTheMiddleOfItsRowsOutlivesAFullCache) {
    Club c;
    rt::FileStructure clubs(clubDef(), &c);
    ASSERT_EQ(openOrCreate(clubs), 0);
    for (int code = 1; code <= 5; ++code) addClub(clubs, c, code, "club " + std::to_string(code));
    Club c2;
    rt::FileStructure writer(clubDef(), &c2);
    ASSERT_EQ(writer.open(), 0);

    rt::View v(clubs);
    v.project(clubs, "PLA:P1_NPD");
    v.setOrder(0);
    ASSERT_EQ(v.open(), 0);
    ASSERT_EQ(v.set(rt::SetFrom::Start), 0);
    std::vector<std::string> got;
    bool filled = false;
    EXPECT_EQ(v.page(10, true,
                     [&] {
                         got.push_back(c.P1_NPD.str());
                         if (filled) return;
                         filled = true;
                         ASSERT_EQ(writer.begin(), 0);
                         // Each write changes another set of club 5's other
                         // columns: an UPDATE of its own, more than the cache
                         // holds.
                         for (int set = 1; set <= 200; ++set) {
                             c2.P1_SIP = 5;
                             ASSERT_EQ(writer.get(0), 0);
                             const std::string text = "s" + std::to_string(set);
                             if (set & 1) c2.P1_ADR = text;
                             if (set & 2) c2.P1_SJD = text;
                             if (set & 4) c2.P1_BRG = text;
                             if (set & 8) c2.P1_DAR = set;
                             if (set & 16) c2.P1_TEL = text;
                             if (set & 32) c2.P1_FAX = text;
                             if (set & 64) c2.P1_WEB = text;
                             if (set & 128) c2.P1_EML = text;
                             ASSERT_EQ(writer.put(), 0) << set << ": " << writer.status().fileError;
                         }
                         ASSERT_EQ(writer.commit(), 0);
                     }),
              0)
        << v.status().fileError;
    EXPECT_EQ(got, (std::vector<std::string>{"club 1", "club 2", "club 3", "club 4", "club 5"}));
    c2.P1_SIP = 5;
    ASSERT_EQ(writer.get(0), 0);
    EXPECT_EQ(c2.P1_EML.str(), "s200");
}

// Threads opening, reading and closing files on the one database at once:
// the connection and its statements serve one thread at a time (the thread
// sanitizer build checks that nothing is touched outside the lock).
TEST_F(StorageTest, ThreadsTakingTheConnectionInTurnReadTheirOwnRows) {
    storage::closeAllConnections();  // those of the tests before
    {
        Club c;
        rt::FileStructure clubs(clubDef(), &c);
        ASSERT_EQ(openOrCreate(clubs), 0);
        for (int code = 1; code <= 8; ++code)
            addClub(clubs, c, code, "club " + std::to_string(code));
    }
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 1; t <= 8; ++t)
        threads.emplace_back([t, &wrong] {
            for (int round = 0; round < 30; ++round) {
                Club c;
                rt::FileStructure clubs(clubDef(), &c);
                if (clubs.open() != 0) {
                    ++wrong;
                    continue;
                }
                c.P1_SIP = t;
                if (clubs.get(0) != 0 || c.P1_NPD.str() != "club " + std::to_string(t)) ++wrong;
                rt::View v(clubs);
                v.project(clubs, "PLA:P1_NPD");
                v.setOrder(1);
                int rows = 0;
                if (v.open() != 0 || v.set(rt::SetFrom::Start) != 0 ||
                    v.page(3, true, [&] { ++rows; }) != 0 || rows != 3)
                    ++wrong;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(storage::openConnections(), 0);
    EXPECT_EQ(storage::idleConnections(), 1);
}
