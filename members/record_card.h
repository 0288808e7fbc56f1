#pragma once
// The record card as the report engine prints it, over the calling thread's
// record buffers: its description, and the lines the card builds from a
// member's row before it prints.
#include <cstdint>

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
