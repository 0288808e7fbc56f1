#include "core/dictionary/dictionary.h"

#include <array>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "framework/globals.h"
#include "runtime/threads.h"

// --- the thread's references and the objects they own

namespace Access {
#define CLANOVI_DEFINE_REF(F) thread_local FileManager* F = nullptr;
CLANOVI_DICTIONARY_FILES(CLANOVI_DEFINE_REF)
#undef CLANOVI_DEFINE_REF
}  // namespace Access

namespace Relate {
#define CLANOVI_DEFINE_REF(F) thread_local RelationManager* F = nullptr;
CLANOVI_DICTIONARY_FILES(CLANOVI_DEFINE_REF)
#undef CLANOVI_DEFINE_REF
}  // namespace Relate

namespace {

// The hidden references: they own the objects. The relation object's Kill
// disposes of the access object; DctKill frees the relation object.
thread_local std::array<std::unique_ptr<dct::FileAccess>, FileCount> ownedAccess;
thread_local std::array<std::unique_ptr<dct::FileRelations>, FileCount> ownedRelate;

std::size_t slot(FileId id) {
    return static_cast<std::size_t>(id);
}

}  // namespace

FileManager*& accessOf(FileId id) {
    switch (id) {
#define CLANOVI_CASE(F) \
    case FileId::F:     \
        return Access::F;
        CLANOVI_DICTIONARY_FILES(CLANOVI_CASE)
#undef CLANOVI_CASE
    }
    throw std::logic_error("no such file");
}

RelationManager*& relateOf(FileId id) {
    switch (id) {
#define CLANOVI_CASE(F) \
    case FileId::F:     \
        return Relate::F;
        CLANOVI_DICTIONARY_FILES(CLANOVI_CASE)
#undef CLANOVI_CASE
    }
    throw std::logic_error("no such file");
}

// --- the relations

