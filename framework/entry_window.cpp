#include "framework/entry_window.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "framework/error.h"
#include "framework/file_manager.h"
#include "framework/globals.h"
#include "runtime/dialogs.h"

EntryWindowProcedure::EntryWindowProcedure(std::string procedureName, rt::Window& window,
                                           EnterByTabClass& enterByTab, ToolbarClass* toolbar)
    : LookupWindow<WindowProcedure>(std::move(procedureName), window, enterByTab, toolbar) {}

bool EntryWindowProcedure::FocusArrived() const {
    if (!Win || Win->event() != rt::Event::Selected) return false;
    const int control = Win->field();
    const int from = Win->selectedFrom();
    // A second move made by the same handler has taken the focus on: the
    // earlier arrival is stale.
    return from != 0 && from != control && Win->focus() == control;
}

Level EntryWindowProcedure::TakeSelected() {
    const bool arrived = FocusArrived();
    const int control = Win ? Win->field() : 0;
    if (arrived) BeforeSelected(control);
    const Level l = LookupWindow<WindowProcedure>::TakeSelected();
    // A check before may have moved the focus on already.
    if (arrived && Win && !Win->closed() && Win->focus() == control) AfterSelected(control);
    return l;
}

bool EntryWindowProcedure::Passes(const std::vector<const Check*>& checks) {
    for (const Check* c : checks) {
        if (c->holds()) continue;
        Refuse(c->message, c->focus);
        return false;
    }
    return true;
}

void EntryWindowProcedure::Refuse(std::string_view message, int focus) {
    rt::MessageRequest box;
    box.text = std::string(message);  // no caption of its own
    box.buttons = rt::ButtonOk;
    box.defaultButton = rt::ButtonOk;
    rt::showMessage(box);
    if (focus && Win) Win->select(focus);
}

bool EntryWindowProcedure::AddLine(FileManager& access) {
    // Insert reports its own failures: the duplicate key's notice, or the
    // insert error's.
    return access.Insert() == Level::Benign;
}

// ---------------------------------------------------------------------------

bool ReportRetrievalFailure(const rt::FileStatus& failure, const char* file) {
    if (failure.ok()) return false;
    GlobalErrors().SetErrors(failure.code, failure.fileErrorCode, failure.fileError);
    GlobalErrors().ThrowFile(Msg::RetrievalFailed, file);
    return true;
}

LastInKeyOrder::LastInKeyOrder(FileManager& access, int key, int prefix, int field)
    : LastInKeyOrder(*access.File, key, prefix, field) {
    access_ = &access;
}

LastInKeyOrder::LastInKeyOrder(rt::FileStructure& file, int key, int prefix, int field)
    : source_(file), access_(nullptr), field_(field) {
    const rt::FileDef& def = file.def();
    record_.assign(def.recordSize, 0);
    file_ = std::make_unique<rt::FileStructure>(def, record_.data());
    file_->clear();
    view_ = std::make_unique<rt::View>(*file_);
    const std::vector<int>& fields = def.keys[static_cast<std::size_t>(key)].fields;
    values_.assign(static_cast<std::size_t>(prefix), 0);
    for (int i = 0; i < prefix; ++i)
        view_->addRange(file_->field(fields[static_cast<std::size_t>(i)]), rt::Compare::Equal,
                        [this, i] { return rt::Value{values_[static_cast<std::size_t>(i)]}; });
    view_->project(file_->field(field));
    view_->setOrder(key);
}

LastInKeyOrder::~LastInKeyOrder() {
    view_.reset();  // closed before the structure it reads
    file_.reset();
}

std::optional<std::int32_t> LastInKeyOrder::Read(const std::vector<std::int64_t>& values) {
    for (std::size_t i = 0; i < values_.size() && i < values.size(); ++i) values_[i] = values[i];
    failure_ = {};
    auto failed = [this](int rc, const rt::FileStatus& status) {
        failure_ = status;
        if (failure_.ok()) failure_.code = rc ? rc : rt::FileErr::FileSystemError;
        return std::nullopt;
    };
    if (!file_->isOpen()) {
        // The window's own access object opens the file first: a table not
        // there yet is created as for any other use of it.
        if (access_)
            if (const int rc = access_->UseFile(); rc != 0) return failed(rc, source_.status());
        if (const int rc = file_->open(source_.mode()); rc != 0) return failed(rc, file_->status());
    }
    if (const int rc = view_->open(); rc != 0) return failed(rc, view_->status());
    int rows = 0;
    if (const int rc = view_->set(rt::SetFrom::End); rc != 0) return failed(rc, view_->status());
    if (const int rc = view_->page(
            1, false, [] {}, &rows);
        rc != 0)
        return failed(rc, view_->status());
    if (rows != 1) return std::nullopt;
    const rt::FieldDef& f = file_->def().fields[static_cast<std::size_t>(field_)];
    std::int32_t v = 0;
    std::memcpy(&v, record_.data() + f.offset, sizeof v);
    return v;
}

std::int32_t NumberAfter(std::int64_t n) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        n + 1, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::int32_t LastInKeyOrder::Next(const std::vector<std::int64_t>& values, std::int64_t none) {
    const auto last = Read(values);
    return NumberAfter(last ? std::int64_t{*last} : none);
}
