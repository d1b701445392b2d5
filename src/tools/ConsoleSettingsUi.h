#pragma once
// The settings messages of renvo-run: printed on standard error, never asked as questions.

#include <cstdio>

#include "settings/SettingsUi.h"

namespace renvo {

// Prints a message text with its "\r\n" breaks as plain line ends.
void printMessage(std::FILE* out, const std::string& caption, const std::string& text);

class ConsoleSettingsUi : public SettingsUi {
public:
    explicit ConsoleSettingsUi(std::FILE* out) : out_(out) {}
    void firstRunMessage(const std::string& caption, const std::string& text) override { printMessage(out_, caption, text); }
    void rlfWarning(const std::string& caption, const std::string& text) override { printMessage(out_, caption, text); }
    void errorMessage(const std::string& text) override { printMessage(out_, "エラー", text); }
    void hiveKeptAside(const std::string& caption, const std::string& text) override { printMessage(out_, caption, text); }

private:
    std::FILE* out_;
};

}  // namespace renvo
