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
    SaveResult save(const QString& key, const QString& value) override {
        saves << key;
        if (!failWith.isEmpty())
            return {false, QStringLiteral("/fake/TAVO.ini"), failWith};
        values.insert(key, value);
        return {};
    }
    QMap<QString, QString> values;
    mutable QStringList reads;
    QStringList saves; // every attempt, failed ones included
    QString failWith;  // when set, every save fails with this reason
};

} // namespace tavo::test
