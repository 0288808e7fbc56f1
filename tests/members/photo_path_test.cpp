// The path the member form stores for a picked photo: cut to its 60
// characters; a file right in the current directory as its bare name in
// upper case, which only a directory already in upper case can give.
#include <gtest/gtest.h>

#include <string>

#include "members/photo_path.h"

namespace {

TEST(StoredPhotoPath, BareNameOnlyForTheCurrentDirectoryAsItStands) {
    struct Case {
        const char* picked;
        const char* current;
        const char* stored;
    };
    const std::string sixty = "/slike/" + std::string(53, 'a');
    for (const Case& c : {
             Case{"/CLUB/foto1.jpg", "/CLUB", "FOTO1.JPG"},
             Case{"/CLUB/Foto Ana.jpg", "/CLUB/", "/CLUB/Foto Ana.jpg"},
             Case{"/home/club/foto1.jpg", "/home/club", "/home/club/foto1.jpg"},
             Case{"/Club/foto1.jpg", "/Club", "/Club/foto1.jpg"},
             Case{"/CLUB/SLIKE/foto1.jpg", "/CLUB", "/CLUB/SLIKE/foto1.jpg"},
             Case{"/foto.jpg", "/", "/foto.jpg"}, Case{"/foto.jpg", "", "/foto.jpg"},
             Case{"foto1.jpg", "/CLUB", "foto1.jpg"}, Case{"", "/CLUB", ""},
             Case{"/CLUB/foto1.jpg  ", "/CLUB", "FOTO1.JPG"},  // trailing blanks ignored
             Case{"/club/foto1.jpg", "/CLUB", "FOTO1.JPG"},    // the directory part in upper case
             Case{"C:\\CLUB\\FOTO1.JPG", "C:\\CLUB", "C:\\CLUB\\FOTO1.JPG"},  // "\" is no separator
             Case{"/CLUB/\x9a"
                  "uma.jpg",
                  "/CLUB", "\x8aUMA.JPG"},  // š becomes Š
         }) {
        SCOPED_TRACE(c.picked);
        EXPECT_EQ(members::StoredPhotoPath(c.picked, c.current), c.stored);
    }
    // Longer than the field: the first 60 characters, the rule applied to them.
    EXPECT_EQ(members::StoredPhotoPath(sixty + "xyz.jpg", "/home"), sixty);
    EXPECT_EQ(members::StoredPhotoPath("/AB/" + std::string(70, 'f'), "/AB"), std::string(56, 'F'));
}

}  // namespace
