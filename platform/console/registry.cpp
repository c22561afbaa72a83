/*
 * Registration and removal of service methods, and the read side the router
 * and the pages use. The table is small (a few keywords per plug-in), so a
 * vector in registration order under a reader-writer lock serves every use.
 *
 * Removal does not wait for calls in flight: whoever unloads a plug-in stops
 * routing requests to it first.
 */
#include "platform/console/registry.h"

#include <cstring>
#include <mutex>
#include <new>
#include <shared_mutex>

namespace hxm_console {

namespace {

struct Registry {
    std::shared_mutex lock;
    std::vector<hxm::Registration> entries;
};

// Never destroyed: plug-ins deregister from their own destructors, which may
// run after this library's static destructors at process exit.
Registry &TheRegistry() {
    static Registry *registry = new Registry;
    return *registry;
}

// Keywords appear verbatim in URL paths and links, so they are limited to
// characters that need no escaping there.
bool IsKeywordCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == '~';
}

// The keyword made of the first `length` bytes of `text`, or false when those
// bytes are missing, empty or hold a character a keyword may not have.
bool TakeKeyword(const char *text, int length, std::string *keyword) {
    if (text == nullptr || length <= 0)
        return false;
    std::size_t size = static_cast<std::size_t>(length);
    if (strnlen(text, size) != size)
        return false;
    for (std::size_t i = 0; i < size; ++i) {
        if (!IsKeywordCharacter(text[i]))
            return false;
    }
    keyword->assign(text, size);
    return true;
}

int Refuse(int *outCode, int code) {
    *outCode = code;
    return 0;
}

} // namespace

HxmServiceMethod FindServiceMethod(const std::string &decodedPath) {
    if (decodedPath.empty() || decodedPath[0] != '/')
        return nullptr;
    Registry &registry = TheRegistry();
    std::shared_lock<std::shared_mutex> reading(registry.lock);
    const hxm::Registration *best = nullptr;
    for (const hxm::Registration &entry : registry.entries) {
        if (decodedPath.compare(1, entry.keyword.size(), entry.keyword) != 0)
            continue;
        if (best == nullptr || entry.keyword.size() > best->keyword.size())
            best = &entry;
    }
    return best != nullptr ? best->method : nullptr;
}

std::vector<NavigationGroup> NavigationGroups() {
    std::vector<hxm::Registration> entries = hxm::Registrations();
    std::vector<NavigationGroup> groups;
    for (hxm::Registration &entry : entries) {
        NavigationGroup *group = nullptr;
        for (NavigationGroup &existing : groups) {
            if (existing.title == entry.groupTitle) {
                group = &existing;
                break;
            }
        }
        if (group == nullptr) {
            groups.push_back(NavigationGroup{entry.groupTitle, {}});
            group = &groups.back();
        }
        group->links.push_back(std::move(entry));
    }
    return groups;
}

} // namespace hxm_console

namespace hxm {

std::vector<Registration> Registrations() {
    hxm_console::Registry &registry = hxm_console::TheRegistry();
    std::shared_lock<std::shared_mutex> reading(registry.lock);
    return registry.entries;
}

} // namespace hxm

extern "C" int RegisterServiceMethodEx(const char *linkText, const char *keyword, int keywordLength,
                                       HxmServiceGroup *group, unsigned int flags,
                                       unsigned int /*reserved*/, HxmServiceMethod method,
                                       unsigned int /*reserved2*/, int *outCode) {
    using namespace hxm_console;
    if (outCode == nullptr)
        return 0;
    try {
        hxm::Registration entry;
        if (linkText == nullptr || group == nullptr || method == nullptr ||
            !TakeKeyword(keyword, keywordLength, &entry.keyword))
            return Refuse(outCode, HXM_REGISTER_BAD_ARGUMENT);
        entry.linkText = linkText;
        // The title field need not be terminated: never read past it.
        entry.groupTitle.assign(group->title, strnlen(group->title, sizeof group->title));
        entry.flags = flags;
        entry.method = method;

        Registry &registry = TheRegistry();
        std::unique_lock<std::shared_mutex> writing(registry.lock);
        for (const hxm::Registration &existing : registry.entries) {
            if (existing.keyword == entry.keyword)
                return Refuse(outCode, HXM_REGISTER_DUPLICATE);
        }
        registry.entries.push_back(std::move(entry));
    } catch (const std::bad_alloc &) {
        return Refuse(outCode, HXM_REGISTER_NO_MEMORY);
    }
    *outCode = HXM_REGISTER_OK;
    return 1;
}

extern "C" int DeRegisterServiceMethod(const char * /*linkText*/, const char *keyword,
                                       int keywordLength, HxmServiceMethod method,
                                       unsigned int /*reserved*/, int *outCode) {
    using namespace hxm_console;
    if (outCode == nullptr)
        return 0;
    try {
        std::string name;
        if (method == nullptr || !TakeKeyword(keyword, keywordLength, &name))
            return Refuse(outCode, HXM_REGISTER_BAD_ARGUMENT);
        // The link text is not compared: a plug-in passes it through its
        // translations again, which may have changed since it registered.
        Registry &registry = TheRegistry();
        std::unique_lock<std::shared_mutex> writing(registry.lock);
        for (auto it = registry.entries.begin(); it != registry.entries.end(); ++it) {
            if (it->keyword == name && it->method == method) {
                registry.entries.erase(it);
                *outCode = HXM_REGISTER_OK;
                return 1;
            }
        }
    } catch (const std::bad_alloc &) {
        return Refuse(outCode, HXM_REGISTER_NO_MEMORY);
    }
    return Refuse(outCode, HXM_REGISTER_NOT_FOUND);
}
