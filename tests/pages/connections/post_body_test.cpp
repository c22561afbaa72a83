/*
 * The post body decoder and the "<filename>" close loop, through the
 * plug-in's exports and the scriptable monitoring library.
 */
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/pages/connections/connections_fixture.h"

namespace hxm_test {
namespace {

using DecodeFunction = int (*)(const char *, unsigned long, char **);
using ParseFunction = int (*)(const char *);
using CloseFunction = int (*)(const char *);

class PostBodyTest : public ConnectionsTest {
  protected:
    void SetUp() override {
        ConnectionsTest::SetUp();
        decode_ = Export<DecodeFunction>("_Z20decodePostDataStringPKcmPPc");
        parse_ = Export<ParseFunction>("_Z24parseDataToCloseAFPFilesPKc");
        close_ = Export<CloseFunction>("_Z13closeAFPFilesPKc");
        ASSERT_TRUE(decode_ && parse_ && close_);
    }

    /* Decodes exactly `encoded.size()` bytes held in a heap block of that
     * size (no terminator), so a read past the given length is caught. */
    std::string DecodeBounded(const std::string &encoded, bool terminate) {
        const size_t size = encoded.size() + (terminate ? 1 : 0);
        std::unique_ptr<char[]> block(new char[size == 0 ? 1 : size]);
        memcpy(block.get(), encoded.data(), encoded.size());
        if (terminate)
            block[encoded.size()] = '\0';
        char *decoded = nullptr;
        EXPECT_EQ(decode_(block.get(), encoded.size(), &decoded), 0);
        if (decoded == nullptr) {
            ADD_FAILURE() << "no buffer for " << encoded;
            return "<null>";
        }
        std::string text(decoded);
        free(decoded);
        return text;
    }

    std::vector<std::string> ClosedFiles() {
        std::vector<std::string> names;
        for (const scripted::Call &call : CallsOf("Ext_CloseFileByFileName"))
            names.push_back(call.text);
        return names;
    }

