// The member form's rule for the photo path it keeps: the bare name only for
// a file in the current directory itself.
#include <gtest/gtest.h>

#include "members/update_clanovi.h"

namespace {

TEST(MemberPhotoPath, ABareNameOnlyForAFileInTheCurrentDirectoryItself) {
    struct Case {
        const char* path;
        const char* cwd;
        const char* kept;
    };
    const Case cases[] = {
        {"/CLUB/foto1.jpg", "/CLUB", "FOTO1.JPG"},
        {"/CLUB/foto1.jpg  ", "/CLUB", "FOTO1.JPG"},          // trailing blanks ignored
        {"/club/foto1.jpg", "/CLUB", "FOTO1.JPG"},            // the directory part in upper case
        {"/CLUB/\x9e" "aba.png", "/CLUB", "\x8e" "ABA.PNG"},  // ž as Ž
        {"/home/club/foto1.jpg", "/home/club", "/home/club/foto1.jpg"},  // case counts on its side
        {"/CLUB/SUB/foto1.jpg", "/CLUB", "/CLUB/SUB/foto1.jpg"},
        {"/foto.jpg", "/", "/foto.jpg"},                      // the root: "" is no directory
        {"foto1.jpg", "/CLUB", "foto1.jpg"},                  // no "/" at all
        {"C:\\CLUB\\FOTO1.JPG", "C:\\CLUB", "C:\\CLUB\\FOTO1.JPG"},  // "\" is no separator here
        {"", "/CLUB", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(KeptPhotoPath(c.path, c.cwd), c.kept);
    }
}

}  // namespace
