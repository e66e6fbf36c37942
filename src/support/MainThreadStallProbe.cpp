#include "MainThreadStallProbe.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcStall, "quillbox.stall")

void MainThreadStallProbe::startFromEnvironment()
{
    const QString path = qEnvironmentVariable(ReportVariable);
    if (path.isEmpty())
        return;
    auto *probe = new MainThreadStallProbe(QCoreApplication::instance());
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, probe, [probe, path] {
        probe->stop();
        if (!probe->writeReport(path))
            qCWarning(lcStall).noquote() << "cannot write the stall report to" << path;
    });
    // Start-up before the event loop runs is not a stall of a running
    // window; the first firing is measured from the loop's first turn.
    QTimer::singleShot(0, probe, &MainThreadStallProbe::start);
}

MainThreadStallProbe::MainThreadStallProbe(QObject *parent) : QObject(parent)
{
    // A coarse timer may fire up to 5% of its interval early or late on its
    // own, which would drown the few milliseconds the probe looks for.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(IntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &MainThreadStallProbe::fired);
}

void MainThreadStallProbe::start()
{
    m_clock.start();
    m_lastNs = 0;
    m_timer.start();
}

void MainThreadStallProbe::stop()
{
    if (!m_timer.isActive())
        return;
    m_timer.stop();
    note(m_clock.nsecsElapsed());
}

void MainThreadStallProbe::fired()
{
    ++m_firings;
    note(m_clock.nsecsElapsed());
}

// Measured from the previous firing rather than from a fixed schedule, so
// one long stall is counted once and does not make every later firing late.
void MainThreadStallProbe::note(qint64 nowNs)
{
    const qint64 late = nowNs - m_lastNs - qint64(IntervalMs) * 1000000;
    m_lastNs = nowNs;
    if (late > m_longestNs) {
        m_longestNs = late;
        m_longestAtNs = nowNs;
    }
}

bool MainThreadStallProbe::writeReport(const QString &path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    const QByteArray report = "longest_stall_ms=" + QByteArray::number(longestStallMs(), 'f', 1)
                              + "\nlongest_stall_at_ms=" + QByteArray::number(longestStallAtMs(), 'f', 0)
                              + "\nfirings=" + QByteArray::number(m_firings)
                              + "\nrunning_ms=" + QByteArray::number(m_clock.elapsed()) + '\n';
    return file.write(report) == report.size();
}
