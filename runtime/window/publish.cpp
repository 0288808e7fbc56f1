#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "runtime/image/fit.h"
#include "runtime/text.h"
#include "runtime/window/hub.h"
#include "runtime/window/internal.h"
#include "runtime/window/window.h"

namespace rt {

using namespace detail;

// ---------------------------------------------------------------------------
// Display

std::string Window::shown(const Control& c) const {
    if (c.value) return c.value.show(pictureOf(c));
    return c.text;
}

void Window::display(int c) {
    auto one = [this](Control& k) {
        if (hasValueEdit(k.kind)) {
            std::string now = editText(k, shown(k));
            // The same text keeps its caret; another one puts it at the end.
            const int len = static_cast<int>(utf8Length(now));
            if (now != k.edit) k.caret = k.anchor = len;
            k.caret = std::min(k.caret, len);
            k.anchor = std::min(k.anchor, len);
            k.edit = std::move(now);
            k.edited = false;
        }
    };
    if (c == 0)
        for (auto& k : controls_) one(k);
    else if (c > 0 && c <= controlCount())
        one(control(c));
    dirty_ = true;
}

void Window::update(int c) {
    auto one = [this](Control& k) {
        if (!hasValueEdit(k.kind) || !k.edited || !k.value) return;
        if (auto cp = typedText(k)) {
            if (k.value.take(pictureOf(k), *cp)) k.edited = false;
        }
    };
    if (c == 0)
        for (auto& k : controls_) one(k);
    else if (c > 0 && c <= controlCount())
        one(control(c));
}

std::vector<ListRow> Window::listRows(const Control& c) const {
    std::vector<ListRow> out;
    const int rows = c.rowCount ? c.rowCount() : 0;
    const std::size_t columns = c.columns.size();
    out.reserve(static_cast<std::size_t>(std::max(rows, 0)));
    for (int r = 1; r <= rows; ++r) {
        ListRow row = c.row ? c.row(r) : ListRow{};
        if (row.size() != columns) {
            // One cell per column: missing cells are empty, extra ones dropped.
            ListRow::Builder b;
            for (std::size_t i = 0; i < columns; ++i) b.add(i < row.size() ? row[i] : "");
            row = b.build();
        }
        out.push_back(std::move(row));
    }
    return out;
}

ViewPtr Window::makeView() const {
    auto v = std::make_shared<WindowView>();
    v->id = id_;
    v->thread = currentThread();
    v->kind = desc_.kind;
    if (titleSource_ != desc_.title) {
        titleSource_ = desc_.title;
        titleShown_ = toUtf8(desc_.title);
    }
    v->title = titleShown_;
    v->at = at_;
    v->present = present();
    v->minSize = minSize_;
    v->maximized = maximized_;
    v->minimized = minimized_;
    v->placed = placed_;
    v->resizable = desc_.resizable;
    v->titleBar = desc_.titleBar;
    v->border = desc_.border;
    v->systemMenu = desc_.systemMenu;
    v->grey = desc_.grey;
    v->font = desc_.font;
    v->statusWidths = desc_.statusWidths;
    {
        Hub& h = hub();
        std::lock_guard g(h.m);
        Loop* l = h.top(id_);
        v->enabled = l && Hub::isTop(*l, id_) && !l->inDialog;
        v->active = h.active == id_;
        activeShown_ = v->active;
        if (desc_.kind == WindowKind::Frame) v->status = h.status;
    }
    v->serial = serial_;
    v->inputsTaken = inputsTaken_;
    shown_.resize(controls_.size());
    v->controls.reserve(controls_.size());
    for (int i = 1; i <= controlCount(); ++i) {
        const Control& c = control(i);
        // What may change without the control itself changing: its place in
        // the tree, the focus, a bound value, a list's rows.
        const bool visible = visibleInTree(i);
        bool enabled = !c.disabled;
        for (int p = c.parent, guard = 0; p > 0 && guard < 64; p = control(p).parent, ++guard)
            if (control(p).disabled) enabled = false;
        const bool focused = focus_ == i;
        // The text shown before conversion (an entry's edit text is UTF-8 already).
        std::string bound;
        const std::string* text = &c.text;
        if (hasValueEdit(c.kind)) {
            text = &c.edit;
        } else if (c.value && c.kind != ControlKind::Option && c.kind != ControlKind::Check) {
            // A bound string shows its value; an option box and a check box
            // keep their captions (their value picks a radio, ticks the box).
            bound = c.value.show(pictureOf(c));
            text = &bound;
        }
        bool checked = false;
        if (c.kind == ControlKind::Check && c.value)
            checked = std::string(trim(c.value.show(nullptr))) == c.trueValue;
        if (c.kind == ControlKind::Radio) checked = radioChosen(i);
        Shown& m = shown_[static_cast<std::size_t>(i - 1)];
        const ListPayload* wasList = m.view ? m.view->list() : nullptr;
        // The rows are asked for only when the list's version moved on since
        // its last view (or it keeps none).
        std::vector<ListRow> rows;
        bool sameRows = false;
        if (c.kind == ControlKind::List) {
            std::optional<std::uint64_t> version;
            if (c.rowsVersion) version = c.rowsVersion();
            sameRows = wasList && version && m.rows == version;
            if (!sameRows) rows = listRows(c);
            m.rows = version;
        }

        if (m.view) {
            const ControlView& o = *m.view;
            const ListPayload* ol = wasList;
            const bool list = c.kind != ControlKind::List ||
                              (ol && ol->highlight == c.highlight && ol->thumb == c.thumb &&
                               ol->lineHeight == c.lineHeight && (sameRows || ol->rows == rows) &&
                               m.columns == c.columns);
            const SheetPayload* os = o.sheet();
            const bool sheet =
                c.kind != ControlKind::Sheet || (os && os->selectedTab == c.selectedTab);
            const ImagePayload* oi = o.image();
            const bool picture = c.kind != ControlKind::Image ||
                                 (oi && m.image == c.image.version && oi->mode == c.pictureMode);
            const PagePayload* op = std::get_if<PagePayload>(&o.payload);
            const bool page = c.kind != ControlKind::Page || (op && *op == c.page);
            if (list && sheet && picture && page && o.kind == c.kind && o.at == c.at &&
                o.parent == c.parent && o.hidden == c.hidden && o.visible == visible &&
                o.enabled == enabled && o.focused == focused && o.isDefault == c.isDefault &&
                o.readOnly == c.readOnly && o.hasFont == c.hasFont && o.font == c.font &&
                o.align == c.align && o.indent == c.indent && o.bevelOuter == c.bevelOuter &&
                o.bevelInner == c.bevelInner && o.bevelStyle == c.bevelStyle && o.fill == c.fill &&
                o.checked == checked && o.caret == c.caret && o.anchor == c.anchor &&
                m.name == c.name && m.text == *text && m.msg == c.msg && m.tip == c.tip) {
                v->controls.push_back(m.view);
                continue;
            }
        }

        // A text that did not change is taken as the last view had it,
        // converted already.
        const ControlView* was = m.view.get();
        auto converted = [was](const std::string& now, const std::string& before,
                               std::string ControlView::*field) {
            return was && before == now ? was->*field : toUtf8(now);
        };
        auto cv = std::make_shared<ControlView>();
        cv->id = i;
        cv->kind = c.kind;
        cv->name = converted(c.name, m.name, &ControlView::name);
        cv->at = c.at;
        cv->parent = c.parent;
        cv->hidden = c.hidden;
        cv->visible = visible;
        cv->enabled = enabled;
        cv->focused = focused;
        cv->isDefault = c.isDefault;
        cv->readOnly = c.readOnly;
        cv->hasFont = c.hasFont;
        cv->font = c.font;
        cv->align = c.align;
        cv->indent = c.indent;
        cv->msg = converted(c.msg, m.msg, &ControlView::msg);
        cv->tip = converted(c.tip, m.tip, &ControlView::tip);
        cv->bevelOuter = c.bevelOuter;
        cv->bevelInner = c.bevelInner;
        cv->bevelStyle = c.bevelStyle;
        cv->fill = c.fill;
        cv->text = hasValueEdit(c.kind) ? *text : converted(*text, m.text, &ControlView::text);
        cv->checked = checked;
        cv->caret = c.caret;
        cv->anchor = c.anchor;
        if (c.kind == ControlKind::List) {
            ListPayload& l = cv->payload.emplace<ListPayload>();
            // The columns converted once, and again only when they change.
            if (const ListPayload* wl = was ? was->list() : nullptr; wl && m.columns == c.columns) {
                l.columns = wl->columns;
            } else {
                std::vector<Column> columns = c.columns;
                for (auto& col : columns) {
                    col.header = toUtf8(col.header);
                    col.group = toUtf8(col.group);
                }
                l.columns = ColumnList(std::move(columns));
            }
            if (sameRows)
                l.rows = wasList->rows;
            else
                l.rows = std::move(rows);
            l.highlight = c.highlight;
            l.thumb = c.thumb;
            l.lineHeight = c.lineHeight;
        } else if (c.kind == ControlKind::Sheet) {
            cv->payload = SheetPayload{c.selectedTab};
        } else if (c.kind == ControlKind::Page) {
            cv->payload = c.page;
        } else if (c.kind == ControlKind::Image) {
            const Control::ImageState& s = c.image;
            ImagePayload& p = cv->payload.emplace<ImagePayload>();
            p.path = toUtf8(s.path);
            p.mode = c.pictureMode;
            if (s.loaded) {
                p.loaded = true;
                p.file = s.file;
                p.width = s.width;
                p.height = s.height;
                p.pixelsWidth = s.pixelsWidth;
                p.pixelsHeight = s.pixelsHeight;
                p.pixels = s.pixels;
                if (c.pictureMode == ImagePayload::Mode::Stretch) {
                    p.drawn = c.at;
                } else {
                    const image::Box b =
                        image::fitImage({c.at.x, c.at.y, c.at.w, c.at.h}, s.width, s.height);
                    p.drawn = {b.x, b.y, b.w, b.h};
                }
            }
        }
        m.view = cv;
        m.name = c.name;
        m.text = *text;
        m.msg = c.msg;
        m.tip = c.tip;
        m.columns = c.columns;
        m.image = c.image.version;
        v->controls.push_back(std::move(cv));
    }
    return v;
}

void Window::publish() {
    if (!opened_ || closed_ || !dirty_) return;
    dirty_ = false;
    ++serial_;
    const std::vector<int> pictures = askPictures();
    ViewPtr v = makeView();
    Hub& h = hub();
    Backend* b;
    ViewPtr old;  // let go only once the display has the new one
    {
        std::lock_guard g(h.m);
        auto it = h.windows.find(id_);
        if (it == h.windows.end()) return;
        old = std::exchange(it->second.view, v);
        b = h.backend;
    }
    if (b) b->show(v);
    // The files are read once the display has the view: waking a reader
    // must not hold up the page it belongs to.
    for (int c : pictures)
        readPicture(id_, c, control(c).image.generation, control(c).image.path, control(c).at);
}

}  // namespace rt
