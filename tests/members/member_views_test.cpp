// The member windows read what they show and nothing more, each read one
// bounded statement served by an index in every order: the select window
// never reads the long texts (a member's row is 20 KB); the list, through
// each of its tabs with its locator and a page down, never sorts, scans or
// skips rows, whatever the number of members sharing a key value.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "core/dictionary/dictionary.h"
#include "core/storage/storage.h"
#include "core/storage_fixture.h"
#include "framework/globals.h"
#include "members/browse_clanovi.h"
#include "members/select_clanovi.h"
#include "runtime/clock.h"
#include "runtime/threads.h"
#include "tests/runtime/window_harness.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace windowtest;
using storagetest::RawDb;
using storagetest::unboundedBecause;

// No window here has a message to show.
struct NoMessages : NullBackend {
    void dialog(int, const rt::DialogRequest& r) override {
        ADD_FAILURE() << "a message: " << r.message.title << ": " << r.message.text;
    }
};

class MemberViewsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(storage::sqlite().code, 0) << storage::sqlite().text;
        storage::install();
        rt::useManualClock(2024, 1, 15);
        rt::setBackend(&backend_);
        GlobalErrors().Init(&GlobalErrorStatus);
        INIMgr().Init(".\\Sutrik.INI", 0, 0);
        rt::setFatalExitHook([](int) {});
        for (rt::FileStructure* f :
             {&fileStructure(FileId::CLANOVI), &fileStructure(FileId::NACION),
              &fileStructure(FileId::BRAST), &fileStructure(FileId::STUPEM)}) {
            int rc = f->open();
            if (rc == rt::FileErr::NoFile) rc = f->create();
            ASSERT_EQ(rc, 0);
            f->close();
        }
        // 3 000 members in 30 clubs with 40 surnames, 25 given names and
        // three ways of joining: keys that hundreds of members share.
        RawDb raw("Clanovi.sqlite");
        ASSERT_EQ(raw.exec("INSERT INTO NACION VALUES (1, printf('%-20s', 'Bošnjak'))"), 0);
        ASSERT_EQ(raw.exec("INSERT INTO BRAST VALUES (1, printf('%-20s', 'Oženjen'))"), 0);
        ASSERT_EQ(raw.exec("INSERT INTO STUPEM VALUES (1, printf('%-30s', 'VSS'))"), 0);
        ASSERT_EQ(
            raw.exec(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < 3000) "
                "INSERT INTO CLANOVI SELECT 1 + i % 3, 1 + i % 30, i, "
                "printf('%-25s', 'Prezime ' || (i * 7 % 40)), "
                "printf('%-20s', 'Ime ' || (i % 25)), printf('%-20s', 'Otac ' || (i % 17)), "
                "printf('%-20s', 'LK' || i), printf('%-15s', printf('%013d', i * 7919 % 3001)), "
                "70000 + i, printf('%-50s', 'Adresa ' || i), printf('%-30s', ''), i % 2, "
                "printf('%-50s', ''), i % 2, i % 2, 1, 0, 0, printf('%-10s', ''), 1 + i % 3, "
                "printf('%-5000s', 'Ranije'), printf('%-5000s', 'Priznanja'), "
                "printf('%-5000s', 'Zvanja'), 1, 1, printf('%-20s', ''), printf('%-20s', ''), "
                "printf('%-30s', ''), printf('%-60s', ''), printf('%-5000s', 'Napomena') "
                "FROM n"),
            0)
            << raw.errmsg();
        storage::setTrace([this](const std::string& sql, const std::vector<std::string>& values) {
            std::lock_guard g(m_);
            if (sql.rfind("SELECT t0.", 0) == 0) statements_.push_back({sql, values});
        });
    }
    void TearDown() override {
        idle();
        rt::shutDownWindows();
        rt::joinAllThreads();
        storage::setTrace({});
        storage::closeAllConnections();
        rt::setStorageDriver(nullptr);
        rt::setFatalExitHook({});
        rt::setBackend(nullptr);
        rt::resetWindows();
        rt::useSystemClock();
    }

    struct Statement {
        std::string sql;
        std::vector<std::string> values;
    };
    std::vector<Statement> taken() {
        std::lock_guard g(m_);
        std::vector<Statement> out;
        out.swap(statements_);
        return out;
    }
    std::size_t issued() {
        std::lock_guard g(m_);
        return statements_.size();
    }

    // Starts a procedure on a thread of its own, as the menu or a lookup
    // does, and waits for its window.
    int open(void (*procedure)(), const char* title, std::uint8_t request = 0) {
        rt::startProcedure([procedure, request] {
            DctInit();
            GlobalRequest = request;
            procedure();
            DctKill();
        });
        auto v = waitWindow(title);
        EXPECT_TRUE(v) << title << " did not open";
        return v ? v->id : 0;
    }
    static int control(int window, const std::string& nameOrText) {
        for (const auto& c : now(window)->controls)
            if (c.name == nameOrText || (c.kind == rt::ControlKind::Tab && c.text == nameOrText))
                return c.id;
        ADD_FAILURE() << "no control " << nameOrText;
        return 0;
    }
    int rowsShown(int window) {
        for (const auto& c : now(window)->controls)
            if (c.kind == rt::ControlKind::List) return static_cast<int>(c.list()->rows.size());
        return 0;
    }
    // Every statement seeks, reads at most a page (and the row it goes on
    // from) and takes none of the columns in without.
    void expectBounded(const std::vector<Statement>& all, int pageRows,
                       const std::vector<std::string>& without) {
        ASSERT_FALSE(all.empty());
        RawDb raw("Clanovi.sqlite");
        for (const Statement& st : all) {
            SCOPED_TRACE(st.sql);
            EXPECT_EQ(unboundedBecause(raw, st.sql), "");
            if (st.sql.find("LIMIT ?") != std::string::npos) {
                ASSERT_FALSE(st.values.empty());
                EXPECT_LE(std::stoi(st.values.back()), pageRows + 1);
            }
            const std::string columns = st.sql.substr(0, st.sql.find(" FROM "));
            for (const std::string& c : without)
                EXPECT_EQ(columns.find(c), std::string::npos) << c << " is read";
        }
    }

    NoMessages backend_;
    testsupport::TempDir dir_;
    std::mutex m_;
    std::vector<Statement> statements_;
};

