// The host's feature switches. FeatureList is a table of pointers to one-byte
// feature states (non-zero: on); an entry's index is the feature's number.
// A host switches features on in the file /etc/halden/features (under the
// host root), read once, at the first LoadFeatures: one feature per line, by
// number or by name; blank lines and text after "#" are ignored. A line that
// names no feature is logged and skipped. Features not listed are off.
// docs/schema-services.md describes the features the store reads.
#pragma once

#include <cstdint>

#include "tarn/export.h"

namespace TarnPlatform {

inline constexpr int FEATURE_COUNT = 128;
// Splits the schemas between the host and its SmartNIC (name "smartnic").
inline constexpr int FEATURE_SMARTNIC = 66;

inline constexpr char FEATURES_FILE[] = "/etc/halden/features";

// Reads the features file on the first call; later calls do nothing. Call it
// before reading FeatureList.
TARN_PLATFORM_EXPORT void LoadFeatures();

// Sets a feature's state (after LoadFeatures, which it calls), for tests and
// tools. A number outside the table is ignored.
TARN_PLATFORM_EXPORT void SetFeature(int feature, bool on);

} // namespace TarnPlatform

extern "C" {
// Entry i points to the state of feature i; every entry is set when the
// library is loaded.
TARN_PLATFORM_EXPORT extern uint8_t* FeatureList[TarnPlatform::FEATURE_COUNT];
}
