#pragma once
// Procedure threads, thread numbers and the per-thread set-up and tear-down.
//
// Every window procedure that is started "on a new thread" gets a real thread
// here. Per-thread state lives in thread_local variables owned by the layers
// above; each layer registers a component whose start step builds its share
// of the state and whose end step releases it. The order is fixed by stage:
//
//   process start: per-thread stages below ProcessObjects, then the
//                  process-wide components, then the other per-thread stages
//   thread start:  per-thread stages, ascending
//   thread end:    per-thread stages, descending
//   process end:   per-thread stages descending (thread 1), then the
//                  process-wide components descending
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rt {

using ThreadNumber = std::int32_t;

namespace stage {
// Per-thread stages.
constexpr int FileStructures = 10;  // the file structures with their record buffers
constexpr int ErrorStatus = 30;     // GlobalErrorStatus and the request values
constexpr int Dictionary = 40;      // the thread's access and relation objects
constexpr int Views = 50;           // views set up by window procedures (closed at thread end)
// Process-wide stages.
constexpr int ProcessObjects = 20;  // boundary: process-wide components sort here
constexpr int ErrorReporter = 21;   // GlobalErrors
constexpr int IniManager = 22;      // INIMgr
}  // namespace stage

enum class Scope { PerThread, ProcessWide };

// Registers a component. Either step may be empty. Registration is done once,
// before runProcess; components of the same stage run in registration order
// at start and in reverse at end.
void registerComponent(Scope scope, int stage, std::string name, std::function<void()> start,
                       std::function<void()> end);
// Removes every registered component (tests).
void clearComponents();

// The smallest stack a thread gets when none is asked for, and the least any
// real thread is given: C++ and the database library need far more than the
// sizes the procedures ask for, which are kept as minimums.
constexpr std::size_t DefaultStack = 20000;
constexpr std::size_t MinimumRealStack = 1u << 20;

// Runs the process: process start, then body on the calling thread as thread
// number 1, then waits until every started thread has ended, then process end.
// Returns false when the body ended by an exception (reported on stderr), so
// the program's exit status never calls such a run a success.
bool runProcess(const std::function<void()>& body);

// Called on the thread an exception escaped from (the program body, or the
// procedure of a started thread), inside the handler that caught it, after
// it was reported on stderr: where ("program body", "procedure thread") and
// the exception's text. The window layer installs its fatal path here while
// a display is set. With none, such a thread just ends, and runProcess
// returns false for the body.
using EscapeHandler = std::function<void(const std::string& where, const std::string& what)>;
void setEscapeHandler(EscapeHandler handler);

// Starts procedure on a new thread with at least requestedStack bytes of stack
// and returns its thread number (0 when the thread could not be started). The
// thread-start steps run on the new thread before the procedure, the
// thread-end steps after it returns.
ThreadNumber startThread(std::function<void()> procedure,
                         std::size_t requestedStack = DefaultStack);

// The calling thread's number: 1 for the program body, 0 for a thread the
// runtime did not start (the GUI thread, for instance).
ThreadNumber currentThread();

// What was asked for when the thread was started (DefaultStack for thread 1).
std::size_t requestedStack(ThreadNumber thread);

// Blocks until every thread started by startThread has ended.
void joinAllThreads();

// The number of started threads still running.
int runningThreads();

}  // namespace rt
