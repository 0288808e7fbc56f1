#pragma once
// What the member list and the member print list share: the member columns,
// the seven tabs with their orders and locator entries, the sort-order
// objects, the joined code-list fields, and the list window itself with the
// highlighted member's photo.
#include <string>
#include <vector>

#include "core/dictionary/records.h"
#include "framework/browse.h"
#include "framework/list_window.h"
#include "framework/locator.h"
#include "framework/step.h"
#include "framework/window_kit.h"
#include "runtime/file/file.h"
#include "runtime/window/window.h"

namespace memberlist {

enum class Thumb { Fixed, Numeric, Text };

struct MemberOrder {
    const char* tabText;  // nullptr: the default order, on no tab
    const char* key;
    const char* field;  // the locator's field
    Thumb thumb;
    kit::LocatorEntry entry;  // name nullptr: the entry of another tab
};

constexpr int Tabs = 7;

// The thirty member columns, one per member field in declaration order (the
// long texts and the remark show their first 255 characters).
const std::vector<kit::ColumnLayout>& Columns();
// The seven orders chosen by tab, in tab order.
const std::vector<MemberOrder>& TabOrders();

// A field of the member file or of a joined code list (STUPEM, BRAST,
// NACION, PODPOS) by its label, in the calling thread's buffers.
rt::FieldRef Field(const char* label);

int AddLine(rt::Window& w, rt::Rect at);

// The seven tabs on sheet, each with its locator entry bound to the
// order's field.
void AddTabs(rt::Window& w, int sheet, int (&tab)[Tabs], int (&entry)[Tabs]);

// The sort orders of a member browse: the seven of the tabs, then the
// default one; the thumb steps and locators they use.
class Orders {
  public:
    void SetUp(BrowseClass& browse, const int (&entry)[Tabs], const MemberOrder& byDefault,
               int defaultEntry);

  private:
    StepLongClass BRW1_Sort1_StepClass, BRW1_Sort0_StepClass;
    StepStringClass BRW1_Sort2_StepClass, BRW1_Sort3_StepClass, BRW1_Sort4_StepClass,
        BRW1_Sort5_StepClass;
    EntryLocatorClass BRW1_Sort9_Locator, BRW1_Sort1_Locator, BRW1_Sort2_Locator,
        BRW1_Sort3_Locator, BRW1_Sort4_Locator, BRW1_Sort5_Locator, BRW1_Sort10_Locator,
        BRW1_Sort0_Locator;
};

// The list window over the members, the highlighted member's photo in the
// picture control image beside the list. The photo follows every reset (a
// new highlight, a tab, the return from a form); it is set once the list has
// read what the reset reads, so it is always the photo of the member
// highlighted.
class PhotoList : public ListWindowProcedure {
  public:
    PhotoList(std::string procedure, int list, int close, int image, rt::Window& w,
              EnterByTabClass& ebt, ToolbarClass& tb, WindowResizeClass& rs);

    void Reset(bool force = false) override;

  protected:
    // The browse of the list box list, an order chosen by each of the tabs
    // on sheet; the window's joins, orders and fields come after.
    void SetUpTabs(int list, int sheet, const int (&tab)[Tabs]);
    // The member buffer: the highlighted member.
    CLANOVI_Record& Member() { return *static_cast<CLANOVI_Record*>(members_.record()); }

    rt::FileStructure& members_;
    rt::View BRW1_View;
    Orders BRW1_Orders;
    BrowseQueue Queue_Browse_1;
    TabOrderBrowse BRW1;  // last: ended before the view and queue it reads

  private:
    int image_;
};

}  // namespace memberlist
