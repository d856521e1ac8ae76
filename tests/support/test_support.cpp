#include "support/test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "tarn/exceptions.h"
#include "tarn/platform/host_root.h"

namespace fs = std::filesystem;

namespace TarnTest {

int FreeLoopbackPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    close(s);
    return ntohs(a.sin_port);
}

const std::string& Root() { return TarnPlatform::HostRoot(); }

void ResetRoot() {
    if (Root().empty()) throw std::logic_error("tests must run under a private host root");
    for (const auto& entry : fs::directory_iterator(Root())) fs::remove_all(entry.path());
}

std::string Rooted(const std::string& fixedPath) { return TarnPlatform::HostPath(fixedPath); }

void WriteFile(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::string HelperProgram(const std::string& name) {
    return (fs::read_symlink("/proc/self/exe").parent_path() / name).string();
}

std::vector<std::string> Query(const std::string& path, const std::string& sql) {
    fs::create_directories(fs::path(path).parent_path());
    sqlite3* raw = nullptr;
    sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, &sqlite3_close_v2);
    std::vector<std::string> rows;
    auto collect = [](void* out, int n, char** values, char**) {
        std::string row;
        for (int i = 0; i < n; ++i) row += std::string(i ? "|" : "") + (values[i] ? values[i] : "NULL");
        static_cast<std::vector<std::string>*>(out)->push_back(row);
        return 0;
    };
    char* error = nullptr;
    if (sqlite3_exec(db.get(), sql.c_str(), collect, &rows, &error) != SQLITE_OK) {
        ADD_FAILURE() << path << ": " << (error ? error : "?") << " in " << sql;
        sqlite3_free(error);
    }
    return rows;
}

std::vector<std::string> Texts(const std::vector<TarnPlatform::CapturedLine>& lines, int priority) {
    std::vector<std::string> texts;
    for (const auto& l : lines)
        if (priority < 0 || l.priority == priority) texts.push_back(l.text);
    return texts;
}

std::vector<std::string> SqlTexts(const TarnPlatform::Capture& capture) {
    std::vector<std::string> texts;
    for (const auto& sql : capture.Sql()) texts.push_back(sql.text);
    return texts;
}

std::vector<std::string> Events(const TarnPlatform::Capture& capture) {
    std::vector<std::string> events;
    for (const auto& event : capture.Events()) {
        events.push_back(event.id);
        for (const auto& arg : event.args) events.back() += " " + arg;
        events.back() += ": " + event.message;
    }
    return events;
}

std::string Thrown(const std::function<void()>& f) {
    using namespace TarnConfigStore;
    try {
        f();
    } catch (const InvalidArgumentException& e) {
        return "InvalidArgumentException " + std::to_string(e.GetErrorCode()) + " " + e.what();
    } catch (const ConfigStoreException& e) {
        return "ConfigStoreException " + std::to_string(e.GetErrorCode()) + " " + e.what();
    } catch (const std::invalid_argument& e) {
        return std::string("invalid_argument ") + e.what();
    } catch (const std::out_of_range& e) {
        return std::string("out_of_range ") + e.what();
    } catch (const std::exception& e) {
        return std::string("exception ") + e.what();
    }
    return "nothing thrown";
}

} // namespace TarnTest
