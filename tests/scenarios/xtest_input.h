#pragma once
// Input through the X server, as a user's keyboard and mouse make it: the
// XTest extension moves the pointer, presses buttons and keys, and the X
// server hands the events to whichever window it says is under the pointer
// or has the focus. No Qt here (Xlib's names clash with Qt's).
#include <memory>
#include <string>

class XTestInput {
  public:
    // Opens $DISPLAY; nullptr (and why) when there is none or it has no XTest.
    static std::unique_ptr<XTestInput> open(std::string& why);
    ~XTestInput();

    // Moves the pointer to the screen position and presses button (1 left,
    // 3 right) there; a second call within the double-click time makes a
    // double click.
    void click(int x, int y, int button = 1);
    void move(int x, int y);
    // Presses and releases a key (a key code of runtime/window/keys.h, a
    // printable character as its code point), with Shift or Ctrl where the
    // key asks for them. A character no key types is given a spare key code
    // first. Returns how many keys it released (the key and its Shift or
    // Ctrl), 0 for a key it cannot make.
    int key(int rtKey);
    // Waits until the X server has carried out everything sent.
    void sync();
    // Changes a property of the window; the client that owns it sees the
    // change after every event sent before (the marker that input arrived).
    void mark(unsigned long window, long value);
    unsigned long markerAtom() const { return marker_; }
    // The window that has the X input focus.
    unsigned long focus();
    // The name the window carries for the window manager (UTF-8).
    std::string windowName(unsigned long window);

  private:
    struct Impl;
    explicit XTestInput(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> p_;
    unsigned long marker_ = 0;
};
