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

}  // namespace

bool StepDocumentCounter(std::int32_t club, int delta) {
    rt::FileStructure& file = fileStructure(FileId::DOKAN);
    const rt::KeyRef key = file.key(file.def().keyIndex("DOK:KeyD1_SIP"));
    if (const int rc = file.begin(); rc != 0) return NotUpdated(rc, file.status());
    DOK.D1_SIP = club;
    if (const int rc = file.get(key); rc != 0) {
        const rt::FileStatus status = file.status();
        file.rollback();
        return NotUpdated(rc, status);
    }
    const std::int64_t next = static_cast<std::int64_t>(DOK.D1_BRJ) + delta;
    if (next > std::numeric_limits<std::int32_t>::max() ||
        next < std::numeric_limits<std::int32_t>::min()) {
        file.rollback();
        rt::FileStatus status;
        status.fileError = "The document number would leave the range of its field";
        return NotUpdated(FileError::FileSystemError, status);
    }
    DOK.D1_BRJ = static_cast<std::int32_t>(next);
    int rc = file.put();
    if (rc == 0) rc = file.commit();
    if (rc != 0) {
        const rt::FileStatus status = file.status();
        file.rollback();
        DOK.D1_BRJ = static_cast<std::int32_t>(next - delta);
        return NotUpdated(rc, status);
    }
    rt::MessageRequest box;
    box.text = "Tekući broj je " + std::to_string(DOK.D1_BRJ);
    rt::showMessage(box);
    return true;
}

}  // namespace activities
