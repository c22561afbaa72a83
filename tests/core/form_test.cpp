/*
 * The exported form readers over real post bodies (through the host
 * console's field lookup), and the two string utilities.
 */
#include <gtest/gtest.h>
#include <limits.h>

#include <string>

#include "tests/support/logger_fixture.h"

namespace hxm_test {
namespace {

// A body as the connection and open-file forms post it.
const std::string kSixtyFour(64, 'a');
const std::string kBodyText = "CONNECTIONID=12&CONNECTIONID=13&FILENAME=%2Fvol%2Fmy+file%26more.txt"
                              "&FILTER=*.doc&volume=SYS&sorttype=2&empty=&bare&count=42abc"
                              "&letters=abc&negative=-17&spaced=+%2B9&huge=99999999999"
                              "&tiny=-99999999999&check=ON&radio=Off&radio2=oN&radio3=maybe"
                              "&long=" +
                              kSixtyFour;
const char *const kBody = kBodyText.c_str();

struct StringCase {
    const char *name;
    int maxLength;
    int result;
    const char *value;
};

class PostGetString : public testing::TestWithParam<StringCase> {};

TEST_P(PostGetString, DecodesTheFieldAndReturnsItsRawLength) {
    char out[4096];
    memset(out, 'z', sizeof out);
    EXPECT_EQ(Plugin().postGetString(kBody, GetParam().name, out, GetParam().maxLength),
              GetParam().result);
    EXPECT_STREQ(out, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, PostGetString,
    testing::Values(StringCase{"FILENAME", 100, 27, "/vol/my file&more.txt"},
                    StringCase{"CONNECTIONID", 100, 2, "12"}, // the first field wins
                    StringCase{"volume", 3, 3, "SYS"},        // exactly the maximum
                    StringCase{"volume", 2, 0, ""},           // longer than allowed
                    StringCase{"empty", 100, 0, ""},          // present but empty
                    StringCase{"bare", 100, 0, ""}, StringCase{"absent", 100, 0, ""},
                    StringCase{"volume", -5, 0, ""},
                    StringCase{"long", 64, 64, kSixtyFour.c_str()}));

TEST(PostGetUrl, AcceptsUpTo4095Characters) {
    std::string body = "url=" + std::string(4095, 'u') + "&over=" + std::string(4096, 'o');
    std::string out(4096, 'z');
    EXPECT_EQ(Plugin().postGetUrl(body.c_str(), "url", &out[0]), 4095);
    EXPECT_EQ(std::string(out.c_str()), std::string(4095, 'u'));
    EXPECT_EQ(Plugin().postGetUrl(body.c_str(), "over", &out[0]), 0);
    EXPECT_STREQ(out.c_str(), "");
    // A maximum beyond the reader's own buffer is taken as 4095.
    EXPECT_EQ(Plugin().postGetString(body.c_str(), "over", &out[0], 100000), 0);
    EXPECT_EQ(Plugin().postGetString(body.c_str(), "url", &out[0], 100000), 4095);
}

struct IntCase {
    const char *name;
    int expected;
};

class PostGetInt : public testing::TestWithParam<IntCase> {};

TEST_P(PostGetInt, ReadsTheRawValueLikeStrtol) {
    int result = 0;
    EXPECT_EQ(Plugin().postGetInt(kBody, GetParam().name, &result, -999), 0);
    EXPECT_EQ(result, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Fields, PostGetInt,
                         testing::Values(IntCase{"sorttype", 2}, IntCase{"count", 42},
                                         IntCase{"letters", 0}, // present: 0, not the default
                                         IntCase{"negative", -17},
                                         IntCase{"spaced", 0}, // "+%2B9": raw, not decoded
                                         IntCase{"huge", INT_MAX}, IntCase{"tiny", INT_MIN},
                                         IntCase{"empty", -999}, IntCase{"absent", -999},
                                         IntCase{"long", -999})); // longer than 63

TEST(PostCheckbox, ComparesWithoutCaseAndLogsItsEntry) {
    const PluginApi &api = Plugin();
    std::string path = FreshDirectory("checkbox") + "/form.log";
    api.deinit();
    api.init(path.c_str(), HXM_LOG_DEBUG);
    int result = -1;
    EXPECT_EQ(api.postCheckbox(kBody, "check", "on", &result, 7), 0);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(api.postCheckbox(kBody, "volume", "on", &result, 7), 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(api.postCheckbox(kBody, "absent", "on", &result, 7), 0);
    EXPECT_EQ(result, 7);
    EXPECT_EQ(api.postCheckbox(kBody, "empty", "", &result, 7), 0);
    EXPECT_EQ(result, 7);
    EXPECT_EQ(WithoutStamps(ReadFile(path)), "[D T] [POST_CHECKBOX] enter kw=check chkstr=on\n"
                                             "[D T] [POST_CHECKBOX] enter kw=volume chkstr=on\n"
                                             "[D T] [POST_CHECKBOX] enter kw=absent chkstr=on\n"
                                             "[D T] [POST_CHECKBOX] enter kw=empty chkstr=\n");
    api.deinit();
}

struct RadioCase {
    const char *name;
    int result;
    int flag;
};

class PostRadiobutton : public testing::TestWithParam<RadioCase> {};

TEST_P(PostRadiobutton, ReadsOnAndOffOnly) {
    int flag = -1;
    EXPECT_EQ(Plugin().postRadiobutton(kBody, GetParam().name, &flag), GetParam().result);
    EXPECT_EQ(flag, GetParam().flag);
}

INSTANTIATE_TEST_SUITE_P(Fields, PostRadiobutton,
                         testing::Values(RadioCase{"radio", 0, 0}, RadioCase{"radio2", 0, 1},
                                         RadioCase{"check", 0, 1}, RadioCase{"volume", 2, 1},
                                         RadioCase{"radio3", 2, 1}, RadioCase{"empty", 2, 1},
                                         RadioCase{"absent", 2, 1}));

TEST(PostRadiobutton, LogsItsEntry) {
    const PluginApi &api = Plugin();
    std::string path = FreshDirectory("radio") + "/form.log";
    api.deinit();
    api.init(path.c_str(), HXM_LOG_DEBUG);
    int flag = 0;
    api.postRadiobutton(kBody, "radio", &flag);
    EXPECT_EQ(WithoutStamps(ReadFile(path)), "[D T] [POST_RADIOBUTTON] enter button=radio\n");
    api.deinit();
}

TEST(FormReaders, NullArgumentsReadAsAbsent) {
    const PluginApi &api = Plugin();
    char out[8] = "zzz";
    int value = 5;
    EXPECT_EQ(api.postGetString(nullptr, "x", out, 7), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(api.postGetInt(kBody, nullptr, &value, 3), 0);
    EXPECT_EQ(value, 3);
    EXPECT_EQ(api.postCheckbox(kBody, "check", nullptr, &value, 4), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(api.postRadiobutton(nullptr, "radio", &value), 2);
}

struct TextCase {
    const char *input;
    const char *expected;
};

class CompressUri : public testing::TestWithParam<TextCase> {};

TEST_P(CompressUri, DropsEverySecondSlashOfARun) {
    char out[64];
    EXPECT_EQ(Plugin().compressUri(out, GetParam().input), 0);
    EXPECT_STREQ(out, GetParam().expected);
    // In place as well.
    char same[64];
    snprintf(same, sizeof same, "%s", GetParam().input);
    EXPECT_EQ(Plugin().compressUri(same, same), 0);
    EXPECT_STREQ(same, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Runs, CompressUri,
                         testing::Values(TextCase{"", ""}, TextCase{"/", "/"},
                                         TextCase{"/a/b/", "/a/b/"}, TextCase{"a//b", "a/b"},
                                         TextCase{"a///b", "a//b"}, TextCase{"a////b", "a//b"},
                                         TextCase{"a/////b", "a///b"},
                                         TextCase{"//a//b//", "/a/b/"},
                                         TextCase{"http://host//x", "http:/host/x"}));

class Strupr : public testing::TestWithParam<TextCase> {};

TEST_P(Strupr, UpperCasesLettersOnly) {
    char text[64];
    snprintf(text, sizeof text, "%s", GetParam().input);
    EXPECT_EQ(Plugin().strupr(text), 0);
    EXPECT_STREQ(text, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, Strupr,
                         testing::Values(TextCase{"", ""}, TextCase{"abc", "ABC"},
                                         TextCase{"MiXeD 123 .,;-_", "MIXED 123 .,;-_"},
                                         // Bytes above 127 are not letters in the C locale.
                                         TextCase{"caf\xc3\xa9", "CAF\xc3\xa9"}));

} // namespace
} // namespace hxm_test
