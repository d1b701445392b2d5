// The update list `_update` as users and crashes leave it: any bytes. What it loads are
// relative paths below Latest only; they save as sorted CR LF lines, no two equal by the
// file-name rule, and that text loads as the same list.

#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "engine/ItemChecks.h"
#include "engine/UpdateList.h"
#include "platform/FileNames.h"
#include "platform/Path.h"

using namespace renvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& dir = fuzz::scratchFolder("fuzz_updatelist");
    const std::string path = dir + "/" + kUpdateFileName;
    const std::string saved = dir + "/saved";
    const std::string input(reinterpret_cast<const char*>(data), size);
    fuzz::putFile(path, data, size);

    UpdateList list;
    list.load(path);
    FUZZ_CHECK(list.save(saved) == 0);
    const std::string text = fuzz::getFile(saved);
    // Saved as it was exactly when the file held that text already.
    FUZZ_CHECK(list.needsSave() == (text != input));

    std::vector<std::string> lines;
    std::string_view rest(text);
    while (!rest.empty()) {
        const size_t lf = rest.find('\n');
        FUZZ_CHECK(lf != std::string_view::npos);  // every line ends
        FUZZ_CHECK(lf >= 2 && rest[lf - 1] == '\r');  // in CR LF, after a text
        lines.emplace_back(rest.substr(0, lf - 1));
        rest.remove_prefix(lf + 1);
    }
    FUZZ_CHECK(lines.size() == list.size());
    for (size_t i = 1; i < lines.size(); ++i)
        FUZZ_CHECK(pathLess(lines[i - 1], lines[i]));  // sorted, so no two are equal
    size_t i = 0;
    for (const std::string_view p : list.paths()) {
        FUZZ_CHECK(p == lines[i++]);
        FUZZ_CHECK(checkDestination(p) == ItemProblem::None);  // no way out of Latest or History1
    }

    UpdateList again;
    again.load(saved);
    FUZZ_CHECK(!again.needsSave());
    const auto pathsOf = [](const UpdateList& l) { return std::vector<std::string>(l.paths().begin(), l.paths().end()); };
    FUZZ_CHECK(pathsOf(again) == pathsOf(list));
    return 0;
}
