/*
 * Each thread's login-time texts (see login_times.h).
 *
 * Notes: the plug-in may keep no global that needs a constructor or a
 * destructor, and a thread-local one with a destructor would pin the object
 * in memory after unload; so each thread keeps a plain pointer to a block on
 * the heap, every block is also on one list that the unload entry frees, and
 * a generation number tells a thread that its block went with an unload.
 */
#include "monitor/login_times.h"

#include <locale.h>
#include <pthread.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "base/bounded_copy.h"
#include "monitor/connections.h"

namespace hxm2afp {

namespace {

// A page of up to 2,048 rows fits with few collisions; 4,096 slots and the
// last list's 2,048 take 576 KiB a thread.
constexpr size_t kSlotBits = 12;
constexpr size_t kSlotCount = size_t{1} << kSlotBits;
// Longer settings are rare enough to go without memory.
constexpr size_t kSettingSize = 256;

struct Slot {
    unsigned long long seconds;
    bool used;
    unsigned char length;
    char text[HXM_TIME_STRING_SIZE];
};

} // namespace

struct LoginTimeMemory {
    LoginTimeMemory *next; // the next block on the list of every thread's block
    bool timeZoneSet;
    char timeZone[kSettingSize];
    char locale[kSettingSize];
    Slot slots[kSlotCount];
    // The texts of this thread's last list, in the order it asked for them.
    // The same list comes again in the same order, so these are read front
    // to back, which the processor fetches ahead; the slots, spread over
    // 384 KiB by their hash, would cost a wait for memory a row.
    Slot recent[kSlotCount / 2];
};

namespace {

pthread_mutex_t gBlocksLock = PTHREAD_MUTEX_INITIALIZER;
LoginTimeMemory *gBlocks = nullptr;
std::atomic<unsigned> gGeneration{0};

thread_local LoginTimeMemory *tMemory = nullptr;
thread_local unsigned tGeneration = 0;

size_t slot_of(unsigned long long seconds) {
    return static_cast<size_t>((seconds * 0x9E3779B97F4A7C15ULL) >> (64 - kSlotBits));
}

// This thread's block, made (and listed) on first use; null without memory.
LoginTimeMemory *thread_memory() {
    const unsigned generation = gGeneration.load(std::memory_order_acquire);
    if (tMemory != nullptr && tGeneration == generation)
        return tMemory;
    auto *memory = static_cast<LoginTimeMemory *>(calloc(1, sizeof(LoginTimeMemory)));
    tMemory = memory;
    tGeneration = generation;
    if (memory == nullptr)
        return nullptr;
    pthread_mutex_lock(&gBlocksLock);
    memory->next = gBlocks;
    gBlocks = memory;
    pthread_mutex_unlock(&gBlocksLock);
    return memory;
}

} // namespace

LoginTimeTexts::LoginTimeTexts(int listLength) : memory_(nullptr) {
    if (listLength < 0 || static_cast<size_t>(listLength) > kSlotCount / 2)
        return;
    // A thread with a locale of its own formats by it; keep to the global one.
    if (uselocale(static_cast<locale_t>(0)) != LC_GLOBAL_LOCALE)
        return;
    const char *zone = getenv("TZ");
    const char *locale = setlocale(LC_TIME, nullptr);
    if (locale == nullptr || strlen(locale) >= kSettingSize ||
        (zone != nullptr && strlen(zone) >= kSettingSize))
        return;
    LoginTimeMemory *memory = thread_memory();
    if (memory == nullptr)
        return;
    const bool same = memory->timeZoneSet == (zone != nullptr) &&
                      strcmp(memory->timeZone, zone != nullptr ? zone : "") == 0 &&
                      strcmp(memory->locale, locale) == 0;
    if (!same) {
        for (Slot &slot : memory->slots)
            slot.used = false;
        for (Slot &slot : memory->recent)
            slot.used = false;
        memory->timeZoneSet = zone != nullptr;
        strcpy(memory->timeZone, zone != nullptr ? zone : "");
        strcpy(memory->locale, locale);
    }
    memory_ = memory;
}

namespace {

bool copy_if_same(const Slot &slot, unsigned long long seconds, char *out) {
    if (!slot.used || slot.seconds != seconds)
        return false;
    copy_bounded(out, slot.text, slot.length);
    return true;
}

void remember(Slot &slot, unsigned long long seconds, const char *text) {
    slot.length =
        static_cast<unsigned char>(copy_bounded(slot.text, text, HXM_TIME_STRING_SIZE - 1));
    slot.seconds = seconds;
    slot.used = true;
}

} // namespace

int LoginTimeTexts::text(unsigned long long seconds, char *out) {
    if (memory_ == nullptr)
        return convertToTimeString(&seconds, out);
    Slot *recent = next_ < kSlotCount / 2 ? &memory_->recent[next_++] : nullptr;
    if (recent != nullptr && copy_if_same(*recent, seconds, out))
        return 0;
    // Two slots a time: a thousand times in 4,096 single slots would leave
    // about one in ten pushing another out on every page.
    Slot *pair = &memory_->slots[slot_of(seconds) & ~size_t{1}];
    bool found = copy_if_same(pair[0], seconds, out) || copy_if_same(pair[1], seconds, out);
    int result = 0;
    if (!found) {
        result = convertToTimeString(&seconds, out);
        if (result != 0)
            return result;
        // The newer text goes first; the older one moves to the second slot.
        if (pair[0].used)
            pair[1] = pair[0];
        remember(pair[0], seconds, out);
    }
    if (recent != nullptr)
        remember(*recent, seconds, out);
    return result;
}

void release_login_times() {
    pthread_mutex_lock(&gBlocksLock);
    LoginTimeMemory *memory = gBlocks;
    gBlocks = nullptr;
    gGeneration.fetch_add(1, std::memory_order_acq_rel);
    pthread_mutex_unlock(&gBlocksLock);
    while (memory != nullptr) {
        LoginTimeMemory *next = memory->next;
        free(memory);
        memory = next;
    }
}

} // namespace hxm2afp
