#pragma once
// The prompt of the tests: a queue of the boxes a test expects, each with its answer and,
// where it matters, its caption. Every box asked is kept whole, so a test asserts what was
// shown; a box nobody expected fails the test and gets the answer Escape would give.

#include "prompt/Prompt.h"

#include <deque>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace renvo {

// Names in failure messages instead of numbers (found by GoogleTest through the namespace).
void PrintTo(PromptIcon icon, std::ostream* os);
void PrintTo(PromptButtons buttons, std::ostream* os);
void PrintTo(PromptAnswer answer, std::ostream* os);

}  // namespace renvo

namespace renvo::test {

struct ExpectedBox {
    ExpectedBox(PromptAnswer answer) : answer(answer) {}  // any caption
    ExpectedBox(std::string caption, PromptAnswer answer) : answer(answer), caption(std::move(caption)) {}

    PromptAnswer answer;
    std::optional<std::string> caption;
};

class ScriptedPrompt : public Prompt {
public:
    ScriptedPrompt() = default;
    ScriptedPrompt(std::initializer_list<ExpectedBox> script) : script_(script) {}
    ScriptedPrompt(const ScriptedPrompt&) = delete;
    ScriptedPrompt& operator=(const ScriptedPrompt&) = delete;
    ~ScriptedPrompt() override;

    // Appends to the queue.
    ScriptedPrompt& expect(PromptAnswer answer);
    ScriptedPrompt& expect(std::string caption, PromptAnswer answer);

    PromptAnswer ask(const PromptMessage& message) override;

    // Fails the test for every expected box that was not asked, and drops them.
    void expectAllAnswered();
    std::vector<std::string> captions() const;

    std::vector<PromptMessage> asked;

private:
    std::deque<ExpectedBox> script_;
};

}  // namespace renvo::test
