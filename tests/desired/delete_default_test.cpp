// "DELETE_DEFAULT" is recognised as the whole value only: a longer text
// that starts with it and a NUL is an ordinary, refused string.
#include <string>

#include <gtest/gtest.h>

#include "tarn/config_validation.h"

namespace {

TEST(DeleteDefault, OnlyTheExactTextIsAccepted) {
    const rapidjson::Value schema(rapidjson::kObjectType);
    for (const std::string& text : {std::string("DELETE_DEFAULT"), std::string("DELETE_DEFAULT\0more", 19),
                                    std::string("DELETE_DEFAULT\0", 15), std::string("DELETE_DEFAUL")}) {
        const rapidjson::Value value(rapidjson::StringRef(text.data(), text.size()));
        EXPECT_EQ(TarnConfigStore::ValidateUserObject(schema, value, "", true), text == "DELETE_DEFAULT") << text.size();
    }
}

} // namespace
