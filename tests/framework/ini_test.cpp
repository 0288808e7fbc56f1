#include "framework/ini.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/temp_dir.h"

namespace {

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

TEST(INIClassTest, ANewFileHoldsAnEmptyListOfSectors) {
    TempDir dir;
    INIClass ini;
    ini.Init(".\\Sutrik.INI", 0, 0);
    EXPECT_TRUE(ini.Sectors().empty());
    ASSERT_TRUE(ini.Kill());
    EXPECT_EQ(readFile("Sutrik.INI"), "[__Dont_Touch_Me__]\r\nSectors=0\r\n");
}

TEST(INIClassTest, TheListOfSectorsIsWrittenBackUnchanged) {
    TempDir dir;
    const std::string original =
        "[Main]\r\nMaximize=Yes\r\n; a note someone left\r\n"
        "[__Dont_Touch_Me__]\r\nSectors=2\r\nSectors_1=Fam,Item one,T1\r\nSectors_2=F2,I2,Type "
        "2\r\n";
    writeFile("Sutrik.INI", original);
    INIClass ini;
    ini.Init(".\\Sutrik.INI", 0, 0);
    ASSERT_EQ(ini.Sectors().size(), 2u);
    EXPECT_EQ(ini.Sectors()[1].family, "F2");
    EXPECT_EQ(ini.Sectors()[1].item, "I2");
    EXPECT_EQ(ini.Sectors()[1].type, "Type 2");
    ASSERT_TRUE(ini.Kill());
    EXPECT_EQ(readFile("Sutrik.INI"), original);
}

TEST(INIClassTest, KeysAreFoundWithoutRegardToCaseAndOtherSectionsSurvive) {
    TempDir dir;
    writeFile("Sutrik.INI", "[BrowsePLAND]\nXPos=10\n[Other]\nA=1\n");
    INIClass ini;
    ini.Init("Sutrik.INI");
    EXPECT_EQ(ini.Fetch("browseplaNd", "xpos"), "10");
    EXPECT_FALSE(ini.TryFetch("BrowsePLAND", "YPos"));
    ASSERT_TRUE(ini.Update("BROWSEPLAND", "YPOS", "20"));
    ASSERT_TRUE(ini.Update("New", "K", "v"));
    ASSERT_TRUE(ini.DeleteKey("Other", "A"));
    EXPECT_EQ(readFile("Sutrik.INI"),
              "[BrowsePLAND]\r\nXPos=10\r\nYPOS=20\r\n[Other]\r\n[New]\r\nK=v\r\n");
}

TEST(INIClassTest, WindowStateFollowsTheMaximizeKey) {
    TempDir dir;
    INIClass ini;
    ini.Init("Sutrik.INI");

    // Maximized: the position and size keys go away.
    ASSERT_TRUE(ini.UpdateWindow("Main", {false, false, true, 1, 2, 3, 4}));
    ASSERT_TRUE(ini.UpdateWindow("Main", {true, false, true, 1, 2, 3, 4}));
    EXPECT_EQ(ini.Fetch("Main", "Maximize"), "Yes");
    EXPECT_EQ(ini.Fetch("Main", "Minimize"), "No");
    for (const char* k : {"XPos", "YPos", "Width", "Height"})
        EXPECT_FALSE(ini.TryFetch("Main", k)) << k;

    // A window that cannot be resized keeps no size.
    ASSERT_TRUE(ini.UpdateWindow("SplashIt", {false, false, false, 30, 40, 99, 99}));
    EXPECT_EQ(ini.Fetch("SplashIt", "XPos"), "30");
    EXPECT_FALSE(ini.TryFetch("SplashIt", "Width"));

    struct Case {
        const char* maximize;
        bool resizable;
        bool apply, maximized, hasPos, hasSize;
    };
    const Case cases[] = {
        {"Yes", true, true, true, true, true},       {"No", true, true, false, true, true},
        {"No", false, true, false, true, false},  // size only for a resizable window
        {"maybe", true, false, false, false, false}, {nullptr, true, false, false, false, false},
    };
    for (const auto& c : cases) {
        ini.DeleteKey("W", "Maximize");
        if (c.maximize) ini.Update("W", "Maximize", c.maximize);
        ini.Update("W", "XPos", "5");
        ini.Update("W", "YPos", "6");
        ini.Update("W", "Width", "70");
        ini.Update("W", "Height", "80");
        const auto f = ini.FetchWindow("W", c.resizable);
        const std::string what = c.maximize ? c.maximize : "(none)";
        EXPECT_EQ(f.apply, c.apply) << what;
        EXPECT_EQ(f.maximize, c.maximized) << what;
        EXPECT_EQ(f.x.has_value() && f.y.has_value(), c.hasPos) << what;
        EXPECT_EQ(f.width.has_value() && f.height.has_value(), c.hasSize) << what;
        if (c.hasPos) {
            EXPECT_EQ(*f.x, 5);
        }
    }
}

// The manager keeps the file as read between reads; whatever another
// program does to it shows on the next read: a write of another manager
// (renamed over it), a change in place of the same size at once, and the
// same after the file had stood still for a while.
TEST(INIClassTest, ChangesOfAnotherWriterShowOnTheNextRead) {
    TempDir dir;
    INIClass ini;
    ini.Init("Sutrik.INI");
    ASSERT_TRUE(ini.Update("W", "XPos", "10"));
    EXPECT_EQ(ini.Fetch("W", "XPos"), "10");

    INIClass other;
    other.Init("Sutrik.INI");
    ASSERT_TRUE(other.Update("W", "XPos", "20"));
    EXPECT_EQ(ini.Fetch("W", "XPos"), "20");
    EXPECT_EQ(ini.FetchWindow("W", true).x, std::nullopt);  // no "Maximize": nothing to apply

    auto inPlace = [](const std::string& text) {
        std::ofstream out("Sutrik.INI", std::ios::binary | std::ios::in | std::ios::out);
        out << text;
    };
    const std::string before = readFile("Sutrik.INI");
    ASSERT_EQ(before, "[W]\r\nXPos=20\r\n");
    inPlace("[W]\r\nXPos=30\r\n");
    EXPECT_EQ(ini.Fetch("W", "XPos"), "30");
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(ini.Fetch("W", "XPos"), "30");
    inPlace("[W]\r\nXPos=40\r\n");
    EXPECT_EQ(ini.Fetch("W", "XPos"), "40");

    // A write of the manager's own goes through at once, over what the
    // other wrote meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(ini.Fetch("W", "XPos"), "40");
    ASSERT_TRUE(other.Update("W", "YPos", "5"));
    ASSERT_TRUE(ini.Update("W", "Maximize", "No"));
    EXPECT_EQ(readFile("Sutrik.INI"), "[W]\r\nXPos=40\r\nYPos=5\r\nMaximize=No\r\n");
    const auto f = ini.FetchWindow("W", true);
    EXPECT_TRUE(f.apply);
    EXPECT_EQ(f.y, 5);
}

}  // namespace
