// Path handling of the console: percent-decoding of request paths and the
// in-place rewrite into length-prefixed components.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <zentra/hxm_host.h>

#include "platform/console/hxm_console.h"

namespace hxm_test {
namespace {

// Renders a component path readably: each length byte as "[n]".
std::string ShowComponents(const std::string &converted) {
    std::string shown;
    for (char c : converted) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte == 255 || c == '/')
            shown += "[" + std::to_string(byte) + "]";
        else
            shown += c;
    }
    return shown;
}

struct ComponentCase {
    const char *path;
    int count;
    const char *shown;
};

TEST(ConsoleComponentPath, RewritesEachSlashIntoTheLengthAfterIt) {
    const ComponentCase cases[] = {
        {"", 0, ""},
        {"/", 1, "[0]"},
        {"/a", 1, "[1]a"},
        {"/UserName/VOL1", 2, "[8]UserName[4]VOL1"},
        {"/a/", 2, "[1]a[0]"},
        {"//", 2, "[0][0]"},
        {"/a//b", 3, "[1]a[0][1]b"},
        {"abc", 0, "abc"}, // text before any slash is no component
        {"x/yz", 1, "x[2]yz"},
    };
    for (const ComponentCase &c : cases) {
        std::string buffer = c.path;
        int count = ConvertToComponentPath(buffer.data());
        EXPECT_EQ(count, c.count) << c.path;
        EXPECT_EQ(ShowComponents(buffer), c.shown) << c.path;
    }
}

TEST(ConsoleComponentPath, NullGivesNoComponents) {
    EXPECT_EQ(ConvertToComponentPath(nullptr), 0);
}

TEST(ConsoleComponentPath, ComponentOf255BytesFitsItsLengthByte) {
    std::string component(255, 'c');
    std::string buffer = "/" + component + "/x";
    ASSERT_EQ(ConvertToComponentPath(buffer.data()), 2);
    EXPECT_EQ(static_cast<unsigned char>(buffer[0]), 255);
    EXPECT_EQ(buffer.substr(1, 255), component);
    EXPECT_EQ(buffer[256], '\1');
    EXPECT_EQ(buffer[257], 'x');
}

TEST(ConsoleComponentPath, LongerComponentIsRefusedAndLeavesThePathAlone) {
    for (const std::string &path :
         {"/" + std::string(256, 'c'), "/ok/" + std::string(300, 'c') + "/tail",
          std::string(256, 'c') + "/x"}) {
        std::string buffer = path;
        EXPECT_EQ(ConvertToComponentPath(buffer.data()), -1);
        EXPECT_EQ(buffer, path);
    }
}

struct DecodeCase {
    const char *encoded;
    bool accepted;
    const char *decoded;
};

TEST(ConsoleDecodePath, DecodesPercentEscapesOnly) {
    const DecodeCase cases[] = {
        {"/afpcons", true, "/afpcons"},
        {"/a%20b", true, "/a b"},
        {"/a+b", true, "/a+b"},
        {"/%3Ccloseconn%3E7%3C%2Fcloseconn%3E", true, "/<closeconn>7</closeconn>"},
        {"/%c3%A9", true, "/\xc3\xa9"},
        {"/%25", true, "/%"},
        {"", true, ""},
        {"/%", false, ""},
        {"/%4", false, ""},
        {"/%4g", false, ""},
        {"/%g4", false, ""},
        {"/%00", false, ""},
        {"/a%00b", false, ""},
    };
    for (const DecodeCase &c : cases) {
        std::string decoded = "untouched";
        EXPECT_EQ(hxm::DecodePath(c.encoded, &decoded), c.accepted) << c.encoded;
        if (c.accepted) {
            EXPECT_EQ(decoded, c.decoded) << c.encoded;
        }
    }
}

TEST(ConsoleDecodePath, RefusesARawNulAndANullResult) {
    std::string decoded;
    EXPECT_FALSE(hxm::DecodePath(std::string("/a\0b", 4), &decoded));
    EXPECT_FALSE(hxm::DecodePath("/a", nullptr));
}

TEST(ConsoleDecodePath, ComponentLengthIsCountedAfterDecoding) {
    std::string decoded;
    EXPECT_TRUE(hxm::DecodePath("/k/" + std::string(255, 'x'), &decoded));
    EXPECT_FALSE(hxm::DecodePath("/k/" + std::string(256, 'x'), &decoded));
    // 255 escapes decode to 255 bytes: accepted although the text is longer.
    std::string escaped;
    for (int i = 0; i < 255; ++i)
        escaped += "%41";
    EXPECT_TRUE(hxm::DecodePath("/" + escaped, &decoded));
    EXPECT_EQ(decoded, "/" + std::string(255, 'A'));
    EXPECT_FALSE(hxm::DecodePath("/" + escaped + "%41", &decoded));
    // An encoded slash separates components once decoded.
    EXPECT_TRUE(
        hxm::DecodePath("/" + std::string(200, 'x') + "%2F" + std::string(200, 'y'), &decoded));
}

} // namespace

} // namespace hxm_test
