// JSON documents named on the command line. The library's text for a file it
// cannot parse is fixed and gives no cause; the program finds and adds it.
#pragma once

#include <memory>
#include <string>

#include "tarn/json_doc.h"

namespace TarnCli {

// The document of the file. When it does not hold one JSON value, throws
// ExplainedError with the library's text and "<path>: <cause>": "no such
// file; create it holding <holds>", "is a directory, not a file", the
// system's reason it cannot be read, "is empty; it must hold <holds>",
// "line L, column C: <parse error>".
std::shared_ptr<TarnConfigStore::JsonDoc> ReadJsonFile(const std::string& path, const std::string& holds);

} // namespace TarnCli
