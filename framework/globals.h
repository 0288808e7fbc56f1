#pragma once
// The process-wide services and the per-thread request values.
#include <cstdint>

#include "framework/error.h"
#include "framework/ini.h"

// Request codes in GlobalRequest.
namespace Request {
constexpr std::uint8_t None = 0;
constexpr std::uint8_t Insert = 1;
constexpr std::uint8_t Change = 2;
constexpr std::uint8_t Delete = 3;
constexpr std::uint8_t Select = 4;
constexpr std::uint8_t View = 6;
}  // namespace Request

// Outcomes in GlobalResponse.
namespace Response {
constexpr std::uint8_t None = 0;
constexpr std::uint8_t Completed = 1;
constexpr std::uint8_t Cancelled = 2;
}  // namespace Response

// Process-wide: built at process start, destroyed at process end.
ErrorClass& GlobalErrors();
INIClass& INIMgr();

// Per thread; cleared at thread start.
extern thread_local std::uint8_t GlobalRequest;
extern thread_local std::uint8_t GlobalResponse;
extern thread_local std::int32_t VCRRequest;
ErrorStatusClass& GlobalErrorStatus();

// Registers the framework's components with the runtime (the error reporter,
// the INI manager, the per-thread error status and request values). Called
// once before rt::runProcess.
void installFrameworkComponents();
