#pragma once

#include <QObject>
#include <QTimer>

// A timer driven by its interval: giving it an interval starts it, an interval of 0 stops it
// (a QTimer with interval 0 would instead fire on every pass of the event loop). Each job
// chain step stops its own timer and starts the next by setting intervals.
class IntervalTimer : public QObject
{
    Q_OBJECT
public:
    explicit IntervalTimer(int interval = 0, QObject *parent = nullptr) : QObject(parent)
    {
        connect(&m_timer, &QTimer::timeout, this, &IntervalTimer::Timer);
        setInterval(interval);
    }

    // Restarts the countdown when the timer already runs.
    void setInterval(int milliseconds)
    {
        m_interval = milliseconds > 0 ? milliseconds : 0;
        if (m_interval > 0)
            m_timer.start(m_interval);
        else
            m_timer.stop();
    }
    int interval() const { return m_interval; }
    bool isRunning() const { return m_timer.isActive(); }

signals:
    void Timer();

private:
    QTimer m_timer;
    int m_interval = 0;
};
