// The settings file as it may be found on a real machine: binary garbage,
// cut off mid-line, enormous, unreadable, no file at all (a FIFO, a device),
// or where nothing can be written. Reading never fails nor blocks, start-up
// still reaches the port dialog, a save changes [StartUP] only, keeping every
// other line where it was, and a save that cannot be made says why.

#include "Form1Window.h"
#include "Globals.h"
#include "IniSettingsStore.h"
#include "PortDialog.h"
#include "PortMap.h"
#include "QtSerialPort.h"
#include "QtTimer.h"

#include "FileSizeLimit.h"
#include "Unprivileged.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tavo;
using namespace tavo::test;

namespace {

// Port 15 is mapped to a device that cannot exist, so a readable setting still
// fails to open and start-up always ends in the port dialog.
const QByteArray kSettings = "; bench projector, lab 2\n"
                             "[Ports]\n"
                             "COM15=/dev/tavo-no-such-port\n"
                             "COM4=/dev/ttyS9\n"
                             "\n"
                             "[StartUP]\n"
                             "ComPort=15\n"
                             "BaudRate=96\n"
                             "ADRESS=A002\n";
const QByteArray kPorts = "[Ports]\nCOM15=/dev/tavo-no-such-port\nCOM4=/dev/ttyS9\n";

// Every byte value, quotes, brackets and NULs included, in a fixed order.
QByteArray garbage(int size, quint32 seed) {
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(random.bounded(256));
    bytes[size / 3] = '"';
    bytes[size / 2] = '\0';
    return bytes;
}

// About 50 MB of junk lines in a section of their own, the settings around them.
QByteArray hugeSettings() {
    QByteArray block;
    QRandomGenerator random(11);
    while (block.size() < 64 * 1024) {
        QByteArray line(int(random.bounded(8, 120)), Qt::Uninitialized);
        for (char& c : line)
            c = char(random.bounded(int('!'), int('z') + 1));
        line.replace('"', '\'');
        block += line + '\n';
    }
    QByteArray all = kPorts + "[Junk]\n";
    all.reserve(51 * 1024 * 1024);
    while (all.size() < 50 * 1024 * 1024)
        all += block;
    return all + "[StartUP]\nComPort=15\nBaudRate=96\nADRESS=A002\n";
}

enum class Shape {
    File,         // TAVO.ini holds the content
    Directory,    // TAVO.ini is a directory
    ParentIsFile, // the TAVO folder is a file
    Unreadable,   // TAVO.ini with mode 000
    ReadOnlyDir,  // TAVO.ini in a folder with mode 555
    ReadOnlyFile, // TAVO.ini with mode 444 in a writable folder
    Fifo,         // TAVO.ini is a named pipe nobody writes to
    ZeroLink,     // TAVO.ini is a symbolic link to /dev/zero
};

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// The non-blank lines of an INI text, each with the section it belongs to;
// lines before the first header belong to "General", as they do for QSettings.
using SectionLines = QList<QPair<QByteArray, QByteArray>>;
SectionLines linesBySection(const QByteArray& text) {
    SectionLines lines;
    QByteArray section = "General";
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty())
            continue;
        if (trimmed.startsWith('[') && trimmed.endsWith(']')) {
            section = trimmed.mid(1, trimmed.size() - 2);
            continue;
        }
        lines.append({section, line});
    }
    return lines;
}

bool isKeyLine(const QByteArray& line, const QByteArray& key) {
    const int equals = line.indexOf('=');
    return equals > 0 && line.left(equals).trimmed() == key;
}

// What a save of `key` may change: its own lines in [StartUP], nothing else.
SectionLines untouchedBySave(const QByteArray& text, const QByteArray& key) {
    SectionLines kept;
    for (const auto& entry : linesBySection(text)) {
        if (!(entry.first == "StartUP" && isKeyLine(entry.second, key)))
            kept.append(entry);
    }
    return kept;
}

// A config folder for one case, $XDG_CONFIG_HOME of the program under test.
struct Config {
    QTemporaryDir root;
    QString home() const { return root.path() + QStringLiteral("/config"); }
    QString folder() const { return home() + QStringLiteral("/TAVO"); }
    QString file() const { return folder() + QStringLiteral("/TAVO.ini"); }

