// Form data as plug-ins read it: finding a field and decoding its value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <zentra/hxm_host.h>

namespace hxm_test {
namespace {

struct FindCase {
    const char *postData;
    const char *name;
    int bound;
    int result;
    const char *value;
    int length;
};

TEST(ConsoleFindNameAndValue, FindsTheExactFieldWithinTheBound) {
    const FindCase cases[] = {
        {"FILTER=2", "FILTER", 63, 0, "2", 1},
        {"XFILTER=1&FILTER=2", "FILTER", 63, 0, "2", 1},
        {"FILTERX=1&FILTER=2", "FILTER", 63, 0, "2", 1},
        {"FILTERX=1", "FILTER", 63, 2, "", 63},
        {"a=1&b=2&a=3", "a", 63, 0, "1", 1},
        {"volume=&FILTER=x", "volume", 63, 0, "", 0},
        {"volume&FILTER=x", "volume", 63, 0, "", 0},
        {"name=a%20b+c", "name", 63, 0, "a%20b+c", 7},
        {"x=a=b", "x", 63, 0, "a=b", 3},
        {"&&x=1&", "x", 63, 0, "1", 1},
        {"", "x", 63, 2, "", 63},
        {"x=1", "X", 63, 2, "", 63},
        // The bound is the longest value taken: exactly at it, and one past.
        {"v=abcd", "v", 4, 0, "abcd", 4},
        {"v=abcde", "v", 4, 3, "", 5},
        {"v=", "v", 0, 0, "", 0},
        {"v=a", "v", 0, 3, "", 1},
    };
    for (const FindCase &c : cases) {
        // A guard byte after the bound catches any write past it.
        std::vector<char> buffer(static_cast<std::size_t>(c.bound) + 2, '#');
        int length = c.bound;
        EXPECT_EQ(HttpFindNameAndValue(c.postData, c.name, buffer.data(), &length), c.result)
            << c.postData << " / " << c.name;
        EXPECT_STREQ(buffer.data(), c.value) << c.postData << " / " << c.name;
        EXPECT_EQ(length, c.length) << c.postData << " / " << c.name;
        EXPECT_EQ(buffer.back(), '#') << c.postData << " / " << c.name;
    }
}

TEST(ConsoleFindNameAndValue, RefusesBadArguments) {
    char value[8];
    int length = 7;
    EXPECT_NE(HttpFindNameAndValue(nullptr, "a", value, &length), 0);
    EXPECT_NE(HttpFindNameAndValue("a=1", nullptr, value, &length), 0);
    EXPECT_NE(HttpFindNameAndValue("a=1", "", value, &length), 0);
    EXPECT_NE(HttpFindNameAndValue("a=1", "a", nullptr, &length), 0);
    EXPECT_NE(HttpFindNameAndValue("a=1", "a", value, nullptr), 0);
    length = -1;
    EXPECT_NE(HttpFindNameAndValue("a=1", "a", value, &length), 0);
}

struct UnConvertCase {
    std::string source;
    int length;
    std::string decoded;
};

TEST(ConsoleUnConvertName, DecodesFormEncodingWithinLength) {
    const UnConvertCase cases[] = {
        {"plain", 5, "plain"},
        {"a+b", 3, "a b"},
        {"%3Cb%3e", 7, "<b>"},
        {"100%", 4, "100%"},
        {"%4", 2, "%4"},
        {"%zz1", 4, "%zz1"},
        {"%4g", 3, "%4g"},
        {"ab%41", 4, "ab%4"}, // the escape is cut by the length: kept as it stands
        {"ab%41", 5, "abA"},
        {"abc", 0, ""},
        {"ab\0cd", 5, "ab"}, // a NUL ends the source early
        {"%C3%A9", 6, "\xc3\xa9"},
    };
    for (const UnConvertCase &c : cases) {
        // Room for length + 1 bytes, then guard bytes that must survive.
        std::vector<char> destination(static_cast<std::size_t>(c.length) + 1 + 4, '#');
        int decodedLength = HttpUnConvertName(c.source.data(), destination.data(), c.length);
        EXPECT_EQ(decodedLength, static_cast<int>(c.decoded.size())) << c.source;
        EXPECT_EQ(std::string(destination.data()), c.decoded) << c.source;
        EXPECT_EQ(std::string(destination.end() - 4, destination.end()), "####") << c.source;
    }
}

TEST(ConsoleUnConvertName, DecodesInPlace) {
    char text[] = "a%20b+%3D";
    EXPECT_EQ(HttpUnConvertName(text, text, 9), 5);
    EXPECT_STREQ(text, "a b =");
}

TEST(ConsoleUnConvertName, DecodedNulCountsInTheLength) {
    char destination[8];
    EXPECT_EQ(HttpUnConvertName("a%00b", destination, 5), 3);
    EXPECT_EQ(destination[1], '\0');
    EXPECT_EQ(destination[2], 'b');
}

TEST(ConsoleUnConvertName, RefusesBadArgumentsWithoutWriting) {
    char destination[4] = "###";
    EXPECT_EQ(HttpUnConvertName(nullptr, destination, 3), -1);
    EXPECT_EQ(HttpUnConvertName("abc", destination, -1), -1);
    EXPECT_STREQ(destination, "###");
    EXPECT_EQ(HttpUnConvertName("abc", nullptr, 3), -1);
}

} // namespace

} // namespace hxm_test
