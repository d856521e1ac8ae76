#include "json_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "explained_error.h"
#include "tarn/rapidjson.h"

namespace TarnCli {
namespace {

// "line L, column C" of a byte offset, both counted from 1 (columns in bytes).
std::string Place(const std::string& text, size_t offset) {
    size_t line = 1, lineStart = 0;
    for (size_t i = 0; i < offset && i < text.size(); ++i)
        if (text[i] == '\n') ++line, lineStart = i + 1;
    return "line " + std::to_string(line) + ", column " + std::to_string(offset - lineStart + 1);
}

// What keeps the file from holding one JSON value; empty when nothing is found.
std::string JsonFileProblem(const std::string& path, const std::string& holds) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? "no such file; create it holding " + holds : std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "is a directory, not a file";
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::strerror(errno);
    std::ostringstream read;
    read << file.rdbuf();
    const std::string text = read.str();
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) return "is empty; it must hold " + holds;
    rapidjson::Document document;
    const rapidjson::ParseResult result = TarnJson::Parse(document, text);
    if (result) return "";
    const std::string where = Place(text, result.Offset()) + ": ";
    if (result.Code() == rapidjson::kParseErrorTermination)
        return where + "nested more than " + std::to_string(TarnJson::JSON_MAX_DEPTH) + " levels deep";
    if (result.Offset() >= text.size()) return where + "the file ends inside the JSON value (cut short?)";
    if (result.Code() == rapidjson::kParseErrorDocumentRootNotSingular) return where + "text after the JSON value";
    return where + "not valid JSON";
}

} // namespace

std::shared_ptr<TarnConfigStore::JsonDoc> ReadJsonFile(const std::string& path, const std::string& holds) {
    try {
        return TarnConfigStore::CreateDocumentFromFile(path);
    } catch (const std::exception& e) {
        const std::string problem = JsonFileProblem(path, holds);
        if (problem.empty()) throw;
        throw ExplainedError(e.what(), path + ": " + problem);
    }
}

} // namespace TarnCli
