#pragma once
// What every update form sets up alike: the file it updates with its history
// record and history fields (Ctrl+H), the title from the request ("Upis",
// "Promjena"), "Uredu" through the accept-all pass and "Izlaz", the record
// primed after the files are opened (the delete request answered there,
// without a window), view mode (every history control read-only, nothing
// stored, the response cancelled), and an insert that did not complete
// leaving no reserved row. A form derives from it and adds its own steps
// (lookups: LookupWindow<FormWindowProcedure>).
#include <cstdint>
#include <string>
#include <vector>

#include "framework/file_manager.h"
#include "framework/relation_manager.h"
#include "framework/window_procedure.h"

// The file a form updates: its record buffer, access and relation objects,
// and the thread's history record (same layout as the buffer).
struct FormFile {
    rt::FileStructure& file;
    FileManager*& access;
    RelationManager*& relate;
    void* history;
};

// A form's control numbers.
struct FormControls {
    int first = 0;  // the control with the focus when the form opens
    int ok = 0, cancel = 0;
    struct HistoryField {
        int control;
        int field;  // 1-based field of the updated file
    };
    std::vector<HistoryField> history;
};

class FormWindowProcedure : public WindowProcedure {
  public:
    FormWindowProcedure(std::string procedure, FormFile file, const FormControls& ids,
                        rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
                        WindowResizeClass& rs);

    // The title by request, set just before the event loop (empty: the
    // window keeps its own). UTF-8.
    struct Titles {
        const char* insert = "Upis";
        const char* change = "Promjena";
        const char* view = "";
    } Title;

    // In view mode the form never completes.
    std::uint8_t Run() override;
    using WindowManager::Run;
    // The title follows the request, set just before the event loop.
    void Ask() override;
    Level TakeAccepted() override;
    Level Kill() override;

  protected:
    int ChooseFirstField() override { return ids_.first; }
    void RegisterButtons() override;
    Level AfterFilesOpened() override;
    void AfterRestore() override;

    FormFile file_;
    const FormControls& ids_;
};
