#include "fees/charge.h"

#include <memory>
#include <string>
#include <vector>

#include "core/dictionary/dictionary.h"
#include "framework/entry_window.h"

namespace fees {

namespace {

// A permanent member as the run needs it.
struct Charged {
    std::int32_t federation, code, category;
};

// The club's permanent members in the order of the club key, read through
// a view of their own that fetches the five short columns only (a member's
// row carries kilobytes of text the run never needs), a page at a time.
int ReadMembers(std::int32_t club, std::vector<Charged>& out, rt::FileStatus& status) {
    rt::FileStructure& members = fileStructure(FileId::CLANOVI);
    const CLANOVI_Record& m = *static_cast<const CLANOVI_Record*>(members.record());
    rt::View view(members);
    for (const char* f : {"CLA:M1_SPS", "CLA:M1_SIP", "CLA:M1_SIF", "CLA:M1_SIK", "CLA:M1_STC"})
        view.project(rt::FieldOf(members, f));
    view.addRange(rt::FieldOf(members, "CLA:M1_SIP"), rt::Compare::Equal,
                  [club] { return rt::Value{std::int64_t{club}}; });
    view.setOrder(rt::KeyOf(members, "CLA:KeyM1_SIP").index);
    auto failed = [&](int rc) {
        status = view.status();
        return rc;
    };
    if (int rc = view.open()) return failed(rc);
    if (int rc = view.set(rt::SetFrom::Start)) return failed(rc);
    constexpr int Page = 500;
    for (;;) {
        int read = 0;
        const int rc = view.page(
            Page, true,
            [&] {
                if (m.M1_STC == 1) out.push_back({m.M1_SPS, m.M1_SIF, m.M1_SIK});
            },
            &read);
        if (rc != 0 && rc != rt::FileErr::RecordNotAvailable) return failed(rc);
        if (rc != 0 || read < Page) break;
    }
    view.close();
    return 0;
}

ChargeOutcome Failed(int rc, const rt::FileStatus& status) {
    ChargeOutcome o;
    o.error = rc;
    o.status = status;
    if (o.error == 0) o.error = rt::FileErr::FileSystemError;
    return o;
}

ChargeOutcome Failed(rt::FileStructure& file, int rc) {
    return Failed(rc, file.status());
}

// A member's lines on the run's date: whether one of them is of the run's
// document (the member is charged already), and the next free running
// number on that date. Each is one statement over the ledger's primary key
// (federation, club, member, date, running number), bounded by that
// member's lines of the day, read inside the run's transaction.
class DayLines {
  public:
    DayLines(rt::FileStructure& ledger, std::string_view document, std::int32_t date)
        : ledger_(ledger), document_(document), date_(date), held_(ledger) {
        key_ = rt::KeyOf(ledger, "CLA1:KeyCL_UKP").index;
        auto value = [](const std::int32_t& v) {
            return [&v] { return rt::Value{std::int64_t{v}}; };
        };
        auto field = [&](const char* label) { return rt::FieldOf(ledger, label); };
        held_.addRange(field("CLA1:CL_SPS"), rt::Compare::Equal, value(federation_));
        held_.addRange(field("CLA1:CL_SIP"), rt::Compare::Equal, value(club_));
        held_.addRange(field("CLA1:CL_SIF"), rt::Compare::Equal, value(member_));
        held_.addRange(field("CLA1:CL_DAD"), rt::Compare::Equal,
                       [this] { return rt::Value{std::int64_t{date_}}; });
        held_.addRange(field("CLA1:CL_DOK"), rt::Compare::Equal,
                       [this] { return rt::Value{document_}; });
        held_.project(field("CLA1:CL_RED"));
        held_.setOrder(key_);
    }
    ~DayLines() { held_.close(); }
    DayLines(const DayLines&) = delete;
    DayLines& operator=(const DayLines&) = delete;

    // The member whose lines are asked about next.
    void Member(std::int32_t federation, std::int32_t club, std::int32_t member) {
        federation_ = federation;
        club_ = club;
        member_ = member;
    }

