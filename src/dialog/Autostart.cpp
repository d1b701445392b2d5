#include "dialog/Autostart.h"

#include "platform/FileSys.h"
#include "platform/Path.h"
#include "platform/Program.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace renvo {

namespace {

constexpr char kEntryName[] = "Renvo3.desktop";

// A string value of a desktop entry: the escapes \s \n \t \r \\.
std::string escapeValue(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        switch (const char c = text[i]) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        // A leading blank would be taken for padding around the "=".
        case ' ': out += i == 0 ? "\\s" : " "; break;
        default: out += c;
        }
    }
    return out;
}

// One argument of the Exec key, before the string escapes: quoted when it holds a reserved
// character, with " ` $ \ escaped inside the quotes; "%" doubled, since a lone one starts a
// field code.
std::string execArgument(std::string_view arg)
{
    constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    const bool quote = arg.empty() || arg.find_first_of(reserved) != std::string_view::npos;
    std::string out;
    if (quote)
        out += '"';
    for (const char c : arg) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            out += '\\';
        out += c;
        if (c == '%')
            out += '%';
    }
    if (quote)
        out += '"';
    return out;
}

}  // namespace

std::string autostartEntryPath()
{
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        config = xdg;
    else
        config = joinPath(homeFolder(), ".config");
    return joinPath(joinPath(excludeTrailingDelimiter(config), "autostart"), kEntryName);
}

std::string autostartEntry(const std::string& exePath)
{
    std::string entry = "[Desktop Entry]\n";
    entry += "Type=Application\n";
    entry += "Name=" + escapeValue(extractFileName(exePath)) + "\n";
    entry += "Exec=" + escapeValue(execArgument(exePath)) + "\n";
    entry += "Path=" + escapeValue(extractFileDir(exePath)) + "\n";
    entry += "X-GNOME-Autostart-enabled=true\n";
    return entry;
}

int registerAutostart(const std::string& exePath)
{
    const std::string path = autostartEntryPath();
    if (const Status made = forceDirectories(extractFileDir(path)); !made)
        return made.error();
    return writeFileAtomic(path, autostartEntry(exePath)).error();
}

int removeAutostart()
{
    const std::string path = autostartEntryPath();
    if (!pathExists(path))
        return 0;
    return deleteFile(path).error();
}

}  // namespace renvo
