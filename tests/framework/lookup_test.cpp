// The lookup hook: which select procedure runs, with what request, and what
// the caller gets back. (The lookups themselves are played through a window
// in the scenarios, tests/scenarios/lookup_*.scn.)
#include <gtest/gtest.h>

#include <vector>

#include "framework/globals.h"
#include "framework/lookup.h"

namespace {

TEST(LookupHook, RunsTheNumberedSelectProcedureUnlessTheWindowOnlyViews) {
    struct Case {
        const char* what;
        std::uint8_t windowRequest;
        int number;
        int calledProcedure;  // 0: none
        std::uint8_t response;
    };
    const Case cases[] = {
        {"change form, second lookup", Request::Change, 2, 2, Response::Completed},
        {"insert form, first lookup", Request::Insert, 1, 1, Response::Cancelled},
        {"query window (no request)", Request::None, 1, 1, Response::Cancelled},
        {"view form", Request::View, 1, 0, Response::Cancelled},
        {"number 0", Request::Change, 0, 0, Response::Cancelled},
        {"number past the list", Request::Change, 3, 0, Response::Cancelled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<int> called;
        std::vector<std::uint8_t> requestSeen;
        LookupClass lookups;
        lookups.AddProcedure([&] {
            called.push_back(1);
            requestSeen.push_back(GlobalRequest);
            GlobalRequest = 0;
            GlobalResponse = Response::Cancelled;
        });
        lookups.AddProcedure([&] {
            called.push_back(2);
            requestSeen.push_back(GlobalRequest);
            GlobalRequest = 0;
            GlobalResponse = Response::Completed;
        });
        WindowManager window;
        window.Request = c.windowRequest;
        GlobalRequest = 0;
        GlobalResponse = 0;
        EXPECT_EQ(lookups.Call(window, c.number, Request::Select), c.response);
        if (c.calledProcedure) {
            EXPECT_EQ(called, std::vector<int>{c.calledProcedure});
            EXPECT_EQ(requestSeen, std::vector<std::uint8_t>{Request::Select});
        } else {
            EXPECT_TRUE(called.empty());
            const std::uint8_t* request = &GlobalRequest;  // GCC's null check misreads it directly
            EXPECT_EQ(*request, 0);                        // nothing called: no request left behind
        }
    }
}

}  // namespace
