// Photos are decoded and scaled off the GUI thread: a widget hands the work
// to the display's photo threads and draws the image they make once it is
// back. The result comes to the GUI thread through the display's own queue
// (QtBackend::post), so the display counts as not yet drawn from the moment
// the work is asked for until its result has been taken there.
#pragma once

#include <QImage>
#include <functional>
#include <optional>

namespace rt::photowork {

// Runs make on a photo thread, then done with what it made on the GUI
// thread. make may find itself moot (the widget has asked for another
// picture meanwhile) and give nothing: done is not called then. done is not
// called either once the display is gone; it checks that its widget lives.
void run(std::function<std::optional<QImage>()> make, std::function<void(QImage)> done);

// Some work asked for has not been handed back yet.
bool pending();

// Where results go (the display sets its queue when it starts, and clears it
// before it ends; results made then are dropped).
void setPoster(std::function<void(std::function<void()>)> post);

// The pixels of a decoded picture at the size they are drawn at, in the
// format the painter copies as it stands (an opaque picture as RGB32).
QImage sized(const std::uint8_t* rgba, int width, int height, QSize size);

}  // namespace rt::photowork