    bool make(Shape shape, const QByteArray& content) {
        if (!root.isValid() || !QDir().mkpath(home()))
            return false;
        switch (shape) {
        case Shape::ParentIsFile:
            return writeAll(folder(), content);
        case Shape::Directory:
            return QDir().mkpath(file());
        case Shape::Fifo:
            return QDir().mkpath(folder()) &&
                   ::mkfifo(QFile::encodeName(file()).constData(), 0600) == 0;
        case Shape::ZeroLink:
            return QDir().mkpath(folder()) && QFile::link(QStringLiteral("/dev/zero"), file());
        default:
            break;
        }
        if (!QDir().mkpath(folder()) || !writeAll(file(), content))
            return false;
        if (shape == Shape::Unreadable)
            return QFile::setPermissions(file(), {});
        if (shape == Shape::ReadOnlyDir)
            return QFile::setPermissions(folder(), QFile::ReadOwner | QFile::ExeOwner);
        if (shape == Shape::ReadOnlyFile)
            return QFile::setPermissions(file(), QFile::ReadOwner);
        return true;
    }

    // Lets QTemporaryDir clean up and the checks read the file again.
    void restorePermissions() {
        QFile::setPermissions(folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(file(), QFile::ReadOwner | QFile::WriteOwner);
    }
    ~Config() { restorePermissions(); }
};

} // namespace

class TestBadSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readingNeverFails_data();
    void readingNeverFails();
    void saveChangesOnlyItsKey_data();
    void saveChangesOnlyItsKey();
    void nothingWritableLosesNothing_data();
    void nothingWritableLosesNothing();
    void noFileIsNotRead_data();
    void noFileIsNotRead();
    void failedWriteLeavesTheFileAsItWas();
    void startUpReachesThePortDialog_data();
    void startUpReachesThePortDialog();
    void programKeepsRunning_data();
    void programKeepsRunning();

private:
    static void addBrokenFileRows();
    static void addUnusableLocationRows();
};

// Files whose content is damaged; the columns name what a store reads from them.
void TestBadSettings::addBrokenFileRows() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("comPort"); // what reading "ComPort" may give

    const QStringList stored{QStringLiteral("15")};
    const QStringList none{QStringLiteral("DATAC")};
    const QStringList either{QStringLiteral("15"), QStringLiteral("DATAC")};
    const QByteArray junk = garbage(4096, 7);

    QTest::newRow("binary garbage") << junk << none;
    QTest::newRow("garbage, then the settings") << junk + '\n' + kSettings << either;
    QTest::newRow("the settings, then garbage") << kSettings + junk << stored;
    QTest::newRow("garbage between the sections")
        << kPorts + junk + "\n[StartUP]\nComPort=15\nBaudRate=96\nADRESS=A002\n"
        << either;
    QTest::newRow("an open quote before the settings")
        << "note=\"unfinished\n" + kSettings << either;
    QTest::newRow("cut in the last value") << kSettings.left(kSettings.size() - 3) << stored;
    QTest::newRow("cut in a key") << kSettings.left(kSettings.indexOf("BaudRate") + 4) << stored;
    QTest::newRow("cut in the section header")
        << kSettings.left(kSettings.indexOf("[StartUP]") + 4) << none;
    QTest::newRow("cut in a quoted value") << kSettings + "Extra=\"A0" << stored;
    QTest::newRow("empty") << QByteArray() << none;
    QTest::newRow("CR LF line ends") << QByteArray(kSettings).replace("\n", "\r\n") << stored;
}

void TestBadSettings::addUnusableLocationRows() {
    QTest::addColumn<int>("shape");
    QTest::addColumn<QString>("reason"); // what a save says
    QTest::newRow("TAVO.ini is a directory") << int(Shape::Directory) << "Is a directory";
    QTest::newRow("the TAVO folder is a file") << int(Shape::ParentIsFile) << "Not a directory";
    QTest::newRow("unreadable file") << int(Shape::Unreadable) << "Permission denied";
    QTest::newRow("read-only folder") << int(Shape::ReadOnlyDir) << "Permission denied";
    QTest::newRow("read-only file") << int(Shape::ReadOnlyFile) << "Permission denied";
}

void TestBadSettings::readingNeverFails_data() {
    addBrokenFileRows();
}

void TestBadSettings::readingNeverFails() {
    QFETCH(QByteArray, content);
    QFETCH(QStringList, comPort);
    Config config;
    QVERIFY(config.make(Shape::File, content));

    const IniSettingsStore store(config.file());
    const QString port = store.read(QStringLiteral("ComPort"), QStringLiteral("DATAC"));
    QVERIFY2(comPort.contains(port), qPrintable(port));
    const QString address = store.read(QStringLiteral("ADRESS"), QStringLiteral("DATAD"));
    QVERIFY2(address == QStringLiteral("DATAD") || address.startsWith(QStringLiteral("A0")),
             qPrintable(address));
    // The device map reads the same file; it falls back to the usual name.
    const QString device = deviceForPort(15, config.file());
    QVERIFY2(device == QStringLiteral("/dev/tavo-no-such-port") ||
                 device == QStringLiteral("/dev/ttyUSB14"),
             qPrintable(device));
    QCOMPARE(readAll(config.file()), content); // reading writes nothing
}

