#include "core/startup/program.h"

#include <cstdio>
#include <mutex>

#include "core/dictionary/dictionary.h"
#include "core/frame/main_frame.h"
#include "core/storage/storage.h"
#include "framework/globals.h"
#include "runtime/file/file.h"
#include "runtime/threads.h"

void ProgramBody(const std::function<void()>& frame) {
    GlobalErrors().Init(&GlobalErrorStatus);
    INIMgr().Init(".\\Sutrik.INI", 0, 0);
    DctInit();
    frame();
    if (!INIMgr().Kill())
        std::fprintf(stderr, "Sutrik.INI was not written (it could not be read or kept): %s\n",
                     INIMgr().FilePath().c_str());
}

void ProgramBody() {
    ProgramBody(Main);
}

void installComponents() {
    static std::once_flag once;
    std::call_once(once, [] {
        installFrameworkComponents();
        installDictionaryComponents();
        // The files' storage, and the per-thread file structures and views
        // closed at each thread's end.
        storage::install();
        rt::installFileComponents();
    });
}

int runProgram() {
    installComponents();
    // A body that ended by an exception (memory exhausted, say) is a failed
    // run, whatever the windows did before it.
    return rt::runProcess([] { ProgramBody(); }) ? 0 : 1;
}
