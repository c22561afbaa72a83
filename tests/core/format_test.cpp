/*
 * Comma grouping and the packed date and time words.
 */
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdlib.h>
#include <time.h>

#include <string>

#include "tests/support/plugin_api.h"

namespace hxm_test {
namespace {

struct CommaCase {
    int64_t value;
    const char *format;
    const char *expected;
};

class StringWithCommas : public testing::TestWithParam<CommaCase> {};

TEST_P(StringWithCommas, GroupsEveryRunOfDigitsFromItsRightEnd) {
    char out[128];
    memset(out, 'z', sizeof out);
    Plugin().createStringWithCommas(static_cast<int32_t>(GetParam().value), out, GetParam().format);
    EXPECT_STREQ(out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, StringWithCommas,
    testing::Values(CommaCase{0, "%d", "0"}, CommaCase{7, "%d", "7"}, CommaCase{999, "%d", "999"},
                    CommaCase{1000, "%d", "1,000"}, CommaCase{-1000, "%d", "-1,000"},
                    CommaCase{-1234, "%d", "-1,234"}, CommaCase{1234567, "%d", "1,234,567"},
                    CommaCase{1000000, "%d", "1,000,000"},
                    CommaCase{INT32_MIN, "%d", "-2,147,483,648"},
                    CommaCase{4294967295LL, "%u", "4,294,967,295"},
                    CommaCase{123, "%05d", "00,123"},          // leading zeros count
                    CommaCase{1234, "%d.5678", "1,234.5,678"}, // each run on its own
                    CommaCase{1234, "[%8d]", "[    1,234]"}, CommaCase{0x12345, "%x", "12,345"},
                    CommaCase{1234, "%s", ""}, // not an integer format
                    CommaCase{1234, "%d and %d", ""}, CommaCase{1234, "no conversion", ""},
                    CommaCase{1234, "100%% of %d", "100% of 1,234"}));

class LargeNumberWithCommas : public testing::TestWithParam<CommaCase> {};

TEST_P(LargeNumberWithCommas, GroupsSixtyFourBitValues) {
    char out[128];
    memset(out, 'z', sizeof out);
    Plugin().createLargeNumberStringWithCommas(GetParam().value, out, GetParam().format);
    EXPECT_STREQ(out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Values, LargeNumberWithCommas,
                         testing::Values(CommaCase{4294967297LL, "%Ld", "4,294,967,297"},
                                         CommaCase{4294967297LL, "%lld", "4,294,967,297"},
                                         CommaCase{INT64_MIN, "%Ld", "-9,223,372,036,854,775,808"},
                                         CommaCase{-1, "%Ld", "-1"},
                                         // "%d" prints the low 32 bits as a signed number.
                                         CommaCase{4294967297LL, "%d", "1"},
                                         CommaCase{0xFFFFFFFFLL, "%d", "-1"},
                                         CommaCase{123456, "%d", "123,456"}));

TEST(StringWithCommas, LongTextAroundTheNumber) {
    std::string format = std::string(300, '-') + "%d" + std::string(10, '.');
    std::string out(600, 'z');
    Plugin().createStringWithCommas(1234567, &out[0], format.c_str());
    EXPECT_EQ(std::string(out.c_str()), std::string(300, '-') + "1,234,567" + std::string(10, '.'));
}

class PackedDates : public testing::Test {
  protected:
    void SetUp() override {
        Plugin();
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }
};

struct StampCase {
    uint32_t stamp;
    const char *text;
};

const StampCase kStamps[] = {
    {0x0021645C, "Tue Jan  1 12:34:56 1980\n"},
    // Day 0 of month 0 of 1980 normalises back to November 1979.
    {0x00000000, "Fri Nov 30 00:00:00 1979\n"},
    // A seconds field of 30 (60 seconds) carries into the next minute.
    {0x0021645E, "Tue Jan  1 12:35:00 1980\n"},
    // 2024-02-29 23:59:58.
    {(44u << 25) | (2u << 21) | (29u << 16) | (23u << 11) | (59u << 5) | 29u,
     "Thu Feb 29 23:59:58 2024\n"},
    // Month 13 carries into the next year.
    {(0u << 25) | (13u << 21) | (5u << 16), "Mon Jan  5 00:00:00 1981\n"},
    // Only the low 16 bits of each word count.
    {0x0021645C | 0, "Tue Jan  1 12:34:56 1980\n"},
};

TEST_F(PackedDates, PrintLocalTimeInAsctimeForm) {
    for (const StampCase &c : kStamps) {
        char out[26];
        memset(out, 'z', sizeof out);
        EXPECT_EQ(Plugin().dalmoraDataAndTimeToTimeBuffer(c.stamp, out), out);
        EXPECT_STREQ(out, c.text) << std::hex << c.stamp;
    }
}

TEST_F(PackedDates, ConversionNormalisesTheCallersRecord) {
    struct tm record;
    memset(&record, 0x55, sizeof record);
    time_t seconds = Plugin().convertDalmoraDataAndTimeToLinux(0x0021, 0x645C, &record);
    EXPECT_EQ(seconds, 315578096);
    EXPECT_EQ(record.tm_year, 80);
    EXPECT_EQ(record.tm_mon, 0);
    EXPECT_EQ(record.tm_mday, 1);
    EXPECT_EQ(record.tm_hour, 12);
    EXPECT_EQ(record.tm_min, 34);
    EXPECT_EQ(record.tm_sec, 56);
    EXPECT_EQ(record.tm_wday, 2);
    EXPECT_EQ(record.tm_yday, 0);
    // Bits above the 16 of each word are ignored.
    EXPECT_EQ(Plugin().convertDalmoraDataAndTimeToLinux(0xFFFF0021, 0xABCD645C, &record),
              315578096);
    EXPECT_EQ(Plugin().convertDalmoraDataAndTimeToLinux(0x0021, 0x645C, nullptr), 315578096);
}

TEST_F(PackedDates, TheStampIsLocalTime) {
    setenv("TZ", "CET-1", 1);
    tzset();
    EXPECT_EQ(Plugin().convertDalmoraDataAndTimeToLinux(0x0021, 0x645C, nullptr), 315578096 - 3600);
    char out[26];
    EXPECT_STREQ(Plugin().dalmoraDataAndTimeToTimeBuffer(0x0021645C, out),
                 "Tue Jan  1 12:34:56 1980\n");
}

} // namespace
} // namespace hxm_test
