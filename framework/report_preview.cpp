// The print preview: a window of its own on the report's thread, showing one
// page at a time (drawn by the display when shown), with page navigation,
// zoom and printing of a page range.
#include <algorithm>
#include <array>
#include <string>

#include "framework/report.h"
#include "framework/window_kit.h"
#include "framework/window_manager.h"
#include "runtime/dialogs.h"
#include "runtime/report/print.h"

namespace {

constexpr const char* PreviewSection = "_PreviewWindow_";
constexpr const char* AskPagesSection = "_PreviewAskPagesWindow_";
constexpr std::array<int, 9> Zooms{25, 50, 75, 100, 125, 150, 200, 300, 400};
constexpr int BarHeight = 20;  // the buttons' row above the page

rt::Control Button(const char* name, const char* text, rt::Rect at, const char* tip) {
    return kit::PushButton(name, text, at, tip, tip);
}

rt::Control Entry(const char* name, rt::Rect at, std::int32_t& v) {
    rt::Control c;
    c.kind = rt::ControlKind::Entry;
    c.name = name;
    c.at = at;
    c.picture = "@n_5";
    c.align = rt::Align::Right;
    c.value = rt::bind(v);
    return c;
}

rt::Control Prompt(const char* name, const char* text, rt::Rect at) {
    rt::Control c;
    c.kind = rt::ControlKind::Prompt;
    c.name = name;
    c.text = kit::WindowText(text);
    c.at = at;
    return c;
}

// Asks which pages to print; false when cancelled.
bool AskPages(INIClass* ini, int pages, std::int32_t& from, std::int32_t& to) {
    rt::WindowDesc d;
    d.kind = rt::WindowKind::Child;
    d.title = "Pages to Print";
    d.at = {0, 0, 150, 62};
    d.centred = true;
    d.grey = true;
    d.font = rt::Font{"MS Sans Serif", 8};
    rt::Window w(d);
    w.add(Prompt("?FromPrompt", "From page:", {8, 10, 50, 10}));
    const int fromId = w.add(Entry("?From", {64, 9, 40, 11}, from));
    w.add(Prompt("?ToPrompt", "To page:", {8, 26, 50, 10}));
    const int toId = w.add(Entry("?To", {64, 25, 40, 11}, to));
    rt::Control ok = kit::OkButton("?OK", "OK", {30, 42, 40, 14});
    const int okId = w.add(std::move(ok));
    const int cancelId = w.add(kit::CancelButton("?Cancel", "Cancel", {80, 42, 40, 14}));
    w.open();
    if (ini) FetchWindowState(*ini, AskPagesSection, w);
    w.select(fromId);
    bool chosen = false;
    while (w.accept()) {
        if (w.event() != rt::Event::Accepted) continue;
        if (w.field() == okId) {
            w.update();
            from = std::clamp(from, 1, pages);
            to = std::clamp(to == 0 ? pages : to, from, pages);
            chosen = true;
            w.post(rt::Event::CloseWindow);
        } else if (w.field() == cancelId) {
            w.post(rt::Event::CloseWindow);
        } else if (w.field() == fromId || w.field() == toId) {
            w.display();
        }
    }
    if (ini) UpdateWindowState(*ini, AskPagesSection, w);
    return chosen;
}

}  // namespace

