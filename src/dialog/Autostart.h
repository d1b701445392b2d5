#pragma once
// The program's entry in the desktop's autostart folder: the Linux counterpart of a shortcut
// in the Startup folder. Plain C++, so it is tested without a window.

#include <string>

namespace renvo {

// ${XDG_CONFIG_HOME:-$HOME/.config}/autostart/Renvo3.desktop (a relative XDG_CONFIG_HOME is
// ignored, as the XDG rules say).
std::string autostartEntryPath();

// The desktop entry that starts exePath: its file name as Name, its folder as Path.
std::string autostartEntry(const std::string& exePath);

// Writes the entry atomically, creating the autostart folder; an existing one is replaced.
// 0 or the errno of the failure.
int registerAutostart(const std::string& exePath);

// Deletes the entry when it exists. 0 (also when there was none) or the errno.
int removeAutostart();

}  // namespace renvo
