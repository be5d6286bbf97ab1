#include "SiteChange.h"

#include <QHash>

namespace tavo::gateway {
namespace {

// Where the section stands in the file is not part of what the projector is.
bool sameProjector(const ProjectorConfig& a, const ProjectorConfig& b) {
    return a.name == b.name && a.room == b.room && a.target == b.target && a.baud == b.baud &&
           a.address == b.address && a.prefix == b.prefix && a.pjlinkPort == b.pjlinkPort &&
           a.pjlinkPassword == b.pjlinkPassword && a.pjlinkInputs == b.pjlinkInputs &&
           a.lampWarnHours == b.lampWarnHours;
}

QString names(const QStringList& list) {
    return list.isEmpty() ? QStringLiteral("none") : list.join(QStringLiteral(", "));
}

} // namespace

QString SiteChange::summary() const {
    QStringList removedNames;
    for (const ProjectorConfig& p : removed)
        removedNames << p.name;
    return QStringLiteral("added %1; removed %2; kept %3")
        .arg(names(added), names(removedNames), names(kept));
}

SiteChange diffSites(const SiteConfig& before, const SiteConfig& after) {
    QHash<QString, int> oldByName;
    for (int i = 0; i < before.projectors.size(); ++i)
        oldByName.insert(before.projectors[i].name, i);
    SiteChange change;
    std::vector<bool> stays(size_t(before.projectors.size()), false);
    for (const ProjectorConfig& p : after.projectors) {
        const int old = oldByName.value(p.name, -1);
        const bool kept = old >= 0 && sameProjector(before.projectors[old], p);
        change.oldIndex.push_back(kept ? old : -1);
        if (kept) {
            stays[size_t(old)] = true;
            change.kept << p.name;
        } else {
            change.added << p.name;
        }
    }
    for (int i = 0; i < before.projectors.size(); ++i)
        if (!stays[size_t(i)])
            change.removed << before.projectors[i];
    return change;
}

} // namespace tavo::gateway
