// The program. With the Qt backend the widgets live on the process's main
// thread and the program body runs on a thread of its own (thread 1 of the
// runtime); without a display nothing could be shown, so it says so.
#include <cstdio>

#include "app/procedures.h"
#include "core/startup/program.h"

#ifdef CLANOVI_WITH_QT
#include "runtime/backend/qt/qt_backend.h"
#endif

int main(int argc, char** argv) {
    RegisterAllProcedures();
#ifdef CLANOVI_WITH_QT
    return rt::runQtProgram(argc, argv, [] { return runProgram(); });
#else
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "clanovi: built without a display (CLANOVI_WITH_QT=OFF)\n");
    return 2;
#endif
}
