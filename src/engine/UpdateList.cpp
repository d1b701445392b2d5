#include "engine/UpdateList.h"

#include "engine/EFOpenError.h"
#include "engine/ItemChecks.h"
#include "platform/FileSys.h"

#include <cerrno>
#include <string_view>

namespace renvo {

void UpdateList::load(const std::string& path)
{
    if (!pathExists(path))
        return;
    std::string data;
    if (const int err = readWholeFile(path, data); err != 0)
        throw EFOpenError{path, err};
    std::string_view rest(data);
    while (!rest.empty()) {
        const size_t nl = rest.find('\n');
        std::string_view line = rest.substr(0, nl);
        rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        // A line that is no relative path below Latest ("..", an empty part, a leading
        // delimiter, a NUL) was written by no run: the history step would copy through it
        // out of the generation.
        if (!line.empty() && checkDestination(line) == ItemProblem::None)
            paths_.emplace_hint(paths_.end(), line);  // a saved list is sorted: each goes last
    }
    saved_ = text() == data;
}

std::string UpdateList::text() const
{
    std::string data;
    for (const std::string& p : paths_) {
        data += p;
        data += "\r\n";
    }
    return data;
}

int UpdateList::save(const std::string& path) const
{
    return writeFileAtomic(path, text());
}

}  // namespace renvo
