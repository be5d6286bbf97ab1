#pragma once

#include "settings/SettingsStore.h"

#include <QMap>
#include <QStringList>

namespace tavo::test {

class MemorySettingsStore : public SettingsStore {
public:
    QString read(const QString& key, const QString& fallback) const override {
        reads << key;
        return values.value(key, fallback);
    }
    void save(const QString& key, const QString& value) override {
        values.insert(key, value);
        saves << key;
    }
    QMap<QString, QString> values;
    mutable QStringList reads;
    QStringList saves;
};

} // namespace tavo::test
