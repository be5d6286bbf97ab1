#pragma once

#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>

#include <memory>
#include <vector>

// Loopback ports for the programs a test starts. They are taken below the ephemeral range
// (32768 up), where the kernel puts no connecting socket (the tests' own clients, the gateway's
// retries to its device servers), so a port found free stays free until the program listens.
inline quint16 freePorts(int count) {
    for (int attempt = 0; attempt < 200; ++attempt) {
        const quint16 first = quint16(20000 + QRandomGenerator::global()->bounded(12000));
        std::vector<std::unique_ptr<QTcpServer>> probes;
        for (int i = 0; i < count; ++i) {
            probes.push_back(std::make_unique<QTcpServer>());
            if (!probes.back()->listen(QHostAddress::LocalHost, quint16(first + i)))
                break;
        }
        if (int(probes.size()) == count && probes.back()->isListening())
            return first;
    }
    return 0;
}

inline quint16 freePort() {
    return freePorts(1);
}
