// Faults met in the field: another process holding the database, a file
// the process may not write, a full disk, a writer killed in the middle,
// threads with transactions on the one shared connection.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "core/storage/sql.h"
#include "runtime/image/image.h"
#include "runtime/report/print.h"
#include "runtime/window/window.h"
#include "storage_fixture.h"

using namespace storagetest;
using Clock = std::chrono::steady_clock;

namespace {

// The longest a two-second busy wait may take: its last step, and the
// scheduler of a busy machine; the sanitizers slow every step further.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double MostWaited = 4.0;
#else
constexpr double MostWaited = 2.6;
#endif

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// A child process that, each time it is asked, writes a club of the code
// given in a transaction of its own. Started before this process takes a
// lock: one forked while it holds one would inherit SQLite's view of it.
class OtherWriter {
  public:
    explicit OtherWriter(const std::string& path) {
        int up[2], down[2];
        if (pipe(up) != 0 || pipe(down) != 0) std::abort();
        pid_ = fork();
        if (pid_ == 0) {
            close(up[0]);
            close(down[1]);
            int code = 0;
            while (read(down[0], &code, sizeof code) == sizeof code && code != 0) {
                RawDb raw(path);
                char ok = raw.exec("BEGIN IMMEDIATE") == SQLITE_OK &&
                          raw.exec("INSERT INTO PLAND (P1_SIP) VALUES (" + std::to_string(code) +
                                   ")") == SQLITE_OK &&
                          raw.exec("COMMIT") == SQLITE_OK;
                if (!ok) raw.exec("ROLLBACK");
                if (::write(up[1], &ok, 1) != 1) _exit(2);
            }
            _exit(0);
        }
        close(up[1]);
        close(down[0]);
        up_ = up[0];
        down_ = down[1];
    }
    ~OtherWriter() {
        const int stop = 0;
        if (::write(down_, &stop, sizeof stop) != sizeof stop) kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        close(up_);
        close(down_);
    }
    // Whether the club was written and committed.
    bool write(int code) {
        char ok = 0;
        if (::write(down_, &code, sizeof code) != sizeof code || read(up_, &ok, 1) != 1)
            return false;
        return ok == 1;
    }

  private:
    pid_t pid_ = -1;
    int up_ = -1, down_ = -1;
};

void addClub(rt::FileStructure& f, Club& c, int code, const std::string& name = "Club") {
    c = Club{};
    c.P1_SIP = code;
    c.P1_NPD = name + " " + std::to_string(code);
    ASSERT_EQ(f.add(), 0) << f.status().fileError;
}

}  // namespace

TEST_F(StorageTest, WritesFailAtOnceWhileAnotherProcessHoldsTheWriteLock) {
    Club c;
    rt::FileStructure clubs(clubDef(), &c);
    ASSERT_EQ(openOrCreate(clubs), 0);
    addClub(clubs, c, 1);

    OtherProcess other(databasePath(),
                       {"BEGIN IMMEDIATE", "INSERT INTO PLAND (P1_SIP) VALUES (99)"});
    ASSERT_TRUE(other.ready());

    struct Case {
        const char* what;
        std::function<int()> write;
    } cases[] = {
        {"add",
         [&] {
             c.P1_SIP = 2;
             return clubs.add();
         }},
        {"put",
         [&] {
             c.P1_SIP = 1;
             EXPECT_EQ(clubs.get(0), 0);  // reading goes on
             c.P1_TEL = "x";
             return clubs.put();
         }},
        {"delete",
         [&] {
             c.P1_SIP = 1;
             clubs.get(0);
             return clubs.remove();
         }},
    };
    for (auto& k : cases) {
        auto t = Clock::now();
        EXPECT_EQ(k.write(), rt::FileErr::FileSystemError) << k.what;
        EXPECT_LT(secondsSince(t), 0.2) << k.what << " waited";
        EXPECT_EQ(clubs.status().fileError, "The database file is locked") << k.what;
        EXPECT_EQ(clubs.status().fileErrorCode, -5) << k.what;
    }
    // BEGIN is deferred and takes no lock: it goes through; the first write
    // inside fails at once, and the rollback frees the connection.
    auto t = Clock::now();
    ASSERT_EQ(clubs.begin(), 0);
    c.P1_SIP = 3;
    EXPECT_EQ(clubs.add(), rt::FileErr::FileSystemError);
    EXPECT_EQ(clubs.rollback(), 0);
    EXPECT_LT(secondsSince(t), 0.2);

    other.release();  // the other process rolls back
    c.P1_SIP = 2;
    EXPECT_EQ(clubs.add(), 0);
    RawDb raw(databasePath());
    EXPECT_EQ(raw.scalar("SELECT group_concat(P1_SIP) FROM PLAND"), "1,2");
}

