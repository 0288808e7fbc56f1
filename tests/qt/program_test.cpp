// The program under the Qt display (runQtProgram): its exit status is the
// program body's, and an exception that escapes a procedure thread or the
// body ends the process through the fatal path with a non-zero status. Each
// run is a child process of its own (the QApplication lives there), on the
// offscreen platform; a thread answers the fatal box as the user would.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <new>
#include <thread>

#include "runtime/backend/qt/qt_backend.h"
#include "runtime/threads.h"
#include "runtime/window/window.h"

namespace {

// The exit status of a child that runs body under runQtProgram (-1 when it
// did not exit by itself).
int exitStatusOf(std::function<bool()> body) {
    const pid_t pid = fork();
    if (pid < 0) return -2;
    if (pid == 0) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        std::thread answerer([] {
            for (;;) {
                for (const auto& d : rt::openDialogs())
                    rt::answerDialog(d.id, rt::DialogAnswer{rt::ButtonOk});
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        answerer.detach();
        char arg0[] = "program_test";
        char* argv[] = {arg0, nullptr};
        int argc = 1;
        const int status =
            rt::runQtProgram(argc, argv, [&] { return rt::runProcess(body) ? 0 : 1; });
        std::_Exit(status);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(QtProgramTest, AnExceptionThatEscapesEndsTheProcessWithANonZeroStatus) {
    struct Case {
        const char* what;
        std::function<bool()> body;
        int status;
    };
    const Case cases[] = {
        {"a body that ends", [] { return true; }, 0},
        {"a procedure thread that throws",
         [] {
             rt::startProcedure([] { throw std::bad_alloc(); });
             rt::joinAllThreads();
             return true;
         },
         rt::EscapeExitStatus},
        {"a body that throws", []() -> bool { throw std::bad_alloc(); }, rt::EscapeExitStatus},
    };
    for (const Case& c : cases) EXPECT_EQ(exitStatusOf(c.body), c.status) << c.what;
}

}  // namespace
