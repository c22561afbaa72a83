/*
 * Builds the monitoring library's records from staged values, the way the
 * real library does: calloc'ed packed records, lists linked through next,
 * arrays of heap strings. Every block is remembered so the free functions
 * can release exactly what was handed out.
 */
#include "tests/support/scripted_afpstat_state.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace hxm_test::scripted::detail {

Blocks::~Blocks() {
    for (void *block : blocks_)
        std::free(block);
}

void *Blocks::Allocate(std::size_t size) {
    // Make room first, so a failing push_back cannot lose the block; grow
    // geometrically, so handing out n blocks stays O(n).
    if (blocks_.size() == blocks_.capacity())
        blocks_.reserve(blocks_.size() * 2 + 16);
    void *block = std::calloc(1, size == 0 ? 1 : size);
    if (block == nullptr)
        throw std::bad_alloc();
    blocks_.push_back(block);
    return block;
}

char *Blocks::CopyString(const std::string &value) {
    char *copy = static_cast<char *>(Allocate(value.size() + 1));
    std::memcpy(copy, value.c_str(), value.size() + 1);
    return copy;
}

char **Blocks::Array(const Names &names, int32_t count) {
    std::size_t entries = std::max(names.size(), static_cast<std::size_t>(std::max(count, 0)));
    if (entries >= SIZE_MAX / sizeof(char *))
        throw std::bad_alloc();
    char **array = static_cast<char **>(Allocate((entries + 1) * sizeof(char *)));
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i])
            array[i] = CopyString(*names[i]);
    }
    return array;
}

std::vector<void *> Blocks::Release() {
    return std::move(blocks_);
}

void CopyField(char *field, std::size_t size, const std::string &value) {
    std::memcpy(field, value.data(), std::min(size, value.size()));
}

namespace {

int32_t CountOr(const std::optional<int32_t> &count, std::size_t length) {
    return count ? *count : static_cast<int32_t>(length);
}

/* A list linked through next, built in order with a kept tail. */
template <class Node> struct NodeChain {
    Node *head = nullptr;
    Node *tail = nullptr;

    /* A new zero-filled node from blocks, linked at the end. */
    Node *Append(Blocks &blocks) {
        Node *node = blocks.New<Node>();
        if (tail != nullptr)
            tail->next = node;
        else
            head = node;
        tail = node;
        return node;
    }
};

} // namespace

ConnListNode *BuildConnectionList(Blocks &blocks, const std::vector<Connection> &connections) {
    NodeChain<ConnListNode> list;
    for (const Connection &connection : connections) {
        ConnListNode *node = list.Append(blocks);
        CopyField(node->userName, sizeof node->userName, connection.userName);
        node->connectionNumber = connection.connectionNumber;
        node->requestCount = connection.requestCount;
        node->bytesRead = connection.bytesRead;
        node->bytesWritten = connection.bytesWritten;
        node->loginTime = connection.loginTime;
        CopyField(node->networkAddress, sizeof node->networkAddress, connection.networkAddress);
    }
    return list.head;
}

UserInfo_s *BuildUserInfo(Blocks &blocks, const UserDetails &details, uint32_t stagedNumber) {
    UserInfo_s *info = blocks.New<UserInfo_s>();
    CopyField(info->userName, sizeof info->userName, details.userName);
    info->connectionNumber = details.connectionNumber.value_or(stagedNumber);
    info->loginTime = details.loginTime;
    CopyField(info->networkAddress, sizeof info->networkAddress, details.networkAddress);
    CopyField(info->loginStatus, sizeof info->loginStatus, details.loginStatus);
    CopyField(info->privileges, sizeof info->privileges, details.privileges);

    const auto &equivalences = details.securityEquivalences;
    info->securityEquivalenceCount =
        CountOr(details.securityEquivalenceCount, equivalences ? equivalences->size() : 0);
    if (equivalences)
        info->securityEquivalences = blocks.Array(*equivalences, info->securityEquivalenceCount);

    const auto &files = details.openFiles;
    info->openFileCount = CountOr(details.openFileCount, files ? files->size() : 0);
    if (files)
        info->openFiles = blocks.Array(*files, info->openFileCount);
    return info;
}

VolsDetailsNode *BuildVolumeList(Blocks &blocks, const std::vector<std::string> &names) {
    NodeChain<VolsDetailsNode> list;
    for (const std::string &name : names) {
        VolsDetailsNode *node = list.Append(blocks);
        CopyField(node->volumeName, sizeof node->volumeName, name);
    }
    return list.head;
}

VolFileListNode *BuildOpenFileList(Blocks &blocks, const std::vector<OpenFileRecord> &records) {
    NodeChain<VolFileListNode> list;
    for (const OpenFileRecord &record : records) {
        VolFileListNode *node = list.Append(blocks);
        node->fileCount = CountOr(record.fileCount, record.fileNames.size());
        CopyField(node->userName, sizeof node->userName, record.userName);
        node->connectionNumber = record.connectionNumber;
        node->fileNames = blocks.Array(record.fileNames, node->fileCount);
    }
    return list.head;
}

} // namespace hxm_test::scripted::detail