TEST_F(StorageTest, CommitWaitsInShortStepsForUpToTwoSeconds) {
    Club c;
    rt::FileStructure clubs(clubDef(), &c);
    ASSERT_EQ(openOrCreate(clubs), 0);
    addClub(clubs, c, 1);
    {
        // Another process keeps reading: our COMMIT cannot finish.
        OtherProcess reader(databasePath(), {"BEGIN", "SELECT COUNT(*) FROM PLAND"});
        ASSERT_TRUE(reader.ready());
        ASSERT_EQ(clubs.begin(), 0);
        addClub(clubs, c, 2);
        auto t = Clock::now();
        EXPECT_EQ(clubs.commit(), rt::FileErr::FileSystemError);
        double waited = secondsSince(t);
        EXPECT_GE(waited, 1.95);
        EXPECT_LT(waited, MostWaited);
        EXPECT_EQ(clubs.status().fileError, "The database file is locked");
        EXPECT_EQ(clubs.status().fileErrorCode, -5);
        // Still our transaction: the rollback ends it.
        EXPECT_EQ(clubs.rollback(), 0);
    }
    RawDb raw(databasePath());
    EXPECT_EQ(raw.scalar("SELECT group_concat(P1_SIP) FROM PLAND"), "1");

    // A reader that lets go after 300 ms: the commit goes through soon after.
    // (The child starts before our write: a process forked while this one
    // holds a lock would inherit SQLite's view of that lock.)
    auto reader = std::make_unique<OtherProcess>(
        databasePath(), std::vector<std::string>{"BEGIN", "SELECT COUNT(*) FROM PLAND"});
    ASSERT_TRUE(reader->ready());
    ASSERT_EQ(clubs.begin(), 0);
    addClub(clubs, c, 3);
    std::thread letGo([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        reader->release();
    });
    auto t = Clock::now();
    EXPECT_EQ(clubs.commit(), 0) << clubs.status().fileError;
    double waited = secondsSince(t);
    letGo.join();
    EXPECT_GE(waited, 0.25);
    EXPECT_LT(waited, 0.6);
    EXPECT_EQ(raw.scalar("SELECT group_concat(P1_SIP) FROM PLAND"), "1,3");
}

namespace {

struct BusyOpen {
    const char* what;
    const rt::FileDef& def;
    bool tableExists;
    const char* lock;  // what the other process holds
};

// As the framework opens a file: a missing table is created.
int openOrCreateFile(rt::FileStructure& f) {
    int rc = f.open();
    if (rc == rt::FileErr::NoFile) {
        rc = f.create();
        if (rc == 0) rc = f.open();
    }
    return rc;
}

// Opens each file while another process holds its lock: held on, the open
// fails after 2 s as before; let go after 300 ms, the open goes through. The
// files stay open (and so does their connection), in order.
void expectOpensWait(const std::vector<BusyOpen>& cases,
                     std::vector<std::unique_ptr<rt::FileStructure>>& open,
                     std::vector<char>& record) {
    {
        RawDb raw(databasePath());
        for (const BusyOpen& k : cases) {
            if (!k.tableExists) continue;
            for (const std::string& sql : storage::schemaSql(k.def))
                ASSERT_EQ(raw.exec(sql), SQLITE_OK) << raw.errmsg();
        }
    }
    for (const BusyOpen& k : cases) {
        ASSERT_LE(k.def.recordSize, record.size());
        auto f = std::make_unique<rt::FileStructure>(k.def, record.data());
        {
            OtherProcess other(databasePath(), {k.lock});
            ASSERT_TRUE(other.ready()) << k.what;
            auto t = Clock::now();
            EXPECT_EQ(openOrCreateFile(*f), rt::FileErr::FileSystemError) << k.what;
            const double waited = secondsSince(t);
            EXPECT_GE(waited, 1.95) << k.what;
            EXPECT_LT(waited, MostWaited) << k.what;
            EXPECT_EQ(f->status().fileError, "The database file is locked") << k.what;
            EXPECT_EQ(f->status().fileErrorCode, -5) << k.what;
        }
        auto other =
            std::make_unique<OtherProcess>(databasePath(), std::vector<std::string>{k.lock});
        ASSERT_TRUE(other->ready()) << k.what;
        std::thread letGo([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            other->release();
        });
        auto t = Clock::now();
        EXPECT_EQ(openOrCreateFile(*f), 0) << k.what << ": " << f->status().fileError;
        const double waited = secondsSince(t);
        letGo.join();
        EXPECT_GE(waited, 0.25) << k.what;
        EXPECT_LT(waited, 1.0) << k.what;
        open.push_back(std::move(f));
    }
}

}  // namespace

