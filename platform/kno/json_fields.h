// Reading the members of tree-file objects with a message naming the place
// of every problem ("node 12 ('stats'): ...").
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "tarn/rapidjson.h"

namespace TarnPlatform::Kno::Json {

using rapidjson::Value;

// Throws LoadError "<where>: <problem>".
[[noreturn]] void Fail(const std::string& where, const std::string& problem);

// Refuses members not in allowed (catches misspelt field names).
void CheckMembers(const Value& object, std::initializer_list<const char*> allowed, const std::string& where);
const Value* Find(const Value& object, const char* name);
const Value& RequireObject(const Value& value, const std::string& where);

std::string String(const Value& object, const char* name, const std::string& where, bool required,
                   const std::string& fallback = "");
uint64_t Unsigned(const Value& object, const char* name, const std::string& where, uint64_t max, bool required,
                  uint64_t fallback = 0);
bool Bool(const Value& object, const char* name, const std::string& where, bool fallback);
// The named member as an array; nullptr when absent.
const Value* Array(const Value& object, const char* name, const std::string& where);

} // namespace TarnPlatform::Kno::Json
