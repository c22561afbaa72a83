/*
 * The sorted connection list: the copy of each library entry, the order of
 * every sort type (equal keys in the reverse of the library's order), odd
 * answers of the library, and the sort's parts on their own.
 */
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "monitor/connections.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/sort_texts.h"

namespace hxm_test {
namespace {

using GetFunction = int (*)(ConnectionSortStruct **, AfpSortType);
using TimeFunction = int (*)(const unsigned long long *, char *);
using SortFunction = void (*)(ConnectionSortStruct **, AfpSortType);
using SplitFunction = void (*)(ConnectionSortStruct *, ConnectionSortStruct **,
                               ConnectionSortStruct **);
using MergeFunction = ConnectionSortStruct *(*)(ConnectionSortStruct *, ConnectionSortStruct *,
                                                AfpSortType);

class ConnectionsTest : public ScriptedPluginTest {
  protected:
    void SetUp() override {
        ScriptedPluginTest::SetUp();
        get_ = Export<GetFunction>("_Z23GetSortedConnectionListPP20ConnectionSortStructi");
        time_ = Export<TimeFunction>("_Z19convertToTimeStringPKyPc");
        sort_ = Export<SortFunction>("_Z9mergesortPP20ConnectionSortStructi");
        split_ = Export<SplitFunction>("_Z14split_the_listP20ConnectionSortStructPS0_S1_");
        merge_ = Export<MergeFunction>("_Z5mergeP20ConnectionSortStructS0_i");
        ASSERT_TRUE(get_ && time_ && sort_ && split_ && merge_);
    }

    // Fetches through the plug-in; the connection numbers in list order
    // (every node freed), or {-1} when the call failed.
    std::vector<long> Fetch(AfpSortType sortType) {
        ConnectionSortStruct *head = reinterpret_cast<ConnectionSortStruct *>(&head);
        if (get_(&head, sortType) != 0) {
            EXPECT_EQ(head, reinterpret_cast<ConnectionSortStruct *>(&head)) << "head changed";
            return {-1};
        }
        return Drain(head);
    }

    static std::vector<long> Drain(ConnectionSortStruct *head) {
        std::vector<long> numbers;
        while (head != nullptr) {
            numbers.push_back(head->connectionNumber);
            ConnectionSortStruct *next = head->next;
            free(head);
            head = next;
        }
        return numbers;
    }

