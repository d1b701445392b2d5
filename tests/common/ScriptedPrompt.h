#pragma once
// The prompt of the tests: a queue of the boxes a test expects, each with its answer and,
// where it matters, its caption. Every box asked is kept whole, so a test asserts what was
// shown; a box nobody expected fails the test and gets the answer Escape would give.
// The file and folder choosers have a queue of their own, in the order they are to be asked
// (apart from the boxes): a chooser nobody expected, or of another kind than the next one
// expected, fails the test and is cancelled.

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

enum class ChooserKind { File, Files, Folder };
void PrintTo(ChooserKind kind, std::ostream* os);

// What a chooser was asked with.
struct ChooserRequest {
    ChooserKind kind;
    std::string caption;
    std::string folder;
    std::string filter;  // empty for a folder chooser
    bool mayBeNew = false;
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

    // The chooser's answer; std::nullopt is the user cancelling it.
    ScriptedPrompt& expectFile(std::optional<std::string> path);
    ScriptedPrompt& expectFiles(std::optional<std::vector<std::string>> paths);
    ScriptedPrompt& expectFolder(std::optional<std::string> path);

    PromptAnswer ask(const PromptMessage& message) override;
    std::optional<std::string> chooseFile(const FileChoice& choice) override;
    std::optional<std::vector<std::string>> chooseFiles(const FileChoice& choice) override;
    std::optional<std::string> chooseFolder(const FolderChoice& choice) override;

    // Fails the test for every expected box or chooser that was not asked, and drops them.
    void expectAllAnswered();
    std::vector<std::string> captions() const;

    std::vector<PromptMessage> asked;
    std::vector<ChooserRequest> choosers;

private:
    struct ExpectedChoice {
        ChooserKind kind;
        std::optional<std::vector<std::string>> paths;
    };
    std::optional<std::vector<std::string>> choose(ChooserRequest request);

    std::deque<ExpectedBox> script_;
    std::deque<ExpectedChoice> choices_;
};

}  // namespace renvo::test
