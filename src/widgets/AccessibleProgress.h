#pragma once

class QWidget;

// The drawing surface of a progress bar, as a screen reader sees it: a
// progress bar whose value follows the bar's. The bar paints a plain widget,
// which would otherwise read as nothing at all.
namespace AccessibleProgress {

// Makes the widget a progress bar to accessibility (once per widget).
void Mark(QWidget* surface);
// The bar moved: its value, between min and max, is told to assistive tools.
void SetValue(QWidget* surface, int value, int min, int max);

} // namespace AccessibleProgress