namespace {

// One one-to-many relation: the one side's linking fields equal the many
// side's fields, which lead its key. No relation carries an update or delete
// rule.
struct RelationDef {
    FileId one;
    FileId many;
    const char* manyKey;
    std::vector<std::pair<const char*, const char*>> links;  // (one side, many side)
};

const std::vector<RelationDef>& relationTable() {
    using F = FileId;
    static const std::vector<RelationDef> table = {
        /* 1 */ {F::DATAZUR,
                 F::CLANOVI,
                 "CLA:KeyM1_UKUPNO",
                 {{"DAT:DAN_SPS", "CLA:M1_SPS"}, {"DAT:DAN_SIP", "CLA:M1_SIP"}}},
        /* 2 */ {F::KATEG, F::CLANAR, "CLA1:KeyCL_SIK", {{"KAT:K1_SIK", "CLA1:CL_SIK"}}},
        /* 3 */ {F::KATEG, F::CLANOVI, "CLA:KeyM1_SIK", {{"KAT:K1_SIK", "CLA:M1_SIK"}}},
        /* 4 */ {F::TURPOS, F::ANGAZOV, "ANG:KeyA1_SIA", {{"TUR:T1_SIA", "ANG:A1_SIA"}}},
        /* 5 */ {F::BRAST, F::CLANOVI, "CLA:KeyM1_SIB", {{"BRA:B1_SIB", "CLA:M1_SIB"}}},
        /* 6 */ {F::PLANSA, F::CLANOVI, "CLA:KeyM1_SPS", {{"PLA1:SP1_SPS", "CLA:M1_SPS"}}},
        /* 7 */ {F::PLANSA, F::CLANAR, "CLA1:KeyCL_UKP", {{"PLA1:SP1_SPS", "CLA1:CL_SPS"}}},
        /* 8 */ {F::PLANSA, F::ANGAZOV, "ANG:KeySIPSIFDAT", {{"PLA1:SP1_SPS", "ANG:A1_SPS"}}},
        /* 9 */ {F::STUPEM, F::CLANOVI, "CLA:KeyM1_KVA", {{"STU:STU_KVA", "CLA:M1_KVA"}}},
        /* 10 */ {F::PODPOS, F::CLANOVI, "CLA:KeyM1_SIU", {{"POD:PD1_SIU", "CLA:M1_SIU"}}},
        /* 11 */ {F::NACUC, F::CLANOVI, "CLA:KeyM1_SNU", {{"NA1:NA1_SNU", "CLA:M1_SNU"}}},
        /* 12 */ {F::CLANOVI, F::CLANAR, "CLA1:KeyCL_SIF", {{"CLA:M1_SIF", "CLA1:CL_SIF"}}},
        /* 13 */ {F::CLANOVI, F::ANGAZOV, "ANG:KeyA1_SIF", {{"CLA:M1_SIF", "ANG:A1_SIF"}}},
        /* 14 */ {F::NACION, F::CLANOVI, "CLA:KeyM1_SIN", {{"NAC:N1_SIN", "CLA:M1_SIN"}}},
        /* 15 */ {F::PLAND, F::CLANAR, "CLA1:KeyCL_SIP", {{"PLA:P1_SIP", "CLA1:CL_SIP"}}},
        /* 16 */ {F::PLAND, F::ANGAZOV, "ANG:KeySIPSIFDAT", {{"PLA:P1_SIP", "ANG:A1_SIP"}}},
        /* 17 */ {F::PLAND, F::CLANOVI, "CLA:KeyM1_SIP", {{"PLA:P1_SIP", "CLA:M1_SIP"}}},
    };
    return table;
}

// Each file's relation list, in the order its entries are added: the numbers
// of the relations above. The file is the one side of some and the many side
// (a plain entry for the parent) of the others.
const std::vector<int>& relationList(FileId id) {
    static const std::array<std::vector<int>, FileCount> lists = [] {
        std::array<std::vector<int>, FileCount> l;
        l[slot(FileId::DATAZUR)] = {1};
        l[slot(FileId::KATEG)] = {2, 3};
        l[slot(FileId::TURPOS)] = {4};
        l[slot(FileId::ANGAZOV)] = {4, 16, 13, 8};  // TURPOS, PLAND, CLANOVI, PLANSA
        l[slot(FileId::BRAST)] = {5};
        l[slot(FileId::PLANSA)] = {6, 7, 8};
        l[slot(FileId::STUPEM)] = {9};
        l[slot(FileId::PODPOS)] = {10};
        l[slot(FileId::NACUC)] = {11};
        // PLANSA, NACUC, KATEG, STUPEM, CLANAR, PODPOS, ANGAZOV, PLAND, BRAST,
        // NACION, DATAZUR
        l[slot(FileId::CLANOVI)] = {6, 11, 3, 9, 12, 10, 13, 17, 5, 14, 1};
        l[slot(FileId::NACION)] = {14};
        l[slot(FileId::CLANAR)] = {2, 7, 15, 12};  // KATEG, PLANSA, PLAND, CLANOVI
        l[slot(FileId::PLAND)] = {15, 16, 17};
        return l;  // POHNAG, ZVANJA and DOKAN have none
    }();
    return lists[slot(id)];
}

rt::FieldRef fieldOf(FileId id, const char* label) {
    return rt::FieldOf(fileStructure(id), label);
}

}  // namespace

// --- the shared access and relation classes

void dct::FileAccess::Init() {
    Initialized = false;
    rt::FileStructure& file = fileStructure(id_);
    Buffer = file.record();
    FileNameValue = file.def().label;
    SetErrors(GlobalErrors());
    File = &file;
    FileManager::Init();
    reference_ = this;
}

void dct::FileAccess::Kill() {
    FileManager::Kill();
    reference_ = nullptr;
}

std::uint8_t dct::FileAccess::UseFile(std::uint8_t useType) {
    if (useType != UseType::Initialize) UseFile(UseType::Initialize);
    if (useType == UseType::Initialize && !Initialized) {
        rt::FileStructure& file = fileStructure(id_);
        FileManager::Init(file, GlobalErrors());
        Create = 1;
        LockRecover = 10;
        const auto& keys = file.def().keys;
        for (std::size_t i = 0; i < keys.size(); ++i)
            AddKey(file.key(static_cast<int>(i)), keys[i].label, keys[i].autoNumber);
    }
    return FileManager::UseFile(useType);
}

void dct::FileRelations::Init() {
    access_->Init();
    RelationManager::Init(*accessOf(id_), true);
}

void dct::FileRelations::Kill() {
    if (access_) access_->Kill();
    RelationManager::Kill();
    reference_ = nullptr;
    access_.reset();
}

