#include "framework/error.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "framework/globals.h"
#include "runtime/dialogs.h"
#include "runtime/threads.h"

namespace {

thread_local ErrorStatusClass status;
ErrorStatusClass& statusOfThisThread() {
    return status;
}

class ErrorClassTest : public ::testing::Test {
  protected:
    void SetUp() override {
        errors.Init(&statusOfThisThread);
        rt::setMessageHandler([this](const rt::MessageRequest& r) {
            shown.push_back(r);
            return answer;
        });
    }
    void TearDown() override {
        rt::setMessageHandler(nullptr);
        rt::setFatalExitHook(nullptr);
    }
    ErrorClass errors;
    std::vector<rt::MessageRequest> shown;
    rt::Button answer = rt::ButtonOk;
};

TEST_F(ErrorClassTest, PlaceholdersAreFilledAndBarsBreakLines) {
    errors.SetFile("PLAND");
    errors.SetKey("PLA:KeyP1_SIP");
    errors.SetErrors(FileError::FileSystemError, -5, "The database file is locked");
    EXPECT_EQ(errors.SubsString(Msg::RetryAutoInc),
              "Attempts to automatically number this record have failed.|File: PLAND|Key: "
              "PLA:KeyP1_SIP|Error: The database file is locked (-5).|Try Again?");
    EXPECT_EQ(errors.SubsString(Msg::InvalidFile),
              "PLAND has an invalid File structure.|Error: 90 - File System Error|FileError: -5 "
              "- The database file is locked|");

    answer = rt::ButtonYes;
    EXPECT_EQ(errors.Throw(Msg::RetryAutoInc), Level::Benign);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, "Auto Increment Error");
    EXPECT_EQ(shown[0].text.find('|'), std::string::npos);
    EXPECT_NE(shown[0].text.find("PLAND\nKey: "), std::string::npos);
}

TEST_F(ErrorClassTest, ErrorTextNamesTheErrorUnlessTheStorageGaveItsOwn) {
    errors.SetErrors(FileError::DuplicateKey);
    EXPECT_EQ(errors.ErrorText(), "Creates Duplicate Key (40)");
    errors.SetErrors(FileError::RecordNotAvailable);
    EXPECT_EQ(errors.ErrorText(), "Record Not Available (33)");
    errors.SetErrors(FileError::FileSystemError, -8, "Attempt to write a readonly database");
    EXPECT_EQ(errors.ErrorText(), "Attempt to write a readonly database (-8)");
}

TEST_F(ErrorClassTest, SeverityDecidesTheBoxAndTheLevel) {
    struct Case {
        Msg id;
        rt::Button answer;
        unsigned buttons;
        rt::Button defaultButton;
        Level level;
    };
    const Case cases[] = {
        {Msg::ConfirmDelete, rt::ButtonYes, rt::ButtonYes | rt::ButtonNo, rt::ButtonYes,
         Level::Benign},
        {Msg::ConfirmCancel, rt::ButtonNo, rt::ButtonYes | rt::ButtonNo, rt::ButtonYes,
         Level::Cancel},
        {Msg::RetrySave, rt::ButtonYes, rt::ButtonYes | rt::ButtonNo | rt::ButtonCancel,
         rt::ButtonCancel, Level::Benign},
        {Msg::RetrySave, rt::ButtonNo, rt::ButtonYes | rt::ButtonNo | rt::ButtonCancel,
         rt::ButtonCancel, Level::Cancel},
        {Msg::RetrySave, rt::ButtonCancel, rt::ButtonYes | rt::ButtonNo | rt::ButtonCancel,
         rt::ButtonCancel, Level::Notify},
        {Msg::DuplicateKey, rt::ButtonOk, rt::ButtonOk, rt::ButtonOk, Level::Notify},
    };
    for (const auto& c : cases) {
        shown.clear();
        answer = c.answer;
        EXPECT_EQ(errors.Throw(c.id), c.level) << errorEntry(c.id).title;
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].buttons, c.buttons) << errorEntry(c.id).title;
        EXPECT_EQ(shown[0].defaultButton, c.defaultButton) << errorEntry(c.id).title;
    }
}

TEST_F(ErrorClassTest, FatalErrorEndsTheProgramAfterOk) {
    std::vector<int> exits;
    bool cleanedUp = false;
    rt::addFatalCleanup([&] { cleanedUp = true; });
    rt::setFatalExitHook([&](int status) { exits.push_back(status); });
    errors.SetErrors(FileError::NoFile);
    EXPECT_EQ(errors.ThrowFile(Msg::OpenFailed, "CLANOVI"), Level::Fatal);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, "File Access Error");
    EXPECT_EQ(shown[0].text,
              "File CLANOVI could not be opened.  Error: File Not Found (2).  Press OK to end this "
              "application");
    EXPECT_TRUE(cleanedUp);
    EXPECT_EQ(exits, std::vector<int>{FatalExitStatus});
}

TEST_F(ErrorClassTest, ProcedureNamesAndErrorsStayWithTheirThread) {
    errors.SetProcedureName("Main");
    errors.SetFile("PLAND");
    std::string otherName, otherFile, otherAfterPop;
    rt::runProcess([&] {
        rt::startThread([&] {
            errors.SetProcedureName("BrowsePLANSA");
            errors.SetProcedureName("UpdatePLANSA");
            otherName = errors.GetProcedureName();
            otherFile = errors.Status().file;
            errors.SetProcedureName();
            otherAfterPop = errors.GetProcedureName();
        });
    });
    EXPECT_EQ(otherName, "UpdatePLANSA");
    EXPECT_EQ(otherFile, "");
    EXPECT_EQ(otherAfterPop, "BrowsePLANSA");
    EXPECT_EQ(errors.GetProcedureName(), "Main");
    EXPECT_EQ(errors.Status().file, "PLAND");
}

}  // namespace
