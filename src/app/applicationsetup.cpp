#include "app/applicationsetup.h"

#include "app/commandline.h"

#include <QCoreApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <malloc.h>

namespace {
std::atomic<int> g_pendingSignal{0};

extern "C" void onQuitSignal(int signalNumber)
{
    g_pendingSignal.store(signalNumber);
}
} // namespace

// Q_INIT_RESOURCE must be used outside any namespace.
static void initCompiledResources()
{
    Q_INIT_RESOURCE(catalogue);
    Q_INIT_RESOURCE(ui);
}

void ApplicationSetup::keepLargeBlocks()
{
    // Fixed limits also end glibc's own adjusting of them, which let blocks go again and again.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
}

void ApplicationSetup::registerResources()
{
    initCompiledResources();
}

void ApplicationSetup::preferHeadlessPlatform(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // --help and --version print and leave, so they need no display even with --ui.
    const CommandLine commandLine(arguments);
    if (commandLine.showUi() && commandLine.action() == CommandLine::Action::Run)
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void ApplicationSetup::applyIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Korvex"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("korvex.example"));
    QCoreApplication::setApplicationName(QStringLiteral("KorvexSupportTool"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersion));
    QGuiApplication::setApplicationDisplayName(
        QStringLiteral("Korvex Standalone Report Printer %1").arg(QString::fromLatin1(kVersion)));
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // The same picture the desktop entry installs, and on Wayland the window finds that entry.
        QGuiApplication::setWindowIcon(QIcon(QString::fromLatin1(kWindowIcon)));
        QGuiApplication::setDesktopFileName(QStringLiteral("labelprinter"));
    }
}

void ApplicationSetup::showRefusal(const QString& text, bool window)
{
    if (window)
        QMessageBox::critical(nullptr, QGuiApplication::applicationDisplayName(), text);
}

QuitOnSignal::QuitOnSignal(QCoreApplication* application) : QObject(application)
{
    g_pendingSignal.store(0);
    std::signal(SIGINT, onQuitSignal);
    std::signal(SIGTERM, onQuitSignal);
#ifdef SIGHUP
    // A closed terminal or session ends the program as a stop does, with settings and log kept.
    std::signal(SIGHUP, onQuitSignal);
#endif
    // A signal handler may only touch the atomic flag; the event loop picks it up here.
    auto* timer = new QTimer(this);
    timer->setInterval(100);
    connect(timer, &QTimer::timeout, this, &QuitOnSignal::poll);
    timer->start();
}

QuitOnSignal::~QuitOnSignal()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
#ifdef SIGHUP
    std::signal(SIGHUP, SIG_DFL);
#endif
}

void QuitOnSignal::poll()
{
    const int signalNumber = g_pendingSignal.exchange(0);
    if (signalNumber == 0)
        return;
    qDebug() << "Stop requested by signal" << signalNumber << "- leaving the event loop";
    emit quitRequested(signalNumber);
    QCoreApplication::quit();
}
