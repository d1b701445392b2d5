#pragma once
// Where the program keeps its own files, and small process-level services.

#include <string>

namespace renvo {

// The folder of the running executable, with a trailing delimiter. RENVO_HOME, when set and
// not empty, names it instead.
std::string programFolder();

// Runs the calling thread at the priority of a TaskPriority value: 0 highest .. 4 lowest,
// 5 idle; other values leave it alone. A priority the user may not raise to is left as is.
void applyTaskPriority(int taskPriority);

}  // namespace renvo
