// The kit's option box as a user meets it: the radio that shows the stored
// value, a click storing the radio's number, a value no radio stores.
#include <gtest/gtest.h>

#include <cstdint>

#include "framework/window_kit.h"
#include "runtime/threads.h"
#include "tests/runtime/window_harness.h"

using namespace windowtest;

namespace {

class OptionBoxTest : public ::testing::Test {
  protected:
    void SetUp() override { rt::setBackend(&backend_); }
    void TearDown() override {
        rt::joinAllThreads();
        rt::setBackend(nullptr);
        rt::resetWindows();
    }

    // The status box of a member form over status, beside an entry that
    // takes the focus first; returns the window's number.
    int open(std::uint8_t& status) {
        rt::startProcedure([&status] {
            rt::Window w(kit::ChildWindowDesc(120, 60, "Status"));
            std::int32_t other = 0;
            w.add(entry("?Other", rt::bind(other), "@n_3"));
            kit::AddOptionBox(w, 0, "?CLA:M1_STC", "Status članstva", {4, 14, 100, 30},
                              rt::bind(status),
                              {{"?CLA:M1_STC:Radio1", "Stalni", {8, 22, 40, 10}},
                               {"?CLA:M1_STC:Radio2", "Povremeni", {50, 22, 50, 10}}},
                              "Status člansta");
            w.open();
            while (w.accept()) {
            }
        });
        auto v = waitWindow("Status");
        EXPECT_TRUE(v);
        return v ? v->id : 0;
    }
    static bool checked(const rt::ViewPtr& v, int control) {
        return v->controls.at(static_cast<std::size_t>(control - 1)).checked;
    }
    void close(int id) {
        send(id, rt::Input{rt::Input::Kind::Close});
        rt::joinAllThreads();
    }

    windowtest::NullBackend backend_;
};

TEST_F(OptionBoxTest, TheRadioOfTheStoredValueIsCheckedAndAClickStoresItsNumber) {
    std::uint8_t status = 2;
    const int id = open(status);
    ASSERT_NE(id, 0);
    auto v = now(id);
    EXPECT_EQ(textOf(v, 4), "Povremeni");
    EXPECT_FALSE(checked(v, 3));
    EXPECT_TRUE(checked(v, 4));

    click(id, 3);
    v = now(id);
    EXPECT_TRUE(checked(v, 3));
    EXPECT_FALSE(checked(v, 4));
    close(id);
    EXPECT_EQ(status, 1);
}

TEST_F(OptionBoxTest, AValueNoRadioStoresChecksNone) {
    for (std::uint8_t stored : {std::uint8_t{0}, std::uint8_t{3}}) {
        SCOPED_TRACE(static_cast<int>(stored));
        std::uint8_t status = stored;
        const int id = open(status);
        ASSERT_NE(id, 0);
        const auto v = now(id);
        EXPECT_FALSE(checked(v, 3));
        EXPECT_FALSE(checked(v, 4));
        close(id);
        EXPECT_EQ(status, stored);
        rt::resetWindows();
    }
}

}  // namespace
