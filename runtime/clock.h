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

// Switches to a manual clock standing at the given local date (midnight),
// nowMs() 0; std::invalid_argument for a date outside 1801..9999 or one that
// does not exist.
void useManualClock(int year, int month, int day);
// Back to the system clock.
void useSystemClock();
bool manualClock();

// Advances the manual clock; listeners are told after the time has moved
// (the window runtime fires due timers there). No effect on the system clock
// and none for a negative ms: time never runs backwards.
void advanceClock(std::int64_t ms);

// Listeners called after every advance (manual clock) with the new nowMs().
// Returns an id for removal. Listeners run on the advancing thread with no
// clock lock held: they may read and advance the clock and add or remove
// listeners, themselves included.
int addClockListener(std::function<void(std::int64_t nowMs)> listener);
// Once this returns, the listener is never called again and no call of it is
// running on another thread (it waits for such a call to end), so whatever it
// captured may be destroyed. Unknown ids are ignored.
void removeClockListener(int id);

}  // namespace rt
