#pragma once

#include <QFont>

namespace Fonts {

// Makes Tahoma and MS Sans Serif available: the metric-compatible faces that
// Wine ships are registered when the system has no font of that family.
// Safe to call more than once; missing files are skipped silently.
void RegisterWindowFonts();

QFont Tahoma(double pointSize, bool bold = false, bool italic = false);
QFont MsSansSerif(double pointSize);

} // namespace Fonts
