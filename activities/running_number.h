#pragma once
// The running number the next line of a document gets.
#include <cstdint>

#include "framework/entry_window.h"

class FileManager;

namespace activities {

class RunningNumbers {
  public:
    // Over the activity lines of access (ANGAZOV's access object), made on
    // the window's thread.
    explicit RunningNumbers(FileManager& access);

    // The highest running number stored in the document (federation, club,
    // document number) plus one; for a document without lines, none plus
    // one. One statement over the primary key, through a structure and
    // buffer of its own (the window's record buffers are left as they
    // were). Never past the largest 32-bit number: a line there is refused
    // as a duplicate.
    std::int32_t Next(std::int32_t federation, std::int32_t club, std::int32_t document,
                      std::int64_t none);
    // Why the last Next could not read the document's lines (code 0 when
    // it could); its number is then only none plus one.
    const rt::FileStatus& Failure() const { return last_.Failure(); }

  private:
    LastInKeyOrder last_;
};

}  // namespace activities
