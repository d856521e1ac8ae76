// Turning the texts of tree files and set parameters into value bytes laid
// out by a KNOType, and bytes into hexadecimal text.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "kno/tree.h"
#include "tarn/rapidjson.h"

namespace TarnPlatform::Kno {

// A problem with a value; the message says what is wrong with it.
struct ValueError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string ToHex(const uint8_t* bytes, size_t size);
// Two hexadecimal digits per byte; false on any other text.
bool FromHex(const std::string& text, Bytes& out);

// An array of 1-byte base elements whose display text is "%s": holds text.
bool IsStringArray(const KNOType& type);

// Writes the JSON value, read as `type`, at out (type.size bytes, already
// zero-filled). Numbers for base and enum types (enum value names too), a
// text or a list for arrays, an object of member values for structs
// (missing members stay zero). Throws ValueError.
void EncodeJson(const KNOType& type, const rapidjson::Value& value, uint8_t* out);

// True when a set parameter list can fill a value of this type: a base or
// enum type, a string array, an array of base or enum elements, or a struct
// whose members are all base, enum or string arrays.
bool ParamEncodable(const KNOType& type);

// Fills out (type.size bytes) from set parameters, one per element or
// member in order. KES_INCOMPLETE when too few, KES_BAD_PARAM when too many
// or of the wrong kind or range.
KES_ReturnStatus EncodeParams(const KNOType& type, const std::vector<const KNOParam*>& params, Bytes& out);

} // namespace TarnPlatform::Kno

namespace TarnPlatform::Kno {

// The JSON form of value bytes for a tree file: typed ("value") when the
// typed form reads back to exactly the same bytes, else hexadecimal
// ("hex"); for data nodes printable text ("text") or "hex". Sets member
// name and value.
void ValueForFile(const KNOType* type, const Bytes& bytes, rapidjson::Value& name, rapidjson::Value& value,
                  rapidjson::Document::AllocatorType& alloc);

} // namespace TarnPlatform::Kno
