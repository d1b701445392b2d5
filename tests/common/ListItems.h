#pragma once
// Mirror items as the list editor's tests build them: always running, inheriting the folder
// option, a file item with "-" as its masks.

#include <string>

#include "engine/ListFile.h"

namespace renvo::test {

inline MirrorItem fileItem(const std::string& address, const std::string& dest)
{
    MirrorItem item;
    item.kind = 1;
    item.address = address;
    item.masks = "-";
    item.dest = dest;
    return item;
}

inline MirrorItem folderItem(const std::string& address, const std::string& dest, const std::string& masks = "*.*",
                             bool subfolders = true)
{
    MirrorItem item;
    item.kind = 0;
    item.address = address;
    item.subfolders = subfolders ? 1 : 0;
    item.masks = masks;
    item.dest = dest;
    return item;
}

}  // namespace renvo::test
