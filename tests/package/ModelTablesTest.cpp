#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "package/FirmwareImage.h"
#include "package/FormatVersion.h"
#include "package/ModelProfile.h"
#include "package/TitleTable.h"

namespace {

const std::vector<std::uint16_t> kOwnModels = {6104, 6117, 6121, 6126, 6152, 6155, 6160, 6164,
                                               6181, 6182, 6186, 6192, 6193, 6195, 6196, 6197,
                                               6198, 6199, 6200, 6201, 6202, 6203};
const std::vector<std::uint16_t> kSharedBoardModels = {6143, 6145, 6163, 6170, 6174, 6189, 6230};

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

FirmwareImage PackageOf(std::uint16_t model, std::uint16_t version) {
    FirmwareImage package;
    package.PackageModel = model;
    package.PackageVersion = version;
    package.ExpectedModel = 1;  // stale value: must be overwritten
    return package;
}

}  // namespace

TEST(ModelTablesTest, EveryKnownProductGetsItsExpectedModelAndVersionedTitle) {
    std::map<std::uint16_t, std::uint16_t> expected;
    for (auto m : kOwnModels) expected[m] = m;
    for (auto m : kSharedBoardModels) expected[m] = 6140;
    ASSERT_EQ(expected.size(), 29u);

    std::map<std::uint16_t, std::uint16_t> actual;
    for (const TTitleRow& row : TitleTable()) {
        SCOPED_TRACE(row.PackageModel);
        EXPECT_TRUE(actual.emplace(row.PackageModel, row.ExpectedModel).second) << "duplicate row";
        FirmwareImage package = PackageOf(row.PackageModel, 207);
        std::string title = "old";
        ApplyTitleTable(package, title);
        EXPECT_EQ(package.ExpectedModel, expected[row.PackageModel]);
        EXPECT_EQ(package.PackageModel, row.PackageModel);
        EXPECT_EQ(title, std::string(row.Title) + "2.07");
    }
    EXPECT_EQ(actual, expected);
}

TEST(ModelTablesTest, TitlesAreDistinctAndEndReadyForTheVersion) {
    int firmwareUpdate = 0, fw = 0, plain = 0;
    std::set<std::string> titles;
    for (const TTitleRow& row : TitleTable()) {
        const std::string title = row.Title;
        SCOPED_TRACE(title);
        EXPECT_TRUE(titles.insert(title).second);
        EXPECT_NE(title.find(std::to_string(row.PackageModel)), std::string::npos) << "names its model";
        if (EndsWith(title, " Firmware Update v"))
            ++firmwareUpdate;
        else if (EndsWith(title, " FW v"))
            ++fw;
        else if (EndsWith(title, " v"))
            ++plain;
        else
            ADD_FAILURE() << "title does not end in \" v\"";
    }
    EXPECT_EQ(firmwareUpdate, 27);
    EXPECT_EQ(fw, 1);
    EXPECT_EQ(plain, 1);
}

TEST(ModelTablesTest, ModelWithoutARowKeepsTheTitleAndExpectsItself) {
    for (std::uint16_t model : {0, 1234, 6140, 6180, 6231, 65535}) {
        SCOPED_TRACE(model);
        FirmwareImage package = PackageOf(model, 112);
        std::string empty, kept = "kept";
        ApplyTitleTable(package, empty);
        EXPECT_EQ(empty, "");
        EXPECT_EQ(package.ExpectedModel, model);
        ApplyTitleTable(package, kept);
        EXPECT_EQ(kept, "kept");
    }
}

TEST(ModelTablesTest, ProfileTableRows) {
    using TRecipe = std::vector<TBootEntryStep>;
    const TRecipe unitCommand = {{103, 19, 29}};
    const struct {
        std::vector<std::uint16_t> Models;
        std::uint32_t ModbusSpeed;
        std::uint32_t BootSpeed;
        TRecipe Recipe;
    } rows[] = {
        {{6104, 6164}, 9600, 115200, {{6, 1, 156}, {6, 0, 156}}},
        {{6117, 6126, 6155, 6181, 6182, 6186, 6192, 6193, 6195, 6196, 6197, 6198, 6199, 6200, 6201, 6202,
          6203},
         9600,
         115200,
         unitCommand},
        {{6121}, 9600, 115200, {{6, 242, 13}}},
        {{6140}, 9600, 115200, {{103, 1, 8}}},
        {{6152}, 800000, 92160, {{103, 1, 8}, {103, 2, 5}}},
        {{6160}, 9600, 115200, {}},
        // Not in the table: the default row. Includes the shared-board products' own numbers,
        // which are never looked up, and the gap 6194 inside the unit-command range.
        {{0, 6143, 6170, 6194, 6204, 6230, 65535}, 9600, 115200, {}},
    };
    for (const auto& row : rows) {
        for (std::uint16_t model : row.Models) {
            SCOPED_TRACE(model);
            const ModelProfile profile = ProfileFor(model);
            EXPECT_EQ(profile.ModbusSpeed, row.ModbusSpeed);
            EXPECT_EQ(profile.BootSpeed, row.BootSpeed);
            EXPECT_EQ(profile.BootEntryRecipe, row.Recipe);
        }
    }
}

TEST(ModelTablesTest, VersionsShowAsMajorDotTwoDigitMinor) {
    const struct {
        std::uint16_t Version;
        const char* Text;
    } cases[] = {{112, "1.12"}, {105, "1.05"},   {100, "1.00"},   {110, "1.10"},    {99, "0.99"},
                 {0, "0.00"},   {1000, "10.00"}, {1234, "12.34"}, {65535, "655.35"}};
    for (const auto& c : cases) EXPECT_EQ(FormatVersion(c.Version), c.Text) << c.Version;
}
