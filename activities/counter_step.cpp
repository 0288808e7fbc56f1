#include "activities/counter_step.h"

#include <limits>
#include <string>

#include "core/dictionary/dictionary.h"
#include "framework/error.h"
#include "framework/globals.h"
#include "runtime/dialogs.h"

namespace activities {

namespace {

bool NotUpdated(int code, const rt::FileStatus& status) {
    GlobalErrors().SetErrors(code, status.fileErrorCode, status.fileError);
    GlobalErrors().ThrowFile(Msg::UpdateFailed, "DOKAN");
    return false;
}

// The read and the write in their transaction, ended before this returns
// (the notice of a failure is shown outside it): 0 once the stepped counter
// is stored, else the error with its status.
int Step(rt::FileStructure& file, std::int32_t club, int delta, rt::FileStatus& status) {
    const rt::KeyRef key = rt::KeyOf(file, "DOK:KeyD1_SIP");
    auto failed = [&](int rc) {
        status = file.status();
        return rc;
    };
    rt::Transaction step(file);
    if (const int rc = step.began(); rc != 0) return failed(rc);
    DOK.D1_SIP = club;
    if (const int rc = file.get(key); rc != 0) return failed(rc);
    const std::int64_t next = static_cast<std::int64_t>(DOK.D1_BRJ) + delta;
    if (next > std::numeric_limits<std::int32_t>::max() ||
        next < std::numeric_limits<std::int32_t>::min()) {
        status = {};
        status.fileError = "The document number would leave the range of its field";
        return FileError::FileSystemError;
    }
    DOK.D1_BRJ = static_cast<std::int32_t>(next);
    int rc = file.put();
    if (rc == 0) rc = step.commit();
    if (rc != 0) {
        DOK.D1_BRJ = static_cast<std::int32_t>(next - delta);
        return failed(rc);
    }
    return 0;
}

}  // namespace

bool StepDocumentCounter(std::int32_t club, int delta) {
    rt::FileStatus status;
    if (const int rc = Step(fileStructure(FileId::DOKAN), club, delta, status); rc != 0)
        return NotUpdated(rc, status);
    rt::MessageRequest box;
    box.text = "Tekući broj je " + std::to_string(DOK.D1_BRJ);
    rt::showMessage(box);
    return true;
}

}  // namespace activities