TEST_F(MemberViewsTest, SelectWindowReadsItsTenFieldsInEveryOrder) {
    const int w = open(SelectCLANOVI, "Članovi", 4);
    ASSERT_TRUE(w);
    const int list = control(w, "?Browse:1");
    struct Tab {
        const char* tab;
        const char* entry;
        const char* typed;
    };
    for (const Tab& t :
         {Tab{"Šifra člana", "?CLA:M1_SIF", "1500"}, Tab{"Prezime", "?CLA:M1_PRE", "prezime 2"},
          Tab{"Ime", "?CLA:M1_IME", "ime 1"}, Tab{"JBMR", "?CLA:M1_JMB", "0000000001500"},
          Tab{"Broj članske karte", "?CLA:M1_SNU", "2"}}) {
        SCOPED_TRACE(t.tab);
        send(w, rt::Input{rt::Input::Kind::TabChosen, control(w, t.tab)});
        send(w, rt::Input{rt::Input::Kind::Focus, list});
        send(w, rt::Input{rt::Input::Kind::Key, 0, 0, static_cast<int>(t.typed[0])});
        type(w, control(w, t.entry), t.typed);
        key(w, rt::key::Enter);
        key(w, rt::key::PageDown);
        key(w, rt::key::PageUp);
    }
    const int pageRows = rowsShown(w);
    send(w, rt::Input{rt::Input::Kind::Close});
    rt::joinAllThreads();
    expectBounded(taken(), pageRows,
                  {"M1_SPS", "M1_BLK", "M1_MST", "M1_KVA", "M1_ZAN", "M1_SIB", "M1_SIN",
                   "M1_STC", "M1_CDA", "M1_EVB", "M1_CLP", "M1_PRZ", "M1_NIZ", "M1_SIK",
                   "M1_SIU", "M1_FTE", "M1_FMO", "M1_EML", "M1_PUS", "M1_NAP"});
}

TEST_F(MemberViewsTest, ListSeeksInEachOfItsOrders) {
    const int w = open(BrowseCLANOVI, "Članovi PD");
    ASSERT_TRUE(w);
    const int list = control(w, "?Browse:1");
    std::size_t most = 0;
    auto act = [&](auto input) {
        const std::size_t before = issued();
        input();
        most = std::max(most, issued() - before);
    };
    struct Tab {
        const char* tab;
        const char* entry;
        const char* typed;
    };
    for (const Tab& t :
         {Tab{"Šifra PD", "?CLA:M1_SIP", "17"}, Tab{"Šifra člana PD", "?CLA:M1_SIF", "1500"},
          Tab{"Prezime", "?CLA:M1_PRE", "prezime 2"}, Tab{"Ime", "?CLA:M1_IME", "ime 1"},
          Tab{"Ime oca", "?CLA:M1_IOC", "otac 9"}, Tab{"JBMG", "?CLA:M1_JMB", "0000000001500"},
          Tab{"Broj član.karte", "?CLA:M1_BCL:2", "2"}}) {
        SCOPED_TRACE(t.tab);
        act([&] { send(w, rt::Input{rt::Input::Kind::TabChosen, control(w, t.tab)}); });
        send(w, rt::Input{rt::Input::Kind::Focus, list});
        send(w, rt::Input{rt::Input::Kind::Key, 0, 0, static_cast<int>(t.typed[0])});
        type(w, control(w, t.entry), t.typed);
        act([&] { key(w, rt::key::Enter); });
        for (int k :
             {rt::key::PageDown, rt::key::Down, rt::key::PageUp, rt::key::End, rt::key::Home})
            act([&] { key(w, k); });
    }
    const int pageRows = rowsShown(w);
    send(w, rt::Input{rt::Input::Kind::Close});
    rt::joinAllThreads();
    EXPECT_LE(most, 4u) << "statements for one move of the user";
    expectBounded(taken(), pageRows, {});
}

}  // namespace