// Opening a file (its column check included) waits for another process's
// lock in 30 ms steps, as COMMIT does, for up to 2 s. Once open, a read that
// meets the lock fails at once.
TEST_F(StorageTest, OpenWaitsForABusyDatabaseForUpToTwoSeconds) {
    std::vector<char> record(16384);
    std::vector<std::unique_ptr<rt::FileStructure>> open;
    expectOpensWait({{"a table on a new connection", clubDef(), true, "BEGIN EXCLUSIVE"},
                     {"a table on the open connection", memberDef(), true, "BEGIN EXCLUSIVE"}},
                    open, record);
    ASSERT_EQ(open.size(), 2u);

    OtherProcess other(databasePath(), {"BEGIN EXCLUSIVE"});
    ASSERT_TRUE(other.ready());
    auto t = Clock::now();
    EXPECT_EQ(open[0]->get(0), rt::FileErr::FileSystemError);
    EXPECT_LT(secondsSince(t), 0.2);
    EXPECT_EQ(open[0]->status().fileErrorCode, -5);
}

// Creating a missing table waits the same way, whether the other process
// writes (holds the write lock) or holds the file alone.
TEST_F(StorageTest, CreatingAMissingTableWaitsForABusyDatabase) {
    std::vector<char> record(16384);
    std::vector<std::unique_ptr<rt::FileStructure>> open;
    expectOpensWait({{"another writer", ledgerDef(), false, "BEGIN IMMEDIATE"},
                     {"held alone", categoryDef(), false, "BEGIN EXCLUSIVE"}},
                    open, record);
    RawDb raw(databasePath());
    EXPECT_EQ(raw.scalar("SELECT group_concat(name) FROM sqlite_master WHERE type = 'table'"),
              "CLANAR,KATEG");
}