void TestBadSettings::saveChangesOnlyItsKey_data() {
    addBrokenFileRows();
}

void TestBadSettings::saveChangesOnlyItsKey() {
    QFETCH(QByteArray, content);
    Config config;
    QVERIFY(config.make(Shape::File, content));
    const QString portBefore =
        IniSettingsStore(config.file()).read(QStringLiteral("ComPort"), QStringLiteral("DATAC"));

    {
        IniSettingsStore store(config.file());
        store.save(QStringLiteral("ADRESS"), QStringLiteral("A001"));
        QCOMPARE(store.read(QStringLiteral("ADRESS"), QString()), QStringLiteral("A001"));
    }

    const QByteArray after = readAll(config.file());
    QCOMPARE(untouchedBySave(after, "ADRESS"), untouchedBySave(content, "ADRESS"));
    QVERIFY(after.contains(content.left(content.indexOf("ADRESS")))); // bytes kept as they were
    const IniSettingsStore again(config.file());
    QCOMPARE(again.read(QStringLiteral("ADRESS"), QString()), QStringLiteral("A001"));
    QCOMPARE(again.read(QStringLiteral("ComPort"), QStringLiteral("DATAC")), portBefore);

    // A second save overwrites the first, read back at once.
    IniSettingsStore store(config.file());
    store.save(QStringLiteral("ADRESS"), QStringLiteral("AFFF"));
    QCOMPARE(store.read(QStringLiteral("ADRESS"), QString()), QStringLiteral("AFFF"));
    QCOMPARE(untouchedBySave(readAll(config.file()), "ADRESS"), untouchedBySave(content, "ADRESS"));
}

void TestBadSettings::nothingWritableLosesNothing_data() {
    addUnusableLocationRows();
}