void dct::FileRelations::DeferedAddRelations() {
    const auto& table = relationTable();
    for (int number : relationList(id_)) {
        const RelationDef& r = table[static_cast<std::size_t>(number - 1)];
        if (r.one == id_) {
            RelationManager* many = relateOf(r.many);
            if (!many) continue;
            rt::FileStructure& manyFile = fileStructure(r.many);
            AddRelation(*many, RI::None, RI::None,
                        manyFile.key(manyFile.def().keyIndex(r.manyKey)));
            for (const auto& [mine, theirs] : r.links)
                AddRelationLink(fieldOf(r.one, mine), fieldOf(r.many, theirs));
        } else if (RelationManager* parent = relateOf(r.one)) {
            AddRelation(*parent);
        }
    }
    RelationManager::DeferedAddRelations();
}

// --- the sixteen pairs of classes

Hide::Access::CLANOVI::CLANOVI() : FileAccess(FileId::CLANOVI, ::Access::CLANOVI) {}

void Hide::Access::CLANOVI::PrimeFields() {
    CLA.M1_SPS = 1;
    CLA.M1_SIP = 1;
    FileAccess::PrimeFields();
}

#define CLANOVI_DEFINE_ACCESS(F) \
    Hide::Access::F::F() : FileAccess(FileId::F, ::Access::F) {}
CLANOVI_DEFINE_ACCESS(DATAZUR)
CLANOVI_DEFINE_ACCESS(KATEG)
CLANOVI_DEFINE_ACCESS(TURPOS)
CLANOVI_DEFINE_ACCESS(POHNAG)
CLANOVI_DEFINE_ACCESS(ANGAZOV)
CLANOVI_DEFINE_ACCESS(BRAST)
CLANOVI_DEFINE_ACCESS(PLANSA)
CLANOVI_DEFINE_ACCESS(STUPEM)
CLANOVI_DEFINE_ACCESS(PODPOS)
CLANOVI_DEFINE_ACCESS(NACUC)
CLANOVI_DEFINE_ACCESS(ZVANJA)
CLANOVI_DEFINE_ACCESS(NACION)
CLANOVI_DEFINE_ACCESS(DOKAN)
CLANOVI_DEFINE_ACCESS(CLANAR)
CLANOVI_DEFINE_ACCESS(PLAND)
#undef CLANOVI_DEFINE_ACCESS

#define CLANOVI_DEFINE_RELATE(F) \
    Hide::Relate::F::F() : FileRelations(FileId::F, ::Relate::F, ownedAccess[slot(FileId::F)]) {}
CLANOVI_DICTIONARY_FILES(CLANOVI_DEFINE_RELATE)
#undef CLANOVI_DEFINE_RELATE

// --- building and ending a thread's objects

namespace {

std::unique_ptr<dct::FileAccess> makeAccess(FileId id) {
    switch (id) {
#define CLANOVI_CASE(F) \
    case FileId::F:     \
        return std::make_unique<Hide::Access::F>();
        CLANOVI_DICTIONARY_FILES(CLANOVI_CASE)
#undef CLANOVI_CASE
    }
    throw std::logic_error("no such file");
}

std::unique_ptr<dct::FileRelations> makeRelate(FileId id) {
    switch (id) {
#define CLANOVI_CASE(F) \
    case FileId::F:     \
        return std::make_unique<Hide::Relate::F>();
        CLANOVI_DICTIONARY_FILES(CLANOVI_CASE)
#undef CLANOVI_CASE
    }
    throw std::logic_error("no such file");
}

}  // namespace

void DctInit() {
    if (ownedRelate[slot(DictionaryOrder.front())]) return;
    for (FileId id : DictionaryOrder) {
        ownedAccess[slot(id)] = makeAccess(id);
        ownedRelate[slot(id)] = makeRelate(id);
    }
    for (FileId id : DictionaryOrder) relateOf(id) = ownedRelate[slot(id)].get();
    FilesInit();
}

void FilesInit() {
    for (FileId id : DictionaryOrder)
        if (ownedRelate[slot(id)]) ownedRelate[slot(id)]->Init();
}

void DctKill() {
    for (FileId id : DictionaryOrder) {
        if (auto& relate = ownedRelate[slot(id)]) {
            relate->Kill();
            relate.reset();
        }
    }
}

// --- the per-thread component

Dictionary::Dictionary() {
    // Thread 1's objects are built by the program body, after the services
    // are initialised.
    if (rt::currentThread() != 1) DctInit();
}

Dictionary::~Dictionary() {
    DctKill();
}

namespace {
thread_local std::optional<Dictionary> dictionary;
}

void installDictionaryComponents() {
    rt::registerComponent(
        rt::Scope::PerThread, rt::stage::Dictionary, "Dictionary", [] { dictionary.emplace(); },
        [] { dictionary.reset(); });
}
