/*
 * The test-facing control of the scriptable monitoring library: staging
 * answers, injecting failures and reading back what the plug-in did.
 */
#include "tests/support/scripted_afpstat_state.h"

#include <algorithm>
#include <stdexcept>

namespace hxm_test::scripted {

using detail::State;
using detail::TheState;

void Reset() {
    State &state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    detail::ReleaseAll(state);
    state.connections = ConnectionList();
    state.users.clear();
    state.volumes = VolumeList();
    state.openFiles.clear();
    state.closeByNameStatus = AFPSTAT_OK;
    state.closeByNameStatuses.clear();
    state.closeByIdStatus = AFPSTAT_OK;
    state.closeByIdStatuses.clear();
    state.clearStatus = AFPSTAT_OK;
    state.clearStatuses.clear();
    state.failures.clear();
    state.calls.clear();
    state.errors.clear();
}

void StageConnections(ConnectionList list) {
    State &state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.connections = std::move(list);
}

void StageUserDetails(uint32_t connectionNumber, UserDetails details) {
    if (!details.openFiles && details.openFileCount.value_or(0) > 0)
        throw std::invalid_argument("a null open-file array cannot promise open files");
    State &state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.users[connectionNumber] = std::move(details);
}

void StageVolumes(VolumeList list) {
    State &state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.volumes = std::move(list);
}

void StageOpenFiles(const std::string &volumeName, OpenFileList list) {
    State &state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.openFiles[volumeName] = std::move(list);
}

void SetCloseFileByFileNameStatus(int status) {
    State &state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.closeByNameStatus = status;
}

void SetCloseFileByFileNameStatus(const std::string &path, int status) {
    State &state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.closeByNameStatuses[path] = status;
}

void SetCloseFileByIDStatus(int status) {
    State &state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.closeByIdStatus = status;
}

void SetCloseFileByIDStatus(uint32_t connectionNumber, int status) {
    State &state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.closeByIdStatuses[connectionNumber] = status;
}

void SetClearOneConnectionStatus(int status) {
    State &state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.clearStatus = status;
}

void SetClearOneConnectionStatus(uint32_t connectionNumber, int status) {
    State &state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.clearStatuses[connectionNumber] = status;
}

void FailCall(unsigned callNumber, int status) {
    State &state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.failures[callNumber] = status;
}

std::vector<Call> Calls() {
    State &state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.calls;
}

std::size_t LiveCount() {
    State &state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.live.size();
}

std::vector<std::string> LiveHandouts() {
    State &state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    std::vector<const detail::Handout *> handouts;
    handouts.reserve(state.live.size());
    for (const auto &[head, handout] : state.live)
        handouts.push_back(&handout);
    std::sort(handouts.begin(), handouts.end(),
              [](const auto *a, const auto *b) { return a->callNumber < b->callNumber; });
    std::vector<std::string> lines;
    lines.reserve(handouts.size());
    for (const detail::Handout *handout : handouts)
        lines.push_back(handout->origin);
    return lines;
}

std::vector<std::string> Errors() {
    State &state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.errors;
}

} // namespace hxm_test::scripted
