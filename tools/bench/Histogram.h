#pragma once

#include <QString>

#include <vector>

// Draws a histogram of `values` (milliseconds) centred on `centre`, wide enough for the farthest
// value, with the centre and the mean marked, and saves it as a PNG. Needs a QGuiApplication.
bool saveHistogram(const QString& path, const std::vector<double>& values, double centre,
                   const QString& title);
