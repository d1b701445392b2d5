#pragma once
// The prompt as Qt message boxes, laid out as on the Japanese system, and the one conversion
// between the engine's texts and Qt's.

#include <QString>

#include <string>

#include "prompt/Prompt.h"

namespace renvo {

// Engine texts are UTF-8 with CR LF line breaks; Qt widgets break lines at LF.
QString fromEngineText(const std::string& text);
// The reverse: every line break becomes CR LF. A text without breaks (a path, a name) keeps
// its characters as they are.
std::string toEngineText(const QString& text);
// A text as the sources write it (UTF-8), for a widget.
inline QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

// One modal QMessageBox per ask(), one modal QFileDialog per chooser (Qt's own, never the
// desktop's). The owner, when set, is the window's parent QWidget; the detail is the box's
// informative text.
class QtPrompt : public Prompt {
public:
    PromptAnswer ask(const PromptMessage& message) override;
    std::optional<std::string> chooseFile(const FileChoice& choice) override;
    std::optional<std::vector<std::string>> chooseFiles(const FileChoice& choice) override;
    std::optional<std::string> chooseFolder(const FolderChoice& choice) override;
};

}  // namespace renvo
