#include "Stats.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace {

double nearestRank(const std::vector<double>& sorted, double fraction) {
    const auto rank = std::size_t(std::ceil(fraction * double(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

} // namespace

Summary summarise(std::vector<double> samples) {
    // NaN marks a sample that could not be taken.
    samples.erase(
        std::remove_if(samples.begin(), samples.end(), [](double v) { return std::isnan(v); }),
        samples.end());
    Summary s;
    if (samples.empty())
        return s;
    std::sort(samples.begin(), samples.end());
    s.count = int(samples.size());
    s.mean = std::accumulate(samples.begin(), samples.end(), 0.0) / double(samples.size());
    s.p50 = nearestRank(samples, 0.50);
    s.p99 = nearestRank(samples, 0.99);
    s.max = samples.back();
    return s;
}

bool writeCsv(const QString& path, const QString& header, const std::vector<QString>& rows) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        std::fprintf(stderr, "mx7300-bench: cannot write %s\n", qPrintable(path));
        return false;
    }
    QTextStream out(&file);
    out << header << '\n';
    for (const QString& row : rows)
        out << row << '\n';
    return true;
}

bool writeColumn(const QString& path, const QString& header, const std::vector<double>& values) {
    std::vector<QString> rows;
    rows.reserve(values.size());
    for (const double v : values)
        rows.push_back(QString::number(v, 'f', 3));
    return writeCsv(path, header, rows);
}

void report(const char* name, double value, int decimals) {
    std::printf("%s=%.*f\n", name, decimals, value);
    std::fflush(stdout);
}

void report(const char* name, const QString& value) {
    std::printf("%s=%s\n", name, qPrintable(value));
    std::fflush(stdout);
}
