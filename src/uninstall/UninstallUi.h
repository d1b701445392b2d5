#pragma once
// The one thing the uninstaller shows: a modal message box. Kept abstract so the steps run
// without a toolkit (tests script the answers).

#include <string>

namespace renvo {

enum class MsgIcon { Question, Information };
enum class MsgButtons { YesNo, Ok };
enum class MsgAnswer { Yes, No, Ok };

struct UninstallMessage {
    std::string caption;
    std::string text;  // line breaks are CR LF, as the texts are written
    MsgIcon icon;
    MsgButtons buttons;
    MsgAnswer defaultButton;
};

class UninstallUi {
public:
    virtual ~UninstallUi() = default;
    // Shows the box and waits for the answer. Escape on a Yes/No box answers No.
    virtual MsgAnswer showMessage(const UninstallMessage& message) = 0;
};

}  // namespace renvo
