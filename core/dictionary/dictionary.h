#pragma once
// The data dictionary's per-thread objects: for each of the sixteen files an
// access object (Hide::Access::X, a FileManager) and a relation object
// (Hide::Relate::X, a RelationManager), reached through the thread's
// references Access::X and Relate::X. DctInit builds a thread's pairs,
// DctKill ends them; the per-thread Dictionary component runs them around
// every thread (thread 1 calls DctInit from the program body).
#include <cstdint>
#include <memory>

#include "core/dictionary/files.h"
#include "core/dictionary/records.h"
#include "framework/file_manager.h"
#include "framework/relation_manager.h"

// Every file, in declaration order.
// clang-format off
#define CLANOVI_DICTIONARY_FILES(X)                                                 \
    X(DATAZUR) X(KATEG) X(TURPOS) X(POHNAG) X(ANGAZOV) X(BRAST) X(PLANSA) X(STUPEM) \
    X(PODPOS) X(NACUC) X(ZVANJA) X(CLANOVI) X(NACION) X(DOKAN) X(CLANAR) X(PLAND)
// clang-format on

namespace dct {

// What the sixteen access classes share: set-up from the file's description.
class FileAccess : public FileManager {
  public:
    FileAccess(FileId id, FileManager*& reference) : id_(id), reference_(reference) {}
    FileId id() const { return id_; }

    // Binds the buffer, the name, the reporter and the thread's structure,
    // runs the framework's Init and sets Access::X.
    void Init() override;
    // The framework's Kill, then Access::X becomes null.
    void Kill() override;
    // The first use of any kind sets the file up: Create 1, LockRecover 10
    // and the keys in declaration order with their descriptions and
    // auto-numbering flags.
    std::uint8_t UseFile(std::uint8_t useType = UseType::Uses) override;

  private:
    FileId id_;
    FileManager*& reference_;
};

// What the sixteen relation classes share: the relations come from the
// dictionary's table of relations.
class FileRelations : public RelationManager {
  public:
    FileRelations(FileId id, RelationManager*& reference, std::unique_ptr<FileAccess>& access)
        : id_(id), reference_(reference), access_(access) {}
    FileId id() const { return id_; }

    // Initialises the access object, then the relation manager with it and
    // UseLogout 1.
    void Init();
    // Kills the access object, the relation manager, clears Relate::X and
    // disposes of the access object.
    void Kill() override;
    void DeferedAddRelations() override;

  private:
    FileId id_;
    RelationManager*& reference_;
    std::unique_ptr<FileAccess>& access_;
};

}  // namespace dct

// The thread's references: null until DctInit, null again after DctKill.
namespace Access {
#define CLANOVI_DECLARE_REF(F) extern thread_local FileManager* F;
CLANOVI_DICTIONARY_FILES(CLANOVI_DECLARE_REF)
#undef CLANOVI_DECLARE_REF
}  // namespace Access

namespace Relate {
#define CLANOVI_DECLARE_REF(F) extern thread_local RelationManager* F;
CLANOVI_DICTIONARY_FILES(CLANOVI_DECLARE_REF)
#undef CLANOVI_DECLARE_REF
}  // namespace Relate

namespace Hide::Access {
// Members are primed with federation 1 and club 1.
class CLANOVI final : public dct::FileAccess {
  public:
    CLANOVI();
    void PrimeFields() override;
};
#define CLANOVI_DECLARE_ACCESS(F)            \
    class F final : public dct::FileAccess { \
      public:                                \
        F();                                 \
    };
CLANOVI_DECLARE_ACCESS(DATAZUR)
CLANOVI_DECLARE_ACCESS(KATEG)
CLANOVI_DECLARE_ACCESS(TURPOS)
CLANOVI_DECLARE_ACCESS(POHNAG)
CLANOVI_DECLARE_ACCESS(ANGAZOV)
CLANOVI_DECLARE_ACCESS(BRAST)
CLANOVI_DECLARE_ACCESS(PLANSA)
CLANOVI_DECLARE_ACCESS(STUPEM)
CLANOVI_DECLARE_ACCESS(PODPOS)
CLANOVI_DECLARE_ACCESS(NACUC)
CLANOVI_DECLARE_ACCESS(ZVANJA)
CLANOVI_DECLARE_ACCESS(NACION)
CLANOVI_DECLARE_ACCESS(DOKAN)
CLANOVI_DECLARE_ACCESS(CLANAR)
CLANOVI_DECLARE_ACCESS(PLAND)
#undef CLANOVI_DECLARE_ACCESS
}  // namespace Hide::Access

namespace Hide::Relate {
#define CLANOVI_DECLARE_RELATE(F)               \
    class F final : public dct::FileRelations { \
      public:                                   \
        F();                                    \
    };
CLANOVI_DICTIONARY_FILES(CLANOVI_DECLARE_RELATE)
#undef CLANOVI_DECLARE_RELATE
}  // namespace Hide::Relate

// The thread's references by file id.
FileManager*& accessOf(FileId id);
RelationManager*& relateOf(FileId id);

// Builds the calling thread's sixteen pairs (in DictionaryOrder) and
// initialises them (FilesInit). Opens nothing. A second call on a thread that
// has its objects does nothing.
void DctInit();
// Initialises each relation object (and so its access object), in order.
void FilesInit();
// Kills and frees the calling thread's objects, in the same order.
void DctKill();

// The per-thread component: built at thread start (calling DctInit except on
// thread 1, whose program body calls it), destroyed at thread end (DctKill).
class Dictionary {
  public:
    Dictionary();
    ~Dictionary();
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;
};

// Registers the Dictionary component with the runtime (stage Dictionary).
void installDictionaryComponents();
