// Registration of service methods: refusals, removal, what the console keeps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <zentra/hxm_host.h>

#include "platform/console/hxm_console.h"
#include "tests/platform/console/test_support.h"

namespace hxm_test {
namespace {

int MethodA(void *, unsigned int, unsigned int, unsigned int) {
    return 0;
}
int MethodB(void *, unsigned int, unsigned int, unsigned int) {
    return 0;
}

const hxm::Registration *Find(const std::vector<hxm::Registration> &all, const std::string &key) {
    for (const hxm::Registration &entry : all) {
        if (entry.keyword == key)
            return &entry;
    }
    return nullptr;
}

HxmServiceGroup Group(const char *title) {
    HxmServiceGroup group{};
    std::strncpy(group.title, title, sizeof group.title - 1);
    return group;
}

TEST(ConsoleRegistry, KeepsWhatWasRegisteredInOrder) {
    ScopedRegistration first("regfirst", MethodA, "First Link", "Group One");
    ScopedRegistration second("regsecond", MethodB, "Second Link", "Group Two");
    ASSERT_TRUE(first.registered());
    ASSERT_TRUE(second.registered());
    EXPECT_EQ(first.code(), HXM_REGISTER_OK);

    std::vector<hxm::Registration> all = hxm::Registrations();
    const hxm::Registration *a = Find(all, "regfirst");
    const hxm::Registration *b = Find(all, "regsecond");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_LT(a, b);
    EXPECT_EQ(a->linkText, "First Link");
    EXPECT_EQ(a->groupTitle, "Group One");
    EXPECT_EQ(a->flags, 0x4000du);
    EXPECT_EQ(a->method, &MethodA);
    EXPECT_EQ(b->groupTitle, "Group Two");
}

TEST(ConsoleRegistry, RefusesASecondRegistrationOfAKeyword) {
    ScopedRegistration first("regdup", MethodA);
    ASSERT_TRUE(first.registered());
    HxmServiceGroup group = Group("Other");
    int code = -1;
    EXPECT_EQ(RegisterServiceMethodEx("Again", "regdup", 6, &group, 0, 0, MethodB, 0, &code), 0);
    EXPECT_EQ(code, HXM_REGISTER_DUPLICATE);
    EXPECT_EQ(Find(hxm::Registrations(), "regdup")->method, &MethodA);
}

TEST(ConsoleRegistry, HonoursTheKeywordLength) {
    HxmServiceGroup group = Group("G");
    int code = -1;
    ASSERT_NE(RegisterServiceMethodEx("L", "reglenXYZ", 6, &group, 0, 0, MethodA, 0, &code), 0);
    EXPECT_NE(Find(hxm::Registrations(), "reglen"), nullptr);
    EXPECT_EQ(Find(hxm::Registrations(), "reglenXYZ"), nullptr);
    EXPECT_NE(DeRegisterServiceMethod("L", "reglen", 6, MethodA, 0, &code), 0);
    EXPECT_EQ(Find(hxm::Registrations(), "reglen"), nullptr);
}

TEST(ConsoleRegistry, ReadsAGroupTitleOnlyWithinItsField) {
    HxmServiceGroup group;
    std::memset(&group, 'T', sizeof group); // no terminator anywhere in the record
    group.word0 = 0;
    group.word1 = 0;
    int code = -1;
    ASSERT_NE(RegisterServiceMethodEx("L", "regtitle", 8, &group, 0, 0, MethodA, 0, &code), 0);
    EXPECT_EQ(Find(hxm::Registrations(), "regtitle")->groupTitle,
              std::string(HXM_GROUP_TITLE_SIZE, 'T'));
    DeRegisterServiceMethod("L", "regtitle", 8, MethodA, 0, &code);

    HxmServiceGroup shorter = Group(std::string(63, 'S').c_str());
    ASSERT_NE(RegisterServiceMethodEx("L", "regtitle", 8, &shorter, 0, 0, MethodA, 0, &code), 0);
    EXPECT_EQ(Find(hxm::Registrations(), "regtitle")->groupTitle, std::string(63, 'S'));
    DeRegisterServiceMethod("L", "regtitle", 8, MethodA, 0, &code);
}

TEST(ConsoleRegistry, RefusesBadArgumentsWithACode) {
    HxmServiceGroup group = Group("G");
    struct Case {
        const char *what;
        const char *linkText;
        const char *keyword;
        int length;
        HxmServiceGroup *group;
        HxmServiceMethod method;
    };
    const Case cases[] = {
        {"null link", nullptr, "regbad", 6, &group, MethodA},
        {"null keyword", "L", nullptr, 6, &group, MethodA},
        {"zero length", "L", "regbad", 0, &group, MethodA},
        {"negative length", "L", "regbad", -3, &group, MethodA},
        {"length past the text", "L", "reg", 6, &group, MethodA},
        {"slash in keyword", "L", "reg/bad", 7, &group, MethodA},
        {"blank in keyword", "L", "reg bad", 7, &group, MethodA},
        {"quote in keyword", "L", "reg\"bad", 7, &group, MethodA},
        {"null group", "L", "regbad", 6, nullptr, MethodA},
        {"null method", "L", "regbad", 6, &group, nullptr},
    };
    for (const Case &c : cases) {
        int code = -1;
        EXPECT_EQ(RegisterServiceMethodEx(c.linkText, c.keyword, c.length, c.group, 0, 0, c.method,
                                          0, &code),
                  0)
            << c.what;
        EXPECT_EQ(code, HXM_REGISTER_BAD_ARGUMENT) << c.what;
    }
    EXPECT_EQ(RegisterServiceMethodEx("L", "regbad", 6, &group, 0, 0, MethodA, 0, nullptr), 0);
    EXPECT_EQ(Find(hxm::Registrations(), "regbad"), nullptr);
}

TEST(ConsoleRegistry, DeregistersOnlyTheSameKeywordAndMethod) {
    ScopedRegistration kept("regkeep", MethodA);
    ASSERT_TRUE(kept.registered());
    int code = -1;
    EXPECT_EQ(DeRegisterServiceMethod("L", "regkeep", 7, MethodB, 0, &code), 0);
    EXPECT_EQ(code, HXM_REGISTER_NOT_FOUND);
    EXPECT_EQ(DeRegisterServiceMethod("L", "regother", 8, MethodA, 0, &code), 0);
    EXPECT_EQ(code, HXM_REGISTER_NOT_FOUND);
    EXPECT_EQ(DeRegisterServiceMethod("L", nullptr, 7, MethodA, 0, &code), 0);
    EXPECT_EQ(code, HXM_REGISTER_BAD_ARGUMENT);
    EXPECT_EQ(DeRegisterServiceMethod("L", "regkeep", 7, MethodA, 0, nullptr), 0);
    EXPECT_NE(Find(hxm::Registrations(), "regkeep"), nullptr);

    // The link text is not compared: translations may have changed meanwhile.
    EXPECT_NE(DeRegisterServiceMethod("Anders", "regkeep", 7, MethodA, 0, &code), 0);
    EXPECT_EQ(code, HXM_REGISTER_OK);
    EXPECT_EQ(Find(hxm::Registrations(), "regkeep"), nullptr);
    // Removed once; a second removal finds nothing. Registering again works.
    EXPECT_EQ(DeRegisterServiceMethod("L", "regkeep", 7, MethodA, 0, &code), 0);
    HxmServiceGroup group = Group("G");
    EXPECT_NE(RegisterServiceMethodEx("L", "regkeep", 7, &group, 0, 0, MethodB, 0, &code), 0);
    EXPECT_NE(DeRegisterServiceMethod("L", "regkeep", 7, MethodB, 0, &code), 0);
}

} // namespace

} // namespace hxm_test
