/*
 * The error page, driven through the host: a test keyword's service method
 * hands each request to the plug-in's generate_error_page, so the page is
 * checked byte for byte exactly as a browser would get it.
 */
#include <gtest/gtest.h>
#include <limits.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <zentra/hxm_host.h>

#include "tests/support/page_text.h"
#include "tests/support/plugin_fixture.h"

namespace hxm_test {
namespace {

using ErrorPageFunction = int (*)(void *, int, ...);

/* What the test keyword passes on: the type and the text arguments. */
ErrorPageFunction error_page = nullptr;
int next_type = 0;
std::string first_text = "VOL1";
std::string second_text = "/data/share";
bool pass_null_texts = false;

/* Hands the request to generate_error_page with arguments fitting the type. */
int ErrorTestMethod(void *request, unsigned int, unsigned int, unsigned int) {
    switch (next_type) {
    case 5:
        return error_page(request, 5, first_text.c_str());
    case 9:
        return error_page(request, 9, 5, first_text.c_str(), second_text.c_str());
    case 10:
    case 22:
        return error_page(request, next_type, 7, first_text.c_str());
    case 34:
        if (pass_null_texts)
            return error_page(request, 34, static_cast<const char *>(nullptr),
                              static_cast<const char *>(nullptr));
        return error_page(request, 34, first_text.c_str(), second_text.c_str());
    default:
        return error_page(request, next_type);
    }
}

constexpr char kTableStart[] = "<table width=100% border=0 cellspacing=0 cellpadding=0>\n";

/* The page from the table on, for an icon folder and a word and message. */
std::string ExpectedPageBody(const std::string &iconFolder, const std::string &errorWord,
                             const std::string &message) {
    return std::string(kTableStart) + "<tr bgcolor=#efeee9><td>\n<IMG src=\"" + iconFolder +
           "/GRPstatus_critical.png\" align=absMiddle border=0>&nbsp;<b>" + errorWord + " :</b>  " +
           message +
           "</td></tr></table>\n<p><form method=POST action=\"/\">\n"
           "<br>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;<input type=\"submit\" NAME=\"button\" "
           "value=\"OK\">\n</form></p>\n</BODY></HTML>";
}

class ErrorPage : public PluginTest {
  protected:
    void SetUp() override { Load(false); }
    void TearDown() override { Unload(); }

    void Load(bool withCatalogue) {
        LoadPlugin(withCatalogue);
        error_page = plugin_->Function<ErrorPageFunction>("generate_error_page");
        ASSERT_NE(error_page, nullptr);
        RegisterTestKeyword("Error test", "errtest", ErrorTestMethod);
    }

    void Unload() {
        UnloadPlugin();
        error_page = nullptr;
    }

