#pragma once
// Drawing report pages with QPainter: one routine for the preview's page on
// the screen and for the printer (CUPS or a PDF file), so both show the same
// display list. Text is drawn in the faces the engine measured (D13), without
// kerning, each item as the engine cut it.
#include <vector>

#include "runtime/report/print.h"
#include "runtime/window/view.h"

class QPainter;
class QWidget;

namespace rt {

// scale: device pixels per 1/1000 inch; dpiY: the device's logical
// vertical resolution (points become pixels by it). later: the widget the
// page is drawn on, whose photos are made on a photo thread (nothing drawn
// for one until it is ready, then the widget is painted again); nullptr
// makes them at once (the printer).
void drawPageItems(QPainter& painter, const std::vector<PageItem>& items, double scale, double dpiY,
                   QWidget* later = nullptr);

// The renderer the Qt display installs (report::setRenderer): pages
// from..to of the document on the target, A4 portrait, the job title as the
// print job's name. Any thread may call it.
bool renderDocument(const report::Document& document, const report::PrintTarget& target);

}  // namespace rt
