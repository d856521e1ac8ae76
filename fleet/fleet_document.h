// A host's desired document: the fleet's (or a rollout's pinned one) with
// the host's overlay laid over it, object by object. The texts come from
// etcd, so from anyone who can write there: they are bounded in size and
// depth and must be UTF-8 before they are parsed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tarn/rapidjson.h"

namespace TarnFleet {

// A document larger than this is refused (etcd's own request limit is 1.5 MiB).
constexpr size_t kMaxDocumentBytes = 1u << 20;

struct DocumentError {
    std::string object;   // component/group/key, empty above that level
    std::string pointer;  // JSON pointer into the document it is found in
    std::string reason;
};

// Empty when text is a JSON object within the limits; else why not. `what`
// names the text in the reason ("the fleet document").
std::string DocumentProblem(const std::string& text, const std::string& what);

// The host's document: base (a desired document {"profile": {c: {g: {k: v}}}})
// with every object the overlay names replacing the base's object. An
// absent base is {"profile": {}}; an absent overlay changes nothing. Errors
// (a text that is not a document of that shape) go to errors, and the result
// is then nullopt.
std::optional<rapidjson::Document> MergeHostDocument(const std::optional<std::string>& base,
                                                     const std::optional<std::string>& overlay,
                                                     std::vector<DocumentError>& errors);

} // namespace TarnFleet
