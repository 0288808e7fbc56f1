// The file layer without a database: descriptors, record buffers, what it
// refuses before reaching the driver, the positions it asks the driver for,
// bound variables and the per-thread tear-down.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "runtime/file/driver.h"
#include "runtime/file/file.h"
#include "runtime/threads.h"

namespace {

struct Rec {
    std::int32_t CODE = 0;
    rt::Text<6> NAME;
    std::uint8_t FLAG = 0;
    rt::Money AMOUNT;
};

const rt::FileDef& recDef() {
    static const rt::FileDef def{
        "CODES",
        "COD",
        [] { return std::string("test.db"); },
        true,
        {RT_FIELD(Rec, CODE, "COD:CODE", "@n_3"), RT_FIELD(Rec, NAME, "COD:NAME", "@s6"),
         RT_FIELD(Rec, FLAG, "COD:FLAG", "@n1B"), RT_FIELD(Rec, AMOUNT, "COD:AMOUNT", "@n-14.`2")},
        {{"COD:KeyCODE", "KeyCODE", {0}, true, true, true, true, true},
         {"COD:KeyNAME", "KeyNAME", {1}, false, false, true, true, false}},
        sizeof(Rec)};
    return def;
}

// A driver over a table of codes 1..rows held in memory, which records the
// reads it was asked for.
struct FakeStore {
    std::mutex lock;
    int rows = 0;
    std::vector<rt::ScanRequest> scans;
    std::vector<std::int32_t> boundCodes;
    int opens = 0, closes = 0;
    // The transaction statements in the order they came, and their scripted
    // results (a roll-back may throw, as an allocation can).
    std::vector<std::string> transaction;
    int beginResult = 0, commitResult = 0;
    bool rollbackThrows = false;
};

class FakeHandle : public rt::StorageHandle {
  public:
    explicit FakeHandle(FakeStore& s) : s_(s) {}
    int close(rt::FileStatus& st) override {
        std::lock_guard<std::mutex> g(s_.lock);
        ++s_.closes;
        st = {};
        return 0;
    }
    int fetch(const rt::FileDef&, int, const void* key, void* target, rt::FileStatus& st) override {
        auto code = static_cast<const Rec*>(key)->CODE;
        if (code < 1 || code > s_.rows) return st.code = rt::FileErr::RecordNotAvailable;
        auto* r = static_cast<Rec*>(target);
        r->CODE = code;
        r->NAME = "n" + std::to_string(code);
        st = {};
        return 0;
    }
    int scan(const rt::FileDef&, const rt::ScanRequest& r, const std::function<void()>& onRow,
             int& rows, rt::FileStatus& st) override {
        std::int32_t from = r.forward ? 1 : s_.rows;
        if (r.bound != rt::Bound::None) {
            from = static_cast<const Rec*>(r.boundRecord)->CODE;
            if (r.bound == rt::Bound::Exclusive) from += r.forward ? 1 : -1;
        }
        {
            std::lock_guard<std::mutex> g(s_.lock);
            s_.scans.push_back(r);
            s_.boundCodes.push_back(r.boundRecord ? static_cast<const Rec*>(r.boundRecord)->CODE
                                                  : 0);
        }
        rows = 0;
        for (std::int32_t c = from; c >= 1 && c <= s_.rows && rows < r.limit;
             c += r.forward ? 1 : -1) {
            auto* t = static_cast<Rec*>(r.targets[0]);
            t->CODE = c;
            t->NAME = "n" + std::to_string(c);
            ++rows;
            onRow();
        }
        st = {};
        return 0;
    }
    int insert(const rt::FileDef&, const void*, rt::FileStatus& st) override { return st.code = 0; }
    int update(const rt::FileDef&, const void*, const void*, rt::FileStatus& st) override {
        ++updates;
        return st.code = 0;
    }
    int remove(const rt::FileDef&, const void*, rt::FileStatus& st) override { return st.code = 0; }
    int begin(std::chrono::milliseconds, rt::FileStatus& st) override {
        s_.transaction.push_back("BEGIN");
        return st.code = s_.beginResult;
    }
    int commit(rt::FileStatus& st) override {
        s_.transaction.push_back("COMMIT");
        return st.code = s_.commitResult;
    }
    int rollback(rt::FileStatus& st) override {
        s_.transaction.push_back("ROLLBACK");
        if (s_.rollbackThrows) throw std::bad_alloc();
        return st.code = 0;
    }
    int count(const rt::FileDef&, std::int64_t& n, rt::FileStatus& st) override {
        n = s_.rows;
        return st.code = 0;
    }
    int viewScan(const rt::View&, const rt::ScanRequest&, const std::function<void()>&, int& rows,
                 rt::FileStatus& st) override {
        rows = 0;
        return st.code = 0;
    }
    int viewReget(const rt::View&, const void*, const std::vector<void*>&,
                  rt::FileStatus& st) override {
        return st.code = rt::FileErr::RecordNotAvailable;
    }
    int viewCount(const rt::View&, std::int64_t& n, rt::FileStatus& st) override {
        n = 0;
        return st.code = 0;
    }
    int viewExtreme(const rt::View&, int, bool, rt::Value&, rt::FileStatus& st) override {
        return st.code = rt::FileErr::RecordNotAvailable;
    }
    int updates = 0;

