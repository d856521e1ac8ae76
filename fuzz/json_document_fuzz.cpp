// JSON documents from outside bytes: the parse, and the lookup of a value by
// a path. Input: the path on the first line (steps "name" or
// "name[key=value]" separated by "/"), the document after it.
#include <sstream>

#include "fuzz/private_root.h"
#include "tarn/exceptions.h"
#include "tarn/json_doc.h"

using TarnConfigStore::JsonNode;

namespace {

std::vector<JsonNode> ParsePath(const std::string& text) {
    std::vector<JsonNode> nodes;
    std::istringstream steps(text);
    std::string step;
    while (std::getline(steps, step, '/')) {
        JsonNode node;
        size_t open = step.find('['), equals = step.find('=', open);
        node.name = step.substr(0, open);
        if (open != std::string::npos && equals != std::string::npos) {
            node.instanceKey = step.substr(open + 1, equals - open - 1);
            node.instanceValue = step.substr(equals + 1, step.size() - equals - 2);  // without "]"
        }
        nodes.push_back(node);
    }
    return nodes;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return TarnFuzz::PrivateRoot(), 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto [path, text] = TarnFuzz::SplitAtNewline(data, size);
    try {
        auto doc = TarnConfigStore::CreateDocumentFromString(text);
        doc->nodes = ParsePath(path);
        rapidjson::StringBuffer out;
        rapidjson::Writer<rapidjson::StringBuffer> writer(out);
        doc->GetJsonValuePtr()->Accept(writer);
    } catch (const TarnConfigStore::ConfigStoreException&) {
    }
    TarnFuzz::EmptyLogs();
    return 0;
}
