#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

// Measures how long the main thread's event loop goes without turning: a
// short repeating timer notes how late each firing comes. The benchmark
// reads the longest lateness from the report to tell whether the window
// froze during an extraction.
class MainThreadStallProbe : public QObject {
    Q_OBJECT
public:
    // Names the report file; when it is unset no probe runs at all.
    static constexpr const char *ReportVariable = "QUILLBOX_STALL_REPORT";
    static constexpr int IntervalMs = 10;

    // When the variable names a file: a probe owned by the application,
    // started as the event loop starts, writes its report as the loop ends.
    static void startFromEnvironment();

    explicit MainThreadStallProbe(QObject *parent = nullptr);
    void start();
    // Counts the time since the last firing too: work that ends in a quit
    // leaves the loop before the timer can fire late.
    void stop();

    double longestStallMs() const { return double(m_longestNs) / 1e6; }
    // Milliseconds after start() at which the longest stall ended.
    double longestStallAtMs() const { return double(m_longestAtNs) / 1e6; }
    bool writeReport(const QString &path) const;

private:
    void fired();
    void note(qint64 nowNs);

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_longestNs = 0;
    qint64 m_longestAtNs = 0;
    qint64 m_firings = 0;
};
