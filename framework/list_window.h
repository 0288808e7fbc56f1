#pragma once
// What the list windows and the select windows set up alike: a browse whose
// order follows the sheet's tabs, a sort order with its locator in one call,
// and a window procedure that opens the listed file, sets the browse up
// before the window opens, starts on the list and ends with the close
// button; for a list with a form, its update hook calls the form.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "framework/browse.h"
#include "framework/globals.h"
#include "framework/locator.h"
#include "framework/relation_manager.h"
#include "framework/step.h"
#include "framework/window_procedure.h"

// A browse whose sort order is chosen by the selected tab of a sheet: each
// tab in Orders chooses its order; any other tab (or none), and a browse
// with no Orders, the default one (the last added).
class TabOrderBrowse : public BrowseClass {
  public:
    struct TabOrder {
        int tab;
        int order;
    };
    int Sheet = 0;
    std::vector<TabOrder> Orders;

    bool ResetSort(bool force) override;
};

// A sort order of browse by key, with its locator working on field through
// the entry control (0: a locator without an entry); letters compare without
// case. step may be nullptr (the fixed thumb).
void AddOrder(BrowseClass& browse, StepClass* step, rt::KeyRef key, LocatorClass& locator,
              int entry, rt::FieldRef field);

class ListWindowProcedure : public WindowProcedure {
  public:
    // relate: the listed file's relation object, opened with the window;
    // list and close: the list box and the close button.
    ListWindowProcedure(std::string procedure, RelationManager*& relate, int list, int close,
                        rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
                        WindowResizeClass& rs);

    // The form a list calls through its update hook (empty: no form).
    std::function<void()> UpdateProcedure;

    using WindowManager::Run;
    // The update hook: the form, with the request in GlobalRequest; returns
    // its GlobalResponse.
    std::uint8_t Run(int number, std::uint8_t request) override;

  protected:
    // Called once the listed file is open, before the window opens.
    virtual void SetUpBrowse() = 0;

    int ChooseFirstField() override { return list_; }
    // "Zatvori" completes the window, or cancels a choice under the select
    // request.
    void RegisterButtons() override;

  private:
    int list_, close_;
};
