#pragma once
// The one way the program asks or tells the user something: a modal message box with a
// caption, a text, an icon, buttons and a default button, answered by the button pressed.
// No toolkit here: the Qt windows, the uninstaller, renvo-run and the tests each supply their
// own implementation (the tests script the answers).

#include <string>

namespace renvo {

enum class PromptIcon { None, Information, Warning, Error, Question };
enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class PromptAnswer { Ok, Cancel, Yes, No };

struct PromptMessage {
    std::string caption;
    std::string text;  // line breaks are CR LF, as the texts are written
    PromptIcon icon = PromptIcon::None;
    PromptButtons buttons = PromptButtons::Ok;
    PromptAnswer defaultButton = PromptAnswer::Ok;
    // The window the box belongs to (a QWidget* for the Qt prompt); null for none.
    const void* owner = nullptr;
    // A file the message concerns, shown beside the text where the box has room for it.
    std::string detail;
};

class Prompt {
public:
    virtual ~Prompt() = default;
    // Shows the box and waits for the answer. Escape or closing the box answers No on a
    // Yes/No box, Cancel where there is a Cancel button, and OK on an OK box.
    virtual PromptAnswer ask(const PromptMessage& message) = 0;

    // An OK box.
    void tell(const std::string& caption, const std::string& text, PromptIcon icon, const void* owner = nullptr)
    {
        ask({caption, text, icon, PromptButtons::Ok, PromptAnswer::Ok, owner, {}});
    }
};

}  // namespace renvo
