#pragma once
// Adds the report fields of the label printer's field catalogue to a generated report, so that every
// catalogue search path names data a generated report carries.

#include <QDomDocument>

#include <functional>

namespace CatalogueFields {

// Report kinds: 'm' mobile, 'c' computer, 'i' issue report.
// `draw(low, high)` gives a uniform random integer; a field already present is left as it is; each
// optional field is included with probability `share`.
void add(QDomDocument& report, char kind, const std::function<int(int, int)>& draw, double share);

// Number of catalogue fields that reports of a kind can carry.
int fieldCount(char kind);

} // namespace CatalogueFields
