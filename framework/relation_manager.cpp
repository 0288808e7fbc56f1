#include "framework/relation_manager.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>
#include <optional>

#include "framework/globals.h"

namespace {

// The calling thread's relation objects.
thread_local std::vector<RelationManager*> registry;

}  // namespace

RelationManager::~RelationManager() {
    if (registered_) std::erase(registry, this);
}

void RelationManager::Init(FileManager& file, bool useLogout) {
    Me = &file;
    relations_.clear();
    opens_.clear();
    relationsAdded_ = false;
    UseLogout = useLogout;
    LogoutTimeout = 2;
    killed_ = false;
    if (!registered_) {
        registry.push_back(this);
        registered_ = true;
    }
}

void RelationManager::Kill() {
    if (killed_) return;
    relations_.clear();
    opens_.clear();
    if (registered_) {
        std::erase(registry, this);
        registered_ = false;
    }
    killed_ = true;
}

RelationManager* RelationManager::ForFile(const rt::FileStructure& file) {
    for (RelationManager* r : registry)
        if (r->Me && r->Me->File == &file) return r;
    return nullptr;
}

void RelationManager::DeferedAddRelations() {}

void RelationManager::EnsureRelations() {
    if (relationsAdded_) return;
    relationsAdded_ = true;
    DeferedAddRelations();
}

void RelationManager::AddRelation(RelationManager& related) {
    Entry e;
    e.related = &related;
    relations_.push_back(std::move(e));
}

void RelationManager::AddRelation(RelationManager& related, int updateRule, int deleteRule,
                                  rt::KeyRef key) {
    Entry e;
    e.related = &related;
    e.oneSide = true;
    e.updateRule = updateRule;
    e.deleteRule = deleteRule;
    e.key = key;
    relations_.push_back(std::move(e));
}

void RelationManager::AddRelationLink(rt::FieldRef mine, rt::FieldRef theirs) {
    if (!relations_.empty()) relations_.back().links.emplace_back(mine, theirs);
}

// Breadth first: this file's own entries come before those of the files they
// lead to, so a file reached both ways is counted through this file's entry.
void RelationManager::OpenRelated(std::vector<RelationManager*>& visited,
                                  std::vector<Counted>& counted) {
    std::deque<RelationManager*> pending{this};
    while (!pending.empty()) {
        RelationManager* rm = pending.front();
        pending.pop_front();
        for (std::size_t i = 0; i < rm->relations_.size(); ++i) {
            RelationManager* related = rm->relations_[i].related;
            if (std::find(visited.begin(), visited.end(), related) != visited.end()) continue;
            visited.push_back(related);
            if (!related->Me) continue;
            if (related->Me->Open() != Level::Benign) {
                openFailed_ = true;
                return;
            }
            ++rm->relations_[i].openCount;
            counted.push_back({rm, i, related->Me});
            if (related->relationsAdded_) pending.push_back(related);
        }
    }
}

void RelationManager::Uncount(std::vector<Counted>& counted) {
    for (auto it = counted.rbegin(); it != counted.rend(); ++it) {
        if (it->entry < it->owner->relations_.size() &&
            it->owner->relations_[it->entry].openCount > 0)
            --it->owner->relations_[it->entry].openCount;
        it->file->Close();
    }
    counted.clear();
}

Level RelationManager::Open() {
    EnsureRelations();
    if (const Level l = Me->Open(); l != Level::Benign) return l;
    // The file itself is opened in the database at once; its related files
    // only count as open until they are first used.
    if (const auto u = Me->UseFile(UseType::Uses); u != 0) {
        Me->Close();
        return static_cast<Level>(u);
    }
    std::vector<RelationManager*> visited{this};
    std::vector<Counted> counted;
    openFailed_ = false;
    OpenRelated(visited, counted);
    if (openFailed_) {
        Uncount(counted);
        Me->Close();
        return Level::Notify;
    }
    opens_.push_back(std::move(counted));
    return Level::Benign;
}

Level RelationManager::Close() {
    if (!opens_.empty()) {
        Uncount(opens_.back());
        opens_.pop_back();
    }
    return Me->Close();
}

RelationManager::Framed RelationManager::InTransaction(const std::function<int()>& write) {
    std::optional<rt::Transaction> frame;
    if (UseLogout) {
        frame.emplace(*Me->File, std::chrono::seconds(LogoutTimeout));
        if (const int r = frame->began(); r != rt::FileErr::NoError) {
            Me->SetFileErrors(r);
            Me->errors().ThrowFile(Msg::AbortTransaction, Me->FileNameValue);
            return Framed::NotBegun;
        }
    }
    int code = write();
    if (code == rt::FileErr::NoError && frame) code = frame->commit();
    if (code == rt::FileErr::NoError) return Framed::Done;
    // Keep what failed: the roll-back leaves its own status behind.
    const rt::FileStatus failure = Me->File->status();
    if (frame) frame->rollback();
    Me->SetFileErrors(code, failure);
    return Framed::Failed;
}

Level RelationManager::Insert() {
    return Me->Insert();
}

Level RelationManager::Update(bool fromForm) {
    EnsureRelations();
    if (const auto u = Me->UseFile(UseType::Uses); u != 0) return static_cast<Level>(u);
    ErrorClass& errs = Me->errors();
    for (;;) {
        const Framed put = InTransaction([this] { return Me->File->put(); });
        if (put == Framed::NotBegun) return Level::Notify;
        if (put == Framed::Done) return Level::Benign;
        errs.ThrowFile(Msg::UpdateFailed, Me->FileNameValue);
        if (!fromForm) return Level::Notify;
        const Level answer = errs.Throw(Msg::RetrySave);
        if (answer == Level::Benign) continue;
        return answer == Level::Cancel ? Level::Cancel : Level::Notify;
    }
}

Level RelationManager::Delete(bool ask) {
    EnsureRelations();
    if (const auto u = Me->UseFile(UseType::Uses); u != 0) return static_cast<Level>(u);
    ErrorClass& errs = Me->errors();
    errs.SetFile(Me->FileNameValue);
    if (ask && errs.Throw(Msg::ConfirmDelete) != Level::Benign) return Level::Cancel;
    const rt::Position at = Me->File->position();
    for (;;) {
        const Framed removed = InTransaction([this, &at] {
            // The row as it is now, found by its position; gone is a failure.
            const int r = Me->File->reget(at);
            return r == rt::FileErr::NoError ? Me->File->remove() : r;
        });
        if (removed == Framed::NotBegun) return Level::Notify;
        if (removed == Framed::Done) return Level::Benign;
        errs.ThrowFile(Msg::DeleteFailed, Me->FileNameValue);
        if (errs.Throw(Msg::RetryDelete) != Level::Benign) return Level::Notify;
    }
}

Level RelationManager::CancelAutoInc() {
    if (!Me->Reserved()) return Level::Benign;
    EnsureRelations();
    if (const auto u = Me->UseFile(UseType::Uses); u != 0) return static_cast<Level>(u);
    ErrorClass& errs = Me->errors();
    for (;;) {
        const Framed removed = InTransaction([this] { return Me->RemoveReserved(); });
        if (removed == Framed::NotBegun) return Level::Notify;
        if (removed == Framed::Done) {
            Me->ForgetReserved();
            return Level::Benign;
        }
        errs.ThrowFile(Msg::DeleteFailed, Me->FileNameValue);
        if (errs.Throw(Msg::RetryDelete) != Level::Benign) return Level::Notify;
    }
}
