#pragma once
// The one clock of the program: timers and "today" read it. By default it is
// the system's clock; tests (and the scenario runner) switch it to a manual
// clock that stands still until advanced.
#include <cstdint>
#include <functional>

namespace rt {

// Milliseconds on a monotonic scale (manual clock: since it was set).
std::int64_t nowMs();

// Local date and time of day, from the same clock.
struct WallTime {
    int year, month, day, hour, minute, second;
};
WallTime wallNow();

// Switches to a manual clock standing at the given local date (midnight).
void useManualClock(int year, int month, int day);
// Back to the system clock.
void useSystemClock();
bool manualClock();

// Advances the manual clock; listeners are told after the time has moved
// (the window runtime fires due timers there). No effect on the system clock.
void advanceClock(std::int64_t ms);

// Listeners called after every advance (manual clock) with the new nowMs().
// Returns an id for removal.
int addClockListener(std::function<void(std::int64_t nowMs)> listener);
void removeClockListener(int id);

}  // namespace rt