  private:
    FakeStore& s_;
};

class FakeDriver : public rt::StorageDriver {
  public:
    explicit FakeDriver(FakeStore& s) : s_(s) {}
    int open(const rt::FileDef&, rt::OpenMode, std::unique_ptr<rt::StorageHandle>& h,
             rt::FileStatus& st) override {
        {
            std::lock_guard<std::mutex> g(s_.lock);
            ++s_.opens;
        }
        h = std::make_unique<FakeHandle>(s_);
        st = {};
        return 0;
    }
    int create(const rt::FileDef&, rt::FileStatus& st) override { return st.code = 0; }

  private:
    FakeStore& s_;
};

class FileLayerTest : public ::testing::Test {
  protected:
    void SetUp() override { rt::setStorageDriver(std::make_shared<FakeDriver>(store)); }
    void TearDown() override { rt::setStorageDriver(nullptr); }
    FakeStore store;
};

}  // namespace

TEST(FileDescriptors, FieldsTakeTypeSizeAndOffsetFromTheRecord) {
    const rt::FileDef& d = recDef();
    EXPECT_EQ(d.fields[0].type, rt::FieldType::Long);
    EXPECT_EQ(d.fields[1].type, rt::FieldType::String);
    EXPECT_EQ(d.fields[1].size, 6u);
    EXPECT_EQ(d.fields[1].offset, offsetof(Rec, NAME));
    EXPECT_EQ(d.fields[2].type, rt::FieldType::Byte);
    EXPECT_EQ(d.fields[3].type, rt::FieldType::Decimal);
    EXPECT_EQ(d.fields[3].size, 6u);  // packed DECIMAL(11,2)
    EXPECT_EQ(rt::memorySize(d.fields[3]), sizeof(rt::Money));
    EXPECT_STREQ(d.fields[2].column, "FLAG");
    // Names by label or by column, without regard to case.
    EXPECT_EQ(d.fieldIndex("cod:name"), 1);
    EXPECT_EQ(d.fieldIndex("AMOUNT"), 3);
    EXPECT_EQ(d.fieldIndex("COD:NOPE"), -1);
    EXPECT_EQ(d.keyIndex("COD:KEYNAME"), 1);
    EXPECT_EQ(d.keyIndex("KeyCODE"), 0);
    EXPECT_EQ(d.primaryKey(), 0);
}

