#include "common/ScriptedPrompt.h"

#include <gtest/gtest.h>

namespace renvo {

void PrintTo(PromptIcon icon, std::ostream* os)
{
    static const char* const names[] = {"None", "Information", "Warning", "Error", "Question"};
    *os << "PromptIcon::" << names[static_cast<int>(icon)];
}

void PrintTo(PromptButtons buttons, std::ostream* os)
{
    static const char* const names[] = {"Ok", "OkCancel", "YesNo", "YesNoCancel", "YesNoAll"};
    *os << "PromptButtons::" << names[static_cast<int>(buttons)];
}

void PrintTo(PromptAnswer answer, std::ostream* os)
{
    static const char* const names[] = {"Ok", "Cancel", "Yes", "No", "All"};
    *os << "PromptAnswer::" << names[static_cast<int>(answer)];
}

}  // namespace renvo

namespace renvo::test {

ScriptedPrompt::~ScriptedPrompt()
{
    expectAllAnswered();
}

ScriptedPrompt& ScriptedPrompt::expect(PromptAnswer answer)
{
    script_.emplace_back(answer);
    return *this;
}

ScriptedPrompt& ScriptedPrompt::expect(std::string caption, PromptAnswer answer)
{
    script_.emplace_back(std::move(caption), answer);
    return *this;
}

PromptAnswer ScriptedPrompt::ask(const PromptMessage& message)
{
    asked.push_back(message);
    const PromptAnswer escape = escapeAnswer(message.buttons);
    if (script_.empty()) {
        ADD_FAILURE() << "unexpected box \"" << message.caption << "\": " << message.text;
        return escape;
    }
    const ExpectedBox next = script_.front();
    script_.pop_front();
    if (next.caption && *next.caption != message.caption) {
        ADD_FAILURE() << "expected box \"" << *next.caption << "\", got \"" << message.caption
                      << "\": " << message.text;
        return escape;
    }
    // A script answering with a button the box does not have is a fault of the test.
    if (!hasButton(message.buttons, next.answer)) {
        ADD_FAILURE() << "box \"" << message.caption << "\" (" << ::testing::PrintToString(message.buttons)
                      << ") has no button for " << ::testing::PrintToString(next.answer);
        return escape;
    }
    return next.answer;
}

void ScriptedPrompt::expectAllAnswered()
{
    for (const ExpectedBox& left : script_)
        ADD_FAILURE() << "box never asked: " << (left.caption ? "\"" + *left.caption + "\"" : "(any caption)")
                      << ", to be answered " << ::testing::PrintToString(left.answer);
    script_.clear();
}

std::vector<std::string> ScriptedPrompt::captions() const
{
    std::vector<std::string> c;
    for (const PromptMessage& m : asked)
        c.push_back(m.caption);
    return c;
}

}  // namespace renvo::test
