// The only way this project includes rapidjson. Every translation unit must
// see the same configuration, so nothing includes <rapidjson/...> directly.
//
// rapidjson's internal consistency checks (a missing member looked up, a value
// used as the wrong type, a null name) throw ConfigStoreException 2000
// "Invalid JSON" instead of stopping the process. Functions that rapidjson
// would declare noexcept contain such checks, so noexcept is switched off;
// otherwise a failed check there would terminate.
//
// Beside it: the bounded parse every JSON text goes through
// (tarn/rapidjson_parse.h).
#pragma once

#ifdef RAPIDJSON_ASSERT
#error "rapidjson must be configured by tarn/rapidjson.h only"
#endif

#include "tarn/exceptions.h"

#define RAPIDJSON_ASSERT(x)                        \
    do {                                           \
        if (!(x)) TarnConfigStore::ThrowInvalidJson(); \
    } while (0)
#define RAPIDJSON_HAS_CXX11_NOEXCEPT 0
#define RAPIDJSON_HAS_STDSTRING 1

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/istreamwrapper.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/pointer.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "tarn/rapidjson_parse.h"
