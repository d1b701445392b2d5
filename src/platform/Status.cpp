#include "platform/Status.h"

#include <cstring>

namespace renvo {

std::string errorText(int err)
{
    if (err == kChangedWhileCopying)
        return "複製中にファイルが変更されました";
    if (err == kLinkInTheWay)
        return "シンボリックリンクがあるため，その先には書き込みません";
    char buf[256];
    const char* text = ::strerror_r(err, buf, sizeof buf);
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\n' || s.back() == '.'))
        s.pop_back();
    return s;
}

std::string Status::message() const
{
    if (ok())
        return {};
    return path_.empty() ? errorText(error_) : path_ + ": " + errorText(error_);
}

}  // namespace renvo
