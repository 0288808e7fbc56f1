#pragma once
// Printing a report's pages: the display's print dialog chooses the printer
// (or a PDF file, its file printer), then the display's renderer draws the
// pages on it. The headless display has no renderer: a print there draws
// nothing and says so, and the pages stay readable as the run made them.
#include <functional>
#include <optional>
#include <string>

#include "runtime/report/report.h"

namespace rt::report {

struct PrintTarget {
    std::string printer;   // UTF-8; empty: the display's chosen or default printer
    std::string file;      // UTF-8; a PDF file instead of a printer when not empty
    int from = 1, to = 0;  // pages, from 1; to 0: the last
};

// Asks the print dialog for the target (the asking thread waits; its windows
// are disabled meanwhile); nullopt when cancelled. window: the asking window.
std::optional<PrintTarget> askPrinter(int window, const Document& document, int from, int to);

// Draws pages from..to of the document on the target, with the job title as
// the print job's name, A4 portrait. False when no display renders or the
// target could not be opened.
bool printDocument(const Document& document, const PrintTarget& target);

// The display's renderer (the Qt display installs one; tests may too).
using Renderer = std::function<bool(const Document&, const PrintTarget&)>;
void setRenderer(Renderer renderer);
bool hasRenderer();

}  // namespace rt::report
