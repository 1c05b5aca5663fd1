#pragma once
// The number format of the axis labels: a picture such as "#,##0.###" with the locale's
// separators.

#include <QLocale>
#include <QString>

namespace chart {

// Formats a number with a picture such as "#,##0.###": a ',' in the integer part asks for
// thousands grouping, each '0' before the point is a digit always shown, '0' after it a decimal
// always shown and '#' one shown only when not a trailing zero. The decimal and thousands
// separators come from the locale, by default the user's; a negative number is written with '-'
// in every locale.
QString FormatFloat(const QString& picture, double value, const QLocale& locale = QLocale());

} // namespace chart
