// Discovery topics and identifiers for every base, prefix and name that needs escaping.
#include "Discovery.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace tavo::gateway;

class TestDiscovery : public QObject {
    Q_OBJECT

private slots:
    void namesAndTopics_data();
    void namesAndTopics();
};

void TestDiscovery::namesAndTopics_data() {
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("projector");
    QTest::addColumn<QString>("topic");    // of the power switch's config
    QTest::addColumn<QString>("uniqueId"); // of the power switch
    QTest::addColumn<QString>("stateTopic");
    QTest::newRow("plain names keep the earlier ids")
        << "tavo"
        << "homeassistant"
        << "north"
        << "hall"
        << "homeassistant/switch/tavo_north/hall_power/config"
        << "tavo_north_hall_power"
        << "tavo/north/hall/state";
    QTest::newRow("an underscore in the projector")
        << "tavo"
        << "homeassistant"
        << "north"
        << "annex_hall"
        << "homeassistant/switch/tavo_north/annex-_hall_power/config"
        << "tavo_north_annex-_hall_power"
        << "tavo/north/annex_hall/state";
    QTest::newRow("an underscore in the site")
        << "tavo"
        << "homeassistant"
        << "north_annex"
        << "hall"
        << "homeassistant/switch/tavo_north-_annex/hall_power/config"
        << "tavo_north-_annex_hall_power"
        << "tavo/north_annex/hall/state";
    QTest::newRow("dashes, another base and prefix")
        << "av/tavo"
        << "ha"
        << "b-1"
        << "aula-2"
        << "ha/switch/av-stavo_b--1/aula--2_power/config"
        << "av-stavo_b--1_aula--2_power"
        << "av/tavo/b-1/aula-2/state";
}

void TestDiscovery::namesAndTopics() {
    QFETCH(QString, base);
    QFETCH(QString, prefix);
    QFETCH(QString, site);
    QFETCH(QString, projector);
    QFETCH(QString, topic);
    QFETCH(QString, uniqueId);
    QFETCH(QString, stateTopic);
    const SiteTopics topics{base, site, prefix};
    ProjectorConfig config;
    config.name = projector;
    const QList<DiscoveryConfig> configs = projectorConfigs(topics, DiscoveryLook(), config);
    const auto power = std::find_if(configs.begin(), configs.end(),
                                    [&](const DiscoveryConfig& c) { return c.topic == topic; });
    QVERIFY2(power != configs.end(), qPrintable(configs.first().topic));
    const QJsonObject json = QJsonDocument::fromJson(power->payload).object();
    QCOMPARE(json.value("unique_id").toString(), uniqueId);
    QCOMPARE(json.value("state_topic").toString(), stateTopic);
    QVERIFY(isSiteConfig(topics, power->payload));
    QCOMPARE(discoveryFilter(topics),
             QStringLiteral("%1/+/%2/+/config").arg(prefix, topic.section('/', 2, 2)));
}

QTEST_GUILESS_MAIN(TestDiscovery)
#include "tst_discovery.moc"