TEST_F(StorageTest, ReadOnlyDatabaseIsAccessDeniedAndOpensReadOnly) {
    {
        Club c;
        rt::FileStructure clubs(clubDef(), &c);
        ASSERT_EQ(openOrCreate(clubs), 0);
        addClub(clubs, c, 4);
    }
    ASSERT_EQ(storage::openConnections(), 0);
    ASSERT_EQ(chmod(databasePath().c_str(), 0444), 0);
    ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0);

    // What a process that may not write sees; as root, a child drops to nobody.
    auto check = []() -> int {
        Club c;
        rt::FileStructure clubs(clubDef(), &c);
        if (clubs.open(rt::OpenMode::ReadWrite) != rt::FileErr::NoAccess) return 10;
        if (clubs.status().fileError != "Attempt to write a readonly database") return 11;
        if (clubs.open(rt::OpenMode::ReadOnly) != 0) return 12;
        c.P1_SIP = 4;
        if (clubs.get(0) != 0 || !(c.P1_NPD == "Club 4")) return 13;
        c.P1_SIP = 5;
        if (clubs.add() != rt::FileErr::NoAccess) return 14;
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

TEST_F(StorageTest, FullDiskFailsTheWriteAndKeepsWhatWasWritten) {
    Club c;
    rt::FileStructure clubs(clubDef(), &c);
    ASSERT_EQ(openOrCreate(clubs), 0);
    addClub(clubs, c, 1);
    rt::FileStatus st;
    RawDb raw(databasePath());
    int pages = std::stoi(raw.scalar("PRAGMA page_count"));
    ASSERT_EQ(storage::execOnConnection(databasePath(), rt::OpenMode::ReadWrite,
                                        "PRAGMA max_page_count = " + std::to_string(pages + 2), st),
              0)
        << st.fileError;
    int added = 1, code = 2;
    for (; code < 5000; ++code) {
        c = Club{};
        c.P1_SIP = code;
        c.P1_NPD = std::string(50, 'n');
        c.P1_ADR = std::string(50, 'a');
        if (clubs.add() != 0) break;
        ++added;
    }
    ASSERT_LT(code, 5000) << "the disk never filled";
    EXPECT_EQ(clubs.status().code, rt::FileErr::FileSystemError);
    EXPECT_EQ(clubs.status().fileErrorCode, -13);
    EXPECT_EQ(clubs.status().fileError, "Insertion failed because database is full");
    EXPECT_EQ(raw.scalar("SELECT COUNT(*) FROM PLAND"), std::to_string(added));
    EXPECT_EQ(raw.scalar("SELECT COUNT(*) FROM PLAND WHERE P1_SIP = " + std::to_string(code)), "0");

    // Inside a transaction the same: the rollback leaves the file as it was.
    ASSERT_EQ(clubs.begin(), 0);
    c.P1_SIP = code;
    EXPECT_EQ(clubs.add(), rt::FileErr::FileSystemError);
    clubs.rollback();
    EXPECT_EQ(raw.scalar("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(raw.scalar("SELECT COUNT(*) FROM PLAND"), std::to_string(added));

    // With room again, writing goes on.
    ASSERT_EQ(storage::execOnConnection(databasePath(), rt::OpenMode::ReadWrite,
                                        "PRAGMA max_page_count = 1000000", st),
              0);
    EXPECT_EQ(clubs.add(), 0);
}

TEST_F(StorageTest, WriterKilledMidStreamLeavesEveryCommittedRow) {
    {
        Club c;
        rt::FileStructure clubs(clubDef(), &c);
        ASSERT_EQ(openOrCreate(clubs), 0);
    }
    // No connection may cross the fork.
    ASSERT_EQ(storage::openConnections(), 0);
    int acks[2];
    ASSERT_EQ(pipe(acks), 0);
    pid_t pid = fork();
    if (pid == 0) {
        close(acks[0]);
        Club c;
        rt::FileStructure clubs(clubDef(), &c);
        if (clubs.open() != 0) _exit(2);
        for (std::int32_t i = 1;; ++i) {
            // Alternate transactions and single statements.
            bool txn = i % 2 == 0;
            if (txn && clubs.begin() != 0) _exit(3);
            c = Club{};
            c.P1_SIP = i;
            c.P1_NPD = "Written " + std::to_string(i);
            if (clubs.add() != 0) _exit(4);
            if (txn && clubs.commit() != 0) _exit(5);
            if (write(acks[1], &i, sizeof i) != sizeof i) _exit(6);
        }
    }
    close(acks[1]);
    std::int32_t last = 0, n = 0;
    while (last < 300 && read(acks[0], &n, sizeof n) == sizeof n) last = n;
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << WEXITSTATUS(status);
    while (read(acks[0], &n, sizeof n) == sizeof n) last = n;
    close(acks[0]);
    ASSERT_GE(last, 300);

    RawDb raw(databasePath());
    EXPECT_EQ(raw.scalar("PRAGMA integrity_check"), "ok");
    // Every acknowledged row, in full; at most one more (committed, not yet told).
    EXPECT_EQ(raw.scalar("SELECT COUNT(*) FROM PLAND WHERE P1_SIP <= " + std::to_string(last) +
                         " AND trim(P1_NPD) = 'Written ' || P1_SIP"),
              std::to_string(last));
    int total = std::stoi(raw.scalar("SELECT COUNT(*) FROM PLAND"));
    EXPECT_LE(total, last + 1);
    // The program's own open afterwards finds the file sound.
    Club c;
    rt::FileStructure clubs(clubDef(), &c);
    ASSERT_EQ(clubs.open(), 0);
    c.P1_SIP = last;
    EXPECT_EQ(clubs.get(0), 0);
}

TEST_F(StorageTest, ThreadsTransactionsNeverHoldEachOthersStatements) {
    {
        Club c;
        rt::FileStructure clubs(clubDef(), &c);
        ASSERT_EQ(openOrCreate(clubs), 0);
        for (int i = 1; i <= 20; ++i) addClub(clubs, c, i);
    }
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> failures{0};
    auto worker = [&](int firstCode, char tag, std::vector<std::string>* finals) {
        Club c;
        rt::FileStructure clubs(clubDef(), &c);
        if (clubs.open() != 0) {
            ++failures;
            return;
        }
        for (int round = 0; round < 40; ++round) {
            if (clubs.begin() != 0) {
                ++failures;
                continue;
            }
            if (inside.fetch_add(1) != 0) ++overlaps;
            std::string value = std::string(1, tag) + std::to_string(round);
            for (int code = firstCode; code < firstCode + 10; ++code) {
                c = Club{};
                c.P1_SIP = code;
                if (clubs.get(0) != 0) ++failures;
                c.P1_TEL = value;
                if (clubs.put() != 0) ++failures;
                // Our own change is what we read inside our transaction.
                c.P1_TEL = "";
                if (clubs.get(0) != 0 || !(c.P1_TEL == value)) ++failures;
            }
            inside.fetch_sub(1);
            bool keep = round % 3 != 2;
            if ((keep ? clubs.commit() : clubs.rollback()) != 0) ++failures;
            if (keep) (*finals)[0] = value;
        }
    };
    std::vector<std::string> finalA{""}, finalB{""};
    std::thread a(worker, 1, 'A', &finalA);
    std::thread b(worker, 11, 'B', &finalB);
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(overlaps.load(), 0);
    RawDb raw(databasePath());
    EXPECT_EQ(raw.scalar("SELECT COUNT(DISTINCT P1_TEL) || trim(min(P1_TEL)) FROM PLAND WHERE "
                         "P1_SIP <= 10"),
              "1" + finalA[0]);
    EXPECT_EQ(raw.scalar("SELECT COUNT(DISTINCT P1_TEL) || trim(min(P1_TEL)) FROM PLAND WHERE "
                         "P1_SIP > 10"),
              "1" + finalB[0]);
}

TEST_F(StorageTest, AnotherThreadsStatementWaitsAndSurvivesTheRollback) {
    Club c;
    rt::FileStructure clubs(clubDef(), &c);
    ASSERT_EQ(openOrCreate(clubs), 0);
    ASSERT_EQ(clubs.begin(), 0);
    addClub(clubs, c, 1, "rolled back");
    std::atomic<bool> rolledBack{false};
    std::atomic<bool> addedBeforeRollback{false};
    std::atomic<int> result{-1};
    std::thread other([&] {
        Club o;
        rt::FileStructure mine(clubDef(), &o);
        if (mine.open() != 0) return;
        o.P1_SIP = 2;
        o.P1_NPD = "kept";
        int rc = mine.add();  // waits: the connection is in our transaction
        addedBeforeRollback = !rolledBack.load();
        result = rc;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    // The same thread is never kept waiting by its own transaction.
    addClub(clubs, c, 3, "rolled back too");
    rolledBack = true;
    ASSERT_EQ(clubs.rollback(), 0);
    other.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_FALSE(addedBeforeRollback.load());
    RawDb raw(databasePath());
    EXPECT_EQ(
        raw.scalar("SELECT group_concat(P1_SIP) || ' ' || trim(group_concat(P1_NPD)) FROM PLAND"),
        "2 kept");
}

TEST_F(StorageTest, ClosingAllConnectionsRollsBackAndLaterOpensWork) {
    Club c;
    rt::FileStructure clubs(clubDef(), &c);
    ASSERT_EQ(openOrCreate(clubs), 0);
    addClub(clubs, c, 1);
    ASSERT_EQ(clubs.begin(), 0);
    addClub(clubs, c, 2);
    EXPECT_EQ(storage::openConnections(), 1);
    storage::closeAllConnections();  // what the fatal path runs
    EXPECT_EQ(storage::openConnections(), 0);
    c.P1_SIP = 3;
    EXPECT_EQ(clubs.add(), rt::FileErr::FileSystemError);
    EXPECT_EQ(clubs.status().fileError, "Library used incorrectly");
    EXPECT_EQ(clubs.close(), 0);
    ASSERT_EQ(clubs.open(), 0);
    c.P1_SIP = 3;
    EXPECT_EQ(clubs.add(), 0);
    RawDb raw(databasePath());
    EXPECT_EQ(raw.scalar("SELECT group_concat(P1_SIP) FROM PLAND"), "1,3");
}

TEST_F(StorageTest, TransactionSpansTheFilesOfItsDatabase) {
    Club c;
    Ledger l;
    rt::FileStructure clubs(clubDef(), &c);
    rt::FileStructure ledger(ledgerDef(), &l);
    ASSERT_EQ(openOrCreate(clubs), 0);
    ASSERT_EQ(openOrCreate(ledger), 0);
    // Begun through one file, written and ended through the other.
    ASSERT_EQ(clubs.begin(), 0);
    EXPECT_EQ(ledger.begin(), 0);  // the same connection's transaction: nothing happens
    l.CL_SPS = 1;
    ASSERT_EQ(ledger.add(), 0);
    addClub(clubs, c, 1);
    ASSERT_EQ(ledger.commit(), 0);
    EXPECT_NE(ledger.commit(), 0);  // nothing left to commit
    // Closing a file other than the one that began a transaction leaves it be.
    ASSERT_EQ(ledger.begin(), 0);
    addClub(clubs, c, 2);
    ASSERT_EQ(clubs.close(), 0);
    ASSERT_EQ(ledger.commit(), 0);
    // Closing the one that began it rolls it back: its thread is done with it.
    ASSERT_EQ(ledger.begin(), 0);
    l.CL_SPS = 2;
    ASSERT_EQ(ledger.add(), 0);
    ASSERT_EQ(ledger.close(), 0);
    RawDb raw(databasePath());
    EXPECT_EQ(raw.scalar("SELECT group_concat(P1_SIP) FROM PLAND"), "1,2");
    EXPECT_EQ(raw.scalar("SELECT group_concat(CL_SPS) FROM CLANAR"), "1");
}

// A photo path that names the database, in any spelling, is never opened:
// closing a second descriptor of the file would drop this process's locks,
// and another process could then write in the middle of our transaction
// (its rows lost by our commit, the file's indexes left inconsistent).
TEST_F(StorageTest, APhotoNamingTheDatabaseNeverCostsItsLocks) {
    Club c;
    rt::FileStructure clubs(clubDef(), &c);
    ASSERT_EQ(openOrCreate(clubs), 0);
    addClub(clubs, c, 1);
    namespace fs = std::filesystem;
    fs::create_symlink("Clanovi.sqlite", "link.png");
    fs::create_hard_link("Clanovi.sqlite", "hard.jpg");
    fs::create_directory("sub");
    OtherWriter other(databasePath());

    ASSERT_EQ(clubs.begin(), 0);
    addClub(clubs, c, 2);  // our write lock, and the journal beside the file
    ASSERT_TRUE(fs::exists("Clanovi.sqlite-journal"));
    for (const char* photo :
         {"Clanovi.sqlite", "./Clanovi.sqlite", "./clanovi.SQLITE", "CLANOVI.SQLITE",
          "sub/../Clanovi.sqlite", "link.png", "hard.jpg", "Clanovi.sqlite-journal"}) {
        SCOPED_TRACE(photo);
        // As the picture controls read a photo, and as the preview does.
        const std::optional<std::string> file = rt::pictureFile(photo);
        ASSERT_TRUE(file);
        EXPECT_EQ(rt::image::decodeFile(*file).failure, rt::image::Failure::CannotOpen);
        EXPECT_EQ(rt::image::decodeFileFor(*file, 100, 100).failure,
                  rt::image::Failure::CannotOpen);
        EXPECT_EQ(rt::image::decodeFile(fs::absolute(*file).string()).failure,
                  rt::image::Failure::CannotOpen);
        // Our lock holds: the other process cannot write meanwhile.
        EXPECT_FALSE(other.write(99));
    }
    ASSERT_EQ(clubs.commit(), 0) << clubs.status().fileError;
    EXPECT_TRUE(other.write(99));
    // A PDF is never written over it either.
    rt::report::setRenderer(
        [](const rt::report::Document&, const rt::report::PrintTarget&) { return true; });
    rt::report::Document none;
    rt::report::PrintTarget pdf;
    pdf.file = "hard.jpg";
    EXPECT_FALSE(rt::report::printDocument(none, pdf));
    pdf.file = "other.pdf";
    EXPECT_TRUE(rt::report::printDocument(none, pdf));
    rt::report::setRenderer({});

    RawDb raw(databasePath());
    EXPECT_EQ(raw.scalar("SELECT group_concat(P1_SIP) FROM (SELECT P1_SIP FROM PLAND ORDER BY 1)"),
              "1,2,99");
}
