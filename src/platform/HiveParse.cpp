// Reading the REGEDIT4 text of a hive file. Strict on purpose: anything that is not exactly
// what we would write (or a hand edit in the same form) is refused, so a damaged file is
// kept aside instead of being half read and then overwritten.

#include "platform/Hive.h"

#include "platform/Ascii.h"
#include "platform/Bytes.h"

#include <cstdint>

namespace renvo {

namespace {

constexpr std::string_view kRootName = "HKEY_CURRENT_USER";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimLeft(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    return s.substr(i);
}

std::string_view trimRight(std::string_view s)
{
    size_t n = s.size();
    while (n > 0 && isBlank(s[n - 1]))
        --n;
    return s.substr(0, n);
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Up to maxDigits hex digits, at least one, nothing else.
bool parseHexNumber(std::string_view s, size_t maxDigits, uint32_t& out)
{
    if (s.empty() || s.size() > maxDigits)
        return false;
    uint32_t v = 0;
    for (char c : s) {
        int d = hexDigit(c);
        if (d < 0)
            return false;
        v = v << 4 | uint32_t(d);
    }
    out = v;
    return true;
}

// A quoted text starting at s[pos] == '"' with the escapes \\ and \". Leaves pos after the
// closing quote.
bool parseQuoted(std::string_view s, size_t& pos, std::string& out)
{
    out.clear();
    if (pos >= s.size() || s[pos] != '"')
        return false;
    for (size_t i = pos + 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"'))
                return false;
            c = s[++i];
        }
        out += c;
    }
    return false;  // no closing quote
}

bool parseHexList(std::string_view s, std::vector<uint8_t>& out)
{
    out.clear();
    s = trimRight(trimLeft(s));
    if (s.empty())
        return true;
    size_t start = 0;
    for (;;) {
        size_t comma = s.find(',', start);
        std::string_view item =
            trimRight(trimLeft(s.substr(start, comma == std::string_view::npos ? comma : comma - start)));
        uint32_t byte = 0;
        if (!parseHexNumber(item, 2, byte))
            return false;
        out.push_back(uint8_t(byte));
        if (comma == std::string_view::npos)
            return true;
        start = comma + 1;
    }
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::optional<Hive> run(std::string* why)
    {
        if (!parseAll()) {
            if (why)
                *why = "line " + std::to_string(lineNo_) + ": " + error_;
            return std::nullopt;
        }
        return std::move(hive_);
    }

private:
    bool fail(const char* what)
    {
        error_ = what;
        return false;
    }

    // The next line without its LF (and a CR before it). False at the end of the text.
    bool nextLine(std::string_view& line)
    {
        if (pos_ >= text_.size())
            return false;
        size_t lf = text_.find('\n', pos_);
        // The caller has made sure the text ends with LF.
        line = text_.substr(pos_, lf - pos_);
        pos_ = lf + 1;
        ++lineNo_;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        return true;
    }

    bool parseAll()
    {
        if (text_.find('\0') != std::string_view::npos)
            return fail("binary data");
        if (text_.substr(0, 3) == "\xEF\xBB\xBF")
            pos_ = 3;
        if (text_.empty() || text_.back() != '\n')
            return fail("the file ends in the middle of a line");
        std::string_view line;
        if (!nextLine(line) || trimRight(line) != "REGEDIT4")
            return fail("no REGEDIT4 header");
        while (nextLine(line)) {
            std::string_view s = trimLeft(line);
            if (s.empty() || s[0] == ';')
                continue;
            bool ok = s[0] == '[' ? parseSection(trimRight(s)) : parseValue(s);
            if (!ok)
                return false;
        }
        return true;
    }

    bool parseSection(std::string_view s)
    {
        if (s.size() < 2 || s.back() != ']')
            return fail("unclosed section name");
        std::string_view path = s.substr(1, s.size() - 2);
        if (path.size() < kRootName.size() || !sameTextIgnoreCase(path.substr(0, kRootName.size()), kRootName))
            return fail("a section outside HKEY_CURRENT_USER");
        path.remove_prefix(kRootName.size());
        if (!path.empty()) {
            if (path[0] != '\\')
                return fail("a section outside HKEY_CURRENT_USER");
            path.remove_prefix(1);
        }
        std::vector<std::string> names;
        if (!Hive::splitKeyPath(path, names))
            return fail("bad key name");
        current_ = hive_.create(names);
        return true;
    }

    bool parseValue(std::string_view s)
    {
        if (!current_)
            return fail("a value before the first section");
        std::string name;
        size_t pos = 0;
        if (s[0] == '@') {
            pos = 1;
        } else if (!parseQuoted(s, pos, name)) {
            return fail("bad value name");
        }
        std::string_view rest = trimLeft(s.substr(pos));
        if (rest.empty() || rest[0] != '=')
            return fail("no '=' after the value name");
        rest = trimLeft(rest.substr(1));

        RegValue value;
        if (!rest.empty() && rest[0] == '"') {
            std::string str;
            pos = 0;
            if (!parseQuoted(rest, pos, str) || !trimLeft(rest.substr(pos)).empty())
                return fail("bad text value");
            value.type = REG_SZ;
            value.data.assign(str.begin(), str.end());
            value.data.push_back(0);
        } else if (rest.substr(0, 6) == "dword:") {
            uint32_t d = 0;
            std::string_view digits = trimRight(rest.substr(6));
            if (digits.size() != 8 || !parseHexNumber(digits, 8, d))
                return fail("bad dword value");
            value.type = REG_DWORD;
            value.data.resize(4);
            encodeDwordLE(d, value.data.data());
        } else if (rest.substr(0, 3) == "hex") {
            if (!parseHexValue(rest.substr(3), value))
                return false;
        } else {
            return fail("unknown value form");
        }
        hive_.setValue(*current_, name, std::move(value));
        return true;
    }

    // After "hex": ":" or "(N):", then the byte list, continued over lines ending in "\".
    bool parseHexValue(std::string_view s, RegValue& value)
    {
        value.type = REG_BINARY;
        if (!s.empty() && s[0] == '(') {
            size_t close = s.find(')');
            if (close == std::string_view::npos || !parseHexNumber(s.substr(1, close - 1), 8, value.type))
                return fail("bad hex(N) type");
            s.remove_prefix(close + 1);
        }
        if (s.empty() || s[0] != ':')
            return fail("bad hex value");
        s.remove_prefix(1);

        std::string list;
        std::string_view part = trimRight(s);
        std::string_view line;
        while (!part.empty() && part.back() == '\\') {
            part.remove_suffix(1);
            list += part;
            if (!nextLine(line))
                return fail("the file ends inside a continued hex list");
            part = trimRight(line);
        }
        list += part;
        if (!parseHexList(list, value.data))
            return fail("bad hex byte");
        return true;
    }

    std::string_view text_;
    size_t pos_ = 0;
    size_t lineNo_ = 0;
    std::string error_;
    Hive hive_;
    std::optional<Hive::KeyId> current_;
};

}  // namespace

std::optional<Hive> Hive::parse(std::string_view text, std::string* why)
{
    return Parser(text).run(why);
}

}  // namespace renvo
