#include "platform/CanonicalPath.h"

#include <filesystem>
#include <system_error>

namespace renvo {

std::string canonicalPath(const std::string& path)
{
    if (path.empty())
        return {};
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    if (ec)
        p = path;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(p, ec);
    if (ec)
        canonical = p.lexically_normal();
    std::string out = canonical.string();
    // weakly_canonical keeps a trailing delimiter of a part that does not exist.
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}

bool isSameOrInside(const std::string& inner, const std::string& outer)
{
    if (outer.empty() || inner.size() < outer.size() || inner.compare(0, outer.size(), outer) != 0)
        return false;
    return inner.size() == outer.size() || outer.back() == '/' || inner[outer.size()] == '/';
}

}  // namespace renvo
