#include "fees/charge.h"

#include <vector>

#include "core/dictionary/dictionary.h"
#include "framework/window_kit.h"

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
        view.project(kit::FieldOf(members, f));
    view.addRange(kit::FieldOf(members, "CLA:M1_SIP"), rt::Compare::Equal,
                  [club] { return rt::Value{std::int64_t{club}}; });
    view.setOrder(kit::KeyOf(members, "CLA:KeyM1_SIP").index);
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

ChargeOutcome Failed(rt::FileStructure& file, int rc) {
    ChargeOutcome o;
    o.error = rc;
    o.status = file.status();
    return o;
}

}  // namespace

ChargeOutcome ChargeClub(std::int32_t club, std::string_view document, std::int32_t date,
                         std::int32_t run) {
    rt::FileStructure& ledger = fileStructure(FileId::CLANAR);
    rt::FileStructure& categories = fileStructure(FileId::KATEG);
    CLANAR_Record& line = *static_cast<CLANAR_Record*>(ledger.record());
    KATEG_Record& category = *static_cast<KATEG_Record*>(categories.record());
    const int categoryKey = kit::KeyOf(categories, "KAT:KeyK1_SIK").index;

    // All of the run or nothing: the members are read and the lines written
    // in the one transaction.
    if (int rc = ledger.begin()) return Failed(ledger, rc);
    std::vector<Charged> charged;
    rt::FileStatus read;
    if (int rc = ReadMembers(club, charged, read)) {
        ledger.rollback();
        ChargeOutcome o;
        o.error = rc;
        o.status = read;
        return o;
    }
    ChargeOutcome o;
    for (const Charged& c : charged) {
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
        const int rc = ledger.add();
        if (rc == rt::FileErr::DuplicateKey) {
            ++o.skipped;
        } else if (rc != 0) {
            ChargeOutcome failed = Failed(ledger, rc);
            ledger.rollback();
            return failed;
        } else {
            ++o.stored;
        }
    }
    if (int rc = ledger.commit()) {
        ChargeOutcome failed = Failed(ledger, rc);
        ledger.rollback();
        return failed;
    }
    return o;
}

}  // namespace fees
