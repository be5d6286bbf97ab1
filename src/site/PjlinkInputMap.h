#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace tavo::site {

// The projector's inputs as PJLink numbers them. The projector's inputs are numbered as its
// input read answers them: 1 "Input 1", 2 "Input 2", 3 "Input 3", 4 "Wired",
// 5 "Wireless/Viewer".
class PjlinkInputMap {
public:
    struct Entry {
        int input;       // the projector's, 1 to 5
        QByteArray code; // PJLink's "XY": X 1 to 5 (RGB, video, digital, storage, network), Y 1-9
    };

    // 1=11 (RGB1), 2=12 (RGB2), 3=21 (VIDEO1), 4=51 (NETWORK1), 5=52 (NETWORK2).
    static PjlinkInputMap defaults();
    // A section's pjlink_inputs: "1=11,2=31,4=51", only the inputs listed; empty for the defaults.
    // `error` says what is wrong with the value, without naming the key.
    static std::optional<PjlinkInputMap> parse(const QString& text, QString* error);

    std::optional<QByteArray> codeOf(int input) const;
    // 0 for a code not in the table.
    int inputOf(const QByteArray& code) const;
    const QList<Entry>& entries() const { return m_entries; }

private:
    QList<Entry> m_entries; // in ascending code order
};

} // namespace tavo::site
