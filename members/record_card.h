#pragma once
// The record card as the report engine prints it, over the calling thread's
// record buffers: its description, the lines the card builds from a
// member's row before it prints, and what the cards read (for the tests
// that print a card to PDF and the benchmarks that run the cards' process
// without the windows).
#include <cstdint>

#include "framework/report.h"
#include "runtime/report/report.h"
#include "runtime/text.h"

struct RecordCardLocals {
    rt::Text<80> L1_W1_ADMJE;     // surname, father's name, given name
    rt::Text<65> L1_W1_PRE;       // address, place, landline, mobile
    rt::Text<65> L1_W1_SPZAN;     // qualification, occupation
    rt::Text<20> L1_W1_NAZST;     // the status in words
    rt::Text<65> L1_W1_PUTFOTOS;  // the photo printed (blank: none)
    std::uint8_t Progress_Thermometer = 0;
};

// range: the card of the member-code range (its photo box a little larger
// and its band a little taller than the single card's).
rt::report::Report RecordCard(bool range, RecordCardLocals& l);
// The built lines from the member buffer (and the qualification's name);
// the photo only when its path names a file with an image's signature.
void RecordCardLines(RecordCardLocals& l);
// What the card prints and the hook uses, the photo path of the row
// included, with outer joins: a code with no row prints a blank name, a club
// without a data-update row no date. view is over the member file.
void RecordCardView(rt::View& view);
// The cards' order (federation, club, member code) and filter: the member of
// the shared selection, or (range) the members of its code range; and the
// selection values that filter names, bound on the calling thread.
void RecordCardReads(ProcessClass& process, bool range);
void RecordCardBind(bool range);
