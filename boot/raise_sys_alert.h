// Raising a host system alert through the kernel-info tree.
#pragma once

#include <string>

namespace TarnConfigStore {

// Raises one system alert with the text, first cutting the text to 2048
// characters in place when it is longer. Failures of the kernel-info calls
// are logged and the alert is lost; nothing is thrown for them.
void RaiseSysAlert(std::string& text);

} // namespace TarnConfigStore
