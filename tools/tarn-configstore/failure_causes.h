// What the program adds under a failure whose text gives no cause.
#pragma once

#include <exception>

namespace TarnCli {

// Prints to standard error, one "tarn-configstore: " line each, the
// explanation an ExplainedError carries; for the store's "Failed to connect
// to database", a live configuration store that is missing, with the command
// that makes it ("cause: <path>: no configuration store; run
// 'tarn-configstore boot' ...").
void PrintCauses(const std::exception& failure);

} // namespace TarnCli
