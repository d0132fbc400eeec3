#include "notify/notification_wait.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <memory>

namespace {

// Where the session bus is, without letting the bus library start one of its own for a display.
bool findSessionBus()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QFileInfo(runtime + QStringLiteral("/bus")).exists())
        return false;
    qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray("unix:path=") + QFile::encodeName(runtime) + "/bus");
    return true;
}

void startWindow(const QStringList& arguments, const QString& activationToken)
{
    QString program = qEnvironmentVariable("VANTREL_WINDOW_PROGRAM");
    if (program.isEmpty())
        program = QCoreApplication::applicationFilePath();
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(QDir::currentPath());
    // The window outlives the command: it must not hold open the output that a script reads to its end.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    // Lets a Wayland desktop give the new window the focus that the click granted.
    if (!activationToken.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_ACTIVATION_TOKEN"), activationToken);
        process.setProcessEnvironment(environment);
    }
    process.startDetached();
}

} // namespace

void postAndAwaitAnswer(const TRunNews& news, const QStringList& windowArguments, std::chrono::milliseconds wait)
{
    if (news.empty() || !findSessionBus())
        return;
    std::unique_ptr<QCoreApplication> application;
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "vantrel";
        static char* argv[] = { name, nullptr };
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    TDesktopNotifier notifier;
    if (!notifier.available() || !notifier.notify(news))
        return;
    QEventLoop loop;
    QTimer::singleShot(wait, &loop, &QEventLoop::quit);
    QObject::connect(&notifier, &TDesktopNotifier::closed, &loop, &QEventLoop::quit);
    const auto start = [&] {
        startWindow(windowArguments, notifier.activationToken());
        loop.quit();
    };
    QObject::connect(&notifier, &TDesktopNotifier::restoreRequested, &loop, start);
    QObject::connect(&notifier, &TDesktopNotifier::changesRequested, &loop, start);
    loop.exec();
}
