#include "codelists/procedures.h"

#include "codelists/browse_codelist.h"
#include "codelists/select_windows.h"
#include "codelists/update_codelist.h"
#include "core/frame/procedures.h"

#define CODELISTS_DEFINE(F)                                           \
    void Browse##F() {                                                \
        codelists::BrowseCodeList(codelists::CodeTableOf(FileId::F)); \
    }                                                                 \
    void Update##F() {                                                \
        codelists::UpdateCodeList(codelists::CodeTableOf(FileId::F)); \
    }
CODELISTS_TABLES(CODELISTS_DEFINE)
#undef CODELISTS_DEFINE

void RegisterCodelistsProcedures() {
#define CODELISTS_REGISTER(F)                  \
    RegisterProcedure("Browse" #F, Browse##F); \
    RegisterProcedure("Select" #F, Select##F);
    CODELISTS_TABLES(CODELISTS_REGISTER)
#undef CODELISTS_REGISTER
}
