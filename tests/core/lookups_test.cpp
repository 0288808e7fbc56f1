// The code lists' lookups: each list's code key is a unique key on one code
// field, and the lookup's code is that field in the calling thread's record
// buffer; what the window gave is kept. A lookup added to a window opens its
// list's select window.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/dictionary/lookups.h"
#include "core/frame/procedures.h"
#include "framework/globals.h"

namespace {

TEST(LookupIn, CodeKeyAndCodeFieldOfEachList) {
    for (FileId list :
         {FileId::PLANSA, FileId::PLAND, FileId::TURPOS, FileId::CLANOVI, FileId::STUPEM,
          FileId::BRAST, FileId::NACION, FileId::NACUC, FileId::KATEG, FileId::PODPOS}) {
        rt::FileStructure& file = fileStructure(list);
        SCOPED_TRACE(file.def().label);
        const Lookup l = LookupIn(list, {.Entry = 7, .Button = 8, .Number = 2, .NameControl = 9});
        EXPECT_EQ(l.Entry, 7);
        EXPECT_EQ(l.Button, 8);
        EXPECT_EQ(l.Number, 2);
        EXPECT_EQ(l.NameControl, 9);
        ASSERT_EQ(l.Key.file, &file);
        const rt::KeyDef& key = file.def().keys.at(static_cast<std::size_t>(l.Key.index));
        EXPECT_TRUE(key.unique || key.primary) << key.label;
        ASSERT_EQ(key.fields.size(), 1u) << key.label;
        const rt::FieldDef& code = file.def().fields.at(static_cast<std::size_t>(key.fields[0]));
        EXPECT_EQ(code.type, rt::FieldType::Long) << code.label;
        EXPECT_EQ(reinterpret_cast<char*>(l.Code), static_cast<char*>(file.record()) + code.offset)
            << code.label;
    }
}

TEST(LookupIn, RefusesAFileWithNoCodeList) {
    EXPECT_THROW(LookupIn(FileId::DOKAN), std::invalid_argument);
    EXPECT_THROW(LookupIn(FileId::CLANAR), std::invalid_argument);
}

// Each lookup's hook number runs the select window its list is registered
// under ("Select" and the file's name, as the code lists and the members
// register theirs), whatever number the window wrote; the lookups of one
// list (the two ends of a member-code range) share one.
TEST(AddLookupIn, EachLookupOpensItsOwnListsSelectWindowAndOneListHasOne) {
    const FileId lists[] = {FileId::PLANSA,  FileId::CLANOVI, FileId::PLAND,  FileId::TURPOS,
                            FileId::CLANOVI, FileId::STUPEM,  FileId::BRAST,  FileId::NACION,
                            FileId::NACUC,   FileId::KATEG,   FileId::PODPOS, FileId::PLAND};
    std::vector<std::string> opened;
    ClearProcedures();
    for (FileId list : lists) {
        const std::string name = fileStructure(list).def().label;
        RegisterProcedure("Select" + name, [&opened, name] {
            opened.push_back(name);
            GlobalResponse = Response::Completed;
        });
    }
    LookupClass lookups;
    int entry = 10;
    for (FileId list : lists) AddLookupIn(lookups, list, {.Entry = ++entry, .Number = 1});
    EXPECT_EQ(lookups.Procedures(), 10);

    WindowManager window;
    window.Request = Request::Change;
    ASSERT_EQ(lookups.Lookups().size(), std::size(lists));
    for (std::size_t i = 0; i < std::size(lists); ++i) {
        const Lookup& l = lookups.Lookups()[i];
        const std::string list = fileStructure(lists[i]).def().label;
        SCOPED_TRACE(list);
        opened.clear();
        EXPECT_EQ(lookups.Call(window, l.Number, Request::Select), Response::Completed);
        EXPECT_EQ(opened, std::vector<std::string>{list});
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_EQ(lookups.Lookups()[j].Number == l.Number, lists[j] == lists[i]);
    }
    ClearProcedures();
}

}  // namespace
