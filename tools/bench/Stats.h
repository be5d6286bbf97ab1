#pragma once

#include <QString>

#include <vector>

// Order statistics of one series of measurements (nearest-rank percentiles).
struct Summary {
    int count = 0;
    double mean = 0;
    double p50 = 0;
    double p99 = 0;
    double max = 0;
};

// NaN samples (not taken) are left out.
Summary summarise(std::vector<double> samples);

// One value per line under a header, for plotting or a second look.
bool writeCsv(const QString& path, const QString& header, const std::vector<QString>& rows);
bool writeColumn(const QString& path, const QString& header, const std::vector<double>& values);

// "name=value" on standard output, the format run-benchmarks.sh collects.
void report(const char* name, double value, int decimals = 3);
void report(const char* name, const QString& value);
