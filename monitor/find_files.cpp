/*
 * Finding open files across volumes (see find_files.h).
 *
 * Notes: a server may hold 100,000 open files, so the result takes its nodes
 * from a pool and its texts from large blocks, whole (a path is never cut,
 * so the command can close what it lists); a user's name and a volume's name
 * are kept once for the run of files that share them. Each part asked for
 * is read once for the whole walk (monitor/name_match.h).
 */
#include "monitor/find_files.h"

#include <stdlib.h>
#include <string.h>

#include <zentra/afpstat.h>

#include "monitor/list_sort.h"
#include "monitor/name_match.h"
#include "monitor/open_files.h"

namespace hxm2afp {
namespace {

// Texts go into blocks of this size; a longer text gets a block of its own.
constexpr size_t kTextBlockBytes = size_t{64} * 1024;

bool is_empty(const char *text) {
    return text == nullptr || text[0] == '\0';
}

// The part of a path a name is matched against: the name after its last
// "/", or the whole path when the part asked for holds a "/" itself.
const char *name_of(const char *path, const NamePattern &part) {
    if (part.holds_slash())
        return path;
    const char *slash = strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

struct Search {
    const NamePattern &name;
    const NamePattern &user;
    FoundFiles *found;
    bool outOfMemory;
};

bool visit_file(void *context, const char *volumeName, const VolFileListNode &record,
                const char *path) {
    auto *search = static_cast<Search *>(context);
    if (!search->name.empty() && !name_holds_part(path, search->name))
        return true;
    // The library's field may fill its whole size without a terminator.
    char user[AFPSTAT_USER_NAME_SIZE + 1];
    const size_t length = strnlen(record.userName, AFPSTAT_USER_NAME_SIZE);
    memcpy(user, record.userName, length);
    user[length] = '\0';
    if (!search->user.empty() && !search->user.found_in(user))
        return true;
    if (!search->found->add(volumeName, user, path, record.connectionNumber)) {
        search->outOfMemory = true;
        return false;
    }
    return true;
}

} // namespace

bool name_holds_part(const char *path, const NamePattern &part) {
    return part.found_in(name_of(path, part));
}

struct FoundFiles::TextBlock {
    TextBlock *next;
    size_t used;
    size_t size;
    char *bytes() { return reinterpret_cast<char *>(this + 1); }
};

FoundFiles::~FoundFiles() {
    while (blocks_ != nullptr) {
        TextBlock *next = blocks_->next;
        free(blocks_);
        blocks_ = next;
    }
}

const char *FoundFiles::keep(const char *text, size_t length) {
    if (blocks_ == nullptr || blocks_->size - blocks_->used < length + 1) {
        const size_t size = length + 1 > kTextBlockBytes ? length + 1 : kTextBlockBytes;
        auto *block = static_cast<TextBlock *>(malloc(sizeof(TextBlock) + size));
        if (block == nullptr)
            return nullptr;
        block->used = 0;
        block->size = size;
        // A block of its own for a long text keeps the current one filling.
        if (blocks_ != nullptr && size > kTextBlockBytes) {
            block->next = blocks_->next;
            blocks_->next = block;
        } else {
            block->next = blocks_;
            blocks_ = block;
        }
        char *copy = block->bytes();
        memcpy(copy, text, length);
        copy[length] = '\0';
        block->used = length + 1;
        return copy;
    }
    char *copy = blocks_->bytes() + blocks_->used;
    memcpy(copy, text, length);
    copy[length] = '\0';
    blocks_->used += length + 1;
    return copy;
}

bool FoundFiles::add(const char *volumeName, const char *userName, const char *filePath,
                     uint32_t connectionNumber) {
    FoundFile *node = nodes_.take();
    if (node == nullptr)
        return false;
    // Files of one volume, and mostly of one user, come in runs: their
    // names are kept once for the run.
    const char *volume = lastVolume_;
    if (volume == nullptr || strcmp(volume, volumeName) != 0)
        volume = keep(volumeName, strlen(volumeName));
    const char *user = last_ != nullptr ? last_->userName : nullptr;
    if (user == nullptr || strcmp(user, userName) != 0)
        user = keep(userName, strlen(userName));
    const char *path = keep(filePath, strlen(filePath));
    if (volume == nullptr || user == nullptr || path == nullptr)
        return false; // the node stays unused in the pool
    if (volume != lastVolume_) {
        lastVolume_ = volume;
        ++volumes;
    }
    *node = FoundFile{nullptr, volume, user, path, connectionNumber};
    *tail_ = node;
    tail_ = &node->next;
    last_ = node;
    ++count;
    return true;
}

int find_open_files(const FindQuery &query, FoundFiles *found) {
    const NamePattern name(query.name);
    const NamePattern user(query.user);
    Search search{name, user, found, false};
    const int status =
        for_each_open_file(&search, visit_file, is_empty(query.volume) ? nullptr : query.volume);
    return search.outOfMemory ? AFPSTAT_ERR_NO_MEMORY : status;
}

void sort_found_files(FoundFiles *found, FoundColumn column) {
    // The sort leaves equal keys in the reverse of their list order: sorting
    // the reversed list keeps them in the walk's order.
    FoundFile *reversed = nullptr;
    for (FoundFile *node = found->head; node != nullptr;) {
        FoundFile *next = node->next;
        node->next = reversed;
        reversed = node;
        node = next;
    }
    switch (column) {
    case FoundColumn::kVolume:
        found->head = sort_list_by_key(reversed, [](const FoundFile *f) { return f->volumeName; });
        break;
    case FoundColumn::kConnection:
        found->head = sort_list_by_key(
            reversed, [](const FoundFile *f) { return uint64_t{f->connectionNumber}; });
        break;
    case FoundColumn::kUser:
        found->head = sort_list_by_key(reversed, [](const FoundFile *f) { return f->userName; });
        break;
    case FoundColumn::kPath:
        found->head = sort_list_by_key(reversed, [](const FoundFile *f) { return f->filePath; });
        break;
    }
}

} // namespace hxm2afp
