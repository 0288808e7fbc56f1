#pragma once
// RelationManager: the relation object of one file on one thread. It holds the
// file's relations to other files, opens and closes the related files with
// it (in the counted sense: they reach the database on their first use), and
// frames changes and deletions in a transaction.
//
// What the operations show and return (the forms rely on it):
//   Insert         FileManager::Insert: Benign, or Notify after "Duplicate Key
//                  Error" / "Record Insert Error"
//   Update         Benign: stored. Notify: "Transaction cancelled" was shown,
//                  or the user chose Cancel at "Record Update Error" (stay in
//                  the form). Cancel: the user chose No (leave the form).
//                  fromForm asks "Record Update Error" after "Record was not
//                  updated" and tries again on Yes; without it the notice is
//                  shown and Notify returned.
//   Delete         Benign: deleted. Cancel: "Confirm Delete" answered No.
//                  Notify: "Transaction cancelled", or "Record was not
//                  deleted" and then No at "Record Delete Error".
//   CancelAutoInc  Benign: the reserved row is gone (or there was none).
//                  Notify: it could not be removed and the user chose No at
//                  "Record Delete Error" (the form stays open).
// No message box is ever shown inside a transaction: the transaction is
// rolled back first.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "framework/error.h"
#include "framework/file_manager.h"
#include "runtime/file/file.h"

// Rules a relation may carry on update and delete; this system uses none.
namespace RI {
constexpr int None = 0;
constexpr int Clear = 1;
constexpr int Restrict = 2;
constexpr int Cascade = 3;
}  // namespace RI

class RelationManager {
  public:
    RelationManager() = default;
    virtual ~RelationManager();
    RelationManager(const RelationManager&) = delete;
    RelationManager& operator=(const RelationManager&) = delete;

    FileManager* Me = nullptr;  // the file's access object
    bool UseLogout = true;      // changes and deletions run in a transaction
    int LogoutTimeout = 2;      // seconds a busy "BEGIN"/"COMMIT"/"ROLLBACK" is retried

    // The framework's Init: the file manager, an empty relation list,
    // UseLogout as given, LogoutTimeout 2; registered with the thread.
    void Init(FileManager& file, bool useLogout);
    // Frees the relation list and unregisters. Runs once.
    virtual void Kill();

    // Adds this file's relations; called once per object, on the first open,
    // change or deletion through it. Empty here.
    virtual void DeferedAddRelations();
    bool RelationsAdded() const { return relationsAdded_; }

    // A plain entry for the one side (the many side declares it this way).
    void AddRelation(RelationManager& related);
    // The one side: the related file's key whose leading components the
    // links address, and the rules.
    void AddRelation(RelationManager& related, int updateRule, int deleteRule, rt::KeyRef key);
    // A linking pair of the entry added last: a field of this file and the
    // related file's field.
    void AddRelationLink(rt::FieldRef mine, rt::FieldRef theirs);

    struct Entry {
        RelationManager* related = nullptr;
        std::vector<std::pair<rt::FieldRef, rt::FieldRef>> links;  // one side only
        rt::KeyRef key;                                            // one side only
        bool oneSide = false;
        int updateRule = RI::None;
        int deleteRule = RI::None;
        int openCount = 0;  // opens of this file that opened the related one through here
    };
    const std::vector<Entry>& Relations() const { return relations_; }

    // Opens the file for use at once and the related files in the counted
    // sense (and, through related files whose relations are already known,
    // theirs), each at most once per open. A failure undoes this open's counts.
    Level Open();
    // Undoes the last open: the file and every related file it counted.
    Level Close();
    // Buffered forward reading while a report reads. The file layer's views
    // read ahead in batches always, so this only records the wish.
    void SetQuickScan(int on, int propagate = 0) {
        QuickScan = on != 0;
        (void)propagate;
    }
    bool QuickScan = false;

    Level Insert();
    Level Update(bool fromForm = true);
    Level Delete(bool ask = true);
    Level CancelAutoInc();

    // The thread's relation object of a file structure (nullptr when none).
    static RelationManager* ForFile(const rt::FileStructure& file);

  private:
    void EnsureRelations();
    // Runs write (0 or a file error) in a transaction when UseLogout, alone
    // otherwise. The transaction has ended when this returns: committed
    // after a write that succeeded, else rolled back. NotBegun: BEGIN failed
    // and "Transaction cancelled" was shown; Failed: the write or its COMMIT
    // failed, the file errors say why (nothing shown yet).
    enum class Framed { Done, NotBegun, Failed };
    Framed InTransaction(const std::function<int()>& write);
    // What one open counted: an entry of a relation object (by index) and
    // the file it opened.
    struct Counted {
        RelationManager* owner;
        std::size_t entry;
        FileManager* file;
    };
    void OpenRelated(std::vector<RelationManager*>& visited, std::vector<Counted>& counted);
    static void Uncount(std::vector<Counted>& counted);

    bool relationsAdded_ = false;
    bool openFailed_ = false;
    bool killed_ = false;
    bool registered_ = false;
    std::vector<Entry> relations_;
    // One record per open not yet closed: what it counted.
    std::vector<std::vector<Counted>> opens_;
};
