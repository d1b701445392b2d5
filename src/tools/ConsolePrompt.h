#pragma once
// renvo-run's prompt: every box is printed, never asked, and answered by its default button,
// so a run from cron or a script never waits for a key.

#include <cstdio>
#include <string>

#include "prompt/Prompt.h"

namespace renvo {

// Prints a message text with its "\r\n" breaks as plain line ends.
void printMessage(std::FILE* out, const std::string& caption, const std::string& text);

class ConsolePrompt : public Prompt {
public:
    explicit ConsolePrompt(std::FILE* out) : out_(out) {}
    // Caption, text and "(detail)" when there is one.
    PromptAnswer ask(const PromptMessage& message) override;

private:
    std::FILE* out_;
};

}  // namespace renvo