void TestBadSettings::nothingWritableLosesNothing() {
    QFETCH(int, shape);
    QFETCH(QString, reason);
    Account nobody;
    const bool asNobody = runningAsRoot();
    if (asNobody && !nobodyAccount(&nobody))
        QSKIP("running as root without a user \"nobody\" to drop privileges to");
    Config config;
    QVERIFY(config.make(Shape(shape), kSettings));
    if (asNobody)
        QVERIFY(giveTree(config.root.path(), nobody));

    // Port read, then each save's outcome: "ok" or the reason, and the file named.
    const auto work = [&] {
        IniSettingsStore store(config.file());
        QByteArray out = store.read(QStringLiteral("ComPort"), QStringLiteral("DATAC")).toUtf8();
        for (const QString& key : {QStringLiteral("ComPort"), QStringLiteral("ADRESS")}) {
            const SaveResult saved = store.save(key, QStringLiteral("3"));
            out += '|' + (saved.ok ? QByteArray("ok") : saved.reason.toUtf8());
            out += saved.file == config.file() ? "" : " (wrong file)";
        }
        return out;
    };
    const QByteArray seen = asNobody ? runAs(nobody, work) : work();
    // Only the read-only cases can still be read.
    const bool readable = Shape(shape) == Shape::ReadOnlyDir || Shape(shape) == Shape::ReadOnlyFile;
    QCOMPARE(QString::fromUtf8(seen),
             QStringLiteral("%1|%2|%2")
                 .arg(readable ? QStringLiteral("15") : QStringLiteral("DATAC"), reason));

    config.restorePermissions();
    switch (Shape(shape)) {
    case Shape::Directory:
        QVERIFY(QFileInfo(config.file()).isDir());
        QVERIFY(
            QDir(config.file()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
        break;
    case Shape::ParentIsFile:
        QVERIFY(QFileInfo(config.folder()).isFile());
        QCOMPARE(readAll(config.folder()), kSettings);
        break;
    default:
        QCOMPARE(readAll(config.file()), kSettings);
        QCOMPARE(QDir(config.folder()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("TAVO.ini")});
    }
}

void TestBadSettings::noFileIsNotRead_data() {
    QTest::addColumn<int>("shape");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a FIFO") << int(Shape::Fifo) << QByteArray() << "Not a regular file";
    QTest::newRow("a link to /dev/zero")
        << int(Shape::ZeroLink) << QByteArray() << "Not a regular file";
    QTest::newRow("larger than 1 MiB")
        << int(Shape::File) << hugeSettings() << "File too large (larger than 1 MiB)";
}

// What is no settings file is not read at all, with a word on standard error:
// start-up reaches the port dialog at once (a FIFO would block it for good,
// /dev/zero would fill memory), and closing says the address was not stored.
void TestBadSettings::noFileIsNotRead() {
    QFETCH(int, shape);
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    Config config;
    QVERIFY(config.make(Shape(shape), content));
    QTest::ignoreMessage(
        QtWarningMsg,
        qPrintable(QStringLiteral("Settings file %1 not read: %2").arg(config.file(), reason)));

    // A blocked read never returns; the alarm ends the test run instead of hanging it.
    ::alarm(60);
    Globals globals;
    IniSettingsStore store(config.file());
    QCOMPARE(store.read(QStringLiteral("ComPort"), QStringLiteral("DATAC")),
             QStringLiteral("DATAC"));
    QCOMPARE(deviceForPort(15, config.file()), QStringLiteral("/dev/ttyUSB14"));

    auto device = [&](int port) { return deviceForPort(port, store.path()); };
    QtSerialPort port(device);
    QtTimer timer1{200}, timer2{10000}, timer4{10500};
    Form1Window form1(Form1Parts{port, timer1, timer2, timer4, store, globals});
    form1.setQuit([] {});
    QStringList told;
    form1.setSaveWarningPresenter(
        [&](QWidget*, const QString& file, const QString& why) { told << file + ": " + why; });
    bool dialogShown = false;
    form1.setPortDialogOpener([&](bool) { dialogShown = true; });
    form1.load();
    ::alarm(0);
    QVERIFY(dialogShown);

    form1.close(); // the address cannot be stored: told once
    QCOMPARE(told, QStringList{config.file() + ": " + reason});
    QFileInfo after(config.file());
    if (Shape(shape) == Shape::ZeroLink)
        QCOMPARE(after.symLinkTarget(), QStringLiteral("/dev/zero"));
    else if (Shape(shape) == Shape::Fifo)
        QVERIFY(!after.isFile() && after.exists());
    else
        QVERIFY(readAll(config.file()) == content);
}

void TestBadSettings::failedWriteLeavesTheFileAsItWas() {
    Config config;
    QVERIFY(config.make(Shape::File, kSettings));
    {
        IniSettingsStore store(config.file());
        test::FileSizeLimit limit(48); // smaller than the file: rewriting it must fail
        QVERIFY(limit.active());
        store.save(QStringLiteral("ADRESS"), QStringLiteral("A001"));
        store.save(QStringLiteral("ComPort"), QStringLiteral("3"));
    }
    QCOMPARE(readAll(config.file()), kSettings);
    QCOMPARE(QDir(config.folder()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("TAVO.ini")});

    // Once writing works again the next save goes through and keeps the rest.
    IniSettingsStore store(config.file());
    store.save(QStringLiteral("ADRESS"), QStringLiteral("A001"));
    QCOMPARE(untouchedBySave(readAll(config.file()), "ADRESS"),
             untouchedBySave(kSettings, "ADRESS"));
    QCOMPARE(IniSettingsStore(config.file()).read(QStringLiteral("ADRESS"), QString()),
             QStringLiteral("A001"));
}

void TestBadSettings::startUpReachesThePortDialog_data() {
    addBrokenFileRows();
}

// The real main window and port dialog on the damaged file: the load step
// ends in the modal dialog, and closing stores the address without harm.
void TestBadSettings::startUpReachesThePortDialog() {
    QFETCH(QByteArray, content);
    Config config;
    QVERIFY(config.make(Shape::File, content));

    Globals globals;
    IniSettingsStore store(config.file());
    auto device = [&](int port) { return deviceForPort(port, store.path()); };
    QtSerialPort port(device);
    QtTimer timer1{200}, timer2{10000}, timer4{10500};
    Form1Window form1(Form1Parts{port, timer1, timer2, timer4, store, globals});
    form1.setQuit([] {});

    QString shownTitle;
    form1.setPortDialogOpener([&](bool modal) {
        QVERIFY(modal);
        QPointer<PortDialog> dialog = new PortDialog(port, store, globals, device, [] {});
        QTimer::singleShot(0, dialog, [&shownTitle, dialog] {
            if (QApplication::activeModalWidget() == dialog)
                shownTitle = dialog->windowTitle();
            dialog->reject();
        });
        dialog->exec();
    });
    form1.load();
    QCOMPARE(shownTitle, QStringLiteral("  COM PORT"));
    QVERIFY(!port.portOpen());
    QCOMPARE(readAll(config.file()), content); // start-up only reads

    form1.close(); // stores the address
    const QByteArray after = readAll(config.file());
    QCOMPARE(untouchedBySave(after, "ADRESS"), untouchedBySave(content, "ADRESS"));
    QCOMPARE(IniSettingsStore(config.file()).read(QStringLiteral("ADRESS"), QStringLiteral("-")),
             QString::fromLatin1(form1.link().state().AddressPrefix));
}

void TestBadSettings::programKeepsRunning_data() {
    QTest::addColumn<int>("shape");
    QTest::addColumn<QByteArray>("content");
    const QByteArray junk = garbage(4096, 7);
    QTest::newRow("binary garbage") << int(Shape::File) << junk;
    QTest::newRow("garbage, then the settings") << int(Shape::File) << junk + '\n' + kSettings;
    QTest::newRow("cut mid-line") << int(Shape::File) << kSettings.left(kSettings.size() - 3);
    QTest::newRow("huge") << int(Shape::File) << hugeSettings();
    QTest::newRow("TAVO.ini is a directory") << int(Shape::Directory) << QByteArray();
    QTest::newRow("the TAVO folder is a file") << int(Shape::ParentIsFile) << kSettings;
    QTest::newRow("unreadable file") << int(Shape::Unreadable) << kSettings;
    QTest::newRow("read-only folder") << int(Shape::ReadOnlyDir) << kSettings;
    QTest::newRow("a FIFO") << int(Shape::Fifo) << QByteArray();
    QTest::newRow("a link to /dev/zero") << int(Shape::ZeroLink) << QByteArray();
}

// The real program: no usable port, so it sits in the modal port dialog. It says so on standard
// error once the dialog has been painted (TAVO_REPORT_FIRST_FRAME=1); still running then means
// it got through the settings without crashing or quitting. As root it runs as "nobody", so that
// the file modes hold.
void TestBadSettings::programKeepsRunning() {
    QFETCH(int, shape);
    QFETCH(QByteArray, content);
    Account nobody;
    const bool asNobody = runningAsRoot() && nobodyAccount(&nobody);
    if (runningAsRoot() && !asNobody &&
        (Shape(shape) == Shape::Unreadable || Shape(shape) == Shape::ReadOnlyDir))
        QSKIP("running as root without a user \"nobody\": file modes do not restrict root");
    Config config;
    QVERIFY(config.make(Shape(shape), content));

    QString console = QStringLiteral(MX7300_CONTROL_PATH);
    QTemporaryDir reachable; // the checkout may sit in a folder "nobody" cannot enter
    if (asNobody) {
        QString why;
        console = reachableCopy(console, reachable.path(), nobody, &why);
        if (console.isEmpty())
            QSKIP(qPrintable(why));
    }

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.home());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TAVO_REPORT_FIRST_FRAME"), QStringLiteral("1"));
    if (asNobody) {
        QVERIFY(giveTree(config.root.path(), nobody));
        env.insert(QStringLiteral("HOME"), config.root.path());
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        setRunAs(program, nobody);
    }
    program.setProcessEnvironment(env);
    program.start(console, {});
    QVERIFY2(program.waitForStarted(10000), qPrintable(program.errorString()));
    QByteArray errors;
    const auto dialogShownOrEnded = [&] {
        errors += program.readAllStandardError();
        return errors.contains("port-dialog-frame ") || program.state() != QProcess::Running;
    };
    QTRY_VERIFY_WITH_TIMEOUT(dialogShownOrEnded(), 60000);
    QVERIFY2(program.state() == QProcess::Running,
             qPrintable(QStringLiteral("exit code %1, stderr: %2")
                            .arg(program.exitCode())
                            .arg(QString::fromLocal8Bit(errors))));
    QVERIFY2(!errors.contains("first-frame "), errors.constData());     // no port: no main window
    if (Shape(shape) == Shape::Fifo || Shape(shape) == Shape::ZeroLink) // got past the read
        QVERIFY2(errors.contains("not read: Not a regular file"), errors.constData());
    program.kill();
    QVERIFY(program.waitForFinished(10000));

    config.restorePermissions();
    if (Shape(shape) == Shape::File || Shape(shape) == Shape::Unreadable ||
        Shape(shape) == Shape::ReadOnlyDir)
        QVERIFY(readAll(config.file()) == content); // start-up wrote nothing
}

QTEST_MAIN(TestBadSettings)
#include "tst_bad_settings.moc"