TEST_F(FileLayerTest, ClearAndRefusalsBeforeTheDriver) {
    Rec r;
    rt::FileStructure f(recDef(), &r);
    r.CODE = 5;
    r.NAME = "abc";
    r.FLAG = 1;
    r.AMOUNT = rt::Money{12};
    f.clear();
    EXPECT_EQ(r.CODE, 0);
    EXPECT_EQ(r.NAME.view(), "      ");
    EXPECT_EQ(r.FLAG, 0);
    EXPECT_EQ(r.AMOUNT.cents, 0);

    // Closed: every operation says so instead of reaching anything.
    for (int rc : {f.get(0), f.next(), f.add(), f.put(), f.remove(), f.begin(), f.commit()})
        EXPECT_EQ(rc, rt::FileErr::FileSystemError);
    EXPECT_EQ(f.status().fileError, "The file is not open");

    ASSERT_EQ(f.open(), 0);
    // No row read: nothing to put or delete by.
    EXPECT_EQ(f.put(), rt::FileErr::RecordNotAvailable);
    EXPECT_EQ(f.remove(), rt::FileErr::RecordNotAvailable);
    // No position set: nothing to read on from.
    EXPECT_EQ(f.next(), rt::FileErr::RecordNotAvailable);

    rt::setStorageDriver(nullptr);
    rt::FileStructure g(recDef(), &r);
    EXPECT_EQ(g.open(), rt::FileErr::FileSystemError);
    EXPECT_EQ(g.status().fileError, "No storage is installed");
}

