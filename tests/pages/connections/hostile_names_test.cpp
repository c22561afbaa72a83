/*
 * Hostile names from the monitoring library: user names, security
 * equivalences and open-file paths holding markup, quotes, "%", "+", "?",
 * "#", non-ASCII bytes and long components. Every page shows them as text,
 * and a file's close form posts its exact path back.
 */
#include <string>
#include <vector>

#include "tests/pages/connections/connections_fixture.h"
#include "tests/support/page_text.h"

namespace hxm_test {
namespace {

std::vector<std::string> HostileNames() {
    return {
        "<img src=x onerror=alert(1)>",
        "a\"b",
        "it's",
        "a&b",
        "a&amp;b",
        "</td></tr></table><script>alert(1)</script>",
        "\" onmouseover=\"alert(1)",
        "' onclick='alert(1)",
        "100% sure",
        "%3Cscript%3E",
        "a+b c",
        "what?x=1",
        "#fragment",
        "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac",
        "back\\slash",
        "</SCRIPT><SCRIPT>alert(1)//",
        "<!--",
        "javascript:alert(1)",
        "tab\there",
        "a</filename><filename>/SYS/victim.doc",
        std::string(255, 'x'),
        "<" + std::string(254, '>'),
    };
}

// Whether the page holds the raw name where its text has markup: a name
// with any of < > " ' must only appear escaped. ("&" is checked by the
// escaped forms: "a&b" escaped reads "a&amp;b", itself a hostile name.)
bool ShowsRaw(const std::string &page, const std::string &name) {
    return name.find_first_of("<>\"'") != std::string::npos && page.find(name) != std::string::npos;
}

class HostileNamesTest : public ConnectionsTest {};

TEST_F(HostileNamesTest, UserNamesOnTheListPage) {
    std::vector<scripted::Connection> entries;
    uint32_t number = 1;
    for (const std::string &name : HostileNames()) {
        scripted::Connection entry;
        entry.connectionNumber = number++;
        entry.userName = name;
        entries.push_back(entry);
    }
    scripted::StageConnections({entries});
    const std::string body = PageBody(Get("/afpcons/ConnectionName").body);
    for (const std::string &name : HostileNames()) {
        if (name.size() > 256)
            continue;
        EXPECT_FALSE(ShowsRaw(body, name)) << name;
    }
    // No tag the names could have opened.
    EXPECT_EQ(body.find("<img src=x"), std::string::npos);
    EXPECT_EQ(body.find("<script>"), std::string::npos);
    EXPECT_EQ(body.find("onmouseover=\""), std::string::npos);
    // Ordinary bytes come through as they are.
    EXPECT_NE(body.find(">*caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac</A>"), std::string::npos);
    EXPECT_NE(body.find(">*100% sure</A>"), std::string::npos);
    EXPECT_NE(body.find(">*a&amp;b</A>"), std::string::npos);
    EXPECT_NE(body.find(">*a&amp;amp;b</A>"), std::string::npos);
}

TEST_F(HostileNamesTest, DetailPageNamesAndCloseRoundTrip) {
    const std::vector<std::string> names = HostileNames();
    scripted::UserDetails details;
    details.userName = names[0];
    details.networkAddress = "<b>10.0.0.1</b>";
    details.loginStatus = "<i>x</i>";
    details.privileges = "\"Supervisor\"";
    scripted::Names equivalences, paths;
    for (const std::string &name : names) {
        equivalences.push_back(name);
        paths.push_back("/vol/" + name);
    }
    details.securityEquivalences = equivalences;
    details.openFiles = paths;
    scripted::StageUserDetails(9, details);

    const std::string page = Get("/afpcons/00000009").body;
    const std::string body = PageBody(page);
    for (const std::string &name : names)
        EXPECT_FALSE(ShowsRaw(body, name)) << name;
    EXPECT_EQ(body.find("<b>10.0.0.1"), std::string::npos);
    EXPECT_EQ(body.find("<i>x</i>"), std::string::npos);

    // Each form posts its hidden value; the library is asked for the exact path.
    const std::vector<std::string> values = HiddenValues(body, "FILENAME");
    ASSERT_EQ(values.size(), paths.size());
    for (size_t i = 0; i < values.size(); ++i) {
        scripted::Reset();
        scripted::StageUserDetails(9, details);
        const hxm::Response response = Post("/afpcons/AFPCloseFiles/00000009",
                                            "FILENAME=" + FormEncode(HtmlDecode(values[i])));
        const std::vector<scripted::Call> closes = CallsOf("Ext_CloseFileByFileName");
        ASSERT_EQ(closes.size(), 1u) << *paths[i];
        EXPECT_EQ(closes[0].text, *paths[i]);
        EXPECT_EQ(response.methodResult, 0);
    }
}

TEST_F(HostileNamesTest, OpenFilePageStateIsEscapedWhereItLands) {
    scripted::UserDetails details;
    details.userName = "bob";
    details.openFiles = scripted::Names{std::string("/v/a")};
    scripted::StageUserDetails(9, details);
    const hxm::Response response =
        Post("/afpcons/00000009", "volume=" + FormEncode("\"><script>x</script>") +
                                      "&sorttype=" + FormEncode("a/b?c#d") +
                                      "&FILTER=" + FormEncode("'\"><img src=x>"));
    const std::string body = PageBody(response.body);
    EXPECT_EQ(body.find("<script>"), std::string::npos);
    EXPECT_EQ(body.find("<img src=x>"), std::string::npos);
    EXPECT_NE(body.find("action=\"/afpofm/a%2Fb%3Fc%23d/%22%3E%3Cscript%3Ex%3C%2Fscript%3E\""),
              std::string::npos)
        << body;
    EXPECT_NE(body.find("NAME=\"volume\" VALUE=\"&#34;&gt;&lt;script&gt;x&lt;/script&gt;\""),
              std::string::npos);
}

} // namespace

} // namespace hxm_test
