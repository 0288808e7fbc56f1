#include "framework/list_window.h"

bool TabOrderBrowse::ResetSort(bool force) {
    if (Orders.empty() || !Window || !Window->Win) return BrowseClass::ResetSort(force);
    const int tab = Window->Win->control(Sheet).selectedTab;
    for (const TabOrder& o : Orders)
        if (o.tab == tab) return SetSort(o.order, force);
    return BrowseClass::ResetSort(force);
}

void AddOrder(BrowseClass& browse, StepClass* step, rt::KeyRef key, LocatorClass& locator,
              int entry, rt::FieldRef field) {
    browse.AddSortOrder(step, key);
    browse.AddLocator(locator);
    locator.Init(entry, field, true, browse);
}

ListWindowProcedure::ListWindowProcedure(std::string procedure, RelationManager*& relate, int list,
                                         int close, rt::Window& w, EnterByTabClass& ebt,
                                         ToolbarClass& tb, WindowResizeClass& rs)
    : WindowProcedure(std::move(procedure), w, ebt, &tb, &rs), list_(list), close_(close) {
    AddFiles({relate});
    // The browse is set up once its file is open, before the window opens.
    AddFile([this] { SetUpBrowse(); }, {});
}

std::uint8_t ListWindowProcedure::Run(int number, std::uint8_t request) {
    const std::uint8_t inherited = WindowManager::Run(number, request);
    if (!UpdateProcedure) return inherited;
    GlobalRequest = request;
    UpdateProcedure();
    return GlobalResponse;
}

void ListWindowProcedure::RegisterButtons() {
    AddItem(close_, Request == ::Request::Select ? ::Response::Cancelled : ::Response::Completed);
}