TEST_F(FileLayerTest, OrderedReadsAskForTheRightBoundsAndReadAhead) {
    store.rows = 200;
    Rec r;
    rt::FileStructure f(recDef(), &r);
    ASSERT_EQ(f.open(), 0);
    ASSERT_EQ(f.set(0, rt::SetFrom::Start), 0);
    std::vector<std::int32_t> got;
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(f.next(), 0);
        got.push_back(r.CODE);
    }
    EXPECT_EQ(got, (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    // Batches of 1, 2, 4, 8 rows, each continuing after the last row read.
    ASSERT_EQ(store.scans.size(), 4u);
    EXPECT_EQ(store.scans[0].bound, rt::Bound::None);
    EXPECT_EQ(store.scans[1].bound, rt::Bound::Exclusive);
    EXPECT_TRUE(store.scans[1].boundWithPrimary);
    EXPECT_EQ(store.boundCodes, (std::vector<std::int32_t>{0, 1, 3, 7}));
    EXPECT_EQ(store.scans[3].limit, 8);

    // Turning back: the row before the last one presented, not the last fetched.
    ASSERT_EQ(f.previous(), 0);
    EXPECT_EQ(r.CODE, 9);
    EXPECT_FALSE(store.scans.back().forward);
    EXPECT_EQ(store.boundCodes.back(), 10);

    // A set from the buffer is inclusive and uses the key alone.
    r.CODE = 150;
    ASSERT_EQ(f.set(0, rt::SetFrom::Buffer), 0);
    ASSERT_EQ(f.previous(), 0);
    EXPECT_EQ(r.CODE, 150);
    EXPECT_EQ(store.scans.back().bound, rt::Bound::Inclusive);
    EXPECT_FALSE(store.scans.back().boundWithPrimary);

    // Each row read is the row as read: a put compares against it.
    r.NAME = "chg";
    EXPECT_EQ(f.put(), 0);
    EXPECT_EQ(std::string(static_cast<const Rec*>(f.asRead())->NAME.view()), "chg   ");

    // A miss leaves the buffer as it was.
    r.CODE = 999;
    r.NAME = "keep";
    EXPECT_EQ(f.get(0), rt::FileErr::RecordNotAvailable);
    EXPECT_EQ(r.NAME, "keep");
}

// The transaction guard: whatever leaves its scope (a return, an exception,
// a failed COMMIT) ends the transaction with one ROLLBACK unless it was
// committed; a COMMIT that failed is never reported as done.
TEST_F(FileLayerTest, TransactionRollsBackUnlessCommitted) {
    static constexpr int Locked = rt::FileErr::FileSystemError;
    using V = std::vector<std::string>;
    struct Case {
        const char* what;
        int beginResult, commitResult;
        bool rollbackThrows;
        std::function<void(rt::Transaction&)> body;
        V statements;
    };
    auto commitOk = [](rt::Transaction& t) { EXPECT_EQ(t.commit(), 0); };
    const Case cases[] = {
        {"committed", 0, 0, false, commitOk, V{"BEGIN", "COMMIT"}},
        {"left without a commit", 0, 0, false, [](rt::Transaction&) {}, V{"BEGIN", "ROLLBACK"}},
        {"left by an exception", 0, 0, false,
         [](rt::Transaction&) { throw std::runtime_error("out"); }, V{"BEGIN", "ROLLBACK"}},
        {"rolled back by hand", 0, 0, false,
         [](rt::Transaction& t) {
             EXPECT_EQ(t.rollback(), 0);
             EXPECT_EQ(t.commit(), Locked);  // nothing left to commit
         },
         V{"BEGIN", "ROLLBACK"}},
        {"BEGIN failed", Locked, 0, false,
         [](rt::Transaction& t) {
             EXPECT_EQ(t.began(), Locked);
             EXPECT_EQ(t.commit(), Locked);
         },
         V{"BEGIN"}},
        {"COMMIT failed", 0, Locked, false,
         [](rt::Transaction& t) {
             EXPECT_EQ(t.commit(), Locked);
             EXPECT_EQ(t.commit(), Locked);  // tried again: still not stored
         },
         V{"BEGIN", "COMMIT", "COMMIT", "ROLLBACK"}},
        {"ROLLBACK threw", 0, 0, true, [](rt::Transaction&) {}, V{"BEGIN", "ROLLBACK"}},
    };
    Rec r;
    rt::FileStructure f(recDef(), &r);
    ASSERT_EQ(f.open(), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        store.transaction.clear();
        store.beginResult = c.beginResult;
        store.commitResult = c.commitResult;
        store.rollbackThrows = c.rollbackThrows;
        try {
            rt::Transaction t(f);
            EXPECT_EQ(t.began(), c.beginResult);
            c.body(t);
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(store.transaction, c.statements);
    }
}

TEST(FileBindings, ValuesAreReadWhenAsked) {
    std::int32_t plain = 4;
    std::atomic<std::int32_t> shared{7};
    rt::bind("L:PLAIN", &plain);
    rt::bind("G1:W1_SPS", &shared);
    rt::bind("CALC", [] { return rt::Value{std::string("x")}; });
    rt::Value v;
    plain = 5;
    shared = 8;
    ASSERT_TRUE(rt::boundValue("L:PLAIN", v));
    EXPECT_EQ(std::get<std::int64_t>(v), 5);
    ASSERT_TRUE(rt::boundValue("g1:w1_sps", v));  // names without regard to case
    EXPECT_EQ(std::get<std::int64_t>(v), 8);
    ASSERT_TRUE(rt::boundValue("CALC", v));
    EXPECT_EQ(std::get<std::string>(v), "x");
    // Per thread: another thread sees none of them.
    bool seen = true;
    std::thread([&] { seen = rt::boundValue("L:PLAIN", v); }).join();
    EXPECT_FALSE(seen);
    rt::unbind("L:PLAIN");
    EXPECT_FALSE(rt::boundValue("L:PLAIN", v));
    rt::unbindAll();
    EXPECT_FALSE(rt::boundValue("CALC", v));
}

TEST_F(FileLayerTest, ThreadEndClosesTheThreadsStructures) {
    rt::clearComponents();
    rt::installFileComponents();
    std::atomic<int> opened{0};
    rt::runProcess([&] {
        rt::startThread([&] {
            thread_local Rec rec;
            thread_local rt::FileStructure file(recDef(), &rec);
            if (file.open() == 0) ++opened;
            // Each thread has its own structure: this one only.
            if (rt::threadFileStructures().size() != 1u) opened = -100;
        });
        rt::joinAllThreads();
        EXPECT_EQ(opened.load(), 1);
        std::lock_guard<std::mutex> g(store.lock);
        EXPECT_EQ(store.opens, 1);
        EXPECT_EQ(store.closes, 1);  // by the thread-end step, before the thread went away
    });
    rt::clearComponents();
}
