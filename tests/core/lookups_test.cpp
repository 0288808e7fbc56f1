// The code lists' lookups: each list's code key is a unique key on one code
// field, and the lookup's code is that field in the calling thread's record
// buffer; what the window gave is kept.
#include <gtest/gtest.h>

#include <stdexcept>

#include "core/dictionary/lookups.h"

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

}  // namespace
