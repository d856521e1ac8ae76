// The errors one validation finds, and the words that describe them.
#pragma once

#include <string>
#include <vector>

#include "tarn/rapidjson.h"

namespace TarnSchemaValidation {

struct Finding {
    std::string pointer;  // JSON pointer of the offending value, within the validated value
    std::string text;     // the reason, starting with the failed keyword
};

class Findings {
public:
    explicit Findings(bool all) : m_all(all) {}

    void Add(std::string pointer, std::string text);
    // Whether looking for further errors is worth it.
    bool WantsMore() const { return m_all || m_items.empty(); }
    bool All() const { return m_all; }
    size_t Count() const { return m_items.size(); }
    const std::vector<Finding>& Items() const { return m_items; }

private:
    bool m_all;
    std::vector<Finding> m_items;
};

// The reason for a failed keyword. node is the schema node holding the
// keyword, actual the value at the error's location (null when unknown),
// member the last token of the location (the member a keyword like
// "additionalProperties" is about).
std::string Describe(const std::string& keyword, const rapidjson::Value& node, const rapidjson::Value* actual,
                     const std::string& member);

// Required members of node that the object value lacks, in schema order.
std::vector<std::string> MissingRequired(const rapidjson::Value& node, const rapidjson::Value& value);

// The JSON type name of a value ("integer" for whole numbers held as such).
const char* TypeName(const rapidjson::Value& value);

// Compact JSON text, cut after limit characters.
std::string Excerpt(const rapidjson::Value& value, size_t limit = 120);

// The last reference token of a JSON pointer text, unescaped.
std::string LastToken(const std::string& pointer);

} // namespace TarnSchemaValidation