    // Whether the member holds a line of the document on the date; an error
    // (with status()) when the lines cannot be read.
    int Charged(bool& charged) {
        charged = false;
        int rows = 0;
        int rc = held_.open();
        if (rc == 0) rc = held_.set(rt::SetFrom::Start);
        if (rc == 0)
            rc = held_.page(
                1, true, [] {}, &rows);
        if (rc != 0 && rc != rt::FileErr::RecordNotAvailable) {
            status_ = held_.status();
            return rc;
        }
        charged = rows > 0;
        return 0;
    }

    // The member's highest running number on the date plus one (never past
    // the largest 32-bit number); 0 and status() when it cannot be read.
    std::int32_t NextFree(int& rc) {
        if (!last_)
            last_ = std::make_unique<LastInKeyOrder>(ledger_, key_, 4,
                                                     rt::FieldOf(ledger_, "CLA1:CL_RED").index);
        const std::int32_t next = last_->Next({federation_, club_, member_, date_}, 0);
        status_ = last_->Failure();
        rc = status_.ok() ? 0 : status_.code;
        return next;
    }

    const rt::FileStatus& status() const { return status_; }

  private:
    rt::FileStructure& ledger_;
    std::string document_;
    std::int32_t date_;
    std::int32_t federation_ = 0, club_ = 0, member_ = 0;
    int key_ = -1;
    rt::View held_;
    std::unique_ptr<LastInKeyOrder> last_;
    rt::FileStatus status_;
};

}  // namespace

ChargeOutcome ChargeClub(std::int32_t club, std::string_view document, std::int32_t date,
                         std::int32_t run) {
    rt::FileStructure& ledger = fileStructure(FileId::CLANAR);
    rt::FileStructure& categories = fileStructure(FileId::KATEG);
    CLANAR_Record& line = *static_cast<CLANAR_Record*>(ledger.record());
    KATEG_Record& category = *static_cast<KATEG_Record*>(categories.record());
    const int categoryKey = rt::KeyOf(categories, "KAT:KeyK1_SIK").index;

    // All of the run or nothing: the members are read and the lines written
    // in the one transaction, which every return short of the commit rolls
    // back.
    rt::Transaction all(ledger);
    if (int rc = all.began()) return Failed(ledger, rc);
    std::vector<Charged> charged;
    rt::FileStatus read;
    if (int rc = ReadMembers(club, charged, read)) return Failed(rc, read);
    ChargeOutcome o;
    DayLines day(ledger, document, date);
    for (const Charged& c : charged) {
        // A member charged on this document and date already (by an earlier
        // run, whatever its running number) is not charged again.
        day.Member(c.federation, club, c.code);
        bool done = false;
        if (int rc = day.Charged(done)) return Failed(rc, day.status());
        if (done) {
            ++o.skipped;
            continue;
        }
        category.K1_SIK = c.category;
        rt::Money fee;
        if (categories.get(categoryKey) == 0) fee = category.K1_ICL;
        line = CLANAR_Record{};
        line.CL_SPS = c.federation;
        line.CL_SIP = club;
        line.CL_SIF = c.code;
        line.CL_RED = run;
        line.CL_SIK = c.category;
        line.CL_DOK.assign(document);
        line.CL_DAD = date;
        line.CL_DUG = fee;
        line.CL_POD = rt::Money{};
        int rc = ledger.add();
        if (rc == rt::FileErr::DuplicateKey) {
            // The run's number is held by a line of another document that
            // day (a payment entered that day): the member's next free one.
            const std::int32_t next = day.NextFree(rc);
            if (rc != 0) return Failed(rc, day.status());
            line.CL_RED = next;
            rc = ledger.add();  // at the largest number: a duplicate, and the run fails
        }
        if (rc != 0) return Failed(ledger, rc);
        ++o.stored;
    }
    if (int rc = all.commit()) return Failed(ledger, rc);
    return o;
}

}  // namespace fees
