#include "framework/globals.h"

#include <mutex>
#include <optional>

#include "runtime/threads.h"

thread_local std::uint8_t GlobalRequest = 0;
thread_local std::uint8_t GlobalResponse = 0;
thread_local std::int32_t VCRRequest = 0;

namespace {

// The process-wide services are built and destroyed by the process hooks;
// code that runs outside a process run (unit tests of one layer) gets them
// built on first use.
std::mutex servicesLock;
std::optional<ErrorClass> errors;
std::optional<INIClass> ini;

thread_local ErrorStatusClass errorStatus;

}  // namespace

ErrorClass& GlobalErrors() {
    std::lock_guard g(servicesLock);
    if (!errors) errors.emplace();
    return *errors;
}

INIClass& INIMgr() {
    std::lock_guard g(servicesLock);
    if (!ini) ini.emplace();
    return *ini;
}

ErrorStatusClass& GlobalErrorStatus() {
    return errorStatus;
}

void installFrameworkComponents() {
    using rt::Scope;
    rt::registerComponent(
        Scope::ProcessWide, rt::stage::ErrorReporter, "GlobalErrors",
        [] {
            std::lock_guard g(servicesLock);
            errors.emplace();
        },
        [] {
            std::lock_guard g(servicesLock);
            errors.reset();
        });
    rt::registerComponent(
        Scope::ProcessWide, rt::stage::IniManager, "INIMgr",
        [] {
            std::lock_guard g(servicesLock);
            ini.emplace();
        },
        [] {
            std::lock_guard g(servicesLock);
            ini.reset();
        });
    rt::registerComponent(
        Scope::PerThread, rt::stage::ErrorStatus, "GlobalErrorStatus",
        [] {
            errorStatus = ErrorStatusClass{};
            GlobalRequest = 0;
            GlobalResponse = 0;
            VCRRequest = 0;
        },
        [] { errorStatus = ErrorStatusClass{}; });
}
