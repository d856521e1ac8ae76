#include "kno/value_codec.h"

#include <cstring>
#include <limits>

namespace TarnPlatform::Kno {
namespace {

uint64_t MaxOf(uint32_t size) { return size >= 8 ? std::numeric_limits<uint64_t>::max() : (uint64_t(1) << (8 * size)) - 1; }

void PutUnsigned(uint8_t* out, uint32_t size, uint64_t value) {
    for (uint32_t i = 0; i < size && i < 8; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

bool EnumValueNamed(const KNOType& type, const std::string& name, uint64_t& value) {
    for (uint32_t i = 0; i < type.numValues; ++i) {
        if (name == type.values[i].name) {
            value = type.values[i].value;
            return true;
        }
    }
    return false;
}

void EncodeScalar(const KNOType& type, const rapidjson::Value& value, uint8_t* out) {
    uint64_t number = 0;
    if (value.IsUint64()) {
        number = value.GetUint64();
        if (number > MaxOf(type.size)) {
            throw ValueError(std::to_string(number) + " does not fit type '" + type.name + "' of " +
                             std::to_string(type.size) + " bytes");
        }
    } else if (value.IsInt64()) {
        int64_t negative = value.GetInt64();
        int64_t lowest = type.size >= 8 ? std::numeric_limits<int64_t>::min() : -(int64_t(1) << (8 * type.size - 1));
        if (negative < lowest) {
            throw ValueError(std::to_string(negative) + " does not fit type '" + type.name + "' of " +
                             std::to_string(type.size) + " bytes");
        }
        number = static_cast<uint64_t>(negative);
    } else if (value.IsString() && type.kind == KNO_TYPE_ENUM) {
        if (!EnumValueNamed(type, value.GetString(), number)) {
            throw ValueError(std::string("'") + value.GetString() + "' is no value of enum '" + type.name + "'");
        }
    } else {
        throw ValueError(std::string("type '") + type.name + "' needs an integer" +
                         (type.kind == KNO_TYPE_ENUM ? " or a value name" : ""));
    }
    PutUnsigned(out, type.size, number);
}

bool ScalarKind(const KNOType& type) { return type.kind == KNO_TYPE_BASE || type.kind == KNO_TYPE_ENUM; }

KES_ReturnStatus EncodeParam(const KNOType& type, const KNOParam& param, uint8_t* out) {
    if (IsStringArray(type)) {
        std::string text;
        if (param.type == KNO_PARAM_STRING && param.u.stringValue) {
            text = param.u.stringValue;
        } else if (param.type == KNO_PARAM_INT) {
            text = std::to_string(param.u.intValue);  // a name that reads as a number
        } else {
            return KES_BAD_PARAM;
        }
        if (text.size() > type.size) return KES_BAD_PARAM;
        std::memset(out, 0, type.size);
        std::memcpy(out, text.data(), text.size());
        return KES_OK;
    }
    if (!ScalarKind(type)) return KES_NOT_SUPPORTED;
    uint64_t number = 0;
    if (param.type == KNO_PARAM_INT) {
        number = param.u.intValue;
        if (number > MaxOf(type.size)) return KES_BAD_PARAM;
    } else if (param.type == KNO_PARAM_STRING && param.u.stringValue && type.kind == KNO_TYPE_ENUM) {
        if (!EnumValueNamed(type, param.u.stringValue, number)) return KES_BAD_PARAM;
    } else {
        return KES_BAD_PARAM;
    }
    PutUnsigned(out, type.size, number);
    return KES_OK;
}

} // namespace

std::string ToHex(const uint8_t* bytes, size_t size) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0xf];
    }
    return text;
}

bool FromHex(const std::string& text, Bytes& out) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (text.size() % 2) return false;
    out.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        int hi = digit(text[i]), lo = digit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    return true;
}

bool IsStringArray(const KNOType& type) {
    const KNOType* element = type.elementType;
    return type.kind == KNO_TYPE_ARRAY && element && element->kind == KNO_TYPE_BASE && element->size == 1 &&
           std::strcmp(element->display, "%s") == 0;
}

void EncodeJson(const KNOType& type, const rapidjson::Value& value, uint8_t* out) {
    switch (type.kind) {
    case KNO_TYPE_BASE:
    case KNO_TYPE_ENUM:
        EncodeScalar(type, value, out);
        return;
    case KNO_TYPE_ARRAY: {
        const KNOType& element = *type.elementType;
        if (value.IsString() && IsStringArray(type)) {
            if (value.GetStringLength() > type.size) {
                throw ValueError("text of " + std::to_string(value.GetStringLength()) + " bytes does not fit type '" +
                                 type.name + "' of " + std::to_string(type.size) + " bytes");
            }
            std::memcpy(out, value.GetString(), value.GetStringLength());
            return;
        }
        uint32_t count = type.size / element.size;
        if (!value.IsArray()) throw ValueError(std::string("type '") + type.name + "' needs a list");
        if (value.Size() != count) {
            throw ValueError(std::string("type '") + type.name + "' needs " + std::to_string(count) +
                             " elements, not " + std::to_string(value.Size()));
        }
        for (uint32_t i = 0; i < count; ++i) EncodeJson(element, value[i], out + i * element.size);
        return;
    }
    case KNO_TYPE_STRUCT: {
        if (!value.IsObject()) throw ValueError(std::string("type '") + type.name + "' needs an object");
        for (auto it = value.MemberBegin(); it != value.MemberEnd(); ++it) {
            const KNOStructMember* member = nullptr;
            for (uint32_t i = 0; i < type.numMembers && !member; ++i) {
                if (std::strcmp(type.members[i].name, it->name.GetString()) == 0) member = &type.members[i];
            }
            if (!member) {
                throw ValueError(std::string("type '") + type.name + "' has no member '" + it->name.GetString() + "'");
            }
            try {
                EncodeJson(*member->type, it->value, out + member->offset);
            } catch (const ValueError& e) {
                throw ValueError(std::string("member '") + member->name + "': " + e.what());
            }
        }
        return;
    }
    default:
        throw ValueError(std::string("type '") + type.name + "' has an unknown kind");
    }
}

