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

void PrintTo(ChooserKind kind, std::ostream* os)
{
    static const char* const names[] = {"file chooser", "files chooser", "folder chooser"};
    *os << names[static_cast<int>(kind)];
}

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

ScriptedPrompt& ScriptedPrompt::expectFile(std::optional<std::string> path)
{
    choices_.push_back({ChooserKind::File, path ? std::optional(std::vector{*path}) : std::nullopt});
    return *this;
}

ScriptedPrompt& ScriptedPrompt::expectFiles(std::optional<std::vector<std::string>> paths)
{
    // A chooser answers with at least one file or is cancelled.
    if (paths && paths->empty())
        ADD_FAILURE() << "a files chooser never answers an empty list; script std::nullopt to cancel";
    choices_.push_back({ChooserKind::Files, std::move(paths)});
    return *this;
}

ScriptedPrompt& ScriptedPrompt::expectFolder(std::optional<std::string> path)
{
    choices_.push_back({ChooserKind::Folder, path ? std::optional(std::vector{*path}) : std::nullopt});
    return *this;
}

std::optional<std::vector<std::string>> ScriptedPrompt::choose(ChooserRequest request)
{
    choosers.push_back(request);
    if (choices_.empty()) {
        ADD_FAILURE() << "unexpected " << ::testing::PrintToString(request.kind) << " \"" << request.caption
                      << "\" in \"" << request.folder << "\"";
        return std::nullopt;
    }
    ExpectedChoice next = std::move(choices_.front());
    choices_.pop_front();
    if (next.kind != request.kind) {
        ADD_FAILURE() << "expected a " << ::testing::PrintToString(next.kind) << ", got a "
                      << ::testing::PrintToString(request.kind) << " \"" << request.caption << "\"";
        return std::nullopt;
    }
    return next.paths;
}

std::optional<std::string> ScriptedPrompt::chooseFile(const FileChoice& choice)
{
    const auto paths = choose({ChooserKind::File, choice.caption, choice.folder, choice.filter, choice.mayBeNew});
    return paths ? std::optional(paths->front()) : std::nullopt;
}

std::optional<std::vector<std::string>> ScriptedPrompt::chooseFiles(const FileChoice& choice)
{
    auto paths = choose({ChooserKind::Files, choice.caption, choice.folder, choice.filter, choice.mayBeNew});
    if (paths && paths->empty())
        return std::nullopt;
    return paths;
}

std::optional<std::string> ScriptedPrompt::chooseFolder(const FolderChoice& choice)
{
    const auto paths = choose({ChooserKind::Folder, choice.caption, choice.folder, {}, choice.mayBeNew});
    return paths ? std::optional(paths->front()) : std::nullopt;
}

void ScriptedPrompt::expectAllAnswered()
{
    for (const ExpectedBox& left : script_)
        ADD_FAILURE() << "box never asked: " << (left.caption ? "\"" + *left.caption + "\"" : "(any caption)")
                      << ", to be answered " << ::testing::PrintToString(left.answer);
    script_.clear();
    for (const ExpectedChoice& left : choices_)
        ADD_FAILURE() << ::testing::PrintToString(left.kind) << " never asked, to be "
                      << (left.paths ? "answered " + ::testing::PrintToString(*left.paths) : std::string("cancelled"));
    choices_.clear();
}

std::vector<std::string> ScriptedPrompt::captions() const
{
    std::vector<std::string> c;
    for (const PromptMessage& m : asked)
        c.push_back(m.caption);
    return c;
}

}  // namespace renvo::test
