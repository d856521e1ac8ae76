// Small JSON helpers of the schema tests.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tarn/platform/json_validator.h"
#include "tarn/rapidjson.h"

namespace SchemaTest {

inline std::unique_ptr<rapidjson::Document> Json(const std::string& text) {
    auto doc = std::make_unique<rapidjson::Document>();
    doc->Parse(text.c_str());
    EXPECT_FALSE(doc->HasParseError()) << text;
    return doc;
}

inline std::string Text(const rapidjson::Value& value) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    value.Accept(writer);
    return buffer.GetString();
}

// The errors of a validation result as (field, error) pairs, in order.
typedef std::vector<std::pair<std::string, std::string>> Errors;

inline Errors Validate(const std::string& schema, const std::string& value, const std::set<int>& codes,
                       const std::string& path = "") {
    auto s = Json(schema);
    auto v = Json(value);
    rapidjson::Document result;
    bool valid = JsonValidator::Validate(*s, *v, result, codes, path);
    Errors errors;
    for (const auto& e : result.GetArray()) errors.emplace_back(e["field"].GetString(), e["error"].GetString());
    EXPECT_EQ(valid, errors.empty());
    return errors;
}

} // namespace SchemaTest
