/*
 * The sample volume list and its nodes.
 */
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "monitor/volumes.h"
#include "tests/support/plugin_fixture.h"

namespace hxm_test {
namespace {

using GetVolumeListFn = int (*)(AFPVolumeList **);
using GetVolumeNodeFn = AFPVolumeNode *(*)(const char *, const char *);

class VolumesTest : public ScriptedPluginTest {};

void FreeVolumes(AFPVolumeList *list) {
    for (AFPVolumeNode *node = list->first; node != nullptr;) {
        AFPVolumeNode *next = node->next;
        free(node);
        node = next;
    }
    free(list);
}

TEST_F(VolumesTest, SampleListLinksThreeVolumesButCountsTwo) {
    auto get = Export<GetVolumeListFn>("_Z13GetVolumeListPP13AFPVolumeList");
    AFPVolumeList *list = nullptr;
    ASSERT_EQ(get(&list), 0);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count, 2);
    const std::pair<std::string, std::string> expected[] = {
        {"SYS", "SYS Volume"}, {"VOLA", "VOLUMEA"}, {"VOLBVOLAVOLAVADASDDS", "VOLUMEB"}};
    const AFPVolumeNode *node = list->first;
    for (const auto &volume : expected) {
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->name, volume.first);
        EXPECT_EQ(node->description, volume.second);
        node = node->next;
    }
    EXPECT_EQ(node, nullptr);
    FreeVolumes(list);
    // Asks the monitoring library nothing.
    EXPECT_TRUE(scripted::Calls().empty());
}

TEST_F(VolumesTest, NodeTextsAreCutAndTerminated) {
    auto node = Export<GetVolumeNodeFn>("_Z13getVolumeNodePKcS0_");
    struct Case {
        const char *name;
        const char *description;
        std::string expectedName;
        std::string expectedDescription;
    };
    const std::string longName(70, 'n'), longText(300, 't'), fullName(64, 'x');
    const Case cases[] = {
        {"SYS", "SYS Volume", "SYS", "SYS Volume"},
        {longName.c_str(), longText.c_str(), longName.substr(0, 64), longText.substr(0, 256)},
        {fullName.c_str(), "", fullName, ""},
        {nullptr, nullptr, "", ""},
    };
    for (const Case &c : cases) {
        AFPVolumeNode *made = node(c.name, c.description);
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(std::string(made->name), c.expectedName);
        EXPECT_EQ(made->name[64], '\0');
        EXPECT_EQ(std::string(made->description), c.expectedDescription);
        EXPECT_EQ(made->description[256], '\0');
        EXPECT_EQ(made->next, nullptr);
        free(made);
    }
}

} // namespace

} // namespace hxm_test
