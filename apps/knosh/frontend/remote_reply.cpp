#include "remote_reply.h"

#include <cstdio>
#include <string_view>

namespace KnoshFrontend {

namespace {

// The messages with which the shell reports a failed line: before a command
// runs (the command line itself), refused parameters of set (whose text
// carries its own newline), and the command's failure, which comes last.
struct ErrorForm {
    std::string_view text;
    bool prefix;  // text begins the message; else it is the whole message
    bool ownNewline;
    int status;
};
constexpr ErrorForm kForms[] = {
    {"Command not found.", false, false, 1},
    {"Error in command ", true, false, 2},
    {"Invalid argument: ", true, false, 2},
    {"Failed to resize argument string array", false, false, 2},
    {"Failed to allocate argument string", false, false, 2},
    {"invalid number '", true, true, 0},
    {"unmatched quote: '", true, true, 0},
    {"failed to add param to list", false, true, 0},
    {"failed to create params list", false, true, 0},
};

const ErrorForm* FormOf(std::string_view line, bool ownNewline) {
    for (const ErrorForm& form : kForms)
        if (form.ownNewline == ownNewline &&
            (form.prefix ? line.substr(0, form.text.size()) == form.text : line == form.text))
            return &form;
    return nullptr;
}

// Where the line that ends at lineEnd (a "\n" or the end) begins.
size_t LineStart(std::string_view text, size_t lineEnd) {
    size_t before = lineEnd ? text.rfind('\n', lineEnd - 1) : std::string_view::npos;
    return before == std::string_view::npos ? 0 : before + 1;
}

} // namespace

Reply DecodeReply(const std::string& text) {
    Reply reply;
    const std::string_view all(text);
    size_t end = all.size();  // all[0, end) is not taken apart yet
    while (end > 0 && all[end - 1] == '\n') {
        size_t lineEnd = end - 1;  // the daemon's newline after the message
        size_t start = LineStart(all, lineEnd);
        const ErrorForm* form = FormOf(all.substr(start, lineEnd - start), false);
        if (!form && start == lineEnd && lineEnd > 0) {  // "message\n" and the daemon's "\n"
            lineEnd = start - 1;
            start = LineStart(all, lineEnd);
            form = FormOf(all.substr(start, lineEnd - start), true);
        }
        if (!form) break;
        if (reply.errors.empty()) reply.status = form->status;
        reply.errors.insert(reply.errors.begin(), std::string(all.substr(start, end - 1 - start)));
        end = start;
    }
    reply.output = text.substr(0, end);
    return reply;
}

int PrintErrors(const Reply& reply) {
    for (const std::string& message : reply.errors) {
        fflush(stdout);
        fprintf(stderr, "Error: %s", message.c_str());
        fputc('\n', stdout);
    }
    fflush(stdout);
    return reply.status;
}

} // namespace KnoshFrontend
