#include "ConsolePrompt.h"

namespace renvo {

void printMessage(std::FILE* out, const std::string& caption, const std::string& text)
{
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        plain.push_back(text[i]);
    }
    std::fprintf(out, "%s\n%s\n", caption.c_str(), plain.c_str());
    std::fflush(out);
}

PromptAnswer ConsolePrompt::ask(const PromptMessage& message)
{
    printMessage(out_, message.caption, message.text);
    if (!message.detail.empty()) {
        std::fprintf(out_, "(%s)\n", message.detail.c_str());
        std::fflush(out_);
    }
    return defaultAnswer(message);
}

}  // namespace renvo
