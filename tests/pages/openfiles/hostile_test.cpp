/*
 * Hostile names: paths, user names, volume names and filters made of the
 * characters that break pages, links and forms. None may reach the page
 * unescaped, and every one must come back intact through the page's own
 * links and forms as the browser posts them: a listed file can be closed,
 * a volume's filter form lists that volume.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/pages/openfiles/openfiles_fixture.h"

namespace hxm_test {
namespace {

const std::vector<std::string> &Corpus() {
    static const std::vector<std::string> corpus = {
        "<script>alert(1)</script>",
        "\"><img src=x onerror=alert(1)>",
        "' onclick='alert(1)",
        "a&b",
        "a&amp;b",
        "100%",
        "%41%42",
        "%zz",
        "a+b",
        "a b  c",
        "x?y=1",
        "x#frag",
        "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.doc",
        "back\\slash",
        "javascript:alert(1)",
        "semi;colon:",
        "`tick`${x}",
        "</textarea></select></table>",
        "tab\there",
        "quote\"double",
        "FILTER=*.doc",
        std::string(200, '<'),
        "'+encode+'",
        "--><!--",
        "a</filename><filename>/SYS/victim.doc",
    };
    return corpus;
}

/* Percent-encodes every byte but unreserved ones: one URL path component. */
std::string EncodeComponent(const std::string &text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

bool HasMarkupCharacters(const std::string &text) {
    return text.find_first_of("<>\"'&") != std::string::npos;
}

/* The action attribute of the form with this id. */
std::string FormAction(const std::string &body, const std::string &id) {
    const size_t end = body.find("\" id=\"" + id + "\"");
    if (end == std::string::npos)
        return "";
    const size_t start = body.rfind("action=\"", end) + 8;
    return HtmlDecode(body.substr(start, end - start));
}

class OpenFilesHostileTest : public OpenFilesPageTest {};

TEST_F(OpenFilesHostileTest, HostilePathsAndUsersAreEscapedAndCanBeClosed) {
    for (const std::string &name : Corpus()) {
        const std::string path = "/v/" + name;
        scripted::Reset();
        scripted::StageVolumes({{"VOL1"}});
        scripted::StageOpenFiles("VOL1", {{{name, 5, {path}}}});
        const hxm::Response page = Get("/afpofm/FileName/VOL1");
        ASSERT_EQ(page.status, 200) << name;
        if (HasMarkupCharacters(name)) {
            EXPECT_EQ(page.body.find(name), std::string::npos) << name;
        }
        const std::vector<std::string> values = FileBoxValues(page.body);
        ASSERT_EQ(values.size(), 1u) << name;
        // Ordinary names keep their bytes; one holding the markers' texts
        // travels encoded, and still closes only itself (below).
        if (name.find("filename>") == std::string::npos) {
            EXPECT_EQ(values[0], "<filename>" + path + "</filename>");
        } else {
            EXPECT_EQ(values[0].find("<filename>"), std::string::npos) << values[0];
            EXPECT_EQ(values[0].find("</filename>"), std::string::npos) << values[0];
        }
        // The user link's text reads as the name itself.
        const std::string link = "connectionFormSubmit(this);\" >";
        const size_t linkAt = page.body.find(link);
        ASSERT_NE(linkAt, std::string::npos);
        const size_t textAt = linkAt + link.size();
        EXPECT_EQ(HtmlDecode(page.body.substr(textAt, page.body.find("</a>", textAt) - textAt)),
                  name);

        // Tick the box and press Close Files: the browser form-encodes the
        // box's value and posts it to the close form's action.
        scripted::Reset();
        scripted::StageVolumes({{"VOL1"}});
        const std::string action = FormAction(page.body, "filterForm");
        EXPECT_EQ(action, "/afpofm/VOL1");
        const hxm::Response closed =
            Post("/afpofm/AFPCloseFiles/VOL1", "K_1_=on&FILENAME=" + FormEncode(values[0]));
        EXPECT_EQ(closed.status, 303);
        EXPECT_EQ(ClosedFiles(), std::vector<std::string>{path}) << name;
    }
}

TEST_F(OpenFilesHostileTest, HostileVolumeNamesTravelThroughEveryLinkAndForm) {
    for (const std::string &volume : Corpus()) {
        // The host splits the decoded path at every "/": no such volume name
        // can be named in a path.
        if (volume.find('/') != std::string::npos)
            continue;
        scripted::Reset();
        scripted::StageVolumes({{volume, "VOL1"}});
        scripted::StageOpenFiles(volume, {{{"u", 1, {"/a.doc", "/b.txt"}}}});
        const hxm::Response page = Get("/afpofm/UserName/" + EncodeComponent(volume));
        ASSERT_EQ(page.status, 200) << volume;
        if (HasMarkupCharacters(volume)) {
            EXPECT_EQ(page.body.find(volume), std::string::npos) << volume;
        }
        EXPECT_NE(page.body.find("<option selected value=\""), std::string::npos) << volume;
        EXPECT_EQ(scripted::Calls().back().text, volume);

        // The filter form, the close form and each heading link lead back to
        // the same volume once the host has decoded the path.
        const std::string filterAction = FormAction(page.body, "filterForm");
        std::vector<std::string> targets = {filterAction};
        const std::string closeMarker = "<FORM METHOD=POST action=\"";
        const size_t closeAt = page.body.find(closeMarker);
        ASSERT_NE(closeAt, std::string::npos);
        const size_t closeStart = closeAt + closeMarker.size();
        targets.push_back(
            page.body.substr(closeStart, page.body.find('"', closeStart) - closeStart));
        for (const char *sort : {"ConnectionNumber", "UserName", "FileName"}) {
            const std::string link = std::string("HREF=/afpofm/") + sort + "/";
            const size_t at = page.body.find(link);
            ASSERT_NE(at, std::string::npos);
            const size_t start = at + 5;
            targets.push_back(page.body.substr(start, page.body.find(' ', start) - start));
        }
        for (const std::string &target : targets) {
            scripted::Reset();
            scripted::StageOpenFiles(volume, {{{"u", 1, {"/a.doc", "/b.txt"}}}});
            const hxm::Response next = Post(target, "FILTER=" + FormEncode("*.doc"));
            // Closing answers with a redirect, which must lead to the volume too.
            const bool closing = target.find("AFPCloseFiles") != std::string::npos;
            EXPECT_EQ(next.status, closing ? 303 : 200) << target;
            if (closing) {
                scripted::Reset();
                scripted::StageOpenFiles(volume, {{{"u", 1, {"/a.doc"}}}});
                EXPECT_EQ(Get(HeaderValue(next, "Location")).status, 200) << target;
            }
            ASSERT_FALSE(scripted::Calls().empty()) << target;
            EXPECT_EQ(scripted::Calls().back().function, "Ext_ListVolFileDetails") << target;
            EXPECT_EQ(scripted::Calls().back().text, volume) << target;
        }
    }
}

TEST_F(OpenFilesHostileTest, HostileFiltersAreEscapedAndKept) {
    scripted::StageVolumes({{"VOL1"}});
    for (const std::string &filter : Corpus()) {
        if (filter.size() > 255)
            continue;
        const hxm::Response page = Post("/afpofm/VOL1", "FILTER=" + FormEncode(filter));
        ASSERT_EQ(page.status, 200) << filter;
        if (HasMarkupCharacters(filter)) {
            EXPECT_EQ(page.body.find(filter), std::string::npos) << filter;
        }
        const std::string marker = "value=\"";
        const size_t box = page.body.find("id=\"filter\" type=\"text\"");
        ASSERT_NE(box, std::string::npos);
        const size_t start = page.body.find(marker, box) + marker.size();
        EXPECT_EQ(HtmlDecode(page.body.substr(start, page.body.find('"', start) - start)), filter);
    }
}

} // namespace
} // namespace hxm_test