bool PrintPreviewClass::Display(rt::report::DocumentPtr document) {
    if (!document || document->pageCount() == 0) return false;
    const int pages = static_cast<int>(document->pageCount());
    int page = 1;
    int zoom = Zoom > 0 ? Zoom : 100;
    std::int32_t goTo = 1;
    bool printed = false;

    rt::WindowDesc d;
    d.kind = rt::WindowKind::Child;
    d.title = "Print Preview";
    d.at = {0, 0, 440, 300};
    d.centred = true;
    d.resizable = true;
    d.maximized = Maximize;
    d.grey = true;
    d.font = rt::Font{"MS Sans Serif", 8};
    rt::Window w(d);
    const int printId = w.add(Button("?Print", "Print", {2, 3, 40, 14}, "Print pages"));
    const int prevId = w.add(Button("?Previous", "Previous", {46, 3, 44, 14}, "Previous page"));
    const int nextId = w.add(Button("?Next", "Next", {94, 3, 40, 14}, "Next page"));
    w.add(Prompt("?PagePrompt", "Page:", {142, 6, 22, 10}));
    const int pageNoId = w.add(Entry("?PageNo", {166, 4, 30, 12}, goTo));
    const int goId = w.add(Button("?GoTo", "Go to page", {200, 3, 50, 14}, "Go to the page"));
    const int zoomInId = w.add(Button("?ZoomIn", "Zoom in", {256, 3, 40, 14}, "Zoom in"));
    const int zoomOutId = w.add(Button("?ZoomOut", "Zoom out", {300, 3, 40, 14}, "Zoom out"));
    rt::Control of;
    of.kind = rt::ControlKind::String;
    of.name = "?PageOf";
    of.at = {346, 6, 90, 10};
    const int ofId = w.add(std::move(of));
    const int closeId =
        w.add(Button("?Close", "Close", {440 - 44, 3, 40, 14}, "Close the preview"));
    rt::Control pc;
    pc.kind = rt::ControlKind::Page;
    pc.name = "?Page";
    pc.at = {0, BarHeight, 440, 300 - BarHeight};
    const int pageId = w.add(std::move(pc));
    if (!AllowUserZoom) {
        w.hide(zoomInId);
        w.hide(zoomOutId);
    }

    auto show = [&] {
        rt::Control& c = w.control(pageId);
        c.page = document->payload(page);
        c.page.zoom = zoom;
        w.control(ofId).text = "Page " + std::to_string(page) + " of " + std::to_string(pages) +
                               "   " + std::to_string(zoom) + "%";
        goTo = page;
        w.enable(prevId, page > 1);
        w.enable(nextId, page < pages);
        w.display();
        w.changed();
    };
    auto layout = [&] {
        const rt::Rect r = w.present();
        if (r.w > 0 && r.h > BarHeight) w.control(pageId).at = {0, BarHeight, r.w, r.h - BarHeight};
        w.control(closeId).at.x = std::max(346 + 90 + 4, r.w - 44);
        w.changed();
    };
    auto turn = [&](int to) {
        to = std::clamp(to, 1, pages);
        if (to != page) {
            page = to;
        }
        show();
    };

    w.alert(rt::key::PageDown);
    w.alert(rt::key::PageUp);
    w.open();
    if (ini_) FetchWindowState(*ini_, PreviewSection, w);
    if (Maximize) w.setMaximized(true);
    layout();
    show();
    w.select(nextId);
    while (w.accept()) {
        switch (w.event()) {
            case rt::Event::Sized:
            case rt::Event::OpenWindow:
                layout();
                break;
            case rt::Event::AlertKey:
                if (w.keyCode() == rt::key::PageDown) turn(page + 1);
                if (w.keyCode() == rt::key::PageUp) turn(page - 1);
                break;
            case rt::Event::Accepted: {
                const int f = w.field();
                if (f == nextId) {
                    turn(page + 1);
                } else if (f == prevId) {
                    turn(page - 1);
                } else if (f == goId || f == pageNoId) {
                    w.update(pageNoId);
                    turn(goTo);
                } else if (f == zoomInId || f == zoomOutId) {
                    auto it = std::lower_bound(Zooms.begin(), Zooms.end(), zoom);
                    if (f == zoomInId) {
                        if (it != Zooms.end() && *it == zoom) ++it;
                        if (it != Zooms.end()) zoom = *it;
                    } else if (it != Zooms.begin()) {
                        zoom = *--it;
                    }
                    show();
                } else if (f == printId) {
                    std::int32_t from = 1, to = pages;
                    if (AskPages(ini_, pages, from, to)) {
                        if (auto target = rt::report::askPrinter(w.id(), *document, from, to)) {
                            target->from = from;
                            target->to = to;
                            if (rt::report::printDocument(*document, *target) ||
                                !rt::report::hasRenderer()) {
                                printed = true;
                            } else {
                                rt::showMessage({"Print", "The report could not be printed.",
                                                 rt::ButtonOk, rt::ButtonOk, rt::Icon::Hand});
                            }
                        }
                    }
                } else if (f == closeId) {
                    w.post(rt::Event::CloseWindow);
                }
                break;
            }
            default:
                break;
        }
    }
    if (ini_) UpdateWindowState(*ini_, PreviewSection, w);
    return printed;
}
