/*
 * The path grammar of "/afpofm", the FILTER rules, closing files (with the
 * scriptable library recording the close calls and their order) and the
 * access check.
 */
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <zentra/hxm_host.h>

#include "tests/pages/openfiles/openfiles_fixture.h"
#include "tests/support/concurrent.h"

namespace hxm_test {
namespace {

enum class Page { Selection, List, Details, ListHelp, FileHelp, BadRequest, Denied, MissingData };

const char *PageName(Page page) {
    switch (page) {
    case Page::Selection:
        return "volume selection";
    case Page::List:
        return "list";
    case Page::Details:
        return "file details";
    case Page::ListHelp:
        return "open-file help";
    case Page::FileHelp:
        return "file information help";
    case Page::BadRequest:
        return "Bad Http request";
    case Page::Denied:
        return "access denied";
    case Page::MissingData:
        return "missing data";
    }
    return "?";
}

/* Which page a body is, from the marks only that page carries. */
Page Classify(const std::string &body) {
    auto has = [&body](const char *text) { return body.find(text) != std::string::npos; };
    if (has("Unauthorized access denied"))
        return Page::Denied;
    if (has("Http request missing data"))
        return Page::MissingData;
    if (has("Bad Http request"))
        return Page::BadRequest;
    if (has("name=\"closeallcheckfiles\""))
        return Page::Details;
    if (has("id=\"connectionForm\">"))
        return Page::List;
    if (has("action=\"/afpofm\" id=\"filterForm\""))
        return Page::Selection;
    if (has("AFP Open File Information"))
        return Page::FileHelp;
    return Page::ListHelp;
}

/* The hidden fields of a list page: volume, sort spelling, filter. */
std::string HiddenField(const std::string &body, const std::string &name) {
    const std::string marker = "<input name=\"" + name + "\" id=\"" +
                               (name == "FILTER" ? std::string("filter") : name) +
                               "\" type=hidden value=\"";
    const size_t at = body.find(marker);
    if (at == std::string::npos)
        return "<none>";
    const size_t start = at + marker.size();
    return HtmlDecode(body.substr(start, body.find('"', start) - start));
}

class OpenFilesDispatchTest : public OpenFilesPageTest {
  protected:
    void SetUp() override {
        OpenFilesPageTest::SetUp();
        scripted::StageVolumes({{"VOL1", "UserNames"}});
    }
};

TEST_F(OpenFilesDispatchTest, PathGrammar) {
    struct Case {
        const char *method;
        const char *target;
        Page page;
        const char *volume = "";
        const char *sort = "";
    };
    const Case cases[] = {
        {"GET", "/afpofm", Page::Selection},
        {"POST", "/afpofm", Page::Selection},
        {"GET", "/afpofm/", Page::ListHelp}, // an empty component is a part of "help"
        {"GET", "/afpofm/help", Page::ListHelp},
        {"GET", "/afpofm/HELP", Page::ListHelp},
        {"GET", "/afpofm/h", Page::ListHelp},
        {"POST", "/afpofm/HeL", Page::ListHelp},
        {"GET", "/afpofm/help/help", Page::FileHelp},
        {"GET", "/afpofm/help/H", Page::FileHelp},
        {"GET", "/afpofm/help/other", Page::BadRequest},
        {"GET", "/afpofm/helpme", Page::List, "helpme", "ConnectionNumber"},
        {"GET", "/afpofm/VOL1", Page::List, "VOL1", "ConnectionNumber"},
        {"GET", "/afpofm/UserName/VOL1", Page::List, "VOL1", "UserName"},
        {"GET", "/afpofm/username/VOL1", Page::List, "VOL1", "UserName"},
        {"GET", "/afpofm/FILENAME/VOL1", Page::List, "VOL1", "FileName"},
        {"GET", "/afpofm/connectionnumber/VOL1", Page::List, "VOL1", "ConnectionNumber"},
        {"GET", "/afpofm/UserNames", Page::List, "UserNames", "ConnectionNumber"},
        {"GET", "/afpofm/FileName/UserNames", Page::List, "UserNames", "FileName"},
        {"GET", "/afpofm/User", Page::List, "User", "ConnectionNumber"},
        {"GET", "/afpofm/FileName", Page::Selection},
        {"POST", "/afpofm/UserName", Page::Selection},
        {"GET", "/afpofm/VOL1/extra", Page::Selection},
        {"POST", "/afpofm/VOL1/extra", Page::BadRequest},
        {"GET", "/afpofm/UserName/VOL1/extra/more", Page::Selection},
        {"POST", "/afpofm/FileName/VOL1/extra", Page::BadRequest},
        {"GET", "/afpofm/AFPCloseFiles/VOL1", Page::List, "VOL1", "ConnectionNumber"},
        {"GET", "/afpofm/UserName/AFPCloseFiles/VOL1", Page::List, "VOL1", "UserName"},
        {"POST", "/afpofm/afpclosefiles/VOL1/extra", Page::List, "VOL1", "ConnectionNumber"},
        {"GET", "/afpofm/AFPCloseFiles", Page::List, "", "ConnectionNumber"},
        {"GET", "/afpofm/AFPBrowseFile/VOL1/dir/a.txt", Page::Details},
        {"POST", "/afpofm/FileName/afpbrowsefile/VOL1/a", Page::Details},
        {"GET", "/afpofm/AFPBrowseFile", Page::Details},
        {"GET", "/afpofmx", Page::Selection},
        {"PUT", "/afpofm/VOL1", Page::BadRequest},
        {"PUT", "/afpofm/help", Page::ListHelp}, // help comes before the method check
    };
    for (const Case &c : cases) {
        scripted::Reset();
        scripted::StageVolumes({{"VOL1", "UserNames"}});
        hxm::Request request;
        request.method = c.method;
        request.target = c.target;
        if (request.method != "GET") {
            request.contentType = "application/x-www-form-urlencoded";
            request.body = "x=1";
        }
        const hxm::Response response = hxm::HandleRequest(request);
        const Page page = Classify(response.body);
        // A page after closing files answers with a redirect to itself.
        const bool closed =
            c.page == Page::List && strcasestr(c.target, "AFPCloseFiles") != nullptr;
        EXPECT_EQ(response.status, closed ? 303 : 200) << c.method << " " << c.target;
        EXPECT_EQ(page, c.page) << c.method << " " << c.target << ": got " << PageName(page);
        if (c.page == Page::List && page == Page::List) {
            EXPECT_EQ(HiddenField(response.body, "volume"), c.volume) << c.target;
            EXPECT_EQ(HiddenField(response.body, "sorttype"), c.sort) << c.target;
        }
        EXPECT_EQ(scripted::LiveCount(), 0u) << c.target;
    }
}

TEST_F(OpenFilesDispatchTest, AccessFlags) {
    struct Case {
        unsigned int flags;
        bool allowed;
    };
    const Case cases[] = {{0x9, true},         {0xA, true},        {0x10000008, true},
                          {0x8, false},        {0x3, false},       {0x0, false},
                          {0x10000000, false}, {0xFFFFFFFF, true}, {0x40B, true}};
    for (const Case &c : cases) {
        for (const char *target : {"/afpofm/VOL1", "/afpofm/help", "/afpofm/AFPCloseFiles/VOL1"}) {
            scripted::Reset();
            const hxm::Response response =
                Post(target, "FILENAME=%3Cfilename%3E%2Fx%3C%2Ffilename%3E", c.flags);
            EXPECT_EQ(Classify(response.body) == Page::Denied, !c.allowed)
                << std::hex << c.flags << " " << target;
            if (!c.allowed) {
                EXPECT_TRUE(scripted::Calls().empty()) << std::hex << c.flags;
            }
        }
    }
}

TEST_F(OpenFilesDispatchTest, FilterValueRules) {
    scripted::StageOpenFiles("VOL1", {{{"u", 1, {"/a.doc", "/b.txt", "/c"}}}});
    const std::string at255 = "*." + std::string(253, 'x');
    const std::string at256 = "*." + std::string(254, 'x');
    struct Case {
        std::string body;
        std::string filter; // what the page shows
        size_t rows;
    };
    const Case cases[] = {
        {"FILTER=%2A.doc", "*.doc", 1},
        {"FILTER=*.doc", "*.doc", 1},
        {"FILTER=", "", 3},
        {"FILTER", "", 3},
        {"x=1&FILTER=*.txt", "*.txt", 1},
        // Not cut at "&": the rest of the body belongs to the value.
        {"FILTER=*.doc&x=1", "*.doc&x=1", 0},
        {"FILTER=" + at255, at255, 0},
        {"FILTER=" + at256, "", 3},
        {"FILTER=*", "*", 3},
        {"FILTER=*.*", "*.*", 3},
        {"other=1", "", 3},
    };
    for (const Case &c : cases) {
        const hxm::Response response = Post("/afpofm/VOL1", c.body);
        EXPECT_EQ(HiddenField(response.body, "FILTER"), c.filter) << c.body;
        EXPECT_EQ(FileBoxValues(response.body).size(), c.rows) << c.body;
    }
    // A GET carries no filter.
    EXPECT_EQ(FileBoxValues(Get("/afpofm/VOL1").body).size(), 3u);
}

TEST_F(OpenFilesDispatchTest, CloseFilesClosesTheMarkedNamesInOrderThenListsUnfiltered) {
    scripted::StageOpenFiles("VOL1", {{{"u", 1, {"/a.doc", "/b.txt"}}}});
    const std::string body = "K_1_=on&FILENAME=" + FormEncode("<filename>/v/b</filename>") +
                             "&FILENAME=" + FormEncode("<filename>/v/a</filename>") +
                             "&FILTER=*.doc";
    const hxm::Response response = Post("/afpofm/FileName/AFPCloseFiles/VOL1", body);
    EXPECT_EQ(response.status, 303);
    EXPECT_EQ(CallNames(),
              (std::vector<std::string>{"Ext_CloseFileByFileName", "Ext_CloseFileByFileName",
                                        "Ext_ListVolumeDetails", "Ext_ListVolFileDetails"}));
    EXPECT_EQ(ClosedFiles(), (std::vector<std::string>{"/v/b", "/v/a"}));
    EXPECT_EQ(scripted::Calls().back().text, "VOL1");
    EXPECT_EQ(HiddenField(response.body, "FILTER"), "");
    EXPECT_EQ(HiddenField(response.body, "sorttype"), "FileName");
    EXPECT_EQ(FileBoxValues(response.body).size(), 2u);
}

TEST_F(OpenFilesDispatchTest, CloseWithoutBodyOrMarkersClosesNothing) {
    for (const char *body : {"", "FILENAME=nothing", "FILENAME=%3Cfilename%3E%2Fopen-only"}) {
        scripted::Reset();
        scripted::StageVolumes({{"VOL1"}});
        Post("/afpofm/AFPCloseFiles/VOL1", body);
        EXPECT_TRUE(ClosedFiles().empty()) << body;
    }
    scripted::Reset();
    Get("/afpofm/AFPCloseFiles/VOL1");
    EXPECT_TRUE(ClosedFiles().empty());
}

TEST_F(OpenFilesDispatchTest, FailedCloseGoesOnWithTheNextName) {
    scripted::SetCloseFileByFileNameStatus("/v/1", AFPSTAT_ERR_NOT_FOUND);
    const std::string body = "FILENAME=" + FormEncode("<filename>/v/1</filename>") +
                             "&FILENAME=" + FormEncode("<filename>/v/2</filename>");
    const hxm::Response response = Post("/afpofm/AFPCloseFiles/VOL1", body);
    EXPECT_EQ(response.status, 303);
    EXPECT_EQ(ClosedFiles(), (std::vector<std::string>{"/v/1", "/v/2"}));
}

TEST_F(OpenFilesDispatchTest, CloseRequestsAreSeparate) {
    // A page's file names never close anything by being listed or browsed.
    scripted::StageOpenFiles("VOL1", {{{"u", 1, {"/x"}}}});
    Get("/afpofm/VOL1");
    Post("/afpofm/VOL1", "FILENAME=" + FormEncode("<filename>/x</filename>"));
    Get("/afpofm/AFPBrowseFile/VOL1/x");
    EXPECT_TRUE(ClosedFiles().empty());
}

/* What the exported path analysis gave, captured by a test service method
 * registered under a keyword as long as "afpofm". */
struct Analysis {
    int status = -1;
    int count = -1;
    AfpSortType sortType = -1;
    std::string sortText;
    std::string component; // the first remaining component's text
    std::string pathCopy;
    bool hadComponent = false;
    int plainStatus = -1;
    int plainCount = -1;
};
using AnalyseFn = int (*)(void *, int *, AfpSortType *, char *, char **, char **);
using CountFn = int (*)(void *, int *);
AnalyseFn gAnalyse = nullptr;
CountFn gCount = nullptr;
Analysis gAnalysis;

int ServeAnalysis(void *request, unsigned int, unsigned int, unsigned int) {
    char sortText[17] = "";
    char *component = nullptr;
    char *pathCopy = nullptr;
    gAnalysis.status =
        gAnalyse(request, &gAnalysis.count, &gAnalysis.sortType, sortText, &component, &pathCopy);
    gAnalysis.sortText = sortText;
    gAnalysis.hadComponent = component != nullptr;
    if (component != nullptr)
        gAnalysis.component.assign(component + 1, static_cast<unsigned char>(component[0]));
    gAnalysis.pathCopy = pathCopy != nullptr ? pathCopy : "<null>";
    free(pathCopy);
    return 0;
}

int ServeCount(void *request, unsigned int, unsigned int, unsigned int) {
    gAnalysis.plainStatus = gCount(request, &gAnalysis.plainCount);
    return 0;
}

TEST_F(OpenFilesDispatchTest, ExportedPathAnalysis) {
    gAnalyse = Export<AnalyseFn>("_Z34GetComponentCountAndSortTypeForOFMPvPiS0_PcPS1_S2_");
    gCount = Export<CountFn>("_Z17GetComponentCountPvPi");
    HxmServiceGroup group{0, 0, "Tests"};
    int code = 0;
    ASSERT_NE(RegisterServiceMethodEx("A", "ofmpth", 6, &group, 0, 0, ServeAnalysis, 0, &code), 0);
    ASSERT_NE(RegisterServiceMethodEx("C", "ofmcnt", 6, &group, 0, 0, ServeCount, 0, &code), 0);
    struct Case {
        const char *path;
        int count;
        AfpSortType sortType;
        const char *sortText;
        const char *component; // null: none stored
        const char *pathCopy;
    };
    const Case cases[] = {
        {"", 0, 1, "", nullptr, "<null>"},
        {"/VOL1", 1, 1, "", "VOL1", "/VOL1"},
        {"/userNAME/VOL1", 1, 2, "UserName", "VOL1", "/userNAME/VOL1"},
        {"/FileName", 0, 3, "FileName", "", "/FileName"},
        {"/UserNames/x", 2, 1, "", "UserNames", "/UserNames/x"},
        {"/ConnectionNumber/AFPCloseFiles/V", 2, 1, "ConnectionNumber", "AFPCloseFiles",
         "/ConnectionNumber/AFPCloseFiles/V"},
    };
    for (const Case &c : cases) {
        gAnalysis = Analysis{};
        Get(std::string("/ofmpth") + c.path);
        EXPECT_EQ(gAnalysis.status, 0) << c.path;
        EXPECT_EQ(gAnalysis.count, c.count) << c.path;
        EXPECT_EQ(gAnalysis.sortType, c.sortType) << c.path;
        EXPECT_EQ(gAnalysis.sortText, c.sortText) << c.path;
        EXPECT_EQ(gAnalysis.hadComponent, c.component != nullptr) << c.path;
        if (c.component != nullptr) {
            EXPECT_EQ(gAnalysis.component, c.component) << c.path;
        }
        EXPECT_EQ(gAnalysis.pathCopy, c.pathCopy) << c.path;

        Get(std::string("/ofmcnt") + c.path);
        EXPECT_EQ(gAnalysis.plainStatus, 0);
        EXPECT_EQ(gAnalysis.plainCount, c.path[0] == '\0' ? 0 : c.count + (c.sortText[0] ? 1 : 0))
            << c.path;
    }
    // The path cannot be read: 400.
    gAnalysis = Analysis{};
    Get("/ofmpth/VOL1", 0x9, hxm::kFailPathBuffers);
    EXPECT_EQ(gAnalysis.status, 400);
    Get("/ofmcnt/VOL1", 0x9, hxm::kFailPathBuffers);
    EXPECT_EQ(gAnalysis.plainStatus, 400);
    int removed = 0;
    DeRegisterServiceMethod("A", "ofmpth", 6, ServeAnalysis, 0, &removed);
    DeRegisterServiceMethod("C", "ofmcnt", 6, ServeCount, 0, &removed);
}

TEST_F(OpenFilesDispatchTest, ConcurrentRequestsGetWholePages) {
    scripted::StageOpenFiles("VOL1", {{{"u", 1, {"/a.doc", "/b.txt"}}, {"w", 2, {"/c.doc"}}}});
    const std::string listed = Get("/afpofm/FileName/VOL1").body;
    const std::string filtered = Post("/afpofm/VOL1", "FILTER=*.doc").body;
    const std::string closeBody = "FILENAME=" + FormEncode("<filename>/b.txt</filename>");
    constexpr int kThreads = 4;
    constexpr int kRounds = 10;
    const std::vector<int> mismatches = MismatchesPerThread(kThreads, kRounds, [&](int, int) {
        return (Get("/afpofm/FileName/VOL1").body != listed) +
               (Post("/afpofm/VOL1", "FILTER=*.doc").body != filtered) +
               (Post("/afpofm/AFPCloseFiles/VOL1", closeBody).status != 303);
    });
    for (size_t t = 0; t < mismatches.size(); ++t)
        EXPECT_EQ(mismatches[t], 0) << "thread " << t;
    EXPECT_EQ(ClosedFiles().size(), static_cast<size_t>(kThreads * kRounds));
}

} // namespace
} // namespace hxm_test
