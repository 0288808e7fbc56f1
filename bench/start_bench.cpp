// Start to the first painted frame, the whole process: the program started
// as a process of its own (this one again, with --one-run: the program's
// own main, which says when the frame's window was first flushed and then
// ends the program), from the moment before it is spawned to the moment
// the frame's backing store was flushed with the frame painted. Runs the
// program nine times after one untimed start and prints the median:
//
//     bench start_to_paint ours=<ms> p10=<ms> p90=<ms>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QApplication>
#include <QMainWindow>
#include <QPointer>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "app/procedures.h"
#include "bench/plain_list.h"
#include "core/startup/program.h"
#include "runtime/backend/qt/qt_backend.h"
#include "runtime/window/window.h"

extern char** environ;

namespace fs = std::filesystem;
using bench::Clock;

namespace {

constexpr int Starts = 9;

// The program, saying on stdout the moment (steady clock, ns) its frame was
// first flushed painted, then closing its frame as the user does (the
// window's close button), so that it ends as it always does.
int oneRun(int argc, char** argv) {
    RegisterAllProcedures();
    return rt::runQtProgram(argc, argv, [] {
        auto* b = dynamic_cast<rt::QtBackend*>(rt::backend());
        b->post([] {
            auto* watch = new bench::PaintWatch(qApp);
            auto* frame = new QPointer<QMainWindow>;
            // The frame counts as painted once its menu bar and its client
            // area both were (in one flush or over several).
            auto test = [frame, bar = false, area = false](QObject* o) mutable {
                if (!o->isWidgetType()) return false;
                auto* w = static_cast<QWidget*>(o);
                auto* main = qobject_cast<QMainWindow*>(w->window());
                if (!main) return false;
                *frame = main;
                QWidget* menu = main->menuWidget();
                bar = bar || (menu && (w == menu || menu->isAncestorOf(w)));
                area = area || (main->centralWidget() && (w == main->centralWidget() ||
                                                          main->centralWidget()->isAncestorOf(w)));
                return bar && area;
            };
            // Not started: the figure's µs are the steady clock's at the flush.
            watch->arm(test, [frame, watch](double flushedAt) {
                std::printf("painted %lld\n", static_cast<long long>(flushedAt * 1000));
                std::fflush(stdout);
                if (!frame->isNull()) (*frame)->close();
                delete frame;
                watch->deleteLater();
            });
        });
        return runProgram();
    });
}

// One start: the ms from the spawn to the painted frame, or -1 (also when
// the program did not end cleanly).
double start(const std::string& self, const fs::path& dir) {
    int out[2];
    if (pipe(out) != 0) return -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
    std::vector<char*> args{const_cast<char*>(self.c_str()), const_cast<char*>("--one-run"),
                            nullptr};
    pid_t pid = 0;
    const auto t0 = Clock::now();
    const int rc = posix_spawn(&pid, self.c_str(), &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        return -1;
    }
    std::string text;
    char buf[256];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    // A program that did not end as it does when its frame is closed is
    // not a start that counts.
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::cerr << "the program did not end cleanly (status " << status << ")\n";
        return -1;
    }
    const auto at = text.find("painted ");
    if (at == std::string::npos) return -1;
    const Clock::time_point painted{std::chrono::nanoseconds(std::stoll(text.substr(at + 8)))};
    return std::chrono::duration<double, std::milli>(painted - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--one-run") == 0) return oneRun(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string self = fs::canonical("/proc/self/exe").string();
    // Each start in a directory of its own, as a first start is (no
    // database, no Sutrik.INI yet).
    const fs::path scratch =
        fs::temp_directory_path() / ("start-bench-" + std::to_string(getpid()));
    std::vector<double> ms;
    for (int i = 0; i <= Starts; ++i) {
        const fs::path dir = scratch / std::to_string(i);
        fs::create_directories(dir);
        const double t = start(self, dir);
        if (t < 0) {
            std::cerr << "the program did not paint its frame\n";
            fs::remove_all(scratch);
            return 3;
        }
        if (i > 0) ms.push_back(t);
    }
    fs::remove_all(scratch);
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const std::string suffix = platform == "offscreen" ? "" : "_" + platform.toStdString();
    std::printf("bench start_to_paint%s ours=%.1f p10=%.1f p90=%.1f\n", suffix.c_str(),
                bench::median(ms), bench::percentile(ms, 0.10), bench::percentile(ms, 0.90));
    return 0;
}