    DecodeFunction decode_ = nullptr;
    ParseFunction parse_ = nullptr;
    CloseFunction close_ = nullptr;
};

struct DecodeCase {
    const char *encoded;
    std::string decoded;
};

TEST_F(PostBodyTest, DecodesPlusEscapesAndStrtolStyleDigits) {
    const DecodeCase cases[] = {
        {"a+b%2Bc", "a b+c"},
        {"%41%42", "AB"},
        {"x%zzy", "x"},  // no digit reads 0: the text ends there
        {"%4G", "\x04"}, // digits stop at the first other character
        {"%4g%41", "\x04"
                   "A"}, // three characters consumed whatever they were
        {"% 9", "\x09"}, // leading blank allowed
        {"%-1", "\xff"}, // sign allowed; low 8 bits kept
        {"%+a", "\x0a"},
        {"%ff%FF", "\xff\xff"},
        {"plain", "plain"},
        {"", ""},
        {"+++", "   "},
        {"%3C%3E%26%22%27", "<>&\"'"},
        {"%C3%A9", "\xc3\xa9"},
        // A "%" without two characters after it stays as it is.
        {"100%", "100%"},
        {"100%4", "100%4"},
        {"%", "%"},
        {"%%41", ""}, // "%4" holds no leading digit: a zero byte ends the text
    };
    for (const DecodeCase &c : cases) {
        EXPECT_EQ(DecodeBounded(c.encoded, true), c.decoded) << c.encoded;
        EXPECT_EQ(DecodeBounded(c.encoded, false), c.decoded) << c.encoded << " unterminated";
    }
}

TEST_F(PostBodyTest, StopsAtTheTextsEndBeforeTheLength) {
    const char text[] = "ab\0cd";
    char *decoded = nullptr;
    ASSERT_EQ(decode_(text, sizeof text - 1, &decoded), 0);
    ASSERT_NE(decoded, nullptr);
    EXPECT_STREQ(decoded, "ab");
    free(decoded);
}

TEST_F(PostBodyTest, NeverReadsPastTheLengthAtAnySplitPoint) {
    // Every prefix of a body with escapes cut at each point: the decoder is
    // given only the prefix's bytes, without a terminator (ASan watches).
    const std::string body = "FILENAME=%3Cfilename%3E%2Fvol%2Fa+b%25c%3C%2Ffilename%3E&x=%4";
    for (size_t cut = 0; cut <= body.size(); ++cut) {
        const std::string decoded = DecodeBounded(body.substr(0, cut), false);
        EXPECT_LE(decoded.size(), cut);
    }
}

TEST_F(PostBodyTest, NullTextDecodesAsEmpty) {
    char *decoded = nullptr;
    ASSERT_EQ(decode_(nullptr, 0, &decoded), 0);
    ASSERT_NE(decoded, nullptr);
    EXPECT_STREQ(decoded, "");
    free(decoded);
}

TEST_F(PostBodyTest, AnImpossibleAllocationGivesANullBody) {
    char *decoded = reinterpret_cast<char *>(1);
    ASSERT_EQ(decode_("abc", static_cast<unsigned long>(-1), &decoded), 0);
    EXPECT_EQ(decoded, nullptr);
}

TEST_F(PostBodyTest, ClosesEachMarkedNameInOrder) {
    EXPECT_EQ(parse_("FILENAME=<filename>/v/A</filename>&select=on&"
                     "FILENAME=<filename>/v/B c</filename>"),
              0);
    EXPECT_EQ(ClosedFiles(), (std::vector<std::string>{"/v/A", "/v/B c"}));
}

TEST_F(PostBodyTest, PassesALongNameWhole) {
    // A cut name could name another file.
    const std::string name(600, 'n');
    parse_(("<filename>" + name + "</filename>").c_str());
    EXPECT_EQ(ClosedFiles(), (std::vector<std::string>{name}));
}

TEST_F(PostBodyTest, ClosesNothingWithoutACompletePair) {
    const char *bodies[] = {nullptr,
                            "",
                            "FILENAME=/v/a",
                            "<filename>/v/a",
                            "</filename><filename>",
                            "<filename/v/a</filename>"};
    for (const char *body : bodies)
        EXPECT_EQ(parse_(body), 0) << (body ? body : "null");
    EXPECT_TRUE(ClosedFiles().empty());
}

TEST_F(PostBodyTest, AFailedCloseIsSkippedAndTheLoopGoesOn) {
    scripted::SetCloseFileByFileNameStatus("/v/A", AFPSTAT_ERR_NOT_FOUND);
    EXPECT_EQ(parse_("<filename>/v/A</filename><filename>/v/B</filename>"), 0);
    EXPECT_EQ(ClosedFiles(), (std::vector<std::string>{"/v/A", "/v/B"}));
    EXPECT_EQ(close_("/v/A"), AFPSTAT_ERR_NOT_FOUND);
    EXPECT_EQ(close_("/v/B"), AFPSTAT_OK);
}

TEST_F(PostBodyTest, AnEmptyNameBetweenMarkersIsStillAskedFor) {
    parse_("<filename></filename><filename>x</filename>");
    EXPECT_EQ(ClosedFiles(), (std::vector<std::string>{"", "x"}));
}

TEST_F(PostBodyTest, HostileNamesRoundTripThroughEncodingAndDecoding) {
    // What a browser posts for a path, decoded, reaches the library intact.
    const std::string names[] = {"/v/a\"b",       "/v/<img src=x onerror=alert(1)>",
                                 "/v/a&b=c",      "/v/it's",
                                 "/v/100% + 1?#", "/v/\xc3\xa9t\xc3\xa9"};
    for (const std::string &name : names) {
        const std::string encoded = "FILENAME=" + FormEncode("<filename>" + name + "</filename>");
        char *decoded = nullptr;
        ASSERT_EQ(decode_(encoded.c_str(), encoded.size(), &decoded), 0);
        ASSERT_NE(decoded, nullptr);
        scripted::Reset();
        parse_(decoded);
        free(decoded);
        EXPECT_EQ(ClosedFiles(), (std::vector<std::string>{name}));
    }
}

} // namespace

} // namespace hxm_test
