// The status page's form posts as browsers encode them, and what they must not be taken for.
#include "FormPost.h"

#include <QTest>

using namespace tavo::gateway::page;
using Kind = FormAction::Kind;

class TestStatusPageForm : public QObject {
    Q_OBJECT

private slots:
    void parsed_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("token");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("command");

        const auto row = [](const char* name, const QByteArray& body, const QByteArray& token,
                            bool ok, Kind kind = Kind::CheckToken, const QString& target = {},
                            const QByteArray& command = {}) {
            QTest::newRow(name) << body << token << ok << int(kind) << target << command;
        };
        row("projector on, colons encoded", "token=abc&do=power%3Aon%3Aprojector%3Ahall", "abc",
            true, Kind::Projector, "hall", "C00");
        row("room with colons keeps them", "do=input:3:room:2.14:east&token=x", "x", true,
            Kind::Room, "2.14:east", "C07");
        row("plus is a space, percent a byte", "do=power:off:room:A+B%26C%3D%22&token=t+t%2B",
            "t t+", true, Kind::Room, "A B&C=\"", "C01");
        row("room in UTF-8", "do=input:1:room:Sa%C3%A4l", "", true, Kind::Room,
            QStringLiteral("Sa\u00e4l"), "C05");
        row("check", "token=abc&do=check", "abc", true);
        row("no do", "token=abc", "abc", false);
        row("two do fields", "do=power:on:projector:a&do=power:off:projector:a", "", false);
        row("power word not offered", "do=power:maybe:projector:a", "", false);
        row("input out of range", "do=input:5:projector:a", "", false);
        row("no such action", "do=send:C00:projector:a", "", false);
        row("neither projector nor room", "do=power:on:desk:a", "", false);
        row("too few parts", "do=power:on", "", false);
        row("not UTF-8", "do=power:on:room:%FF", "", false);
    }
    void parsed() {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, token);
        QFETCH(bool, ok);
        const FormPost post = parseFormPost(body);
        QCOMPARE(post.token, token);
        QCOMPARE(post.action.has_value(), ok);
        QCOMPARE(post.error.isEmpty(), ok);
        if (!ok)
            return;
        QFETCH(int, kind);
        QFETCH(QString, target);
        QFETCH(QByteArray, command);
        QCOMPARE(int(post.action->kind), kind);
        QCOMPARE(post.action->target, target);
        QCOMPARE(post.action->command.text, command);
    }
};

QTEST_GUILESS_MAIN(TestStatusPageForm)
#include "tst_status_page_form.moc"
