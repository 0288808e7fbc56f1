#include "codelists/tables.h"

#include <deque>
#include <stdexcept>
#include <string_view>

thread_local PLANSA_Record History::PLA1;
thread_local PLAND_Record History::PLA;
thread_local PODPOS_Record History::POD;
thread_local STUPEM_Record History::STU;
thread_local NACION_Record History::NAC;
thread_local BRAST_Record History::BRA;
thread_local KATEG_Record History::KAT;
thread_local NACUC_Record History::NA1;
thread_local TURPOS_Record History::TUR;

namespace codelists {

namespace {

constexpr rt::Align L = rt::Align::Left;
constexpr rt::Align R = rt::Align::Right;
constexpr rt::Align C = rt::Align::Center;

// The one sort order of the seven one-tab lists: the code key (always the
// file's first key, over its first field) with a numeric step.
std::vector<SortTab> codeOrder() {
    return {{"Podaci", 0, 0, true, {nullptr, {}, "", "", false}}};
}

// The federation and club forms share one layout; only the prefix, the
// first two prompts and the code picture differ.
std::vector<FormField> federationForm(const char* prefix, const char* fieldPrefix, const char* code,
                                      const char* name, const char* codePicture) {
    // Control names live as long as the table (built once); a deque keeps
    // them where they are.
    static std::deque<std::string> names;
    auto entry = [&](const char* suffix) {
        names.push_back(std::string("?") + prefix + ":" + fieldPrefix + "_" + suffix);
        return names.back().c_str();
    };
    const bool club = std::string_view(prefix) == "PLA";
    return {
        {code,
         {38, 20},
         entry(club ? "SIP" : "SPS"),
         {79, 20, 31, 10},
         codePicture,
         false,
         nullptr},
        {name, {34, 34}, entry(club ? "NPD" : "NPS"), {79, 34, 239, 10}, "@s50", false, nullptr},
        {"Adresa:", {42, 48}, entry("ADR"), {79, 48, 239, 10}, "@s50", false, nullptr},
        {"Sjedište:", {39, 62}, entry("SJD"), {79, 62, 124, 10}, "@s30", false, nullptr},
        {"Broj registra:", {27, 76}, entry("BRG"), {79, 76, 84, 10}, "@s20", false, nullptr},
        {"Datum registracije:", {8, 90}, entry("DAR"), {79, 90, 104, 10}, "@d6.", false, nullptr},
        {"Telefon:", {40, 104}, entry("TEL"), {79, 104, 124, 10}, "@s30", false, nullptr},
        {"Fax:", {53, 118}, entry("FAX"), {79, 118, 124, 10}, "@s30", false, nullptr},
        {"Veb stranica:", {25, 132}, entry("WEB"), {79, 132, 124, 10}, "@s30", false, nullptr},
        {"Email:", {47, 146}, entry("EML"), {79, 146, 124, 10}, "@s30", false, nullptr},
    };
}

std::vector<CodeTable> build() {
    std::vector<CodeTable> t;

    t.push_back(
        CodeTable{FileId::PLANSA, [] { return static_cast<void*>(&History::PLA1); },
                  ListLayout{"BrowsePLANSA",
                             "Planinarski savezi",
                             442,
                             229,
                             {4, 4, 435, 204},
                             {8, 34, 425, 148},
                             {
                                 {"Šifra PS", 1, 31, R, 2, L, "@n_2"},
                                 {"Naziv PS", 2, 200, L, 2, L, "@s50"},
                                 {"Adresa", 3, 200, L, 2, L, "@s50"},
                                 {"Sjedište", 4, 120, L, 2, L, "@s30"},
                                 {"Broj registra", 5, 80, L, 2, L, "@s20"},
                                 {"Datum registracije", 6, 40, R, 2, L, "@d6."},
                                 {"Telefon", 7, 120, R, 2, L, "@s30"},
                                 {"Fax", 8, 120, R, 2, L, "@s30"},
                                 {"Veb stranica", 9, 120, R, 2, L, "@s30"},
                                 {"Email", 10, 120, R, 2, L, "@s30"},
                             },
                             {
                                 {"Šifra PS",
                                  0,
                                  0,
                                  true,
                                  {"?PLA1:SP1_SPS", {10, 21, 23, 10}, "@n_2", "Šifra PS", true}},
                                 {"Naziv PS",
                                  1,
                                  1,
                                  false,
                                  {"?PLA1:SP1_NPS", {41, 21, 189, 10}, "@s50", "Naziv PS", false}},
                             },
                             "&Upis",
                             {271, 187},
                             {318, 187},
                             55,
                             {377, 187},
                             "Izlaz",
                             {386, 212},
                             false,
                             {},
                             true},
                  FormLayout{"UpdatePLANSA",
                             335,
                             182,
                             {3, 2, 325, 158},
                             {194, 164},
                             {275, 166},
                             federationForm("PLA1", "SP1", "Šifra PS:", "Naziv PS:", "@n_2")}});

    t.push_back(
        CodeTable{FileId::PLAND, [] { return static_cast<void*>(&History::PLA); },
                  ListLayout{"BrowsePLAND",
                             "Planinarska društva",
                             442,
                             229,
                             {4, 4, 435, 204},
                             {8, 34, 425, 148},
                             {
                                 {"Šifra PD", 1, 30, R, 2, C, "@n_3"},
                                 {"Naziv PD", 2, 209, L, 2, L, "@s50"},
                                 {"Adresa", 3, 157, L, 2, L, "@s50"},
                                 {"Sjedište", 4, 127, L, 2, L, "@s30"},
                                 {"Broj registra", 5, 95, L, 2, L, "@s20"},
                                 {"Datum registracije", 6, 80, R, 2, C, "@d6."},
                                 {"Telefon", 7, 80, L, 2, L, "@s30"},
                                 {"Fax", 8, 132, L, 2, L, "@s30"},
                                 {"Veb stranica", 9, 130, L, 2, L, "@s30"},
                                 {"Email", 10, 120, L, 2, L, "@s30"},
                             },
                             {
                                 {"Šifra PD",
                                  0,
                                  0,
                                  true,
                                  {"?PLA:P1_SIP", {9, 20, 23, 10}, "@n_3", "Šifra PD", true}},
                                 {"Naziv PD",
                                  1,
                                  1,
                                  false,
                                  {"?PLA:P1_NPD", {41, 21, 151, 10}, "@s50", "Naziv PD", false}},
                             },
                             "&Upis",
                             {271, 187},
                             {318, 187},
                             55,
                             {377, 187},
                             "Izlaz",
                             {386, 212},
                             false,
                             {},
                             true},
                  FormLayout{"UpdatePLAND",
                             335,
                             182,
                             {3, 2, 325, 158},
                             {194, 164},
                             {275, 166},
                             federationForm("PLA", "P1", "Šifra PD:", "Naziv PD:", "@n_3")}});

    t.push_back(CodeTable{
        FileId::PODPOS, [] { return static_cast<void*>(&History::POD); },
        ListLayout{"BrowsePODPOS",
                   "Preduzeća, ustanove",
                   389,
                   222,
                   {4, 4, 381, 196},
                   {8, 22, 370, 153},
                   {
                       {"Šifra", 1, 21, R, 2, C, "@n_3"},
                       {"Naziv preduzeća", 2, 137, L, 2, L, "@s30"},
                       {"Sjedište", 3, 80, L, 2, L, "@s25"},
                   },
                   codeOrder(),
                   "Upis",
                   {208, 181},
                   {253, 181},
                   57,
                   {314, 181},
                   "Zatvori",
                   {315, 206},
                   true,
                   {187, 102, 49, 14},
                   false},
        FormLayout{
            "UpdatePODPOS",
            228,
            84,
            {4, 4, 220, 58},
            {122, 66},
            {175, 66},
            {
                {"Šifra preduzeća:",
                 {12, 20},
                 "?POD:PD1_SIU",
                 {74, 20, 31, 10},
                 "@n_3",
                 false,
                 nullptr},
                {"Naziv preduzeća:",
                 {8, 34},
                 "?POD:PD1_NAP",
                 {74, 34, 146, 10},
                 "@s30",
                 false,
                 nullptr},
                {"Sjedište:", {36, 48}, "?POD:PD1_SJP", {74, 48, 119, 10}, "@s25", false, nullptr},
            }}});

    t.push_back(CodeTable{
        FileId::STUPEM, [] { return static_cast<void*>(&History::STU); },
        ListLayout{"BrowseSTUPEM",
                   "Stepen stručne spreme",
                   213,
                   198,
                   {4, 4, 205, 172},
                   {8, 23, 196, 130},
                   {
                       {"Šifra nivoa stručne spreme", 1, 21, R, 2, L, "@n_2"},
                       {"Naziv nivoa stručne spreme", 2, 60, L, 2, L, "@s15"},
                   },
                   codeOrder(),
                   "Upis",
                   {43, 158},
                   {91, 158},
                   54,
                   {149, 158},
                   "Zatvori",
                   {153, 180},
                   false,
                   {},
                   true},
        FormLayout{
            "UpdateSTUPEM",
            212,
            70,
            {4, 4, 203, 44},
            {97, 52},
            {150, 52},
            {
                {"Šifra KV:", {19, 20}, "?STU:STU_KVA", {56, 20, 23, 10}, "@n_2", false, nullptr},
                {"Naziv KV:", {15, 34}, "?STU:STU_NAS", {56, 34, 142, 10}, "@s15", false, nullptr},
            }}});

    t.push_back(CodeTable{FileId::NACION, [] { return static_cast<void*>(&History::NAC); },
                          ListLayout{"BrowseNACION",
                                     "Nacionalnosti",
                                     171,
                                     198,
                                     {4, 4, 163, 172},
                                     {8, 23, 155, 131},
                                     {
                                         {"Šifra", 1, 32, R, 2, C, "@n_2"},
                                         {"Nacionalnost", 2, 80, L, 2, L, "@s20"},
                                     },
                                     codeOrder(),
                                     "Upis",
                                     {8, 158},
                                     {54, 158},
                                     56,
                                     {114, 158},
                                     "Zatvori",
                                     {118, 180},
                                     false,
                                     {},
                                     true},
                          FormLayout{"UpdateNACION",
                                     220,
                                     70,
                                     {4, 4, 212, 44},
                                     {114, 52},
                                     {167, 52},
                                     {
                                         {"Šifra nacionalnosti:",
                                          {8, 20},
                                          "?NAC:N1_SIN",
                                          {79, 20, 22, 10},
                                          "@n_2",
                                          false,
                                          nullptr},
                                         {"Nacionalnost:",
                                          {24, 34},
                                          "?NAC:N1_NAC",
                                          {79, 33, 127, 10},
                                          "@s20",
                                          false,
                                          nullptr},
                                     }}});

    t.push_back(CodeTable{FileId::BRAST, [] { return static_cast<void*>(&History::BRA); },
                          ListLayout{"BrowseBRAST",
                                     "Bračna stanja",
                                     171,
                                     198,
                                     {4, 4, 163, 172},
                                     {8, 24, 155, 130},
                                     {
                                         {"Šifra", 1, 35, R, 4, C, "@n_2"},
                                         {"Bračno stanje", 2, 80, L, 2, L, "@s20"},
                                     },
                                     codeOrder(),
                                     "Upis",
                                     {8, 158},
                                     {53, 158},
                                     56,
                                     {114, 158},
                                     "Zatvori",
                                     {118, 180},
                                     false,
                                     {},
                                     true},
                          FormLayout{"UpdateBRAST",
                                     224,
                                     70,
                                     {4, 4, 216, 44},
                                     {118, 52},
                                     {171, 52},
                                     {
                                         {"Šifra bračnog stanja:",
                                          {22, 20},
                                          "?BRA:B1_SIB",
                                          {97, 20, 25, 10},
                                          "@n_2",
                                          false,
                                          nullptr},
                                         {"Bračno stanje:",
                                          {42, 34},
                                          "?BRA:B1_BRS",
                                          {97, 34, 114, 10},
                                          "@s20",
                                          false,
                                          nullptr},
                                     }}});

    t.push_back(CodeTable{
        FileId::KATEG, [] { return static_cast<void*>(&History::KAT); },
        ListLayout{"BrowseKATEG",
                   "Kategorije članstva",
                   366,
                   198,
                   {4, 4, 359, 172},
                   {8, 23, 350, 130},
                   {
                       {"Šifra", 1, 25, R, 2, L, "@n_2"},
                       {"Naziv kategorije", 2, 258, L, 2, L, "@s60"},
                       {"Iznos članarije za kategoriju", 3, 56, R, 1, L, "@n-14.2"},
                   },
                   codeOrder(),
                   "Upis",
                   {192, 158},
                   {240, 158},
                   54,
                   {298, 158},
                   "Zatvori",
                   {302, 180},
                   false,
                   {},
                   true},
        FormLayout{
            "UpdateKATEG",
            364,
            100,
            {4, 4, 353, 68},
            {179, 80},
            {291, 80},
            {
                {"Šifra kat:", {19, 22}, "?KAT:K1_SIK", {56, 22, 23, 10}, "@n_2", false, nullptr},
                {"Naziv kat:", {14, 36}, "?KAT:K1_NAZ", {56, 36, 289, 10}, "@s60", false, nullptr},
                {"Iznos članarije za kategoriju:",
                 {15, 52},
                 "?KAT:K1_ICL",
                 {112, 52, 53, 10},
                 "@n-14.`2",
                 false,
                 nullptr},
            }}});

    t.push_back(CodeTable{FileId::NACUC, [] { return static_cast<void*>(&History::NA1); },
                          ListLayout{"BrowseNACUC",
                                     "Načini učlanjivanja u PD",
                                     334,
                                     198,
                                     {4, 4, 325, 172},
                                     {8, 23, 316, 130},
                                     {
                                         {"Šifra", 1, 25, R, 2, L, "@n_2"},
                                         {"Opis načina učlanjenja", 2, 240, L, 2, C, "@s60"},
                                     },
                                     codeOrder(),
                                     "Upis",
                                     {155, 158},
                                     {203, 158},
                                     54,
                                     {261, 158},
                                     "Zatvori",
                                     {265, 180},
                                     false,
                                     {},
                                     true},
                          FormLayout{"UpdateNACUC",
                                     361,
                                     82,
                                     {4, 4, 351, 54},
                                     {177, 63},
                                     {291, 63},
                                     {
                                         {"Šifra načina učlanjenja:",
                                          {17, 24},
                                          "?NA1:NA1_SNU",
                                          {97, 24, 23, 10},
                                          "@n_2",
                                          false,
                                          nullptr},
                                         {"Opis načina učlanjenja:",
                                          {16, 38},
                                          "?NA1:NA1_NAZ",
                                          {97, 38, 253, 10},
                                          "@s60",
                                          false,
                                          nullptr},
                                     }}});

    t.push_back(CodeTable{FileId::TURPOS, [] { return static_cast<void*>(&History::TUR); },
                          ListLayout{"BrowseTURPOS",
                                     "Vrste aktivnosti",
                                     461,
                                     228,
                                     {4, 4, 454, 199},
                                     {8, 24, 445, 155},
                                     {
                                         {"Šifra", 1, 34, R, 2, C, "@n_6"},
                                         {"Naziv posla, ture", 2, 1020, L, 2, C, "@s255"},
                                     },
                                     codeOrder(),
                                     "Upis",
                                     {289, 184},
                                     {335, 184},
                                     56,
                                     {395, 184},
                                     "Zatvori",
                                     {399, 209},
                                     false,
                                     {},
                                     true},
                          FormLayout{"UpdateTURPOS",
                                     255,
                                     146,
                                     {4, 4, 246, 122},
                                     {139, 131},
                                     {193, 131},
                                     {
                                         {"Šifra posla, ture:",
                                          {10, 23},
                                          "?TUR:T1_SIA",
                                          {69, 23, 28, 10},
                                          "@n_6",
                                          false,
                                          nullptr},
                                         {"Naziv posla, maršute, ture:",
                                          {9, 36},
                                          "?TUR:T1_NAP",
                                          {12, 48, 233, 71},
                                          "",
                                          true,
                                          "Naziv posla, ture"},
                                     }}});
    return t;
}

}  // namespace

const std::vector<CodeTable>& CodeTables() {
    static const std::vector<CodeTable> tables = build();
    return tables;
}

const CodeTable& CodeTableOf(FileId file) {
    for (const CodeTable& t : CodeTables())
        if (t.file == file) return t;
    throw std::out_of_range("not a code table");
}

std::string BrowsingMessage(const CodeTable& table) {
    return kit::BrowsingMessage(fileDef(table.file));
}

}  // namespace codelists
