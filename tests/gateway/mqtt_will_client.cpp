// mqtt_will_client PORT WILL_TOPIC WILL_PAYLOAD: connects to 127.0.0.1:PORT
// with that will, says "connected" on stdout, then waits to be killed.
#include "MqttClient.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    tavo::MqttOptions options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = args[1].toUShort();
    options.willTopic = args[2];
    options.willPayload = args[3].toUtf8();
    tavo::MqttClient client(options);
    QObject::connect(&client, &tavo::MqttClient::connected, &app, [] {
        std::fputs("connected\n", stdout);
        std::fflush(stdout);
    });
    client.start();
    return app.exec();
}