bool ParamEncodable(const KNOType& type) {
    if (ScalarKind(type) || IsStringArray(type)) return true;
    if (type.kind == KNO_TYPE_ARRAY) return ScalarKind(*type.elementType) || IsStringArray(*type.elementType);
    if (type.kind != KNO_TYPE_STRUCT) return false;
    for (uint32_t i = 0; i < type.numMembers; ++i) {
        const KNOType& member = *type.members[i].type;
        if (!ScalarKind(member) && !IsStringArray(member)) return false;
    }
    return true;
}

KES_ReturnStatus EncodeParams(const KNOType& type, const std::vector<const KNOParam*>& params, Bytes& out) {
    out.assign(type.size, 0);
    // The slots the parameters fill, in order: (type, byte offset).
    std::vector<std::pair<const KNOType*, uint32_t>> slots;
    if (ScalarKind(type) || IsStringArray(type)) {
        slots.emplace_back(&type, 0);
    } else if (type.kind == KNO_TYPE_ARRAY) {
        for (uint32_t off = 0; off + type.elementType->size <= type.size; off += type.elementType->size) {
            slots.emplace_back(type.elementType, off);
        }
    } else if (type.kind == KNO_TYPE_STRUCT) {
        for (uint32_t i = 0; i < type.numMembers; ++i) slots.emplace_back(type.members[i].type, type.members[i].offset);
    } else {
        return KES_NOT_SUPPORTED;
    }
    if (params.size() < slots.size()) return KES_INCOMPLETE;
    if (params.size() > slots.size()) return KES_BAD_PARAM;
    for (size_t i = 0; i < slots.size(); ++i) {
        KES_ReturnStatus status = EncodeParam(*slots[i].first, *params[i], out.data() + slots[i].second);
        if (status != KES_OK) return status;
    }
    return KES_OK;
}

} // namespace TarnPlatform::Kno

namespace TarnPlatform::Kno {
namespace {

bool PrintableText(const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if ((bytes[i] < 0x20 && bytes[i] != '\t' && bytes[i] != '\n') || bytes[i] >= 0x7f) return false;
    }
    return true;
}

// Best effort; ValueForFile checks that the result reads back exactly.
bool Decode(const KNOType& type, const uint8_t* bytes, rapidjson::Value& out, rapidjson::Document::AllocatorType& alloc) {
    switch (type.kind) {
    case KNO_TYPE_BASE:
    case KNO_TYPE_ENUM: {
        uint64_t number = 0;
        for (uint32_t i = 0; i < type.size && i < 8; ++i) number |= uint64_t(bytes[i]) << (8 * i);
        out.SetUint64(number);
        return true;
    }
    case KNO_TYPE_ARRAY: {
        if (IsStringArray(type)) {
            size_t length = strnlen(reinterpret_cast<const char*>(bytes), type.size);
            if (!PrintableText(bytes, length)) return false;
            out.SetString(reinterpret_cast<const char*>(bytes), static_cast<rapidjson::SizeType>(length), alloc);
            return true;
        }
        const KNOType& element = *type.elementType;
        out.SetArray();
        for (uint32_t off = 0; off + element.size <= type.size; off += element.size) {
            rapidjson::Value item;
            if (!Decode(element, bytes + off, item, alloc)) return false;
            out.PushBack(item, alloc);
        }
        return true;
    }
    case KNO_TYPE_STRUCT:
        out.SetObject();
        for (uint32_t i = 0; i < type.numMembers; ++i) {
            rapidjson::Value item;
            if (!Decode(*type.members[i].type, bytes + type.members[i].offset, item, alloc)) return false;
            out.AddMember(rapidjson::Value(type.members[i].name, alloc), item, alloc);
        }
        return true;
    default:
        return false;
    }
}

} // namespace

void ValueForFile(const KNOType* type, const Bytes& bytes, rapidjson::Value& name, rapidjson::Value& value,
                  rapidjson::Document::AllocatorType& alloc) {
    auto size = static_cast<rapidjson::SizeType>(bytes.size());
    if (!type) {
        if (PrintableText(bytes.data(), bytes.size())) {
            name.SetString("text");
            value.SetString(reinterpret_cast<const char*>(bytes.data()), size, alloc);
            return;
        }
    } else if (bytes.size() == type->size) {
        rapidjson::Value typed;
        if (Decode(*type, bytes.data(), typed, alloc)) {
            Bytes again(type->size, 0);
            try {
                EncodeJson(*type, typed, again.data());
            } catch (const ValueError&) {
                again.clear();
            }
            if (again == bytes) {
                name.SetString("value");
                value = typed;
                return;
            }
        }
    }
    name.SetString("hex");
    std::string hex = ToHex(bytes.data(), bytes.size());
    value.SetString(hex.c_str(), static_cast<rapidjson::SizeType>(hex.size()), alloc);
}

} // namespace TarnPlatform::Kno
