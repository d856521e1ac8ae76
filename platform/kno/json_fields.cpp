#include "kno/json_fields.h"

#include <cstring>

#include "kno/tree_loader.h"

namespace TarnPlatform::Kno::Json {

void Fail(const std::string& where, const std::string& problem) {
    throw LoadError(where.empty() ? problem : where + ": " + problem);
}

void CheckMembers(const Value& object, std::initializer_list<const char*> allowed, const std::string& where) {
    for (auto it = object.MemberBegin(); it != object.MemberEnd(); ++it) {
        bool known = false;
        for (const char* name : allowed) known = known || std::strcmp(name, it->name.GetString()) == 0;
        if (!known) Fail(where, std::string("unknown field '") + it->name.GetString() + "'");
    }
}

const Value* Find(const Value& object, const char* name) {
    auto it = object.FindMember(name);
    return it == object.MemberEnd() ? nullptr : &it->value;
}

const Value& RequireObject(const Value& value, const std::string& where) {
    if (!value.IsObject()) Fail(where, "must be an object");
    return value;
}

std::string String(const Value& object, const char* name, const std::string& where, bool required,
                   const std::string& fallback) {
    const Value* value = Find(object, name);
    if (!value) {
        if (required) Fail(where, std::string("'") + name + "' is missing");
        return fallback;
    }
    if (!value->IsString()) Fail(where, std::string("'") + name + "' must be a text");
    std::string text(value->GetString(), value->GetStringLength());
    if (text.find('\0') != std::string::npos) Fail(where, std::string("'") + name + "' contains a NUL character");
    return text;
}

uint64_t Unsigned(const Value& object, const char* name, const std::string& where, uint64_t max, bool required,
                  uint64_t fallback) {
    const Value* value = Find(object, name);
    if (!value) {
        if (required) Fail(where, std::string("'") + name + "' is missing");
        return fallback;
    }
    if (!value->IsUint64() || value->GetUint64() > max) {
        Fail(where, std::string("'") + name + "' must be an integer from 0 to " + std::to_string(max));
    }
    return value->GetUint64();
}

bool Bool(const Value& object, const char* name, const std::string& where, bool fallback) {
    const Value* value = Find(object, name);
    if (!value) return fallback;
    if (!value->IsBool()) Fail(where, std::string("'") + name + "' must be true or false");
    return value->GetBool();
}

const Value* Array(const Value& object, const char* name, const std::string& where) {
    const Value* value = Find(object, name);
    if (value && !value->IsArray()) Fail(where, std::string("'") + name + "' must be a list");
    return value;
}

} // namespace TarnPlatform::Kno::Json