    GetFunction get_ = nullptr;
    TimeFunction time_ = nullptr;
    SortFunction sort_ = nullptr;
    SplitFunction split_ = nullptr;
    MergeFunction merge_ = nullptr;
};

struct SortCase {
    const char *what;
    std::vector<scripted::Connection> entries;
    AfpSortType sortType;
    std::vector<long> expected;
};

TEST_F(ConnectionsTest, SortsEveryColumnAscendingWithTiesReversed) {
    const SortCase cases[] = {
        {"request counts 5, 2, 5",
         {scripted::MakeConnection(1, "a", 5), scripted::MakeConnection(2, "b", 2),
          scripted::MakeConnection(3, "c", 5)},
         AFP_SORT_REQUEST_COUNT,
         {2, 3, 1}},
        {"connection numbers",
         {scripted::MakeConnection(30), scripted::MakeConnection(4), scripted::MakeConnection(200),
          scripted::MakeConnection(4), scripted::MakeConnection(0)},
         AFP_SORT_CONNECTION_NUMBER,
         {0, 4, 4, 30, 200}},
        {"names in byte order",
         {scripted::MakeConnection(1, "abe"), scripted::MakeConnection(2, "Zed"),
          scripted::MakeConnection(3, "\xc3\xa9mile"), scripted::MakeConnection(4, "Abe"),
          scripted::MakeConnection(5, "abe")},
         AFP_SORT_USER_NAME,
         {4, 2, 5, 1, 3}},
        {"login times",
         {scripted::MakeConnection(1, "a", 0, 300), scripted::MakeConnection(2, "a", 0, 100),
          scripted::MakeConnection(3, "a", 0, 300),
          scripted::MakeConnection(4, "a", 0, UINT64_MAX)},
         AFP_SORT_LOGIN_TIME,
         {2, 3, 1, 4}},
        {"bytes read plus written",
         {scripted::MakeConnection(1, "a", 0, 0, 10, 5),
          scripted::MakeConnection(2, "a", 0, 0, 15, 0),
          scripted::MakeConnection(3, "a", 0, 0, 0, 14),
          scripted::MakeConnection(4, "a", 0, 0, 1ull << 40, 1)},
         AFP_SORT_BYTES_READ_WRITTEN,
         {3, 2, 1, 4}},
        {"type 0 reverses",
         {scripted::MakeConnection(1), scripted::MakeConnection(3), scripted::MakeConnection(2)},
         0,
         {2, 3, 1}},
        {"type 6 reverses",
         {scripted::MakeConnection(1), scripted::MakeConnection(3), scripted::MakeConnection(2)},
         6,
         {2, 3, 1}},
        {"negative type reverses",
         {scripted::MakeConnection(1), scripted::MakeConnection(2)},
         -1,
         {2, 1}},
    };
    for (const SortCase &c : cases) {
        scripted::Reset();
        scripted::StageConnections({c.entries});
        EXPECT_EQ(Fetch(c.sortType), c.expected) << c.what;
    }
}

TEST_F(ConnectionsTest, EqualConnectionNumbersEndReversed) {
    scripted::StageConnections(
        {{scripted::MakeConnection(7, "first"), scripted::MakeConnection(7, "second"),
          scripted::MakeConnection(7, "third")}});
    ConnectionSortStruct *head = nullptr;
    ASSERT_EQ(get_(&head, AFP_SORT_CONNECTION_NUMBER), 0);
    std::vector<std::string> names;
    for (ConnectionSortStruct *node = head; node != nullptr; node = node->next)
        names.push_back(node->userName);
    Drain(head);
    EXPECT_EQ(names, (std::vector<std::string>{"third", "second", "first"}));
}

TEST_F(ConnectionsTest, ASingleConnectionComesBackForEveryType) {
    scripted::StageConnections({{scripted::MakeConnection(42)}});
    for (AfpSortType type = -1; type <= 7; ++type)
        EXPECT_EQ(Fetch(type), (std::vector<long>{42})) << type;
}

TEST_F(ConnectionsTest, OddLibraryAnswers) {
    struct Case {
        const char *what;
        scripted::ConnectionList list;
        std::vector<long> expected;
    };
    const std::vector<scripted::Connection> three = {
        scripted::MakeConnection(3), scripted::MakeConnection(1), scripted::MakeConnection(2)};
    const Case cases[] = {
        {"count 0 with a list", {three, 0}, {}},
        {"negative count with a list", {three, -4}, {}},
        {"count larger than the list", {three, 10}, {1, 2, 3}},
        {"count smaller than the list", {three, 2}, {1, 3}},
        {"an error that still brings a list", {three, std::nullopt, AFPSTAT_ERR_STORE}, {1, 2, 3}},
        {"no list", {three, std::nullopt, AFPSTAT_OK, true}, {-1}},
        {"an error and no list", {{}, std::nullopt, AFPSTAT_ERR_STORE, true}, {-1}},
        {"an empty list", {{}, 0}, {-1}}, // the library hands out no head for nothing
    };
    for (const Case &c : cases) {
        scripted::Reset();
        scripted::StageConnections(c.list);
        EXPECT_EQ(Fetch(AFP_SORT_CONNECTION_NUMBER), c.expected) << c.what;
        EXPECT_EQ(scripted::LiveCount(), 0u) << c.what;
    }
}

TEST_F(ConnectionsTest, AFailedLibraryCallGivesNoList) {
    scripted::StageConnections({{scripted::MakeConnection(1)}});
    scripted::FailCall(1, AFPSTAT_ERR_STORE);
    EXPECT_EQ(Fetch(AFP_SORT_CONNECTION_NUMBER), (std::vector<long>{-1}));
}

TEST_F(ConnectionsTest, CopiesEachEntrysFields) {
    scripted::Connection entry = scripted::MakeConnection(9, std::string(300, 'u'), 17, 1700000000,
                                                          0xffffffffull, 0x100000001ull);
    entry.networkAddress = "123.123.123.123x"; // 16 characters, unterminated in the record
    scripted::StageConnections({{entry}});
    ConnectionSortStruct *head = nullptr;
    ASSERT_EQ(get_(&head, AFP_SORT_CONNECTION_NUMBER), 0);
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->connectionNumber, 9u);
    EXPECT_EQ(head->requestCount, 17u);
    EXPECT_EQ(head->bytesReadWritten, 0x200000000ull);
    EXPECT_EQ(head->loginTime, 1700000000u);
    EXPECT_EQ(std::string(head->userName), std::string(256, 'u'));
    EXPECT_EQ(std::string(head->networkAddress), "123.123.123.123x");
    EXPECT_STREQ(head->loggedIn, "");
    const time_t when = 1700000000;
    struct tm local;
    char expected[80];
    ASSERT_NE(strftime(expected, sizeof expected, "%c", localtime_r(&when, &local)), 0u);
    EXPECT_STREQ(head->loginTimeText, expected);
    EXPECT_EQ(head->next, nullptr);
    free(head);
}

// Login-time texts are remembered between lists on a thread; a change of
// time zone must not show the old zone's texts. POSIX zone rules, so no zone
// files are needed.
TEST_F(ConnectionsTest, RememberedLoginTimesFollowTheTimeZone) {
    const char *saved = getenv("TZ");
    const std::string before = saved != nullptr ? saved : "";
    const unsigned long long times[] = {1700000000, 1710054000, 1720000000};
    scripted::StageConnections({{scripted::MakeConnection(1, "a", 0, times[0]),
                                 scripted::MakeConnection(2, "b", 0, times[1]),
                                 scripted::MakeConnection(3, "c", 0, times[2])}});
    for (const char *zone : {"UTC0", "EST5EDT,M3.2.0,M11.1.0", "IST-5:30", "UTC0"}) {
        setenv("TZ", zone, 1);
        tzset();
        for (int round = 0; round < 2; ++round) {
            ConnectionSortStruct *head = nullptr;
            ASSERT_EQ(get_(&head, AFP_SORT_CONNECTION_NUMBER), 0);
            for (unsigned long long seconds : times) {
                ASSERT_NE(head, nullptr);
                const time_t when = static_cast<time_t>(seconds);
                struct tm local;
                char expected[80];
                ASSERT_NE(strftime(expected, sizeof expected, "%c", localtime_r(&when, &local)),
                          0u);
                EXPECT_STREQ(head->loginTimeText, expected) << zone << ", round " << round;
                ConnectionSortStruct *next = head->next;
                free(head);
                head = next;
            }
        }
    }
    if (saved != nullptr)
        setenv("TZ", before.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

// A thread remembers its last list's texts in list order; a list that comes
// in another order, shorter or longer, must still get each time's own text.
TEST_F(ConnectionsTest, RememberedLoginTimesFollowTheListsOrder) {
    const unsigned long long times[] = {1700000000, 1710054000, 1720000000, 1730000000};
    const std::vector<std::vector<int>> orders = {{0, 1, 2}, {0, 1, 2},    {2, 0, 1},
                                                  {3, 2},    {0, 1, 2, 3}, {1, 1, 0}};
    for (const std::vector<int> &order : orders) {
        scripted::ConnectionList list;
        for (int index : order)
            list.connections.push_back(scripted::MakeConnection(index + 1, "u", 0, times[index]));
        scripted::StageConnections(list);
        ConnectionSortStruct *head = nullptr;
        ASSERT_EQ(get_(&head, 0), 0);
        size_t seen = 0;
        for (; head != nullptr; ++seen) {
            const time_t when = static_cast<time_t>(head->loginTime);
            struct tm local;
            char expected[80];
            ASSERT_NE(strftime(expected, sizeof expected, "%c", localtime_r(&when, &local)), 0u);
            EXPECT_STREQ(head->loginTimeText, expected) << "order of " << order.size();
            ConnectionSortStruct *next = head->next;
            free(head);
            head = next;
        }
        EXPECT_EQ(seen, order.size());
    }
}

TEST_F(ConnectionsTest, AnUnformattableLoginTimeShows80Spaces) {
    scripted::StageConnections({{scripted::MakeConnection(1, "a", 0, UINT64_MAX)}});
    ConnectionSortStruct *head = nullptr;
    ASSERT_EQ(get_(&head, 1), 0);
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(std::string(head->loginTimeText), std::string(80, ' '));
    free(head);
}

TEST_F(ConnectionsTest, ConvertToTimeString) {
    char out[80];
    const unsigned long long epoch = 0;
    EXPECT_EQ(time_(&epoch, out), 0);
    EXPECT_NE(out[0], '\0');
    EXPECT_LT(strlen(out), 80u);
    const unsigned long long huge = ULLONG_MAX;
    EXPECT_EQ(time_(&huge, out), -1);
    EXPECT_EQ(time_(nullptr, out), -1);
}

// Nodes made by the test, numbered, for the sort's parts.
std::vector<ConnectionSortStruct *> MakeNodes(const std::vector<uint32_t> &numbers) {
    std::vector<ConnectionSortStruct *> nodes;
    for (uint32_t number : numbers) {
        auto *node = static_cast<ConnectionSortStruct *>(calloc(1, sizeof(ConnectionSortStruct)));
        node->connectionNumber = number;
        if (!nodes.empty())
            nodes.back()->next = node;
        nodes.push_back(node);
    }
    return nodes;
}

TEST_F(ConnectionsTest, SplitGivesTheFrontHalfTheExtraNode) {
    const struct {
        size_t length, front;
    } cases[] = {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {5, 3}, {6, 3}, {101, 51}};
    for (const auto &c : cases) {
        std::vector<uint32_t> numbers(c.length);
        for (size_t i = 0; i < c.length; ++i)
            numbers[i] = static_cast<uint32_t>(i);
        std::vector<ConnectionSortStruct *> nodes = MakeNodes(numbers);
        ConnectionSortStruct *front = nullptr, *back = nullptr;
        split_(nodes.empty() ? nullptr : nodes[0], &front, &back);
        std::vector<long> frontNumbers = Drain(front), backNumbers = Drain(back);
        EXPECT_EQ(frontNumbers.size(), c.front) << c.length;
        EXPECT_EQ(frontNumbers.size() + backNumbers.size(), c.length);
        if (!backNumbers.empty()) {
            EXPECT_EQ(backNumbers[0], static_cast<long>(c.front));
        }
    }
}

TEST_F(ConnectionsTest, MergeTakesTheBackNodeOnEqualKeys) {
    std::vector<ConnectionSortStruct *> front = MakeNodes({1, 3, 3});
    std::vector<ConnectionSortStruct *> back = MakeNodes({3, 4});
    front[1]->requestCount = 100; // tells the front 3s from the back one
    back[0]->requestCount = 200;
    ConnectionSortStruct *merged = merge_(front[0], back[0], AFP_SORT_CONNECTION_NUMBER);
    ASSERT_NE(merged, nullptr);
    EXPECT_EQ(merged->next->requestCount, 200u);
    EXPECT_EQ(merged->next->next->requestCount, 100u);
    EXPECT_EQ(Drain(merged), (std::vector<long>{1, 3, 3, 3, 4}));

    // Outside 1 to 5 the front never goes first: back, then front.
    ConnectionSortStruct *a = MakeNodes({1, 2})[0];
    ConnectionSortStruct *b = MakeNodes({3})[0];
    EXPECT_EQ(Drain(merge_(a, b, 0)), (std::vector<long>{3, 1, 2}));
    EXPECT_EQ(merge_(nullptr, nullptr, 1), nullptr);
}

TEST_F(ConnectionsTest, SortsAHundredThousandNodesLikeAReversedStableSort) {
    // Deep lists must not recurse; ties must still end reversed.
    std::mt19937 random(7);
    std::vector<uint32_t> keys(100000);
    for (uint32_t &key : keys)
        key = random() % 5000;
    for (AfpSortType type : {AFP_SORT_REQUEST_COUNT, AFP_SORT_USER_NAME}) {
        std::vector<ConnectionSortStruct *> nodes = MakeNodes(keys);
        for (size_t i = 0; i < nodes.size(); ++i) {
            nodes[i]->connectionNumber = static_cast<uint32_t>(i); // library position
            nodes[i]->requestCount = keys[i];
            snprintf(nodes[i]->userName, sizeof nodes[i]->userName, "u%05u", keys[i]);
        }
        std::vector<size_t> expected(keys.size());
        for (size_t i = 0; i < expected.size(); ++i)
            expected[i] = expected.size() - 1 - i;
        std::stable_sort(expected.begin(), expected.end(),
                         [&](size_t a, size_t b) { return keys[a] < keys[b]; });
        ConnectionSortStruct *head = nodes[0];
        sort_(&head, type);
        const std::vector<long> got = Drain(head);
        ASSERT_EQ(got.size(), expected.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin(), [](long a, size_t b) {
            return a == static_cast<long>(b);
        })) << type;
    }
}

// The keyed name sort against a plain stable merge, over names that share a
// long prefix, agree past their first sixteen bytes, hold high bytes and
// repeat; and a list some of whose names are shorter than that prefix.
TEST_F(ConnectionsTest, KeyedNameSortKeepsTheMergeOrderOnHardNames) {
    for (const bool shortOnes : {false, true}) {
        const std::vector<std::string> names =
            SortHardTexts(shortOnes ? 20000 : 100000, shortOnes, 11);
        scripted::ConnectionList list;
        for (size_t i = 0; i < names.size(); ++i)
            list.connections.push_back(
                scripted::MakeConnection(static_cast<uint32_t>(i), names[i]));
        scripted::StageConnections(list);
        const std::vector<long> got = Fetch(AFP_SORT_USER_NAME);
        const std::vector<size_t> expected = StableTextOrder(names);
        ASSERT_EQ(got.size(), expected.size());
        const auto wrong =
            std::mismatch(got.begin(), got.end(), expected.begin(),
                          [](long a, size_t b) { return a == static_cast<long>(b); });
        EXPECT_TRUE(wrong.first == got.end())
            << "short names " << shortOnes << ": first out of place at "
            << (wrong.first - got.begin());
    }
}

TEST_F(ConnectionsTest, SortingNothingOrOneNodeChangesNothing) {
    ConnectionSortStruct *head = nullptr;
    sort_(&head, 1);
    EXPECT_EQ(head, nullptr);
    sort_(nullptr, 1);
    std::vector<ConnectionSortStruct *> one = MakeNodes({5});
    head = one[0];
    sort_(&head, 0);
    EXPECT_EQ(head, one[0]);
    Drain(head);
}

} // namespace

} // namespace hxm_test
