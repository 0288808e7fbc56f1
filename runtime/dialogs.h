#pragma once
// Message boxes, as the layers above ask for them. The window runtime installs
// the handler that shows them; tests install one that answers from a script.
// The asking thread waits for the answer; texts are UTF-8 and "\n" breaks lines.
#include <functional>
#include <string>

namespace rt {

enum Button : unsigned { ButtonOk = 1, ButtonYes = 2, ButtonNo = 4, ButtonCancel = 8 };

enum class Icon { None, Question, Exclamation, Hand, Asterisk };

struct MessageRequest {
    std::string title;
    std::string text;
    unsigned buttons = ButtonOk;  // a set of Button values
    Button defaultButton = ButtonOk;
    Icon icon = Icon::None;
};

using MessageHandler = std::function<Button(const MessageRequest&)>;

// Installs the handler; an empty handler restores the default, which answers
// every box with its default button (no display: nothing can be asked).
void setMessageHandler(MessageHandler handler);

Button showMessage(const MessageRequest& request);

// The fatal path: the registered clean-ups run (newest first: the database
// connections are closed), then the exit hook is called with the status. The
// default hook ends the process at once with that status; tests replace it.
// If the hook returns, fatalExit returns too.
void addFatalCleanup(std::function<void()> cleanup);
void setFatalExitHook(std::function<void(int status)> hook);
void fatalExit(int status);

}  // namespace rt