    hxm::Response Show(int type, unsigned failures = hxm::kFailNone) {
        next_type = type;
        return Get("/errtest", 0x9, failures);
    }
};

struct ErrorCase {
    int type;
    const char *title;
    const char *message;
};

const ErrorCase kErrorCases[] = {
    {0, "HTTP Failure", "Unauthorized access denied"},
    {1, "HTTP Failure", "Bad Http method"},
    {2, "HTTP Failure", "Http request missing data"},
    {3, "HTTP Failure", "Bad Http request"},
    {4, "HTTP Failure", "Internal Resource failure"},
    {5, "Missing information", "VOL1 is not mounted or does not exist"},
    {6, "Wizard Failure", "Share name is missing"},
    {7, "Wizard Failure", "Share path is missing or does not exist"},
    {8, "Wizard Failure", "Share name already exists"},
    {9, "Create share (volume) failed",
     "The error code 5 was returned when trying to create \"VOL1\" at location \"/data/share\""},
    {10, "Remove share (volume) failed",
     "The error code 7 was returned when trying to remove \"VOL1\""},
    {11, "HTTP Failure", "Bad Http request"},
    {21, "HTTP Failure", "Bad Http request"},
    {22, "Remove share (volume) cannot remove XSV backed volumes",
     "The error code 7 was returned when trying to remove \"VOL1\""},
    {23, "HTTP Failure", "Bad Http request"},
    {28, "HTTP Failure", "Unable to change selected server parameter"},
    {29, "HTTP Failure", "Bad Http request"},
    {30, "HTTP Failure", "Bad Http request"},
    {31, "HTTP Failure", "Shadow volume already exists"},
    {32, "HTTP Failure", "Unable to create shadow volume"},
    {33, "HTTP Failure", "Bad Http request"},
    {34, "Missing information", "VOL1 Path does not exist \"/data/share\""},
    {35, "HTTP Failure", "Bad Http request"},
    {36, "HTTP Failure", "Bad Http request"},
    {37, "HTTP Failure", "Shadow volume path is invalid or is contained within volume mount path"},
    {38, "HTTP Failure", "Volume path is invalid or could not be created"},
    {39, "HTTP Failure", "Bad Http request"},
    {400, "HTTP Failure", "Bad Http request"},
    {500, "HTTP Failure", "Bad Http request"},
    {-1, "HTTP Failure", "Bad Http request"},
    {INT_MIN, "HTTP Failure", "Bad Http request"},
};

TEST_F(ErrorPage, EveryTypeShowsItsTitleAndMessageByteForByte) {
    for (const ErrorCase &c : kErrorCases) {
        SCOPED_TRACE("type " + std::to_string(c.type));
        hxm::Response response = Show(c.type);
        EXPECT_EQ(response.status, 200);
        EXPECT_EQ(response.methodResult, 200);
        EXPECT_EQ(Between(response.body, "<TITLE>", "</TITLE>"), c.title);
        EXPECT_EQ(Between(response.body, "<span class=\"hxm-heading\">", "</span>"), c.title);
        size_t table = response.body.find(kTableStart);
        ASSERT_NE(table, std::string::npos) << response.body;
        EXPECT_EQ(response.body.substr(table),
                  ExpectedPageBody("/opt/zentra/hxm", "Error", c.message));
    }
}

TEST_F(ErrorPage, RefusedSuccessResponseAnswers500AndSendsNothingElse) {
    hxm::Response response = Show(3, hxm::kFailSuccessfulResponse);
    EXPECT_EQ(response.status, 500);
    EXPECT_EQ(response.methodResult, 500);
    EXPECT_EQ(response.body.find("<table"), std::string::npos);
}

TEST_F(ErrorPage, ReadsTheIconFolderAndMessageGlobalsAtEachPage) {
    char *iconFolder = static_cast<char *>(plugin_->Symbol("icon_folder"));
    auto **badRequest = static_cast<const char **>(plugin_->Symbol("estr_bad_http_request"));
    ASSERT_NE(iconFolder, nullptr);
    ASSERT_NE(badRequest, nullptr);
    std::strcpy(iconFolder, "/other/icons");
    *badRequest = "Something else";

    hxm::Response response = Show(3);
    EXPECT_EQ(response.body.substr(response.body.find(kTableStart)),
              ExpectedPageBody("/other/icons", "Error", "Something else"));
}

TEST_F(ErrorPage, CallerTextsAreEscapedAsPageText) {
    first_text = "<script>alert('x')</script> & co";
    hxm::Response response = Show(5);
    first_text = "VOL1";
    EXPECT_EQ(Between(response.body, "<b>Error :</b>  ", "</td>"),
              "&lt;script&gt;alert('x')&lt;/script&gt; &amp; co is not mounted or does not "
              "exist");
}

TEST_F(ErrorPage, OverlongMessagesAreCutAtACharacterBoundary) {
    const struct {
        std::string name;
        size_t expectedLength;
    } kCases[] = {
        {std::string(3000, 'x'), 2051},
        // Two-byte characters: the 2051st byte would split one.
        {[] {
             std::string text;
             for (int i = 0; i < 1500; ++i)
                 text += "\xc3\xa9";
             return text;
         }(),
         2050},
    };
    for (const auto &c : kCases) {
        first_text = c.name;
        std::string message = Between(Show(34).body, "<b>Error :</b>  ", "</td>");
        EXPECT_EQ(message.size(), c.expectedLength);
        EXPECT_EQ(message, c.name.substr(0, c.expectedLength));
    }
    first_text = "VOL1";
}

TEST_F(ErrorPage, NullTextsReadAsEmpty) {
    pass_null_texts = true;
    std::string message = Between(Show(34).body, "<b>Error :</b>  ", "</td>");
    pass_null_texts = false;
    EXPECT_EQ(message, " Path does not exist \"\"");
}

TEST_F(ErrorPage, WithoutACatalogueTheTitlesStayPlain) {
    // The test host asks for German (LANGUAGE=de); this root has no catalogue.
    hxm::Response response = Show(7);
    EXPECT_EQ(Between(response.body, "<TITLE>", "</TITLE>"), "Wizard Failure");
    EXPECT_NE(response.body.find("<b>Error :</b>"), std::string::npos);
}

class TranslatedErrorPage : public ErrorPage {
  protected:
    void SetUp() override { Load(true); }
};

TEST_F(TranslatedErrorPage, LooksUpTitlesAndTheWordErrorButNeverMessages) {
    const ErrorCase kTranslated[] = {
        {0, "HTTP-Fehler", "Unauthorized access denied"},
        {3, "HTTP-Fehler", "Bad Http request"},
        {5, "Missing information", "VOL1 is not mounted or does not exist"},
        {6, "Wizard Failure", "Share name is missing"},
        {7, "Fehler im Assistenten", "Share path is missing or does not exist"},
        {8, "Fehler im Assistenten", "Share name already exists"},
        {9, "Create share (volume) failed",
         "The error code 5 was returned when trying to create \"VOL1\" at location "
         "\"/data/share\""},
        {31, "HTTP-Fehler", "Shadow volume already exists"},
    };
    for (const ErrorCase &c : kTranslated) {
        SCOPED_TRACE("type " + std::to_string(c.type));
        hxm::Response response = Show(c.type);
        EXPECT_EQ(Between(response.body, "<TITLE>", "</TITLE>"), c.title);
        size_t table = response.body.find(kTableStart);
        ASSERT_NE(table, std::string::npos);
        EXPECT_EQ(response.body.substr(table),
                  ExpectedPageBody("/opt/zentra/hxm", "Fehler", c.message));
    }
}

TEST_F(TranslatedErrorPage, RegistersWithTranslatedTexts) {
    std::vector<hxm::Registration> registrations = PluginRegistrations();
    ASSERT_EQ(registrations.size(), 3u);
    EXPECT_EQ(registrations[0].linkText, "Verbindungen verwalten");
    EXPECT_EQ(registrations[1].linkText, "Protokolle anzeigen");
    EXPECT_EQ(registrations[2].linkText, "Geöffnete Dateien verwalten");
    EXPECT_EQ(registrations[0].groupTitle, "AFP-Dienste verwalten");
}

} // namespace

} // namespace hxm_test
