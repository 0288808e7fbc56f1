#include "core/startup/program.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "framework/globals.h"
#include "runtime/dialogs.h"
#include "runtime/threads.h"
#include "support/temp_dir.h"

namespace {

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

TEST(ProgramBodyTest, ARunWithoutAnIniFileLeavesAnEmptyListOfSectors) {
    TempDir dir;
    installComponents();
    bool frameRan = false;
    rt::runProcess([&] {
        ProgramBody([&] {
            frameRan = true;
            EXPECT_EQ(rt::currentThread(), 1);
            EXPECT_EQ(INIMgr().FilePath(), "Sutrik.INI");
        });
    });
    EXPECT_TRUE(frameRan);
    EXPECT_EQ(readFile("Sutrik.INI"), "[__Dont_Touch_Me__]\r\nSectors=0\r\n");
}

TEST(ProgramBodyTest, ANewThreadStartsWithClearedRequestValuesWhateverItsStarterHeld) {
    TempDir dir;
    installComponents();
    std::uint8_t request = 99, response = 99;
    std::int32_t vcr = 99;
    std::string file = "x";
    rt::runProcess([&] {
        ProgramBody([&] {
            GlobalRequest = Request::Change;
            GlobalResponse = Response::Completed;
            VCRRequest = 7;
            GlobalErrors().SetFile("PLAND");
            rt::startThread([&] {
                request = GlobalRequest;
                response = GlobalResponse;
                vcr = VCRRequest;
                file = GlobalErrors().Status().file;
            });
        });
    });
    EXPECT_EQ(request, 0);
    EXPECT_EQ(response, 0);
    EXPECT_EQ(vcr, 0);
    EXPECT_EQ(file, "");
}

// A Sutrik.INI the program cannot read: the program runs, says so once, and
// leaves the file as it found it.
TEST(ProgramBodyTest, ASettingsFileThatCannotBeReadIsLeftAsItIsAndTheUserToldOnce) {
    TempDir dir;
    std::filesystem::create_directory("Sutrik.INI");
    writeFile("Sutrik.INI/inside", "x");
    std::vector<rt::MessageRequest> shown;
    rt::setMessageHandler([&](const rt::MessageRequest& r) {
        shown.push_back(r);
        return rt::ButtonOk;
    });
    installComponents();
    bool frameRan = false;
    rt::runProcess([&] { ProgramBody([&] { frameRan = true; }); });
    rt::setMessageHandler(nullptr);
    EXPECT_TRUE(frameRan);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, "Settings");
    EXPECT_TRUE(std::filesystem::is_directory("Sutrik.INI"));
    EXPECT_EQ(readFile("Sutrik.INI/inside"), "x");
}

}  // namespace
