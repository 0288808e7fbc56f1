#include "core/startup/program.h"

#include <gtest/gtest.h>

#include "framework/globals.h"
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

}  // namespace
