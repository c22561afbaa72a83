/*
 * The scriptable monitoring library's bookkeeping: the call record, injected
 * failures, the misuse record, and the register of lists and records handed
 * out, which is what lets a test prove the plug-in freed everything exactly
 * once.
 */
#include "tests/support/scripted_afpstat_state.h"

#include <sanitizer/asan_interface.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace hxm_test::scripted::detail {
namespace {

void FreeBlocks(const std::vector<void *> &blocks, std::size_t first) {
    for (std::size_t i = first; i < blocks.size(); ++i)
        std::free(blocks[i]);
}

/* Frees a retired handout's head; the rest went when it was freed. */
void FreeRetired(void *head, const Handout &handout) {
    ASAN_UNPOISON_MEMORY_REGION(head, handout.headSize);
    std::free(head);
}

} // namespace

State &TheState() {
    // Deliberately never destroyed: the plug-in's threads may outlive main.
    static State *const state = new State;
    return *state;
}

unsigned RecordCall(State &state, const char *function, uint32_t number) {
    Call call;
    call.function = function;
    call.number = number;
    state.calls.push_back(std::move(call));
    return static_cast<unsigned>(state.calls.size());
}

unsigned RecordTextCall(State &state, const char *function, const char *text) {
    Call call;
    call.function = function;
    if (text != nullptr)
        call.text = text;
    call.nullText = text == nullptr;
    state.calls.push_back(std::move(call));
    return static_cast<unsigned>(state.calls.size());
}

std::optional<int> InjectedFailure(const State &state, unsigned callNumber) {
    auto found = state.failures.find(callNumber);
    if (found == state.failures.end())
        return std::nullopt;
    return found->second;
}

void AddError(State &state, const char *format, ...) {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    state.errors.emplace_back(line);
}

void *HandOut(State &state, Blocks &blocks, std::size_t headSize, const char *freeFunction,
              const char *callName, unsigned callNumber) {
    if (blocks.Empty())
        return nullptr;
    // Everything that may throw happens while blocks still owns the memory.
    std::string origin = std::string(callName) + " (call " + std::to_string(callNumber) + ")";
    void *head = blocks.Head();
    Handout &handout = state.live.try_emplace(head).first->second;
    handout.freeFunction = freeFunction;
    handout.origin = std::move(origin);
    handout.callNumber = callNumber;
    handout.headSize = headSize;
    handout.blocks = blocks.Release();
    return head;
}

int ReleaseHandout(State &state, void *head, const char *freeFunction) {
    auto live = state.live.find(head);
    if (live != state.live.end()) {
        Handout &handout = live->second;
        if (std::strcmp(handout.freeFunction, freeFunction) != 0) {
            AddError(state, "%s: %p was made by %s and belongs to %s", freeFunction, head,
                     handout.origin.c_str(), handout.freeFunction);
            return AFPSTAT_ERR_ARGUMENT;
        }
        // Make room first so that retiring cannot fail half-way.
        state.retired.reserve(state.retired.size() + 1);
        FreeBlocks(handout.blocks, 1);
        std::vector<void *>().swap(handout.blocks);
        ASAN_POISON_MEMORY_REGION(head, handout.headSize);
        state.retired.insert(state.live.extract(live));
        return AFPSTAT_OK;
    }
    auto retired = state.retired.find(head);
    if (retired != state.retired.end()) {
        AddError(state, "%s: %p, made by %s, was already freed", freeFunction, head,
                 retired->second.origin.c_str());
        return AFPSTAT_ERR_ARGUMENT;
    }
    AddError(state, "%s: %p was never handed out", freeFunction, head);
    return AFPSTAT_ERR_ARGUMENT;
}

void ReleaseAll(State &state) {
    for (const auto &[head, handout] : state.live)
        FreeBlocks(handout.blocks, 0);
    state.live.clear();
    for (const auto &[head, handout] : state.retired)
        FreeRetired(head, handout);
    state.retired.clear();
}

} // namespace hxm_test::scripted::detail
