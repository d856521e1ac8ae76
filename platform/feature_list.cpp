#include "tarn/platform/feature_list.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <mutex>
#include <string>
#include <utility>

#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"

namespace TarnPlatform {
namespace {

constexpr std::pair<const char*, int> kNames[] = {{"smartnic", FEATURE_SMARTNIC}};
// A features file is a few short lines; more than this is not one.
constexpr std::streamsize kMaxLine = 256;
constexpr int kMaxLines = 1024;

uint8_t gStates[FEATURE_COUNT];
std::once_flag gLoaded;

std::string Trimmed(std::string line) {
    line = line.substr(0, line.find('#'));
    const size_t begin = line.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return "";
    return line.substr(begin, line.find_last_not_of(" \t\r") - begin + 1);
}

// The feature a line names: a number of the table or a known name; -1 else.
int FeatureOf(const std::string& word) {
    for (const auto& [name, number] : kNames)
        if (word == name) return number;
    if (word.empty() || word.size() > 3) return -1;
    for (char c : word)
        if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
    const int number = std::atoi(word.c_str());
    return number < FEATURE_COUNT ? number : -1;
}

void ReadFeaturesFile() {
    std::ifstream in(HostPath(FEATURES_FILE));
    char buffer[kMaxLine];
    for (int lines = 0; in && lines < kMaxLines; ++lines) {
        in.getline(buffer, kMaxLine);
        if (in.fail() && !in.eof()) {  // an overlong line: skip the rest of it
            in.clear();
            in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
            CSLogger::Log(1, "Features file: line %d is too long, skipped", lines + 1);
            continue;
        }
        const std::string word = Trimmed(buffer);
        if (word.empty()) continue;
        const int feature = FeatureOf(word);
        if (feature < 0) CSLogger::Log(1, "Features file: unknown feature '%s' skipped", word.c_str());
        else gStates[feature] = 1;
    }
}

} // namespace

void LoadFeatures() { std::call_once(gLoaded, ReadFeaturesFile); }

void SetFeature(int feature, bool on) {
    LoadFeatures();
    if (feature >= 0 && feature < FEATURE_COUNT) gStates[feature] = on ? 1 : 0;
}

} // namespace TarnPlatform

extern "C" {
uint8_t* FeatureList[TarnPlatform::FEATURE_COUNT];
}

namespace {
// Filled when the library is loaded, before any caller can read the table.
[[maybe_unused]] const bool gTableSet = [] {
    for (int i = 0; i < TarnPlatform::FEATURE_COUNT; ++i) FeatureList[i] = &TarnPlatform::gStates[i];
    return true;
}();
} // namespace
