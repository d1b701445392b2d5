#pragma once
// How a failure of the platform travels: the error number and the path it concerns. The
// error is an errno or one of the few codes below; 0 means success.

#include <string>

namespace renvo {

// Not errnos: the source changed while it was copied; a symbolic link stands where a copy
// below a chosen folder would write.
constexpr int kChangedWhileCopying = 0x10000;
constexpr int kLinkInTheWay = 0x10001;

// The system's text for an error number, without trailing blanks, line breaks and full stops;
// the codes above have their own.
std::string errorText(int err);

class [[nodiscard]] Status {
public:
    Status() = default;
    Status(int error, const std::string& path) : error_(error), path_(error != 0 ? path : std::string()) {}

    bool ok() const { return error_ == 0; }
    explicit operator bool() const { return ok(); }
    int error() const { return error_; }
    const std::string& path() const { return path_; }
    // "<path>: <reason>", the reason alone without a path; empty when nothing failed.
    std::string message() const;

private:
    int error_ = 0;
    std::string path_;
};

}  // namespace renvo
