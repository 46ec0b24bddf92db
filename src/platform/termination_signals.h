#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (logout, `kill`, Ctrl+C, a closed terminal) into a Qt signal
// on the thread that made this object, so that the program ends the way its own "Exit all"
// does, settings written, instead of at once. One per process; the previous handlers come back
// when it is destroyed.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested(int signalNumber);

private:
    void readPipe();
    QSocketNotifier *m_notifier = nullptr;
};
