/*
 * The request path reader (see component_path.h).
 */
#include "pages/common/component_path.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <zentra/hxm_host.h>

#include "core/page_globals.h"

namespace hxm2afp {

bool is_leading_part_of(const char *word, const char *text, size_t length) {
    return length <= strlen(word) && strncasecmp(word, text, length) == 0;
}

Component Component::next() const {
    return at_ != nullptr ? Component(at_ + 1 + length()) : *this;
}

bool Component::equals(const char *word) const {
    return at_ != nullptr && length() == strlen(word) && strncasecmp(text(), word, length()) == 0;
}

bool Component::begins_with(const char *word) const {
    const size_t wordLength = strlen(word);
    return at_ != nullptr && length() >= wordLength && strncasecmp(text(), word, wordLength) == 0;
}

bool Component::is_leading_part_of(const char *word) const {
    return at_ != nullptr && hxm2afp::is_leading_part_of(word, text(), length());
}

void FreeText::operator()(char *text) const {
    free(text);
}

HeapText copy_text(const char *text) {
    const size_t size = strlen(text) + 1;
    HeapText copy(static_cast<char *>(malloc(size)));
    if (copy)
        memcpy(copy.get(), text, size);
    return copy;
}

HeapText slash_text(Component from, int count) {
    size_t size = 1;
    Component component = from;
    for (int i = 0; i < count; ++i, component = component.next())
        size += 1 + component.length();
    HeapText text(static_cast<char *>(malloc(size)));
    if (!text)
        return text;
    char *write = text.get();
    component = from;
    for (int i = 0; i < count; ++i, component = component.next()) {
        *write++ = '/';
        memcpy(write, component.text(), component.length());
        write += component.length();
    }
    *write = '\0';
    return text;
}

char *read_host_path(void *request) {
    char *buffer = nullptr;
    if (HttpReturnPathBuffers(request, nullptr, &buffer, nullptr) != 0)
        return nullptr;
    return buffer;
}

int read_component_path(void *request, const char *keyword, ComponentPath *path) {
    char *buffer = read_host_path(request);
    if (buffer == nullptr || buffer[0] != '/')
        return 400;
    path->path = buffer;
    // Never read past the terminator of a path shorter than "/<keyword>".
    const size_t skip = 1 + strlen(keyword);
    if (strnlen(buffer, skip) == skip && buffer[skip] == '/')
        path->afterKeyword = buffer + skip;
    return 0;
}

int convert_component_path(ComponentPath *path) {
    if (path->afterKeyword == nullptr)
        return 0;
    const int count = ConvertToComponentPath(path->afterKeyword);
    if (count < 1)
        return 400;
    path->total = count;
    path->count = count;
    path->first = Component(path->afterKeyword);
    path->help = path->first.is_leading_part_of(keyword_help);
    if (path->help && count > 1) {
        path->helpCount = count - 1;
        path->helpTopic = path->first.next();
    }
    return 0;
}

bool consume_sort_keyword(ComponentPath *path, const SortKeyword &keyword, SortMatch match) {
    if (path->count == 0)
        return false;
    if (match == SortMatch::kWhole ? !path->first.equals(keyword.keyword)
                                   : !path->first.begins_with(keyword.keyword))
        return false;
    path->sort = &keyword;
    --path->count;
    path->first = path->first.next();
    return true;
}

} // namespace hxm2afp
