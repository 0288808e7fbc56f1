#pragma once
// Drives windows from a test: the window's procedure runs on a runtime
// thread, the test sends raw input as a user would and reads the views.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "runtime/text.h"
#include "runtime/window/window.h"

namespace windowtest {

// A display that shows nothing: the tests read the views themselves.
struct NullBackend : rt::Backend {
    void show(rt::ViewPtr) override {}
    void closed(int) override {}
    void dialog(int, const rt::DialogRequest&) override {}
    void dialogClosed(int) override {}
    void beep() override {}
    void status(int, const std::string&) override {}
};

inline rt::ViewPtr waitWindow(const std::string& titleUtf8, int ms = 5000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (rt::waitIdle(ms)) {
            for (auto& v : rt::views())
                if (v->title == titleUtf8) return v;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return nullptr;
}

inline void idle() {
    ASSERT_TRUE(rt::waitIdle(5000)) << "the program did not settle";
}

inline rt::ViewPtr now(int window) {
    EXPECT_TRUE(rt::waitIdle(5000));
    return rt::view(window);
}

inline void send(int window, rt::Input in) {
    rt::input(window, std::move(in));
    idle();
}

inline void key(int window, int k) {
    rt::Input in{rt::Input::Kind::Key};
    in.key = k;
    send(window, in);
}

inline void click(int window, int control) {
    send(window, rt::Input{rt::Input::Kind::Click, control});
}

inline void type(int window, int control, const std::string& utf8) {
    send(window, rt::Input{rt::Input::Kind::Focus, control});
    rt::Input in{rt::Input::Kind::Text, control};
    in.text = utf8;
    send(window, in);
}

inline int focusOf(const rt::ViewPtr& v) {
    if (!v) return -1;
    for (const auto& c : v->controls)
        if (c.focused) return c.id;
    return 0;
}

inline std::string textOf(const rt::ViewPtr& v, int control) {
    return v ? v->controls.at(static_cast<std::size_t>(control - 1)).text : std::string("?");
}

inline rt::Control entry(const char* name, rt::Binding b, const char* picture) {
    rt::Control c;
    c.kind = rt::ControlKind::Entry;
    c.name = name;
    c.value = std::move(b);
    c.picture = picture;
    return c;
}

inline rt::Control button(const char* name, const char* text) {
    rt::Control c;
    c.kind = rt::ControlKind::Button;
    c.name = name;
    c.text = text;
    return c;
}

}  // namespace windowtest
