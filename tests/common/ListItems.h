#pragma once
// Mirror items as the tests build them: always running, a file item with "-" as its masks.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/ItemList.h"
#include "engine/ListFile.h"

namespace renvo::test {

inline MirrorItem fileItem(const std::string& address, const std::string& dest = "")
{
    MirrorItem item;
    item.kind = 1;
    item.address = address;
    item.masks = "-";
    item.dest = dest;
    return item;
}

// Option 0 inherits the folder option of the settings.
inline MirrorItem folderItem(const std::string& address, const std::string& dest = "", uint8_t option = 0,
                             const std::string& masks = "*.*", bool subfolders = true)
{
    MirrorItem item;
    item.kind = 0;
    item.address = address;
    item.dest = dest;
    item.folderOption = option;
    item.masks = masks;
    item.subfolders = subfolders ? 1 : 0;
    return item;
}

// The addresses of a list's rows, in order.
inline std::vector<std::string> addresses(const ItemList& list)
{
    std::vector<std::string> out;
    for (const MirrorItem& item : list.items())
        out.push_back(item.address);
    return out;
}

}  // namespace renvo::test
