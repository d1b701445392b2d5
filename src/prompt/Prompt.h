#pragma once
// The one way the program asks or tells the user something: a modal message box with a
// caption, a text, an icon, buttons and a default button, answered by the button pressed; and
// the file and folder choosers, answered by a path or by nothing.
// No toolkit here: the Qt windows, the uninstaller, renvo-run and the tests each supply their
// own implementation (the tests script the answers).

#include <optional>
#include <string>
#include <vector>

namespace renvo {

enum class PromptIcon { None, Information, Warning, Error, Question };
// Buttons in the order the box shows them. YesNoAll is the toolkit's confirmation dialog with
// "すべて(&A)" after Yes and No.
enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel, YesNoAll };
enum class PromptAnswer { Ok, Cancel, Yes, No, All };

// Captions of the toolkit's message dialog, which is titled by its type.
inline constexpr char kWarningDialogCaption[] = "警告";
inline constexpr char kErrorDialogCaption[] = "エラー";
inline constexpr char kInformationDialogCaption[] = "情報";
inline constexpr char kConfirmationDialogCaption[] = "確認";

struct PromptMessage {
    std::string caption;
    std::string text;  // line breaks are CR LF, as the texts are written
    PromptIcon icon = PromptIcon::None;
    PromptButtons buttons = PromptButtons::Ok;
    // A default that is not one of the buttons stands for the first button, as a message box
    // without a named default behaves.
    PromptAnswer defaultButton = PromptAnswer::Ok;
    // The window the box belongs to (a QWidget* for the Qt prompt); null for none.
    const void* owner = nullptr;
    // A file the message concerns, shown beside the text where the box has room for it.
    // (Initialised here so that a box written without owner and detail needs neither.)
    std::string detail = {};
};

// Whether the box has a button giving this answer.
constexpr bool hasButton(PromptButtons buttons, PromptAnswer answer)
{
    switch (buttons) {
    case PromptButtons::Ok:
        return answer == PromptAnswer::Ok;
    case PromptButtons::OkCancel:
        return answer == PromptAnswer::Ok || answer == PromptAnswer::Cancel;
    case PromptButtons::YesNo:
        return answer == PromptAnswer::Yes || answer == PromptAnswer::No;
    case PromptButtons::YesNoCancel:
        return answer == PromptAnswer::Yes || answer == PromptAnswer::No || answer == PromptAnswer::Cancel;
    case PromptButtons::YesNoAll:
        return answer == PromptAnswer::Yes || answer == PromptAnswer::No || answer == PromptAnswer::All;
    }
    return false;
}

// What Escape or closing the box answers: Cancel where there is a Cancel button, else No where
// there is a No button, else OK.
constexpr PromptAnswer escapeAnswer(PromptButtons buttons)
{
    if (hasButton(buttons, PromptAnswer::Cancel))
        return PromptAnswer::Cancel;
    if (hasButton(buttons, PromptAnswer::No))
        return PromptAnswer::No;
    return PromptAnswer::Ok;
}

// The button that Enter presses when the box opens.
constexpr PromptAnswer defaultAnswer(const PromptMessage& message)
{
    if (hasButton(message.buttons, message.defaultButton))
        return message.defaultButton;
    return hasButton(message.buttons, PromptAnswer::Yes) ? PromptAnswer::Yes : PromptAnswer::Ok;
}

// A file chooser, for existing files unless mayBeNew. The filter is as the toolkit writes it,
// for example "すべてのファイル (*)"; empty for every file.
struct FileChoice {
    std::string caption;
    std::string folder;  // where the chooser starts; empty for the toolkit's choice
    std::string filter;
    const void* owner = nullptr;  // as in PromptMessage
    // A file that does not exist yet may be named (one the program is going to write).
    bool mayBeNew = false;
};

struct FolderChoice {
    std::string caption;
    std::string folder;
    const void* owner = nullptr;
    // A folder that does not exist yet may be named; the asker decides whether to create it.
    bool mayBeNew = false;
};

class Prompt {
public:
    virtual ~Prompt() = default;
    // Shows the box and waits for the answer, which is always one of the box's buttons.
    // Escape or closing the box answers escapeAnswer(message.buttons).
    virtual PromptAnswer ask(const PromptMessage& message) = 0;

    // An OK box.
    void tell(const std::string& caption, const std::string& text, PromptIcon icon, const void* owner = nullptr)
    {
        ask({caption, text, icon, PromptButtons::Ok, PromptAnswer::Ok, owner, {}});
    }

    // The chosen path (UTF-8, no trailing delimiter for a folder), or nullopt when cancelled or
    // nobody can be asked. A console host has no chooser and keeps these defaults.
    virtual std::optional<std::string> chooseFile(const FileChoice& /*choice*/) { return std::nullopt; }
    // Several files at once (the list editor adds every file chosen); never an empty list.
    virtual std::optional<std::vector<std::string>> chooseFiles(const FileChoice& /*choice*/)
    {
        return std::nullopt;
    }
    virtual std::optional<std::string> chooseFolder(const FolderChoice& /*choice*/) { return std::nullopt; }
};

}  // namespace renvo
