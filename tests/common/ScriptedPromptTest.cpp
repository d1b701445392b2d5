// The test prompt's choosers: the answers come in the order scripted, every request is kept,
// and a chooser nobody expected or an answer never asked for fails the test that made it.

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "common/ScriptedPrompt.h"

using namespace renvo;
using renvo::test::ChooserKind;
using renvo::test::ScriptedPrompt;

namespace {

TEST(ScriptedPromptChoosers, AnswersInOrderAndKeepsEveryRequest)
{
    ScriptedPrompt prompt;
    prompt.expectFile("/home/me/list.txt")
        .expectFiles(std::vector<std::string>{"/a/1", "/a/2"})
        .expectFolder(std::nullopt)
        .expectFolder("/mnt/ミラー");
    int owner = 0;
    EXPECT_EQ(prompt.chooseFile({"開く", "/home/me", "すべてのファイル (*)", &owner}),
              std::optional<std::string>("/home/me/list.txt"));
    // A box between two choosers answers from its own queue.
    prompt.expect("確認", PromptAnswer::Yes);
    EXPECT_EQ(prompt.ask({"確認", "?", PromptIcon::Question, PromptButtons::YesNo, PromptAnswer::No, nullptr, {}}),
              PromptAnswer::Yes);
    EXPECT_EQ(prompt.chooseFiles({"追加", "/a", "", nullptr}), (std::vector<std::string>{"/a/1", "/a/2"}));
    EXPECT_EQ(prompt.chooseFolder({"参照", "/mnt", nullptr}), std::nullopt);
    EXPECT_EQ(prompt.chooseFolder({"参照", "", nullptr}), std::optional<std::string>("/mnt/ミラー"));
    prompt.expectAllAnswered();

    ASSERT_EQ(prompt.choosers.size(), 4u);
    EXPECT_EQ(prompt.choosers[0].kind, ChooserKind::File);
    EXPECT_EQ(prompt.choosers[0].caption, "開く");
    EXPECT_EQ(prompt.choosers[0].folder, "/home/me");
    EXPECT_EQ(prompt.choosers[0].filter, "すべてのファイル (*)");
    EXPECT_EQ(prompt.choosers[1].kind, ChooserKind::Files);
    EXPECT_EQ(prompt.choosers[2].kind, ChooserKind::Folder);
    EXPECT_EQ(prompt.choosers[2].folder, "/mnt");
    EXPECT_EQ(prompt.choosers[3].folder, "");
    EXPECT_EQ(prompt.captions(), std::vector<std::string>{"確認"});
}

TEST(ScriptedPromptChoosers, UnexpectedChooserFailsAndIsCancelled)
{
    ScriptedPrompt prompt;
    std::optional<std::string> file = "unset";
    EXPECT_NONFATAL_FAILURE(file = prompt.chooseFile({"開く", "/srv", "", nullptr}),
                            "unexpected file chooser \"開く\" in \"/srv\"");
    EXPECT_EQ(file, std::nullopt);
    std::optional<std::vector<std::string>> files;
    EXPECT_NONFATAL_FAILURE(files = prompt.chooseFiles({"追加", "", "", nullptr}), "unexpected files chooser");
    EXPECT_EQ(files, std::nullopt);
    EXPECT_NONFATAL_FAILURE(prompt.chooseFolder({"参照", "", nullptr}), "unexpected folder chooser");
    EXPECT_EQ(prompt.choosers.size(), 3u);
}

TEST(ScriptedPromptChoosers, ChooserOfAnotherKindFailsAndUsesUpTheAnswer)
{
    ScriptedPrompt prompt;
    prompt.expectFolder("/mnt/backup").expectFile("/x");
    std::optional<std::string> file = "unset";
    EXPECT_NONFATAL_FAILURE(file = prompt.chooseFile({"開く", "", "", nullptr}),
                            "expected a folder chooser, got a file chooser \"開く\"");
    EXPECT_EQ(file, std::nullopt);
    // The next answer is the one after the mismatch.
    EXPECT_EQ(prompt.chooseFile({"開く", "", "", nullptr}), std::optional<std::string>("/x"));
}

TEST(ScriptedPromptChoosers, AnswersNeverAskedFail)
{
    ScriptedPrompt prompt;
    prompt.expectFolder("/mnt").expectFiles(std::nullopt);
    ::testing::TestPartResultArray failures;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
        prompt.expectAllAnswered();
        // It drops what it reported: a second call finds nothing.
        prompt.expectAllAnswered();
    }
    ASSERT_EQ(failures.size(), 2);
    EXPECT_STREQ(failures.GetTestPartResult(0).message(),
                 "Failed\nfolder chooser never asked, to be answered { \"/mnt\" }");
    EXPECT_STREQ(failures.GetTestPartResult(1).message(), "Failed\nfiles chooser never asked, to be cancelled");

    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPrompt leftOver;
            leftOver.expectFiles(std::nullopt);
        },
        "files chooser never asked, to be cancelled");
}

TEST(ScriptedPromptChoosers, EmptyListIsNoAnswer)
{
    ScriptedPrompt prompt;
    EXPECT_NONFATAL_FAILURE(prompt.expectFiles(std::vector<std::string>{}), "never answers an empty list");
    // What the faulty script gives is still no answer, as a cancelled chooser.
    EXPECT_EQ(prompt.chooseFiles({"追加", "", "", nullptr}), std::nullopt);
}

}  // namespace
