/*
 * Find's names as Macs and browsers write them: composed or decomposed, in
 * either case, "?" one character; names that are not UTF-8 byte for byte;
 * the length limit in characters.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/pages/openfiles/openfiles_fixture.h"

namespace hxm_test {
namespace {

// "Ärger" composed (NFC) and decomposed (NFD, as a Mac writes it).
const std::string kComposed = "/VOL1/nfc/\xC3\x84rger.doc";
const std::string kDecomposed = "/VOL1/nfd/A\xCC\x88rger.doc";
const std::string kAerger = "/VOL1/Aerger.txt";
const std::string kNaive = "/VOL1/nai\xCC\x88ve.doc"; // decomposed
const std::string kMaerz = "/VOL1/Ma\xCC\x88rz.txt";  // decomposed
const std::string kNotUtf8 = "/VOL1/b\xFF"
                             "d.doc";
const std::string kJuergen = "Ju\xCC\x88rgen"; // decomposed

class FindNamesTest : public OpenFilesPageTest {
  protected:
    void Stage() {
        scripted::StageVolumes({{"VOL1"}});
        scripted::StageOpenFiles(
            "VOL1", {{{"anna", 5, {kAerger, kComposed, kDecomposed, kNaive, kMaerz, kNotUtf8}},
                      {kJuergen, 6, {"/VOL1/plan.txt"}}}});
    }
    std::vector<std::string> Found(const std::string &body) {
        scripted::Reset();
        Stage();
        std::vector<std::string> paths;
        for (const std::string &value : FileBoxValues(Post("/afpofm/AFPFindFiles", body).body)) {
            if (value.rfind("<filename>", 0) == 0) {
                paths.push_back(value.substr(10, value.size() - 21));
                continue;
            }
            // A name that is not UTF-8 travels percent-encoded.
            const std::string encoded = value.substr(17, value.size() - 35);
            std::string path;
            for (size_t i = 0; i < encoded.size(); ++i) {
                const bool escape = encoded[i] == '%' && i + 2 < encoded.size();
                path += escape ? static_cast<char>(std::stoi(encoded.substr(i + 1, 2), nullptr, 16))
                               : encoded[i];
                i += escape ? 2 : 0;
            }
            paths.push_back(path);
        }
        return paths;
    }
};

TEST_F(FindNamesTest, MatchesComposedAndDecomposedNamesInAnyCase) {
    struct Case {
        std::string body;
        std::vector<std::string> paths;
    };
    const Case cases[] = {
        {"FINDNAME=" + FormEncode("\xC3\xA4"), {kComposed, kDecomposed, kMaerz}},  // ä typed
        {"FINDNAME=" + FormEncode("A\xCC\x88"), {kComposed, kDecomposed, kMaerz}}, // Ä from a Mac
        {"FINDNAME=" + FormEncode("\xC3\x84RGER"), {kComposed, kDecomposed}},      // not Aerger
        {"FINDNAME=" + FormEncode("a?rger"), {kAerger, kComposed, kDecomposed}},   // ? the accent
        {"FINDNAME=" + FormEncode("?rger"), {kAerger, kComposed, kDecomposed}},    // ? one letter
        {"FINDNAME=" + FormEncode("na?ve"), {kNaive}},
        {"FINDNAME=" + FormEncode("NA\xC3\x8FVE"), {kNaive}},
        {"FINDNAME=" + FormEncode("m*z"), {kMaerz}},
        {"FINDNAME=ma", {}}, // a letter never matches the same letter with an accent
        {"FINDNAME=" + FormEncode("\xFF"), {kNotUtf8}},
        {"FINDNAME=" + FormEncode("B?D"), {kNotUtf8}}, // byte for byte: "?" one byte
        {"FINDUSER=" + FormEncode("J\xC3\x9CRGEN"), {"/VOL1/plan.txt"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Found(c.body), c.paths) << c.body;
}

TEST_F(FindNamesTest, CountsTheLimitInCharacters) {
    std::string longest;
    for (int i = 0; i < 255; ++i)
        longest += "\xC3\xA4"; // 255 characters, 510 bytes
    for (const std::string &part : {longest, longest + "a"}) {
        scripted::Reset();
        Stage();
        const std::string page = Post("/afpofm/AFPFindFiles", "FINDNAME=" + FormEncode(part)).body;
        const bool refused = part.size() > longest.size();
        EXPECT_EQ(page.find("may hold at most 255 characters") != std::string::npos, refused);
        EXPECT_EQ(scripted::Calls().empty(), refused);
    }
}

} // namespace
} // namespace hxm_test
