#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>

// Reads the catalogue's data file (src/console/catalogue.txt; its header describes the format).
namespace tavo::catalogue {

struct CatalogueText {
    std::array<QList<QByteArray>, 3> lists; // Combo1, Combo2, Combo3
    QString error;                          // empty when the whole text was read
};

CatalogueText parseCatalogueText(const QByteArray& text);

} // namespace tavo::catalogue
