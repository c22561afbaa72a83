/*
 * The open-file tests' fixture: see openfiles_fixture.h.
 */
#include "tests/pages/openfiles/openfiles_fixture.h"

#include <cstring>

namespace openfiles_test {

std::string PageBody(const std::string &body) {
    const std::string start = "<table><tr><td><form><DIV CLASS=NORMAL>";
    const size_t at = body.find(start);
    return at == std::string::npos ? std::string() : body.substr(at);
}

std::vector<std::string> ClosedFiles() {
    std::vector<std::string> paths;
    for (const scripted::Call &call : scripted::Calls()) {
        if (call.function == "Ext_CloseFileByFileName")
            paths.push_back(call.text);
    }
    return paths;
}

std::vector<std::string> CallNames() {
    std::vector<std::string> names;
    for (const scripted::Call &call : scripted::Calls())
        names.push_back(call.function);
    return names;
}

std::string FormEncode(const std::string &text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '*' || c == '-' || c == '.' || c == '_') {
            out += static_cast<char>(c);
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string HtmlDecode(const std::string &text) {
    static const std::pair<const char *, char> kEntities[] = {{"&amp;", '&'}, {"&lt;", '<'},
                                                              {"&gt;", '>'},  {"&quot;", '"'},
                                                              {"&#34;", '"'}, {"&#39;", '\''}};
    std::string out;
    for (size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto &entity : kEntities) {
            const size_t length = strlen(entity.first);
            if (text.compare(i, length, entity.first) == 0) {
                out += entity.second;
                i += length;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out += text[i++];
    }
    return out;
}

std::vector<std::string> FileBoxValues(const std::string &body) {
    std::vector<std::string> values;
    const std::string marker = "NAME=\"FILENAME\" VALUE=\"";
    for (size_t at = body.find(marker); at != std::string::npos; at = body.find(marker, at)) {
        at += marker.size();
        const size_t end = body.find('"', at);
        values.push_back(HtmlDecode(body.substr(at, end - at)));
    }
    return values;
}

} // namespace openfiles_test
